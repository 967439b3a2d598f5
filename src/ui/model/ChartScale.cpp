#include "ChartScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zuvemo::ui {

namespace {

// Year × 12 + month − 1 of "YYYY-MM-DD", or -1.
int monthIndex(const std::string& date)
{
    if (date.size() < 7 || date[4] != '-') {
        return -1;
    }
    try {
        return std::stoi(date.substr(0, 4)) * 12 + std::stoi(date.substr(5, 2)) - 1;
    } catch (const std::exception&) {
        return -1;
    }
}

} // namespace

std::vector<ChartScale::Month> ChartScale::months(
    const std::vector<std::string>& dates, double first, double last, double pixelsPerDay, double labelRoom)
{
    const int days = static_cast<int>(dates.size());
    const int from = std::max(1, static_cast<int>(std::ceil(first)));
    const int to = std::min(days - 1, static_cast<int>(std::floor(last)));
    std::vector<Month> ticks;
    std::vector<int> indices;
    for (int i = from; i <= to; ++i) {
        const auto n = static_cast<std::size_t>(i);
        if (dates[n].substr(0, 7) != dates[n - 1].substr(0, 7)) {
            ticks.push_back({i, dates[n].substr(0, 7), false});
            indices.push_back(monthIndex(dates[n]));
        }
    }
    for (int every : {1, 2, 3, 4, 6, 12}) {
        int previous = -1;
        bool fits = true;
        for (std::size_t t = 0; t < ticks.size(); ++t) {
            if (indices[t] < 0 || indices[t] % every != 0) {
                continue;
            }
            if (previous >= 0 && (ticks[t].day - previous) * pixelsPerDay < labelRoom) {
                fits = false;
                break;
            }
            previous = ticks[t].day;
        }
        if (fits || every == 12) {
            for (std::size_t t = 0; t < ticks.size(); ++t) {
                ticks[t].labelled = indices[t] >= 0 && indices[t] % every == 0;
            }
            break;
        }
    }
    return ticks;
}

std::vector<ChartScale::Month> ChartScale::periodTicks(const std::vector<std::string>& dates, double first,
    double last, double pixelsPerBar, double labelRoom, analysis::PeriodBars::Period period)
{
    using Period = analysis::PeriodBars::Period;
    if (period == Period::Day) {
        return months(dates, first, last, pixelsPerBar, labelRoom);
    }
    const int unit = period == Period::Week ? 3 : 12;
    const int bars = static_cast<int>(dates.size());
    const int from = std::max(1, static_cast<int>(std::ceil(first)));
    const int to = std::min(bars - 1, static_cast<int>(std::floor(last)));
    std::vector<Month> ticks;
    std::vector<int> indices;
    for (int i = from; i <= to; ++i) {
        const auto n = static_cast<std::size_t>(i);
        const int month = monthIndex(dates[n]);
        const int before = monthIndex(dates[n - 1]);
        if (month >= 0 && before >= 0 && month / unit != before / unit) {
            ticks.push_back({i, {}, false});
            indices.push_back(month - month % unit);
        }
    }
    for (int every : {3, 6, 12, 24, 60, 120}) {
        if (every < unit) {
            continue;
        }
        int previous = -1;
        bool fits = true;
        for (std::size_t t = 0; t < ticks.size(); ++t) {
            if (indices[t] % every != 0) {
                continue;
            }
            if (previous >= 0 && (ticks[t].day - previous) * pixelsPerBar < labelRoom) {
                fits = false;
                break;
            }
            previous = ticks[t].day;
        }
        if (fits || every == 120) {
            for (std::size_t t = 0; t < ticks.size(); ++t) {
                ticks[t].labelled = indices[t] % every == 0;
                const int year = indices[t] / 12;
                char label[16];
                if (every >= 12) {
                    std::snprintf(label, sizeof label, "%04d", year);
                } else {
                    std::snprintf(label, sizeof label, "%04d-%02d", year, indices[t] % 12 + 1);
                }
                ticks[t].label = label;
            }
            break;
        }
    }
    return ticks;
}

int ChartScale::decimals(double step)
{
    for (int d = 0; d < 8; ++d) {
        const double scaled = step * std::pow(10.0, d);
        if (std::abs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled)) {
            return d;
        }
    }
    return 8;
}

int ChartScale::ticksFor(double height, double lineHeight)
{
    // The axis gives each label an equal share of its height less 4 pixels of padding above and
    // below it, and cuts a label whose share is lower than its line.
    const double room = std::max(1.0, lineHeight + 8);
    return std::clamp(static_cast<int>(height / room) - 1, 2, 5);
}

ChartScale::Range ChartScale::fit(double lo, double hi, bool fromZero, int ticks)
{
    if (!(hi > lo)) {
        const double half = std::max(std::abs(hi) * 0.05, 0.5);
        lo -= half;
        hi += half;
    }
    const double pad = (hi - lo) * 0.01;
    const double low = fromZero && lo >= 0 ? 0 : lo - pad;
    const double high = hi + pad;
    // The finest step of 1, 2, 2.5 or 5 times a power of ten that needs no more than ticks
    // intervals from a whole tick below the values to one above them.
    const int most = std::max(2, ticks);
    double power = std::pow(10.0, std::floor(std::log10((high - low) / most)) - 1);
    Range range;
    for (bool found = false; !found; power *= 10) {
        for (double m : {1.0, 2.0, 2.5, 5.0}) {
            const double step = m * power;
            const double from = std::floor(low / step) * step;
            const double to = std::ceil(high / step) * step;
            if (std::lround((to - from) / step) <= most) {
                range.step = step;
                range.min = from;
                range.max = to;
                found = true;
                break;
            }
        }
    }
    range.decimals = decimals(range.step);
    return range;
}

ChartScale::Extent ChartScale::extent(
    const std::vector<const std::vector<double>*>& series, int from, int to, bool skipZero)
{
    Extent e{0, 0, false};
    for (const auto* values : series) {
        const int last = std::min(to, static_cast<int>(values->size()) - 1);
        for (int i = std::max(0, from); i <= last; ++i) {
            const double v = (*values)[static_cast<std::size_t>(i)];
            if (!std::isfinite(v) || (skipZero && v == 0)) {
                continue;
            }
            e.lo = e.any ? std::min(e.lo, v) : v;
            e.hi = e.any ? std::max(e.hi, v) : v;
            e.any = true;
        }
    }
    return e;
}

} // namespace zuvemo::ui
