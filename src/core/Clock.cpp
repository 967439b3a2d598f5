#include "Clock.h"

#include <ctime>

namespace zuvemo::core {

std::chrono::year_month_day Clock::today() const
{
    // The user's local calendar day, as the original's Date function gave it.
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
        std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
        std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}

namespace {

std::string lastDigits(long value, std::size_t n)
{
    std::string s = std::string(n, '0') + std::to_string(value);
    return s.substr(s.size() - n);
}

} // namespace

std::string Clock::eightDigits(std::chrono::year_month_day date)
{
    return lastDigits(static_cast<int>(date.year()), 4) + lastDigits(static_cast<unsigned>(date.month()), 2)
        + lastDigits(static_cast<unsigned>(date.day()), 2);
}

std::string Clock::dashed(std::chrono::year_month_day date)
{
    return lastDigits(static_cast<int>(date.year()), 4) + "-"
        + lastDigits(static_cast<unsigned>(date.month()), 2) + "-"
        + lastDigits(static_cast<unsigned>(date.day()), 2);
}

} // namespace zuvemo::core
