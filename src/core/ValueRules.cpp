#include "ValueRules.h"

#include "Utf8.h"

#include <charconv>
#include <cmath>

namespace zuvemo::core {

std::string TrimOrSpace(std::string_view text)
{
    std::string t = Utf8::trim(text);
    return t.empty() ? std::string(" ") : t;
}

std::string TrimOrSpace(const Value& value)
{
    if (value.isNull()) {
        return " ";
    }
    return TrimOrSpace(std::string_view(value.toText()));
}

std::string NumberOrZero(std::string_view text)
{
    std::string t = Utf8::trim(text);
    if (t.empty() || !IsAllowedChars(t, "T")) {
        return "0";
    }
    return t;
}

std::string NumberOrZero(const Value& value)
{
    if (value.isNull()) {
        return "0";
    }
    return NumberOrZero(std::string_view(value.toText()));
}

std::string PriceOrZero(std::string_view text)
{
    std::string t = Utf8::trim(text);
    const auto point = t.find('.');
    if (point == std::string::npos || point == 0 || point + 1 == t.size()) {
        return NumberOrZero(std::string_view(t));
    }
    const std::string whole = t.substr(0, point);
    const std::string fraction = t.substr(point + 1);
    if (!IsAllowedChars(whole, "T") || !IsAllowedChars(fraction, "T")) {
        return "0";
    }
    return t;
}

std::string PriceOrZero(const Value& value)
{
    if (value.isNull()) {
        return "0";
    }
    return PriceOrZero(std::string_view(value.toText()));
}

bool IsAllowedChars(std::string_view text, std::string_view mode)
{
    if (text.empty()) {
        return false;
    }
    std::string_view allowed;
    if (mode == "T") {
        allowed = "0123456789";
    } else if (mode == "S") {
        allowed = "0123456789,";
    } else if (mode == "K") {
        allowed = "0123456789.,";
    } else {
        return true;
    }
    // Multi-byte characters (full-width digits among them) never match: their bytes are all >= 0x80.
    for (char c : text) {
        if (allowed.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

namespace {

// Fixed-point digits of |value| with the given decimals, a half rounded away from zero.
std::string fixedDigits(double value, int decimals)
{
    double a = std::fabs(value);
    double scale = std::pow(10.0, decimals);
    double scaled = a * scale;
    // An exact tie can only arise when the product is exact; then round away from zero.
    if (std::fma(a, scale, -scaled) == 0.0 && scaled - std::floor(scaled) == 0.5) {
        a = (std::floor(scaled) + 1.0) / scale;
    }
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, decimals);
    return std::string(buf, res.ptr);
}

std::string groupThousands(const std::string& integerDigits)
{
    std::string out;
    int n = static_cast<int>(integerDigits.size());
    for (int i = 0; i < n; ++i) {
        out.push_back(integerDigits[static_cast<std::size_t>(i)]);
        int left = n - 1 - i;
        if (left > 0 && left % 3 == 0) {
            out.push_back(',');
        }
    }
    return out;
}

} // namespace

std::string FormatNumber(double value, std::string_view pattern)
{
    if (!std::isfinite(value)) {
        return {};
    }
    bool percent = pattern == "0.00%";
    if (percent) {
        value *= 100.0;
    }
    int decimals = 0;
    if (pattern == "#,##0.00" || percent || pattern == "#.##") {
        decimals = 2;
    }
    std::string digits = fixedDigits(value, decimals);
    std::string intPart = digits;
    std::string fracPart;
    if (auto dot = digits.find('.'); dot != std::string::npos) {
        intPart = digits.substr(0, dot);
        fracPart = digits.substr(dot + 1);
    }
    bool allZero = digits.find_first_not_of("0.") == std::string::npos;
    std::string sign = (value < 0 && !allZero) ? "-" : "";

    if (pattern == "#,###") {
        if (intPart == "0") {
            return sign;
        }
        return sign + groupThousands(intPart);
    }
    if (pattern == "#,##0") {
        return sign + groupThousands(intPart);
    }
    if (pattern == "#,##0.00") {
        return sign + groupThousands(intPart) + "." + fracPart;
    }
    if (percent) {
        return sign + intPart + "." + fracPart + "%";
    }
    if (pattern == "#.##") {
        while (!fracPart.empty() && fracPart.back() == '0') {
            fracPart.pop_back();
        }
        return sign + (intPart == "0" ? std::string() : intPart) + "." + fracPart;
    }
    return Value::numberText(value);
}

std::optional<std::int32_t> RoundToLong(double value)
{
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    double r = std::nearbyint(value);
    if (r < -2147483648.0 || r > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(r);
}

std::string SqlText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    return out;
}

} // namespace zuvemo::core
