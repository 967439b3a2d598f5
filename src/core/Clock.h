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
    // Local date and time, "YYYY-MM-DD HH:MM:SS".
    virtual std::string timestamp() const;

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
    std::string timestamp() const override { return dashed(m_day) + " " + m_time; }
    void setTime(const std::string& hhmmss) { m_time = hhmmss; }

private:
    std::chrono::year_month_day m_day;
    std::string m_time = "18:00:00";
};

} // namespace zuvemo::core
