#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zuvemo::marketdata {

// Reads CSV text as it arrives, in pieces cut anywhere: records end at LF or CR LF, a field in
// double quotes may hold commas, line breaks and doubled quotes, and a UTF-8 byte order mark at
// the very start is dropped. Blank lines are skipped. A quote inside an unquoted field, text
// after a closing quote, a field or a record past its limit, or a quote still open at the end
// is a fault: the text is no CSV this program reads.
class CsvStream
{
public:
    // Gets each record; false stops the reading (the caller's own fault).
    using Record = std::function<bool(std::vector<std::string>& fields)>;

    static constexpr std::size_t kMaxFieldBytes = 4096;
    static constexpr std::size_t kMaxFields = 512;

    explicit CsvStream(Record record);

    // False once the text is faulty or the caller stopped (then every later call is false too).
    bool feed(std::string_view piece);
    // The end of the text: its last record, if it had no line break.
    bool finish();

    // Japanese, when the text is faulty; empty when the caller stopped it.
    const std::string& fault() const { return m_fault; }
    // Records handed on so far (the header among them).
    std::size_t records() const { return m_records; }

private:
    bool endField();
    // A comma, a line break or a CR ends a field or a record: true when c was one of them, with
    // ok false when the record was refused.
    bool separator(char c, bool& ok);
    bool endRecord();
    bool fail(std::string fault);

    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted, AfterCr };
    Record m_record;
    State m_state = State::FieldStart;
    std::vector<std::string> m_fields;
    std::string m_field;
    std::string m_fault;
    std::size_t m_records = 0;
    std::size_t m_bomSeen = 0; // bytes of the byte order mark matched so far
    bool m_started = false; // past where a byte order mark may stand
    bool m_failed = false;
};

} // namespace zuvemo::marketdata
