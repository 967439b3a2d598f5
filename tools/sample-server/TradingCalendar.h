#pragma once

#include <chrono>
#include <vector>

namespace zuvemo::sample {

// Days the Japanese exchanges trade: weekdays that are no public holiday and not one of the
// year-end closing days (31 December, 2 and 3 January).
class TradingCalendar
{
public:
    static bool isPublicHoliday(std::chrono::year_month_day day);
    static bool isTradingDay(std::chrono::year_month_day day);

    // The count trading days ending on the latest trading day not after lastDay, oldest first.
    static std::vector<std::chrono::sys_days> tradingDaysUntil(
        std::chrono::year_month_day lastDay, int count);
};

} // namespace zuvemo::sample
