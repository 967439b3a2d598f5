#include "TradingCalendar.h"

#include <algorithm>
#include <cmath>

namespace zuvemo::sample {

using namespace std::chrono;

namespace {

unsigned nthMonday(int y, unsigned m, unsigned n)
{
    year_month_day first{year{y}, month{m}, day{1}};
    weekday wd{sys_days{first}};
    unsigned offset = (Monday - wd).count();
    return 1 + offset + 7 * (n - 1);
}

unsigned vernalEquinox(int y)
{
    return static_cast<unsigned>(std::floor(20.8431 + 0.242194 * (y - 1980) - std::floor((y - 1980) / 4.0)));
}

unsigned autumnalEquinox(int y)
{
    return static_cast<unsigned>(std::floor(23.2488 + 0.242194 * (y - 1980) - std::floor((y - 1980) / 4.0)));
}

bool isNamedHoliday(year_month_day ymd)
{
    int y = static_cast<int>(ymd.year());
    unsigned m = static_cast<unsigned>(ymd.month());
    unsigned d = static_cast<unsigned>(ymd.day());
    switch (m) {
    case 1:
        return d == 1 || d == nthMonday(y, 1, 2);
    case 2:
        return d == 11 || (y >= 2020 && d == 23);
    case 3:
        return d == vernalEquinox(y);
    case 4:
        return d == 29;
    case 5:
        return d == 3 || d == 4 || d == 5;
    case 7:
        return d == nthMonday(y, 7, 3);
    case 8:
        return y >= 2016 && d == 11;
    case 9:
        return d == nthMonday(y, 9, 3) || d == autumnalEquinox(y);
    case 10:
        return d == nthMonday(y, 10, 2);
    case 11:
        return d == 3 || d == 23;
    default:
        return false;
    }
}

} // namespace

bool TradingCalendar::isPublicHoliday(year_month_day ymd)
{
    if (isNamedHoliday(ymd)) {
        return true;
    }
    sys_days day{ymd};
    // Substitute holiday: the first non-holiday after a holiday that fell on a Sunday.
    if (weekday{day} != Sunday) {
        for (int back = 1; back <= 7; ++back) {
            year_month_day prev{day - days{back}};
            if (!isNamedHoliday(prev)) {
                break;
            }
            if (weekday{sys_days{prev}} == Sunday) {
                return true;
            }
        }
    }
    // A day between two holidays is a holiday too.
    return isNamedHoliday(year_month_day{day - days{1}}) && isNamedHoliday(year_month_day{day + days{1}})
        && weekday{day} != Sunday;
}

bool TradingCalendar::isTradingDay(year_month_day ymd)
{
    weekday wd{sys_days{ymd}};
    if (wd == Saturday || wd == Sunday) {
        return false;
    }
    unsigned m = static_cast<unsigned>(ymd.month());
    unsigned d = static_cast<unsigned>(ymd.day());
    if ((m == 12 && d == 31) || (m == 1 && (d == 2 || d == 3))) {
        return false;
    }
    return !isPublicHoliday(ymd);
}

std::vector<sys_days> TradingCalendar::tradingDaysUntil(year_month_day lastDay, int count)
{
    std::vector<sys_days> out;
    sys_days day{lastDay};
    while (static_cast<int>(out.size()) < count) {
        if (isTradingDay(year_month_day{day})) {
            out.push_back(day);
        }
        day -= days{1};
    }
    std::reverse(out.begin(), out.end());
    return out;
}

} // namespace zuvemo::sample
