#include "Value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zuvemo::core {

std::string Value::numberText(double v)
{
    if (v == 0.0) {
        return "0";
    }
    if (std::isnan(v)) {
        return "NaN";
    }
    if (std::isinf(v)) {
        return v > 0 ? "Infinity" : "-Infinity";
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, res.ptr);
    for (auto& c : s) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return s;
}

std::string Value::toText() const
{
    if (auto p = std::get_if<std::string>(&m_data)) {
        return *p;
    }
    if (auto p = std::get_if<std::int64_t>(&m_data)) {
        return std::to_string(*p);
    }
    if (auto p = std::get_if<double>(&m_data)) {
        return numberText(*p);
    }
    return {};
}

double Value::toDouble() const
{
    if (auto p = std::get_if<double>(&m_data)) {
        return *p;
    }
    if (auto p = std::get_if<std::int64_t>(&m_data)) {
        return static_cast<double>(*p);
    }
    if (auto p = std::get_if<std::string>(&m_data)) {
        std::size_t b = p->find_first_not_of(' ');
        if (b == std::string::npos) {
            return 0.0;
        }
        std::size_t e = p->find_last_not_of(' ');
        const char* first = p->data() + b;
        const char* last = p->data() + e + 1;
        if (*first == '+') {
            ++first;
        }
        double v = 0.0;
        auto res = std::from_chars(first, last, v);
        if (res.ec != std::errc() || res.ptr != last) {
            return 0.0;
        }
        return v;
    }
    return 0.0;
}

std::optional<double> Value::decimal(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const std::size_t start = i;
    std::size_t digits = 0;
    bool nonZero = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            ++digits;
            nonZero = nonZero || c != '0';
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        const std::size_t exponent = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        if (i == exponent) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    double v = 0.0;
    const auto res = std::from_chars(text.data() + start, text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(v)
        || (nonZero && v == 0.0)) {
        return std::nullopt;
    }
    return text[0] == '-' ? -v : v;
}

} // namespace zuvemo::core
