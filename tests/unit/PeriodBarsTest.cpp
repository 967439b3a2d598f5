#include "analysis/PeriodBars.h"

#include <gtest/gtest.h>

using zuvemo::analysis::PeriodBars;
using Bar = PeriodBars::Bar;
using Period = PeriodBars::Period;

namespace {

Bar day(const char* date, double o, double h, double l, double c, double v, double va)
{
    return Bar{date, o, h, l, c, v, va, true, -1, -1};
}

Bar untraded(const char* date)
{
    Bar b;
    b.date = date;
    return b;
}

// 2025-01-27 (Mon) to 2025-02-18: a week across the month's end, a holiday on Tuesday 2025-02-11,
// a week (02-03 to 02-07) the stock did not trade at all, and a last week of one day.
std::vector<Bar> days()
{
    return {
        day("2025-01-27", 100, 104, 99, 103, 10, 1000),
        day("2025-01-28", 103, 106, 101, 105, 20, 2100),
        untraded("2025-01-29"),
        day("2025-01-30", 105, 105, 95, 96, 30, 2900),
        day("2025-01-31", 96, 98, 94, 97, 40, 3800),
        day("2025-02-03", 97, 97, 97, 97, 0, 0),
        untraded("2025-02-04"),
        untraded("2025-02-05"),
        untraded("2025-02-06"),
        untraded("2025-02-07"),
        day("2025-02-10", 98, 101, 97, 100, 5, 500),
        day("2025-02-12", 100, 110, 100, 108, 6, 640),
        day("2025-02-13", 108, 109, 90, 92, 7, 650),
        day("2025-02-18", 93, 95, 91, 94, 8, 750),
    };
}

void expectBar(const Bar& b, const char* date, double o, double h, double l, double c, double v, double va,
    int first, int last)
{
    EXPECT_TRUE(b.traded) << date;
    EXPECT_EQ(b.date, date);
    EXPECT_DOUBLE_EQ(b.open, o) << date;
    EXPECT_DOUBLE_EQ(b.high, h) << date;
    EXPECT_DOUBLE_EQ(b.low, l) << date;
    EXPECT_DOUBLE_EQ(b.close, c) << date;
    EXPECT_DOUBLE_EQ(b.volume, v) << date;
    EXPECT_DOUBLE_EQ(b.turnover, va) << date;
    EXPECT_EQ(b.firstDay, first) << date;
    EXPECT_EQ(b.lastDay, last) << date;
}

} // namespace

TEST(PeriodBars, WeeksRunMondayToFridayAndAWeekWithoutATradeIsAGap)
{
    auto input = days();
    // Without its trade on 02-03 the stock has none that week.
    input[5] = untraded("2025-02-03");
    const auto weeks = PeriodBars::of(input, Period::Week);
    ASSERT_EQ(weeks.size(), 4u);
    // Summed by hand: open of 01-27, close of 01-31, high of 01-28, low of 01-31.
    expectBar(weeks[0], "2025-01-27", 100, 106, 94, 97, 100, 9800, 0, 4);
    EXPECT_FALSE(weeks[1].traded);
    EXPECT_EQ(weeks[1].date, "2025-02-03");
    EXPECT_EQ(weeks[1].firstDay, 5);
    expectBar(weeks[2], "2025-02-10", 98, 110, 90, 92, 18, 1790, 10, 12);
    // Monday 02-17 not stored: the week opens on its first traded day.
    expectBar(weeks[3], "2025-02-18", 93, 95, 91, 94, 8, 750, 13, 13);
}

TEST(PeriodBars, MonthsAreCalendarMonthsAndDaysStayAsTheyAre)
{
    const auto input = days();
    const auto months = PeriodBars::of(input, Period::Month);
    ASSERT_EQ(months.size(), 2u);
    expectBar(months[0], "2025-01-27", 100, 106, 94, 97, 100, 9800, 0, 4);
    expectBar(months[1], "2025-02-03", 97, 110, 90, 94, 26, 2540, 5, 13);

    EXPECT_EQ(PeriodBars::of(input, Period::Day).size(), input.size());
    EXPECT_TRUE(PeriodBars::of({}, Period::Week).empty());

    EXPECT_EQ(PeriodBars::periodStart("2025-02-13", Period::Week), "2025-02-10");
    EXPECT_EQ(PeriodBars::periodStart("2025-02-10", Period::Week), "2025-02-10");
    EXPECT_EQ(PeriodBars::periodStart("2025-02-16", Period::Week), "2025-02-10"); // Sunday
    EXPECT_EQ(PeriodBars::periodStart("2024-03-01", Period::Week), "2024-02-26"); // leap year
    EXPECT_EQ(PeriodBars::periodStart("2024-12-31", Period::Week), "2024-12-30");
    EXPECT_EQ(PeriodBars::periodStart("2025-01-01", Period::Week), "2024-12-30");
    EXPECT_EQ(PeriodBars::periodStart("2025-02-13", Period::Month), "2025-02-01");
}
