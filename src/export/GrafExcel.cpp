#include "GrafExcel.h"

#include "ChartWorkbook.h"
#include "SpreadsheetOpener.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/ValueRules.h"

#include <charconv>
#include <chrono>
#include <ctime>

namespace zuvemo::exporting {

namespace {

enum class Kind { Text, Value, Format0, Format2, Percent };

struct Column
{
    const char* field;
    Kind kind;
};

// Columns A to Y of a data row.
const Column kColumns[] = {
    {"Whi", Kind::Text},
    {"Wst", Kind::Value},
    {"Wup", Kind::Value},
    {"Wdn", Kind::Value},
    {"Wen", Kind::Value},
    {"Wdk", Kind::Format0},
    {"Wgatai", Kind::Percent},
    {"Whatai", Kind::Text},
    {"Wiatai", Kind::Text},
    {"Wjatai", Kind::Percent},
    {"Wkatai", Kind::Text},
    {"Wlatai", Kind::Text},
    {"Wmatai", Kind::Format2},
    {"Wnatai", Kind::Format2},
    {"Woatai", Kind::Format2},
    {"Wpatai", Kind::Value},
    {"Wqatai", Kind::Value},
    {"Wratai", Kind::Format2},
    {"Wsatai", Kind::Format2},
    {"Wtatai", Kind::Text},
    {"Wuatai", Kind::Value},
    {"Wvatai", Kind::Value},
    {"Wwatai", Kind::Value},
    {"Wxatai", Kind::Value},
    {"Wyatai", Kind::Value},
};
constexpr int kV = 22; // column V
constexpr int kW = 23;

double parseDecimal(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (c != ',') {
            digits.push_back(c);
        }
    }
    double v = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), v);
    return v;
}

void writeCell(ChartWorkbook& book, int row, int column, Kind kind, const core::Value& value)
{
    switch (kind) {
    case Kind::Text:
        book.setText(row, column, value.toText());
        return;
    case Kind::Value:
        if (value.isNull()) {
            book.setEmpty(row, column);
        } else if (value.isText()) {
            book.setText(row, column, value.toText());
        } else {
            book.setNumber(row, column, value.toDouble());
        }
        return;
    case Kind::Format0:
        book.setNumber(row, column, formattedNumber(value.toDouble(), "#,##0"), ChartWorkbook::kThousands);
        return;
    case Kind::Format2:
        book.setNumber(
            row, column, formattedNumber(value.toDouble(), "#,##0.00"), ChartWorkbook::kThousandsDecimals);
        return;
    case Kind::Percent:
        book.setNumber(row, column, formattedNumber(value.toDouble(), "0.00%"), ChartWorkbook::kPercent);
        return;
    }
}

std::string safeFileText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        bool bad = c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<'
            || c == '>' || c == '|' || c == '\'' || c == ' ' || static_cast<unsigned char>(c) < 0x20;
        out.push_back(bad ? '_' : c);
    }
    return out.empty() ? "stock" : out;
}

} // namespace

double formattedNumber(double value, const std::string& pattern)
{
    std::string text = core::FormatNumber(value, pattern);
    if (pattern == "0.00%") {
        text.pop_back();
        return parseDecimal(text + "e-2");
    }
    return parseDecimal(text);
}

GrafExcel::GrafExcel(core::Mdl_Start& module, SpreadsheetOpener& opener)
    : m_module(module)
    , m_opener(opener)
{
}

std::filesystem::path GrafExcel::defaultOutput(const std::string& code)
{
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char millis[8];
    std::snprintf(millis, sizeof millis, "%03d", static_cast<int>(ms));
    return std::filesystem::temp_directory_path()
        / core::Platform::fromUtf8("株価チャート_" + safeFileText(code) + "_" + stamp + millis + ".xlsx");
}

std::filesystem::path GrafExcel::run(const std::string& code, const std::string& name)
{
    const auto templatePath = m_module.programFolder() / core::Platform::fromUtf8(kTemplateName);
    ChartWorkbook book;
    std::string error;
    switch (book.open(templatePath, kSheetName, &error)) {
    case ChartWorkbook::Result::Ok:
        break;
    case ChartWorkbook::Result::TemplateMissing:
        core::ShowMessage("ファイル(" + core::Platform::toUtf8(templatePath) + ")が見当たりません。");
        return {};
    case ChartWorkbook::Result::SheetMissing:
        core::ShowMessage("ファイル(" + core::Platform::toUtf8(templatePath) + ")にシート(" + kSheetName
            + ")が見当たりません。");
        return {};
    default:
        core::ShowMessage("ファイル(" + core::Platform::toUtf8(templatePath) + ")が読めません。");
        return {};
    }

    book.setText(1, 2, code);
    book.setText(1, 3, name);

    if (!m_module.SharedConnection) {
        throw core::DatabaseError(21, "the database is not open");
    }
    m_module.SqlBuffer2 = " SELECT * FROM WorkTemp";
    m_module.SqlBuffer2 += " ORDER BY Whi";
    auto& rs = m_module.OpenShared2();
    const int total = rs.recordCount();
    // Only 250 days fit the sheet: a longer history shows its newest 250.
    int skip = total > kRows ? total - kRows : 0;
    const int n = total - skip;
    for (int i = 0; i < skip; ++i) {
        rs.moveNext();
    }
    int row = kLastRow - n;
    bool carried = false;
    for (; !rs.isEof(); rs.moveNext()) {
        ++row;
        for (int c = 0; c < 6; ++c) {
            writeCell(book, row, c + 1, kColumns[c].kind, rs.field(kColumns[c].field));
        }
        if (row < kFullColumnsFrom) {
            continue;
        }
        for (int c = 6; c < 21; ++c) {
            writeCell(book, row, c + 1, kColumns[c].kind, rs.field(kColumns[c].field));
        }
        if (rs.field("Wvatai").toDouble() != 0) {
            carried = true;
        }
        if (carried) {
            writeCell(book, row, kV, Kind::Value, rs.field("Wvatai"));
            writeCell(book, row, kW, Kind::Value, rs.field("Wwatai"));
        }
        for (int c = 23; c < 25; ++c) {
            writeCell(book, row, c + 1, kColumns[c].kind, rs.field(kColumns[c].field));
        }
    }
    m_module.SharedRecordset2.reset();
    book.protect(core::Mdl_Start::kDatabasePassword);

    auto output = m_output.empty() ? defaultOutput(code) : m_output;
    if (core::Connection::isDatabaseFile(output)) {
        core::ShowMessage("ファイル(" + core::Platform::toUtf8(output)
            + ")はデータベースのファイルです。別の名前を指定してください。");
        return {};
    }
    const auto saved = book.save(output, &error, m_cancel);
    if (saved == ChartWorkbook::Result::Cancelled) {
        return {};
    }
    if (saved != ChartWorkbook::Result::Ok) {
        // The refusal's reason is ours, in Japanese; the archive library's are not.
        core::ShowMessage("ファイル(" + core::Platform::toUtf8(output) + ")を書き込めません。"
            + (saved == ChartWorkbook::Result::Refused ? "（" + error + "）" : std::string()));
        return {};
    }
    if (!m_opener.open(output)) {
        const std::string cannotOpen
            = "表計算ソフトでファイル(" + core::Platform::toUtf8(output) + ")を開けません。";
        if (m_chartOffer) {
            m_chartWanted = core::AskMessage(cannotOpen + "\r\n" + kChartQuestion);
        } else {
            core::ShowMessage(cannotOpen);
        }
    }
    return output;
}

} // namespace zuvemo::exporting
