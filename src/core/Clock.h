#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace zuvemo::core {

// Today's date, replaceable so tests can choose the day.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::chrono::year_month_day today() const;

    // Eight digits: year, month, day.
    static std::string eightDigits(std::chrono::year_month_day date);
    // Year "-" month "-" day.
    static std::string dashed(std::chrono::year_month_day date);
};

class FixedClock : public Clock
{
public:
    explicit FixedClock(std::chrono::year_month_day day)
        : m_day(day)
    {
    }
    std::chrono::year_month_day today() const override { return m_day; }

private:
    std::chrono::year_month_day m_day;
};

} // namespace zuvemo::core
