#include "JQuantsAnswer.h"

#include "PriceStore.h"
#include "core/Utf8.h"
#include "core/Value.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

constexpr const char* kPrices[] = {"O", "H", "L", "C"};
constexpr const char* kNumbers[]
    = {"O", "H", "L", "C", "Vo", "Va", "AdjFactor", "AdjO", "AdjH", "AdjL", "AdjC", "AdjVo"};

std::string shownValue(const json& value)
{
    return JQuantsAnswer::shown(value.is_string() ? value.get<std::string>() : value.dump());
}

std::string textOf(const json& row, const char* field)
{
    const auto it = row.find(field);
    return it != row.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The number of a field, or NaN when absent or null.
double numberOf(const json& row, const char* field)
{
    const auto it = row.find(field);
    return it != row.end() && it->is_number() ? it->get<double>() : std::nan("");
}

bool price(double v)
{
    return std::isfinite(v) && v > 0 && v <= JQuantsAnswer::kMaxPrice;
}

bool amount(double v)
{
    return std::isfinite(v) && v >= 0 && v <= JQuantsAnswer::kMaxAmount;
}

// The bar kept for a day whose values cannot have traded: no prices, its factor when it is one.
json withoutTrade(const json& row)
{
    json kept = {{"Date", row["Date"]}, {"Code", row["Code"]}};
    for (const char* field : kNumbers) {
        kept[field] = nullptr;
    }
    const double factor = numberOf(row, "AdjFactor");
    if (std::isfinite(factor) && factor > 0) {
        kept["AdjFactor"] = factor;
    }
    return kept;
}

} // namespace

bool JQuantsAnswer::isDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const std::chrono::year_month_day d{std::chrono::year{std::stoi(text.substr(0, 4))},
        std::chrono::month{static_cast<unsigned>(std::stoi(text.substr(5, 2)))},
        std::chrono::day{static_cast<unsigned>(std::stoi(text.substr(8, 2)))}};
    return d.ok();
}

bool JQuantsAnswer::isCode(const std::string& text)
{
    if (text.size() != 4 && text.size() != 5) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    return true;
}

bool JQuantsAnswer::possible(const json& row)
{
    int nulls = 0;
    for (const char* field : kPrices) {
        const auto it = row.find(field);
        nulls += it == row.end() || it->is_null();
    }
    const double factor = numberOf(row, "AdjFactor");
    const bool factorOk = !row.contains("AdjFactor") || row["AdjFactor"].is_null()
        || (std::isfinite(factor) && factor > 0 && factor <= kMaxPrice);
    if (nulls == 4) {
        return factorOk;
    }
    if (nulls != 0 || !factorOk) {
        return false;
    }
    const double o = numberOf(row, "O");
    const double h = numberOf(row, "H");
    const double l = numberOf(row, "L");
    const double c = numberOf(row, "C");
    if (!price(o) || !price(h) || !price(l) || !price(c) || l > o || l > c || l > h || h < o || h < c) {
        return false;
    }
    if (!amount(numberOf(row, "Vo")) || !amount(numberOf(row, "Va")) || !amount(numberOf(row, "AdjVo"))) {
        return false;
    }
    for (const char* field : {"AdjO", "AdjH", "AdjL", "AdjC"}) {
        if (!price(numberOf(row, field))) {
            return false;
        }
    }
    return true;
}

