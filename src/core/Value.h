#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zuvemo::core {

// A field value as the forms see it: Null, a whole number, a double or a text.
class Value
{
public:
    Value() = default;
    Value(std::int64_t v)
        : m_data(v)
    {
    }
    Value(int v)
        : m_data(static_cast<std::int64_t>(v))
    {
    }
    Value(double v)
        : m_data(v)
    {
    }
    Value(std::string v)
        : m_data(std::move(v))
    {
    }
    Value(const char* v)
        : m_data(std::string(v))
    {
    }

    bool isNull() const { return std::holds_alternative<std::monostate>(m_data); }
    bool isText() const { return std::holds_alternative<std::string>(m_data); }
    bool isNumber() const { return !isNull() && !isText(); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(m_data); }

    // Text as the original runtime converts a value: Null gives "", numbers their
    // shortest form with at most 15 significant digits ("12345", "1102.5").
    std::string toText() const;

    // Numeric value; a text that is not a plain number gives 0.
    double toDouble() const;

    bool operator==(const Value& other) const = default;

    static std::string numberText(double v);

    // A decimal number as a person or a server writes one: an optional sign, digits with at
    // most one point, an optional exponent; no blanks, no hexadecimal, no "inf". None when the
    // value is not finite, or when a text with a non-zero digit would read as 0.
    static std::optional<double> decimal(std::string_view text);

private:
    std::variant<std::monostate, std::int64_t, double, std::string> m_data;
};

} // namespace zuvemo::core
