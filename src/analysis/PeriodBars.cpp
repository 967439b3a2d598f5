#include "PeriodBars.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace zuvemo::analysis {

namespace {

using namespace std::chrono;

year_month_day parse(const std::string& date)
{
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    if (std::sscanf(date.c_str(), "%d-%u-%u", &y, &m, &d) != 3) {
        return year_month_day{};
    }
    return year_month_day{year{y}, month{m}, day{d}};
}

std::string text(year_month_day date)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return buffer;
}

year_month_day startOf(year_month_day date, PeriodBars::Period period)
{
    if (period == PeriodBars::Period::Month) {
        return date.year() / date.month() / 1;
    }
    const sys_days days{date};
    return year_month_day{days - (weekday{days} - Monday)};
}

year_month_day next(year_month_day start, PeriodBars::Period period)
{
    if (period == PeriodBars::Period::Month) {
        return year_month_day{start + months{1}};
    }
    return year_month_day{sys_days{start} + days{7}};
}

} // namespace

std::string PeriodBars::periodStart(const std::string& date, Period period)
{
    return period == Period::Day ? date : text(startOf(parse(date), period));
}

std::vector<PeriodBars::Bar> PeriodBars::of(const std::vector<Bar>& days, Period period)
{
    if (period == Period::Day) {
        return days;
    }
    std::vector<Bar> out;
    if (days.empty() || !parse(days.front().date).ok()) {
        return out;
    }
    auto start = startOf(parse(days.front().date), period);
    std::size_t i = 0;
    while (i < days.size()) {
        const auto end = next(start, period);
        const std::string endText = text(end);
        Bar bar;
        bar.date = text(start);
        for (; i < days.size() && days[i].date < endText; ++i) {
            const Bar& d = days[i];
            bar.firstDay = bar.firstDay < 0 ? static_cast<int>(i) : bar.firstDay;
            bar.lastDay = static_cast<int>(i);
            if (!d.traded) {
                continue;
            }
            if (!bar.traded) {
                bar.traded = true;
                bar.date = d.date;
                bar.open = d.open;
                bar.high = d.high;
                bar.low = d.low;
            }
            bar.high = std::max(bar.high, d.high);
            bar.low = std::min(bar.low, d.low);
            bar.close = d.close;
            bar.volume += d.volume;
            bar.turnover += d.turnover;
        }
        out.push_back(bar);
        start = end;
    }
    return out;
}

} // namespace zuvemo::analysis