JQuantsAnswer::Check JQuantsAnswer::bars(
    const json& rows, bool byDate, const std::string& key, const std::string& from, const std::string& to)
{
    Check check;
    auto refuse = [&check](std::string fault) {
        check.fault = std::move(fault);
        check.rows = json::array();
        check.leftOut.clear();
        return check;
    };
    if (!rows.is_array()) {
        return refuse("data が配列ではありません");
    }
    std::set<std::string> seen;
    bool traded = false;
    for (const auto& row : rows) {
        if (!row.is_object()) {
            return refuse("行がオブジェクトではありません: " + shownValue(row));
        }
        const auto date = row.find("Date");
        if (date == row.end() || !date->is_string() || !isDate(date->get<std::string>())
            || (byDate && date->get<std::string>() != key)
            || (!byDate && (date->get<std::string>() < from || date->get<std::string>() > to))) {
            return refuse("日付が違う行があります: " + shownValue(date == row.end() ? json() : *date));
        }
        const auto code = row.find("Code");
        if (code == row.end() || !code->is_string() || !isCode(code->get<std::string>())
            || (!byDate && code->get<std::string>() != key)) {
            return refuse(
                "銘柄コードが正しくない行があります: " + shownValue(code == row.end() ? json() : *code));
        }
        for (const char* field : kNumbers) {
            const auto it = row.find(field);
            if (it != row.end() && !it->is_null() && !it->is_number()) {
                return refuse(std::string("数値でない ") + field + " があります: " + shownValue(*it));
            }
        }
        // "13210" and "1321" are one stock of the list.
        const std::string id
            = byDate ? PriceStore::listCode(code->get<std::string>()) : date->get<std::string>();
        if (!seen.insert(id).second) {
            return refuse(
                "同じ" + std::string(byDate ? "銘柄" : "日") + "が 2 度あります: " + shownValue(id));
        }
        if (possible(row)) {
            const auto close = row.find("C");
            traded = traded || (close != row.end() && !close->is_null());
            check.rows.push_back(row);
        } else {
            check.leftOut.push_back(byDate ? code->get<std::string>() : id);
            check.rows.push_back(withoutTrade(row));
        }
    }
    if (byDate && !rows.empty() && !traded) {
        return refuse("取引のある銘柄がありません");
    }
    if (check.leftOut.size() * 100 > rows.size() * kLeftOutPercent) {
        return refuse("値が正しくない行が 1 割を超えます（" + std::to_string(check.leftOut.size()) + " / "
            + std::to_string(rows.size()) + " 行）");
    }
    check.ok = true;
    return check;
}

JQuantsAnswer::Check JQuantsAnswer::day(const std::string& date, const json& rows)
{
    return bars(rows, true, date, date, date);
}

JQuantsAnswer::Check JQuantsAnswer::stock(
    const std::string& code, const std::string& from, const std::string& to, const json& rows)
{
    return bars(rows, false, code, from, to);
}

std::optional<double> JQuantsAnswer::figure(const std::string& text)
{
    if (text.size() > kMaxNumberChars) {
        return std::nullopt;
    }
    return core::Value::decimal(text);
}

std::optional<double> JQuantsAnswer::figure(const json& value)
{
    if (value.is_number()) {
        const double v = value.get<double>();
        return std::isfinite(v) ? std::optional(v) : std::nullopt;
    }
    return value.is_string() ? figure(value.get<std::string>()) : std::nullopt;
}

namespace {

// The rows of one day's answer, each dated that day in dateField and named by its key once,
// kept as keep makes them; the first fault (of the rows or of keep) refuses the whole. key is
// empty for a row that names nothing valid.
JQuantsAnswer::Check dayRows(const std::string& date, const json& rows, const char* dateField,
    const std::string& keyFault, const std::function<std::string(const json&)>& key,
    const std::function<json(const json&, std::string& fault, int& putAside)>& keep)
{
    JQuantsAnswer::Check check;
    auto refuse = [&check](std::string fault) {
        check.fault = std::move(fault);
        check.rows = json::array();
        check.putAside = 0;
        return check;
    };
    if (!rows.is_array()) {
        return refuse("data が配列ではありません");
    }
    std::set<std::string> seen;
    for (const auto& row : rows) {
        if (!row.is_object()) {
            return refuse("行がオブジェクトではありません: " + shownValue(row));
        }
        if (textOf(row, dateField) != date) {
            return refuse("日付が違う行があります: " + shownValue(row.value(dateField, json())));
        }
        const std::string id = key(row);
        if (id.empty() || !seen.insert(id).second) {
            return refuse(keyFault + ": " + shownValue(row.value("Code", json())));
        }
        std::string fault;
        json kept = keep(row, fault, check.putAside);
        if (!fault.empty()) {
            return refuse(fault);
        }
        check.rows.push_back(std::move(kept));
    }
    check.ok = true;
    return check;
}

// A field longer than any value of its kind: the answer is malformed, never cut to fit.
std::string tooLong(const char* field, const std::string& value, std::size_t limit)
{
    const std::size_t length = core::Utf8::length(value);
    return length > limit
        ? std::string("長すぎる ") + field + " があります（" + std::to_string(length) + " 文字）"
        : std::string();
}

} // namespace

JQuantsAnswer::Check JQuantsAnswer::valuation(const std::string& date, const json& rows)
{
    return dayRows(
        date, rows, "Date", "銘柄コードが正しくないか 2 度ある行があります",
        [](const json& row) {
            const std::string code = textOf(row, "Code");
            return isCode(code) ? PriceStore::listCode(code) : std::string();
        },
        [&date](const json& row, std::string& fault, int& putAside) {
            json kept = {{"Date", date}, {"Code", textOf(row, "Code")}};
            for (const char* field :
                {"EPS", "FwdEPS", "BPS", "ROE", "FwdROE", "PER", "FwdPER", "PBR", "MktCap"}) {
                const auto it = row.find(field);
                if (it != row.end() && it->is_string() && fault.empty()) {
                    fault = tooLong(field, it->get<std::string>(), kMaxNumberChars);
                }
                auto v = it == row.end() ? std::nullopt : figure(*it);
                // A company is worth something: a market value of 0 or less cannot be.
                if (v && std::string_view(field) == "MktCap" && *v <= 0) {
                    v.reset();
                    ++putAside;
                }
                kept[field] = v ? json(*v) : json(nullptr);
            }
            return kept;
        });
}

