#include "model/ChartScale.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>

using zuvemo::ui::ChartScale;

namespace {

// Twenty trading days a month from 2025-11 to 2026-06, the days of each month 01 to 20.
std::vector<std::string> eightMonths()
{
    std::vector<std::string> dates;
    for (int m = 0; m < 8; ++m) {
        const int year = m < 2 ? 2025 : 2026;
        const int month = m < 2 ? 11 + m : m - 1;
        for (int d = 1; d <= 20; ++d) {
            char text[11];
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, d);
            dates.emplace_back(text);
        }
    }
    return dates;
}

} // namespace

TEST(ChartScale, EveryShownMonthHasATickAndCrowdedLabelsThinOutEvenly)
{
    const auto dates = eightMonths();
    // Wide: every month labelled; day 0 is not a month's start.
    auto months = ChartScale::months(dates, -0.5, 159.5, 10, 60);
    ASSERT_EQ(months.size(), 7u);
    EXPECT_EQ(months.front().day, 20);
    EXPECT_EQ(months.front().label, "2025-12");
    for (const auto& m : months) {
        EXPECT_TRUE(m.labelled) << m.label;
    }
    // 20 days a month at 2 px a day leaves 40 px: every second month, from January.
    months = ChartScale::months(dates, -0.5, 159.5, 2, 60);
    ASSERT_EQ(months.size(), 7u);
    std::vector<std::string> labelled;
    for (const auto& m : months) {
        if (m.labelled) {
            labelled.push_back(m.label);
        }
    }
    EXPECT_EQ(labelled, (std::vector<std::string>{"2026-01", "2026-03", "2026-05"}));
    // 54 px for three months: every fourth month.
    months = ChartScale::months(dates, -0.5, 159.5, 0.9, 60);
    ASSERT_EQ(months.size(), 7u);
    EXPECT_TRUE(months[1].labelled); // 2026-01
    EXPECT_TRUE(months[5].labelled); // 2026-05
    EXPECT_EQ(std::count_if(months.begin(), months.end(), [](const auto& m) { return m.labelled; }), 2);
    // Only the shown days: the months starting on days 40 to 100.
    months = ChartScale::months(dates, 39.5, 100.5, 10, 60);
    ASSERT_EQ(months.size(), 4u);
    EXPECT_EQ(months.front().day, 40);
    EXPECT_EQ(months.back().day, 100);
    EXPECT_TRUE(ChartScale::months({}, -0.5, 10, 10, 60).empty());
}

TEST(ChartScale, RangesFitTheValuesOnTicksWhoseLabelsNeedNoMoreDigitsThanGiven)
{
    EXPECT_EQ(ChartScale::decimals(0.25), 2);
    EXPECT_EQ(ChartScale::decimals(0.5), 1);
    EXPECT_EQ(ChartScale::decimals(2.5), 1);
    EXPECT_EQ(ChartScale::decimals(250), 0);
    EXPECT_EQ(ChartScale::decimals(0.025), 3);
    EXPECT_EQ(ChartScale::decimals(0.1), 1);

    struct Case
    {
        double lo, hi;
        bool fromZero;
    };
    for (const Case c : {Case{0.12, 1.08, false}, Case{-0.4, 0.7, false}, Case{3810, 4420, false},
             Case{0.93, 1.07, false}, Case{120000, 750000, true}, Case{5, 5, false}}) {
        const auto r = ChartScale::fit(c.lo, c.hi, c.fromZero);
        EXPECT_LE(r.min, c.lo);
        EXPECT_GE(r.max, c.hi);
        // Whole ticks, four to ten of them, each written exactly with the range's digits.
        const double ticks = (r.max - r.min) / r.step;
        EXPECT_NEAR(ticks, std::round(ticks), 1e-9);
        EXPECT_GE(ticks, 4 - 1e-9) << c.lo;
        EXPECT_LE(ticks, 10 + 1e-9) << c.lo;
        for (double v = r.min; v <= r.max + r.step / 2; v += r.step) {
            const double shown = std::round(v * std::pow(10, r.decimals)) / std::pow(10, r.decimals);
            EXPECT_NEAR(shown, v, 1e-9) << v;
        }
    }
    // A price axis starts near the lows; a volume axis at 0.
    EXPECT_GE(ChartScale::fit(3810, 4420, false).min, 3600);
    EXPECT_EQ(ChartScale::fit(120000, 750000, true).min, 0);
    EXPECT_EQ(ChartScale::fit(0.12, 1.08, false).decimals, 2);
}

TEST(ChartScale, TheExtentSkipsUndefinedValuesAndDaysWithoutTrade)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> high{0, 3900, 4100, none, 4400, 9999};
    const std::vector<double> mean{none, none, 3850, 3870, 3880, 3890};
    auto e = ChartScale::extent({&high, &mean}, 0, 4, true);
    ASSERT_TRUE(e.any);
    EXPECT_EQ(e.lo, 3850);
    EXPECT_EQ(e.hi, 4400);
    e = ChartScale::extent({&high}, 0, 1, false);
    EXPECT_EQ(e.lo, 0);
    EXPECT_FALSE(ChartScale::extent({&mean}, 0, 1, true).any);
    // Days beyond the series are none.
    EXPECT_EQ(ChartScale::extent({&high}, 4, 40, true).hi, 9999);
}
