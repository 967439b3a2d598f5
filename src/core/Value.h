#pragma once

#include <cstdint>
#include <string>
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

private:
    std::variant<std::monostate, std::int64_t, double, std::string> m_data;
};

} // namespace zuvemo::core