JQuantsAnswer::Check JQuantsAnswer::filings(const std::string& date, const json& rows)
{
    return dayRows(
        date, rows, "DiscDate", "銘柄コードか開示番号が正しくないか 2 度ある行があります",
        [](const json& row) {
            const std::string code = textOf(row, "Code");
            const std::string number = textOf(row, "DiscNo");
            return isCode(code) && !number.empty() && number.size() <= 40
                ? PriceStore::listCode(code) + " " + number
                : std::string();
        },
        [&date](const json& row, std::string& fault, int& putAside) {
            json kept
                = {{"DiscDate", date}, {"Code", textOf(row, "Code")}, {"DiscNo", textOf(row, "DiscNo")}};
            for (const char* field : PriceStore::filingFields()) {
                const auto it = row.find(field);
                std::string value;
                if (it != row.end() && it->is_string()) {
                    value = it->get<std::string>();
                } else if (it != row.end() && it->is_number()) {
                    value = it->dump(); // every field is text in this answer; a number is kept as sent
                }
                const bool isText = std::string_view(field).substr(0, 3) == "Doc"
                    || std::string_view(field).substr(0, 3) == "Cur";
                if (fault.empty()) {
                    fault = tooLong(field, value, isText ? kMaxTextChars : kMaxNumberChars);
                }
                // A dividend is never below 0, an equity ratio (a fraction) never below 0 nor over
                // 1: such a figure is none, as if not sent.
                const bool dividend = std::string_view(field).find("DivAnn") != std::string_view::npos;
                const bool equityRatio = std::string_view(field) == "EqAR";
                if (dividend || equityRatio) {
                    if (const auto v = figure(value); v && (*v < 0 || (equityRatio && *v > 1))) {
                        value.clear();
                        ++putAside;
                    }
                }
                kept[field] = value;
            }
            return kept;
        });
}

JQuantsAnswer::Check JQuantsAnswer::master(const json& rows)
{
    Check check;
    if (!rows.is_array()) {
        check.fault = "data が配列ではありません";
        return check;
    }
    std::set<std::string> seen;
    for (const auto& row : rows) {
        const std::string code = row.is_object() ? textOf(row, "Code") : std::string();
        if (!isCode(code) || textOf(row, "CoName").empty()
            || (textOf(row, "MktNm").empty() && textOf(row, "Mkt").empty())) {
            check.fault = "銘柄コード・銘柄名・市場のない銘柄があります: "
                + shownValue(row.is_object() ? row.value("Code", json()) : row);
            return check;
        }
        if (!seen.insert(code).second) {
            check.fault = "同じ銘柄が 2 度あります: " + shownValue(code);
            return check;
        }
    }
    check.ok = true;
    check.rows = rows;
    return check;
}

JQuantsAnswer::Check JQuantsAnswer::calendar(const std::string& from, const std::string& to, const json& rows)
{
    Check check;
    if (!rows.is_array()) {
        check.fault = "data が配列ではありません";
        return check;
    }
    std::set<std::string> seen;
    for (const auto& row : rows) {
        const std::string date = row.is_object() ? textOf(row, "Date") : std::string();
        const std::string division = row.is_object() ? textOf(row, "HolDiv") : std::string();
        if (!isDate(date) || date < from || date > to) {
            check.fault
                = "日付が違う行があります: " + shownValue(row.is_object() ? row.value("Date", json()) : row);
            return check;
        }
        if (division.size() != 1 || division[0] < '0' || division[0] > '3') {
            check.fault = "HolDiv が正しくない行があります: " + shownValue(row.value("HolDiv", json()));
            return check;
        }
        if (!seen.insert(date).second) {
            check.fault = "同じ日が 2 度あります: " + shownValue(date);
            return check;
        }
    }
    check.ok = true;
    check.rows = rows;
    return check;
}

std::string JQuantsAnswer::shown(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= 24) {
            out += "…";
            break;
        }
        out.push_back(c < 0x20 || c >= 0x7f ? '?' : static_cast<char>(c));
    }
    return "\"" + out + "\"";
}

} // namespace zuvemo::marketdata
