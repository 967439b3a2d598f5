#include "FindReport.h"

#include "FigureTable.h"
#include "ReportText.h"
#include "core/Value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

namespace zuvemo::analysis {

namespace {

using Figures = marketdata::Fundamentals::Figures;

std::string exact(const std::optional<double>& v)
{
    return v ? ReportText::shortest(*v) : std::string();
}

using ReportText::csvField;

nlohmann::ordered_json number(const std::optional<double>& v)
{
    return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

std::string pad(const std::string& text, std::size_t columns, bool right)
{
    const std::size_t w = FindReport::width(text);
    const std::string fill(columns > w ? columns - w : 0, ' ');
    return right ? fill + text : text + fill;
}

} // namespace

std::size_t FindReport::width(const std::string& text)
{
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
        unsigned code = c;
        if (length == 3 && i + 2 < text.size()) {
            code = ((c & 0x0fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3fu) << 6)
                | (static_cast<unsigned char>(text[i + 2]) & 0x3fu);
        }
        // Half-width katakana (U+FF61–FF9F) take one column, the rest of CJK two.
        columns += length >= 3 && !(code >= 0xff61 && code <= 0xff9f) ? 2 : 1;
        i += length;
    }
    return columns;
}

std::string FindReport::countLine(const StockFinder::Result& result)
{
    return "該当 " + std::to_string(result.count) + " 銘柄（株価 "
        + (result.tradingDate.empty() ? std::string("なし") : result.tradingDate) + "、指標 "
        + (result.valuationDate.empty() ? std::string("なし") : result.valuationDate) + "）";
}

const std::vector<std::string>& FindReport::defaultColumns()
{
    static const std::vector<std::string> columns
        = {"market", "industry", "close", "fwd-per", "pbr", "yield", "roe", "cap", "signal", "confirmed"};
    return columns;
}

bool FindReport::isColumn(const std::string& name)
{
    static const std::vector<std::string> plain
        = {"market", "industry", "signal", "confirmed", "golden", "dead"};
    return FigureTable::figure(name) || FigureTable::flag(name) || FigureTable::cross(name)
        || std::find(plain.begin(), plain.end(), name) != plain.end();
}

std::string FindReport::columnNames()
{
    std::string out = "market, industry, signal, confirmed, " + FigureTable::names(false);
    for (const auto& flag : FigureTable::flags()) {
        out += ", " + std::string(flag.name);
    }
    out += ", golden, dead";
    for (const auto& cross : FigureTable::crosses()) {
        out += ", " + std::string(cross.name);
    }
    return out;
}

namespace {

// The CSV's columns as they first were, which scripts read by place: JPX's figures from PER to
// the actual dividend.
constexpr const char* kLastOriginal = "dividend-actual";

std::vector<const FigureTable::Figure*> original()
{
    std::vector<const FigureTable::Figure*> out;
    for (const auto& figure : FigureTable::figures()) {
        if (figure.name != std::string("close")) {
            out.push_back(&figure);
        }
        if (figure.name == std::string(kLastOriginal)) {
            break;
        }
    }
    return out;
}

const std::vector<std::string>& orDefault(const std::vector<std::string>& columns)
{
    return columns.empty() ? FindReport::defaultColumns() : columns;
}

std::string heading(const std::string& column)
{
    if (const auto* figure = FigureTable::figure(column)) {
        return figure->heading;
    }
    if (const auto* flag = FigureTable::flag(column)) {
        return flag->heading;
    }
    if (const auto* cross = FigureTable::cross(column)) {
        return cross->heading;
    }
    static const std::map<std::string, std::string> plain = {{"market", "市場"}, {"industry", "業種"},
        {"signal", "短期"}, {"confirmed", "出来高確認"}, {"golden", "GC"}, {"dead", "DC"}};
    const auto it = plain.find(column);
    return it == plain.end() ? column : it->second;
}

std::string cell(const StockFinder::Row& row, const std::string& column)
{
    if (const auto* figure = FigureTable::figure(column)) {
        return FigureTable::shown(*figure, row.figures.*(figure->value));
    }
    if (const auto* flag = FigureTable::flag(column)) {
        return row.figures.*(flag->value) ? "○" : "";
    }
    if (const auto* cross = FigureTable::cross(column)) {
        const int way = row.figures.*(cross->value);
        return way > 0 ? cross->golden : (way < 0 ? cross->dead : "");
    }
    if (column == "market") {
        return row.market;
    }
    if (column == "industry") {
        return row.industry;
    }
    if (column == "signal") {
        return row.achk;
    }
    if (column == "confirmed") {
        return row.cchk;
    }
    if (column == "golden") {
        return row.figures.cross > 0 ? "○" : "";
    }
    if (column == "dead") {
        return row.figures.cross < 0 ? "○" : "";
    }
    return {};
}

bool rightAligned(const std::string& column)
{
    return FigureTable::figure(column) != nullptr;
}

std::string csvCell(const StockFinder::Row& row, const std::string& column)
{
    if (const auto* figure = FigureTable::figure(column)) {
        return exact(row.figures.*(figure->value));
    }
    if (const auto* flag = FigureTable::flag(column)) {
        return row.figures.*(flag->value) ? "true" : "false";
    }
    if (column == "golden" || column == "dead") {
        return (column == "golden" ? row.figures.cross > 0 : row.figures.cross < 0) ? "true" : "false";
    }
    if (const auto* cross = FigureTable::cross(column)) {
        return FigureTable::crossWord(row.figures.*(cross->value));
    }
    return csvField(cell(row, column));
}

std::string csvHeading(const std::string& column)
{
    if (const auto* figure = FigureTable::figure(column)) {
        return figure->jsonKey;
    }
    if (const auto* flag = FigureTable::flag(column)) {
        return flag->jsonKey;
    }
    if (const auto* cross = FigureTable::cross(column)) {
        return cross->jsonKey;
    }
    if (column == "signal") {
        return "achk";
    }
    if (column == "confirmed") {
        return "cchk";
    }
    return column;
}

} // namespace

std::vector<std::string> FindReport::headings(const std::vector<std::string>& columns)
{
    std::vector<std::string> out = {"コード", "銘柄名"};
    for (const auto& column : orDefault(columns)) {
        out.push_back(heading(column));
    }
    return out;
}

std::vector<std::string> FindReport::cells(
    const StockFinder::Row& row, const std::vector<std::string>& columns)
{
    std::vector<std::string> out = {row.code, row.name};
    for (const auto& column : orDefault(columns)) {
        out.push_back(cell(row, column));
    }
    return out;
}

std::string FindReport::text(const StockFinder::Result& result, const std::vector<std::string>& columns)
{
    const auto head = headings(columns);
    std::vector<bool> right = {false, false};
    for (const auto& column : orDefault(columns)) {
        right.push_back(rightAligned(column));
    }
    std::vector<std::vector<std::string>> lines{head};
    for (const auto& row : result.rows) {
        lines.push_back(cells(row, columns));
    }
    std::vector<std::size_t> widths(head.size(), 0);
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], width(line[i]));
        }
    }
    std::string out;
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            text += (i ? "  " : "") + pad(line[i], widths[i], right[i]);
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out += text + "\n";
    }
    return out + countLine(result) + "\n";
}

