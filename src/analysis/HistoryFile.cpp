#include "HistoryFile.h"

#include "core/LineReader.h"
#include "core/TextCodec.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/CsvFields.h"

#include <charconv>

namespace zuvemo::analysis {

namespace {

constexpr std::size_t kHistoryFields = 7;

double numberOf(const std::string& field)
{
    std::string digits = core::PriceOrZero(std::string_view(field));
    double v = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), v);
    return v;
}

std::vector<HistoryRow> readRows(core::LineReader& reader)
{
    std::vector<HistoryRow> rows;
    rows.reserve(320);
    std::string raw;
    int lineNumber = 0;
    while (reader.next(raw)) {
        if (++lineNumber <= 2) {
            continue;
        }
        auto fields = marketdata::splitFields(core::TextCodec::decodeCp932Lossy(raw), kHistoryFields);
        if (fields.size() < kHistoryFields) {
            continue;
        }
        double value = numberOf(fields[6]);
        if (!(value > 0)) {
            continue;
        }
        HistoryRow row;
        row.date = core::TrimOrSpace(std::string_view(fields[0]));
        row.open = numberOf(fields[1]);
        row.high = numberOf(fields[2]);
        row.low = numberOf(fields[3]);
        row.close = numberOf(fields[4]);
        row.volume = numberOf(fields[5]);
        row.value = value;
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

std::optional<std::vector<HistoryRow>> readHistoryFile(const std::filesystem::path& path)
{
    core::LineReader reader(path);
    if (!reader.isOpen()) {
        return std::nullopt;
    }
    auto rows = readRows(reader);
    if (reader.failed()) {
        return std::nullopt;
    }
    return rows;
}

std::vector<HistoryRow> readHistoryBytes(std::string bytes)
{
    auto reader = core::LineReader::fromBytes(std::move(bytes));
    return readRows(reader);
}

std::vector<HistoryRow> historyRowsOf(const std::vector<marketdata::StoredDay>& days, std::string* newest)
{
    std::vector<HistoryRow> rows;
    rows.reserve(days.size());
    if (newest) {
        newest->clear();
    }
    for (const auto& d : days) {
        if (!d.traded) {
            continue;
        }
        if (newest && newest->empty()) {
            *newest = d.date;
        }
        if (!(d.va > 0)) {
            continue;
        }
        rows.push_back(HistoryRow{d.date, d.adjO, d.adjH, d.adjL, d.adjC, d.adjVo, d.va});
    }
    return rows;
}

} // namespace zuvemo::analysis
