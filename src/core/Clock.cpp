#include "Clock.h"

#include <ctime>

namespace zuvemo::core {

namespace {

std::tm localNow()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

} // namespace

std::chrono::year_month_day Clock::today() const
{
    // The user's local calendar day, as the original's Date function gave it.
    const std::tm local = localNow();
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

std::string Clock::timestamp() const
{
    const std::tm local = localNow();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

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
