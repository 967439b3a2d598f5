#include "model/ChartScale.h"

#include "model/MoneyAxis.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>

using zuvemo::ui::ChartScale;
using zuvemo::ui::MoneyAxis;

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

TEST(MoneyAxis, EquityStaysAtOrAboveZeroAndItsLabelsSayYenGroupedInTheUnitTheRangeAsks)
{
    auto labels = [](const MoneyAxis::Scale& s) {
        std::vector<std::string> out;
        for (const auto& t : s.ticks) {
            out.push_back(t.label);
        }
        return out;
    };
    // A rule that lost nearly all beside a market that doubled: a price axis would run below 0.
    EXPECT_LT(ChartScale::fit(1714, 2105357, false).min, 0);
    auto s = MoneyAxis::fit(1714, 2105357);
    EXPECT_EQ(s.min, 0);
    EXPECT_GE(s.max, 2105357);
    EXPECT_EQ(
        labels(s), (std::vector<std::string>{"0", "50万円", "100万円", "150万円", "200万円", "250万円"}));

    // Values far above 0 start the axis at a whole tick just below the lowest, not at 0.
    s = MoneyAxis::fit(950000, 1100000);
    EXPECT_GT(s.min, 800000);
    EXPECT_LE(s.min, 950000);
    EXPECT_GE(s.max, 1100000);
    for (const auto& t : s.ticks) {
        EXPECT_NE(t.label.find("万円"), std::string::npos) << t.label;
    }
    EXPECT_EQ(s.ticks.front().value, s.min);
    EXPECT_EQ(s.ticks.back().value, s.max);

    // Hundreds of millions in 億円, a small capital in 円 with its digits grouped, a step of a
    // fraction of the unit with its decimals.
    EXPECT_EQ(labels(MoneyAxis::fit(9e7, 3.2e8)),
        (std::vector<std::string>{"0", "1億円", "2億円", "3億円", "4億円"}));
    EXPECT_EQ(MoneyAxis::label(20000, 10000, 60000), "20,000円");
    EXPECT_EQ(MoneyAxis::label(1025000, 25000, 1.1e6), "102.5万円");
    EXPECT_EQ(MoneyAxis::label(1.5e8, 5e7, 3e8), "1.5億円");
    EXPECT_EQ(MoneyAxis::label(1.2e12, 1e11, 2e12), "12,000億円");

    // A line that never moved still gets a range around it.
    s = MoneyAxis::fit(1000000, 1000000);
    EXPECT_LT(s.min, 1000000);
    EXPECT_GT(s.max, 1000000);
    EXPECT_GE(s.min, 0);
}