std::string FindReport::json(const StockFinder::Result& result)
{
    nlohmann::ordered_json out;
    out["tradingDate"] = result.tradingDate.empty() ? nlohmann::ordered_json(nullptr)
                                                    : nlohmann::ordered_json(result.tradingDate);
    out["valuationDate"] = result.valuationDate.empty() ? nlohmann::ordered_json(nullptr)
                                                        : nlohmann::ordered_json(result.valuationDate);
    out["count"] = result.count;
    auto stocks = nlohmann::ordered_json::array();
    for (const auto& row : result.rows) {
        const auto& f = row.figures;
        nlohmann::ordered_json s;
        s["code"] = row.code;
        s["name"] = row.name;
        s["market"] = row.market;
        s["industry"] = row.industry;
        s["close"] = number(f.close);
        s["achk"] = row.achk;
        s["cchk"] = row.cchk;
        for (const auto& figure : FigureTable::figures()) {
            if (figure.name != std::string("close")) {
                s[figure.jsonKey] = number(f.*(figure.value));
            }
            // The figures added later follow the day of the dividend forecast.
            if (figure.name == std::string(kLastOriginal)) {
                s["dividendDisclosed"] = f.dividendDisclosed.empty()
                    ? nlohmann::ordered_json(nullptr)
                    : nlohmann::ordered_json(f.dividendDisclosed);
            }
        }
        for (const auto& flag : FigureTable::flags()) {
            s[flag.jsonKey] = f.*(flag.value);
        }
        s["cross"] = f.cross > 0
            ? nlohmann::ordered_json("golden")
            : (f.cross < 0 ? nlohmann::ordered_json("dead") : nlohmann::ordered_json(nullptr));
        for (const auto& cross : FigureTable::crosses()) {
            const int way = f.*(cross.value);
            s[cross.jsonKey] = way != 0 ? nlohmann::ordered_json(FigureTable::crossWord(way))
                                        : nlohmann::ordered_json(nullptr);
        }
        stocks.push_back(std::move(s));
    }
    out["stocks"] = std::move(stocks);
    return out.dump();
}

std::string FindReport::csv(const StockFinder::Result& result, const std::vector<std::string>& columns)
{
    std::string out = "\xEF\xBB\xBF";
    if (columns.empty()) {
        out += "code,name,market,industry,close,achk,cchk";
        for (const auto* figure : original()) {
            out += std::string(",") + figure->jsonKey;
        }
        out += ",dividendDisclosed\r\n";
        for (const auto& row : result.rows) {
            const auto& f = row.figures;
            out += csvField(row.code) + "," + csvField(row.name) + "," + csvField(row.market) + ","
                + csvField(row.industry) + "," + exact(f.close) + "," + csvField(row.achk) + ","
                + csvField(row.cchk);
            for (const auto* figure : original()) {
                out += "," + exact(f.*(figure->value));
            }
            out += "," + csvField(f.dividendDisclosed) + "\r\n";
        }
        return out;
    }
    out += "code,name";
    for (const auto& column : columns) {
        out += "," + csvHeading(column);
    }
    out += "\r\n";
    for (const auto& row : result.rows) {
        out += csvField(row.code) + "," + csvField(row.name);
        for (const auto& column : columns) {
            out += "," + csvCell(row, column);
        }
        out += "\r\n";
    }
    return out;
}

} // namespace zuvemo::analysis
