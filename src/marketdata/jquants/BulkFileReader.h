#pragma once

#include "KeyMask.h"
#include "marketdata/CsvStream.h"

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace zuvemo::marketdata {

// One monthly file of J-Quants (a CSV once unpacked) read into its days, each as the rows a
// one-day answer of the same endpoint gives, so the day's own checks take it as they take that
// answer. The header names the fields as the answers do: they are found by name, in any order,
// and columns not known are passed over. Every byte of the text, passed over or not, must be
// UTF-8 and hold no piece of the key. A needed column missing, a row of another width than the
// header, a row dated outside the file's month, or a day of more rows than a day can hold
// refuses the whole file as soon as it is read.
class BulkFileReader
{
public:
    // /equities/bars/daily, /fins/summary, /fins/dividend, /equities/master
    enum class Kind { Bars, Filings, Dividends, Master };

    // month: "2024-03", the month the file's key names; mask: the key to find, if any.
    BulkFileReader(
        Kind kind, std::string month, std::size_t maxDayRows = kMaxDayRows, const KeyMask* mask = nullptr);

    bool feed(std::string_view piece);
    // The end of the text; false (with the fault) when it is no whole file of its month.
    bool finish();
    // Japanese, when refused.
    const std::string& fault() const { return m_fault.empty() ? m_csv.fault() : m_fault; }
    // A piece of the key was in the text: nothing of it may be shown.
    bool keyFound() const { return m_keyFound; }

    // The days the file holds rows of, oldest first (of dividend notices, their PubDate).
    std::vector<std::string> days() const;
    // A day's rows as its one-day answer has them: figures as numbers ("" as null), texts as
    // texts; a figure that is no plain number stays text, which the day's check refuses.
    nlohmann::json dayRows(const std::string& date) const;
    std::size_t rows() const { return m_rows; }

    // Most rows one day of a file may hold: some 4,400 stocks are listed, so many more is no
    // day of this market, and a file of such days would fill the memory before its end.
    static constexpr std::size_t kMaxDayRows = 10000;

private:
    bool record(std::vector<std::string>& fields);
    bool checkBytes(std::string_view piece);
    bool refuse(std::string fault);

    Kind m_kind;
    std::string m_month;
    CsvStream m_csv;
    std::vector<const char*> m_wanted; // the fields taken, in this order
    std::vector<int> m_column; // of each wanted field in the file; -1 when it has none
    std::size_t m_width = 0; // columns of the header; 0 before it is read
    std::size_t m_rows = 0;
    std::size_t m_maxDayRows;
    const KeyMask* m_mask;
    // A character cut between pieces, and the end of the last piece, for a piece of the key
    // across the cut.
    std::string m_cutCharacter;
    std::string m_tail;
    bool m_keyFound = false;
    std::map<std::string, std::vector<std::vector<std::string>>> m_days;
    std::string m_fault;
};

} // namespace zuvemo::marketdata
