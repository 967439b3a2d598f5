#include "DailyQuoteImport.h"

#include "CsvFields.h"
#include "core/DatabaseError.h"
#include "core/LineReader.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/Statement.h"
#include "core/TextCodec.h"
#include "core/Utf8.h"
#include "core/Value.h"
#include "core/ValueRules.h"

#include <array>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace zuvemo::marketdata {

namespace {

constexpr std::size_t kDailyFields = 10;
constexpr const char* kInsertHead = "INSERT INTO Table_Code(MgCode , Mgmgara, MgMei, Mgyosyu, Wscost, Wucost,"
                                    " Wdcost, Wecost, Wccost,Wbcost)";

std::string numberText(const std::string& field)
{
    return core::Value::numberText(core::Value(core::PriceOrZero(std::string_view(field))).toDouble());
}

// The fields of a line that loads a stock, or nothing for a line the import passes over.
std::vector<std::string> stockFields(const std::string& raw)
{
    // A name with a byte code page 932 does not know keeps its stock and prices.
    auto fields = splitFields(core::TextCodec::decodeCp932Lossy(raw), kDailyFields);
    if (fields.size() < kDailyFields) {
        return {};
    }
    std::string code = core::Utf8::trim(core::TrimOrSpace(std::string_view(fields[0])));
    if (code.empty() || core::Utf8::length(code) > 6) {
        return {};
    }
    for (std::size_t i = 4; i < kDailyFields; ++i) {
        if (core::Utf8::trim(core::TrimOrSpace(std::string_view(fields[i]))) == "-") {
            return {};
        }
    }
    return fields;
}

// The first width characters of line lineNumber; nothing when the file has no such line.
std::optional<std::string> lineStart(core::LineReader& reader, std::size_t lineNumber, std::size_t width)
{
    if (!reader.isOpen()) {
        return std::nullopt;
    }
    std::string line;
    for (std::size_t n = 1; n <= lineNumber; ++n) {
        if (!reader.next(line)) {
            return std::nullopt;
        }
    }
    // Only the compared characters need to be valid text; the rest of the line is not read.
    auto decoded = core::TextCodec::decodeCp932(line.substr(0, width * 2));
    if (!decoded) {
        decoded = core::TextCodec::decodeCp932Lossy(line.substr(0, width * 2));
    }
    return core::Utf8::left(*decoded, width);
}

bool checkLines(const std::string& mode, core::LineReader& reader, const std::string& label)
{
    if (mode != "H" && mode != "M") {
        return false;
    }
    const auto start = mode == "H" ? lineStart(reader, 1, 11) : lineStart(reader, 3, 10);
    return start && *start == label;
}

bool isDate(const std::optional<std::string>& text)
{
    if (!text || text->size() != 10 || (*text)[4] != '-' || (*text)[7] != '-') {
        return false;
    }
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if ((*text)[i] < '0' || (*text)[i] > '9') {
            return false;
        }
    }
    const int month = std::stoi(text->substr(5, 2));
    const int day = std::stoi(text->substr(8, 2));
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

} // namespace

bool CheckCSV(const std::string& mode, const std::filesystem::path& path, const std::string& label)
{
    core::LineReader reader(path);
    return checkLines(mode, reader, label);
}

bool CheckCSVBytes(const std::string& mode, std::string bytes, const std::string& label)
{
    auto reader = core::LineReader::fromBytes(std::move(bytes));
    return checkLines(mode, reader, label);
}

std::optional<std::size_t> CountStocks(const std::filesystem::path& path)
{
    core::LineReader reader(path);
    std::string raw;
    if (!reader.isOpen() || !reader.next(raw)) {
        return std::nullopt;
    }
    std::size_t count = 0;
    while (reader.next(raw)) {
        count += stockFields(raw).empty() ? 0 : 1;
    }
    if (reader.failed()) {
        return std::nullopt;
    }
    return count;
}

bool HasHistoryDate(const std::filesystem::path& path)
{
    core::LineReader reader(path);
    return isDate(lineStart(reader, 3, 10));
}

bool HasHistoryDateBytes(std::string bytes)
{
    auto reader = core::LineReader::fromBytes(std::move(bytes));
    return isDate(lineStart(reader, 3, 10));
}

bool CreateMDB(core::Mdl_Start& module, const std::filesystem::path& path, const std::string& dateText,
    std::string* refused)
{
    auto refuse = [refused](const std::string& why) {
        if (refused) {
            *refused = why;
        }
        return false;
    };
    if (!module.SharedConnection || core::Utf8::length(dateText) != 10) {
        return false;
    }
    core::LineReader reader(path);
    if (!reader.isOpen()) {
        return refuse("ファイル(" + core::Platform::toUtf8(path) + ")を開けません");
    }
    auto& connection = *module.SharedConnection;
    std::size_t lineNumber = 0;
    try {
        core::Transaction transaction(connection);
        module.SqlBuffer = " DELETE FROM Table_Code";
        connection.execute(module.SqlBuffer);

        core::Statement insert(connection, std::string(kInsertHead) + " VALUES (?,?,?,?,?,?,?,?,?,?)");
        std::string raw;
        if (reader.next(raw)) {
            lineNumber = 1;
            while (reader.next(raw)) {
                ++lineNumber;
                auto fields = stockFields(raw);
                if (fields.empty()) {
                    continue;
                }
                std::array<std::string, kDailyFields> values;
                bool literalOnly = false;
                for (std::size_t i = 0; i < 4; ++i) {
                    values[i] = core::TrimOrSpace(std::string_view(fields[i]));
                    literalOnly = literalOnly || values[i].find('\0') != std::string::npos;
                }
                for (std::size_t i = 4; i < kDailyFields; ++i) {
                    values[i] = numberText(fields[i]);
                }
                if (!literalOnly) {
                    // Bound as text, a number takes the column's REAL affinity exactly as its
                    // literal would.
                    for (std::size_t i = 0; i < kDailyFields; ++i) {
                        insert.bindText(static_cast<int>(i + 1), values[i]);
                    }
                    insert.run();
                    continue;
                }
                // A NUL ends the statement text early: such a line goes through the text, so it
                // is refused as it always was.
                std::string& sql = module.SqlBuffer;
                sql.clear();
                sql += kInsertHead;
                sql += " VALUES (";
                for (std::size_t i = 0; i < 4; ++i) {
                    sql += "'" + core::SqlText(values[i]) + "',";
                }
                for (std::size_t i = 4; i < 9; ++i) {
                    sql += values[i] + ",";
                }
                sql += values[9];
                sql += ")";
                connection.execute(sql);
            }
        }
        if (reader.failed()) {
            return refuse(std::to_string(lineNumber + 1) + " 行目: ファイルを読めません");
        }
        lineNumber = 0;
        module.SqlBuffer = " UPDATE Table_Url SET";
        module.SqlBuffer += " kabuHdate='"
            + core::SqlText(core::Utf8::mid(dateText, 1, 4) + core::Utf8::mid(dateText, 6, 2)
                + core::Utf8::mid(dateText, 9, 2))
            + "'";
        connection.execute(module.SqlBuffer);
        transaction.commit();
        return true;
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        const bool duplicate
            = e.code() == SQLITE_CONSTRAINT_UNIQUE || e.code() == SQLITE_CONSTRAINT_PRIMARYKEY;
        std::string where = lineNumber > 1 ? std::to_string(lineNumber) + " 行目: " : std::string();
        return refuse(where
            + (duplicate ? std::string("コードが重複しています") : core::DatabaseError::userText(e.code())));
    }
}

} // namespace zuvemo::marketdata
