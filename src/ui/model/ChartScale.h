#pragma once

#include "analysis/PeriodBars.h"

#include <string>
#include <vector>

namespace zuvemo::ui {

// The axes of the chart window without widgets: the months along the shown days and the value
// ranges that fit them.
class ChartScale
{
public:
    struct Month
    {
        int day; // the month's first stored day
        std::string label; // "2026-02"
        bool labelled; // false: a tick only, the labels being too crowded
    };
    // A tick on the first stored day of every month from first to last (day 0 is no month's
    // start: the month may have begun before the history). Labels go on every month, or on
    // every 2nd, 3rd, 4th, 6th or 12th counted from January, whichever is the first to keep
    // them labelRoom pixels apart.
    static std::vector<Month> months(const std::vector<std::string>& dates, double first, double last,
        double pixelsPerDay, double labelRoom);

    // The ticks that fit bars of a period: months for days (as months), for weeks a tick on
    // every quarter's first bar, for months on every year's; the labels ("2026-04", or "2026"
    // once they are a year or more apart) on every 1, 2 or 4 quarters or 1, 2, 5 or 10 years,
    // whichever is the first to keep them labelRoom pixels apart.
    static std::vector<Month> periodTicks(const std::vector<std::string>& dates, double first, double last,
        double pixelsPerBar, double labelRoom, analysis::PeriodBars::Period period);

    struct Range
    {
        double min = 0;
        double max = 1;
        double step = 0.2;
        int decimals = 1; // digits after the point that every tick needs
    };
    // A range a little wider than lo..hi, from and to whole ticks of 1, 2, 2.5 or 5 times a
    // power of ten, about ticks of them (a short chart has room for fewer labels); from 0 when
    // fromZero and lo is not negative.
    static Range fit(double lo, double hi, bool fromZero, int ticks = 5);
    // The intervals between ticks a value axis of height pixels has room for (2 to 5), with labels
    // lineHeight high.
    static int ticksFor(double height, double lineHeight);
    // The digits after the point that multiples of step need (0.25: 2, 0.5: 1, 250: 0).
    static int decimals(double step);

    struct Extent
    {
        double lo;
        double hi;
        bool any; // false: no defined value on the days
    };
    // The lowest and highest finite value of the series on days from to to; with skipZero, a 0
    // counts as no value (a price on a day without trade).
    static Extent extent(
        const std::vector<const std::vector<double>*>& series, int from, int to, bool skipZero);
};

} // namespace zuvemo::ui
