#include "FindReport.h"

#include "ReportText.h"
#include "core/Value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

namespace zuvemo::analysis {

namespace {

using Figures = marketdata::Fundamentals::Figures;

std::string fixed(const std::optional<double>& v, int decimals, double scale = 1.0)
{
    if (!v) {
        return {};
    }
    // As printf's "%.*f", without its locale and format parsing: thousands of cells a search.
    char buffer[400];
    const auto end
        = std::to_chars(buffer, buffer + sizeof buffer, *v * scale, std::chars_format::fixed, decimals);
    return end.ec == std::errc() ? std::string(buffer, end.ptr) : std::string();
}

// "1,234,567": whole units with thousands grouped.
std::string grouped(const std::optional<double>& v, double scale)
{
    if (!v) {
        return {};
    }
    std::string digits = fixed(std::abs(*v * scale), 0);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return (*v < 0 ? "-" : "") + digits;
}

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

std::vector<std::string> FindReport::headings()
{
    return {"コード", "銘柄名", "市場", "業種", "終値", "予想PER", "PBR", "利回り", "ROE", "時価総額億円",
        "短期", "出来高確認"};
}

std::vector<std::string> FindReport::cells(const StockFinder::Row& row)
{
    const auto& f = row.figures;
    return {row.code, row.name, row.market, row.industry,
        f.close ? core::Value::numberText(*f.close) : std::string(), fixed(f.fwdPer, 1), fixed(f.pbr, 2),
        f.dividendYield ? fixed(f.dividendYield, 2, 100) + "%" : std::string(),
        f.roe ? fixed(f.roe, 1, 100) + "%" : std::string(), grouped(f.marketCap, 1e-8), row.achk, row.cchk};
}

std::string FindReport::text(const StockFinder::Result& result)
{
    const auto head = headings();
    const std::vector<bool> right
        = {false, false, false, false, true, true, true, true, true, true, false, false};
    std::vector<std::vector<std::string>> lines{head};
    for (const auto& row : result.rows) {
        lines.push_back(cells(row));
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
        s["per"] = number(f.per);
        s["fwdPer"] = number(f.fwdPer);
        s["pbr"] = number(f.pbr);
        s["roe"] = number(f.roe);
        s["fwdRoe"] = number(f.fwdRoe);
        s["eps"] = number(f.eps);
        s["fwdEps"] = number(f.fwdEps);
        s["bps"] = number(f.bps);
        s["marketCap"] = number(f.marketCap);
        s["dividend"] = number(f.dividend);
        s["dividendYield"] = number(f.dividendYield);
        s["dividendActual"] = number(f.dividendActual);
        s["dividendDisclosed"] = f.dividendDisclosed.empty() ? nlohmann::ordered_json(nullptr)
                                                             : nlohmann::ordered_json(f.dividendDisclosed);
        stocks.push_back(std::move(s));
    }
    out["stocks"] = std::move(stocks);
    return out.dump();
}

std::string FindReport::csv(const StockFinder::Result& result)
{
    std::string out = "\xEF\xBB\xBF";
    out += "code,name,market,industry,close,achk,cchk,per,fwdPer,pbr,roe,fwdRoe,eps,fwdEps,bps,marketCap,"
           "dividend,"
           "dividendYield,dividendActual,dividendDisclosed\r\n";
    for (const auto& row : result.rows) {
        const auto& f = row.figures;
        out += csvField(row.code) + "," + csvField(row.name) + "," + csvField(row.market) + ","
            + csvField(row.industry) + "," + exact(f.close) + "," + row.achk + "," + row.cchk + ","
            + exact(f.per) + "," + exact(f.fwdPer) + "," + exact(f.pbr) + "," + exact(f.roe) + ","
            + exact(f.fwdRoe) + "," + exact(f.eps) + "," + exact(f.fwdEps) + "," + exact(f.bps) + ","
            + exact(f.marketCap) + "," + exact(f.dividend) + "," + exact(f.dividendYield) + ","
            + exact(f.dividendActual) + "," + f.dividendDisclosed + "\r\n";
    }
    return out;
}

} // namespace zuvemo::analysis
