#include "model/ChartStudies.h"

#include "analysis/PriceStudies.h"
#include "analysis/TechnicalFigures.h"
#include "export/ChartData.h"
#include "model/ChartChoice.h"
#include "model/ChartScale.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>

using namespace zuvemo;
using ui::ChartChoice;
using ui::ChartScale;
using ui::ChartStudies;
using Period = ChartChoice::Period;
using Bar = analysis::TechnicalFigures::Bar;

namespace {

std::string dashed(std::chrono::sys_days day)
{
    const std::chrono::year_month_day d{day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(d.year()),
        static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return text;
}

// Weekdays from Monday 2024-01-01, a wave of prices; a market day without a trade every 37th day
// (no row of the stock's, as the store leaves it).
exporting::ChartData history(int days)
{
    exporting::ChartData d;
    std::chrono::sys_days day{std::chrono::year{2024} / 1 / 1};
    int row = 0;
    for (int i = 0; i < days; ++i, ++day) {
        while (std::chrono::weekday{day}.iso_encoding() > 5) {
            ++day;
        }
        d.dates.push_back(dashed(day));
        const bool traded = i % 37 != 20;
        const double c = 1000 + 120 * std::sin(i / 9.0) + 15 * std::cos(i / 2.3);
        const double o = c + 8 * std::sin(i * 1.7);
        const double none = std::numeric_limits<double>::quiet_NaN();
        d.stored.push_back(traded ? row++ : -1);
        d.open.push_back(traded ? o : none);
        d.close.push_back(traded ? c : none);
        d.high.push_back(traded ? std::max(o, c) + 6 : none);
        d.low.push_back(traded ? std::min(o, c) - 6 : none);
        d.volume.push_back(traded ? 1000 + i : none);
        d.turnover.push_back(traded ? (1000 + i) * c : none);
    }
    for (auto* v : {&d.mean30, &d.mean54, &d.volumeMean30, &d.shortStrength, &d.strength14, &d.band,
             &d.ratio6, &d.ratio30, &d.ratio54}) {
        v->assign(d.dates.size(), std::numeric_limits<double>::quiet_NaN());
    }
    for (auto* v : {&d.shortSignal, &d.volumeSignal, &d.zone4, &d.zone14, &d.zone7}) {
        v->assign(d.dates.size(), " ");
    }
    return d;
}

// The bars as find reads them: the close carried over a day without a trade.
std::vector<Bar> carried(const std::vector<analysis::PeriodBars::Bar>& bars)
{
    std::vector<Bar> out;
    for (const auto& b : bars) {
        if (b.traded) {
            out.push_back({b.close, b.high, b.low, b.volume, b.turnover, true});
        } else if (!out.empty()) {
            out.push_back({out.back().c, out.back().c, out.back().c, 0, 0, false});
        }
    }
    return out;
}

double value(const std::optional<double>& v)
{
    return v ? *v : std::numeric_limits<double>::quiet_NaN();
}

void expectSame(double a, double b, const std::string& what)
{
    if (std::isnan(b)) {
        EXPECT_TRUE(std::isnan(a)) << what;
    } else {
        EXPECT_DOUBLE_EQ(a, b) << what;
    }
}

} // namespace

TEST(ChartStudies, EachBarsLinesAreTheFiguresOfTheBarsUpToItWithTheCloudAheadAndTheLaggingLineBack)
{
    const auto data = history(420);
    for (Period period : {Period::Day, Period::Week, Period::Month}) {
        ChartChoice choice;
        choice.period = period;
        const ChartStudies s(data, choice);
        const auto bars = analysis::PeriodBars::of(data.dailyBars(), period);
        ASSERT_EQ(s.count(), static_cast<int>(bars.size()));
        const auto find = carried(bars);
        ASSERT_EQ(find.size(), bars.size());
        ASSERT_EQ(s.span1.size(), bars.size() + ChartStudies::kShift);
        for (std::size_t t = 0; t < find.size(); t += period == Period::Day ? 13 : 1) {
            // The figures of t from the bars the price figures read for t: at most 251 up to it.
            const std::size_t w = std::min<std::size_t>(t + 1, analysis::TechnicalFigures::kLookBack);
            const auto own = analysis::PriceStudies::of(find.data() + t + 1 - w, w);
            const std::string at = std::to_string(static_cast<int>(period)) + " bar " + std::to_string(t);
            expectSame(s.macd[t], value(own.macd), "macd " + at);
            expectSame(s.macdHist[t], value(own.macdHist), "hist " + at);
            expectSame(s.bbSigma[t], value(own.bbSigma), "sigma " + at);
            expectSame(s.kijun[t], value(own.kijun), "kijun " + at);
            expectSame(s.slowD[t], value(own.slowD), "slowD " + at);
            expectSame(s.span2[t + ChartStudies::kShift], value(own.span2), "span2 " + at);
            marketdata::Fundamentals::Figures f;
            analysis::TechnicalFigures::compute(
                find.data() + t + 1 - w, w, f, analysis::TechnicalFigures::needOf("rsi"));
            expectSame(s.rsi[t], value(f.rsi), "rsi " + at);
            // The means of the carried close.
            const auto span = static_cast<std::size_t>(choice.meanLengths()[1]);
            if (t + 1 >= span) {
                double sum = 0;
                for (std::size_t i = t + 1 - span; i <= t; ++i) {
                    sum += find[i].c;
                }
                EXPECT_NEAR(s.means[1][t], sum / static_cast<double>(span), 1e-9) << at;
            } else {
                EXPECT_TRUE(std::isnan(s.means[1][t])) << at;
            }
            // 遅行スパン: the close 25 bars on, none where that bar had no trade or is not yet.
            const std::size_t ahead = t + ChartStudies::kShift;
            expectSame(s.lagging[t],
                ahead < bars.size() && bars[ahead].traded ? bars[ahead].close
                                                          : std::numeric_limits<double>::quiet_NaN(),
                "lagging " + at);
        }
        // Nothing of the cloud before its first 52 bars, and over the 25 bars past the last.
        if (bars.size() > 60) {
            EXPECT_TRUE(std::isnan(s.span2[ChartStudies::kShift + 50]));
            EXPECT_FALSE(std::isnan(s.span2.back()));
            EXPECT_FALSE(std::isnan(s.span1.back()));
        }
    }
}

TEST(ChartStudies, TheTopLineNamesTheBarsPricesAndTheChosenLinesValues)
{
    const auto data = history(200);
    ChartChoice choice;
    const ChartStudies days(data, choice);
    const std::string line = days.topLine(150, choice, data);
    EXPECT_EQ(
        line.rfind(
            data.dates[150] + "  始値 " + exporting::ChartData::priceText(data.open[150]) + " 高値 ", 0),
        0u)
        << line;
    EXPECT_NE(line.find(" MA25 " + exporting::ChartData::priceText(days.means[1][150])), std::string::npos)
        << line;
    // The workbook's figures end it with the zones chosen.
    EXPECT_NE(line.find("  30日平均 - 54日平均 -  短期 - 中期 -  ゾーン 4日 -"), std::string::npos) << line;
    EXPECT_EQ(line.find("RSI"), std::string::npos);
    EXPECT_EQ(days.topLine(20, choice, data).rfind(data.dates[20] + "  取引なし", 0), 0u);
    EXPECT_EQ(days.topLine(200, choice, data), "");

    choice.zones = choice.means = false;
    choice.rsi = choice.macd = choice.stochastics = choice.bollinger = choice.ichimoku = true;
    const std::string all = days.topLine(150, choice, data);
    for (const char* part : {"  BB中心 ", "  転換線 ", " 先行1 ", "  MACD ", "  RSI ", "  %K ", " S%D "}) {
        EXPECT_NE(all.find(part), std::string::npos) << part << ": " << all;
    }
    EXPECT_EQ(all.find("MA25"), std::string::npos);
    EXPECT_EQ(all.find("30日平均"), std::string::npos);
    char rsi[32];
    std::snprintf(rsi, sizeof rsi, "  RSI %.1f", days.rsi[150]);
    EXPECT_NE(all.find(rsi), std::string::npos) << all;

    choice.period = Period::Week;
    const ChartStudies weeks(data, choice);
    EXPECT_EQ(weeks.topLine(2, choice, data).rfind("2024-01-15の週  始値 ", 0), 0u)
        << weeks.topLine(2, choice, data);
    choice.period = Period::Month;
    const ChartStudies months(data, choice);
    EXPECT_EQ(months.topLine(1, choice, data).rfind("2024-02  始値 ", 0), 0u);

    // The price axis takes in the cloud ahead of the last bar.
    choice.period = Period::Day;
    choice.ichimoku = true;
    const auto shown = days.priceExtent(150, 199, choice);
    const auto ahead = days.priceExtent(150, 199 + ChartStudies::kShift, choice);
    EXPECT_TRUE(shown.any);
    EXPECT_LE(ahead.lo, shown.lo);
    EXPECT_GE(ahead.hi, shown.hi);
    EXPECT_LE(ahead.lo, days.span2.back());
}

TEST(ChartStudies, TopixIsScaledToTheStocksFirstShownCloseAndWidensThePriceAxis)
{
    auto data = history(120);
    const double none = std::numeric_limits<double>::quiet_NaN();
    // Rising to twice its start, so the scaled line leaves the stock's range; none on the first
    // five days and on day 60.
    for (int i = 0; i < data.days(); ++i) {
        data.topix.push_back(i < 5 || i == 60 ? none : 2000.0 + 20.0 * i);
    }
    ChartChoice choice;
    const ChartStudies days(data, choice);
    auto expectScaledFrom = [&](int from, int first) {
        const auto line = days.topixFrom(from);
        ASSERT_EQ(line.size(), data.topix.size());
        EXPECT_DOUBLE_EQ(line[static_cast<std::size_t>(first)], data.close[static_cast<std::size_t>(first)])
            << from;
        for (std::size_t i = 0; i < line.size(); ++i) {
            expectSame(line[i],
                data.topix[i] * data.close[static_cast<std::size_t>(first)]
                    / data.topix[static_cast<std::size_t>(first)],
                "from " + std::to_string(from) + " bar " + std::to_string(i));
        }
    };
    expectScaledFrom(10, 10);
    expectScaledFrom(0, 5); // no TOPIX before day 5
    expectScaledFrom(20, 21); // no trade on day 20
    expectScaledFrom(60, 61);
    for (double v : days.topixFrom(data.days())) {
        EXPECT_TRUE(std::isnan(v));
    }

    const auto without = days.priceExtent(10, 119, choice);
    choice.topix = true;
    const auto with = days.priceExtent(10, 119, choice);
    EXPECT_DOUBLE_EQ(with.hi, days.topixFrom(10)[119]);
    EXPECT_GT(with.hi, without.hi);
    EXPECT_EQ(with.lo, without.lo);
    EXPECT_NE(
        days.topLine(100, choice, data).find("  TOPIX " + exporting::ChartData::priceText(data.topix[100])),
        std::string::npos);

    // A week's TOPIX is its last day's.
    choice.period = Period::Week;
    const ChartStudies weeks(data, choice);
    for (int w = 0; w < weeks.count(); ++w) {
        const int last = weeks.bars()[static_cast<std::size_t>(w)].lastDay;
        expectSame(weeks.topix[static_cast<std::size_t>(w)],
            last < 0 ? none : data.topix[static_cast<std::size_t>(last)], "week " + std::to_string(w));
    }

    // A CSV folder has no TOPIX: no line and the axis as without it.
    data.topix.clear();
    choice.period = Period::Day;
    const ChartStudies bare(data, choice);
    EXPECT_TRUE(std::isnan(bare.topixFrom(0)[50]));
    choice.topix = false;
    const auto plain = bare.priceExtent(10, 119, choice);
    choice.topix = true;
    EXPECT_EQ(bare.priceExtent(10, 119, choice).hi, plain.hi);
}

TEST(ChartChoice, KeptValuesComeBackAndUnreadableOnesStayAsByDefault)
{
    ChartChoice c;
    EXPECT_EQ(c.meanLengths(), (std::array<int, 3>{5, 25, 75}));
    c.period = Period::Month;
    EXPECT_EQ(c.meanLengths(), (std::array<int, 3>{12, 24, 60}));
    c.setMeanLength(2, 36);
    c.setMeanLength(0, 0);
    c.setMeanLength(1, ChartChoice::kLongestMean + 1);
    c.setMeanLength(3, 9);
    EXPECT_EQ(c.meanLengths(), (std::array<int, 3>{12, 24, 36}));
    c.macd = c.ichimoku = c.topix = true;
    c.volume = c.zones = false;
    EXPECT_EQ(ChartChoice::fromKept(c.toKept()), c);

    auto kept = c.toKept();
    kept["period"] = "year";
    kept["mean.week.1"] = "0";
    kept["mean.week.2"] = "26x";
    kept["mean.day.3"] = "100";
    kept["macd"] = "yes";
    kept.erase("rsi");
    const auto read = ChartChoice::fromKept(kept);
    EXPECT_EQ(read.period, Period::Day);
    EXPECT_EQ(read.lengths[1], (std::array<int, 3>{13, 26, 52}));
    EXPECT_EQ(read.lengths[0][2], 100);
    EXPECT_EQ(read.lengths[2][2], 36);
    EXPECT_FALSE(read.macd);
    EXPECT_FALSE(read.rsi);
    EXPECT_TRUE(read.ichimoku);
    EXPECT_EQ(ChartChoice::fromKept({}), ChartChoice{});
}

TEST(ChartScale, WeeksAreTickedByQuarterAndMonthsByYearLabelledAsRoomAllows)
{
    const auto data = history(800);
    const auto weeks = analysis::PeriodBars::of(data.dailyBars(), Period::Week);
    std::vector<std::string> dates;
    dates.reserve(weeks.size());
    for (const auto& b : weeks) {
        dates.push_back(b.date);
    }
    const double last = static_cast<double>(dates.size()) - 0.5;
    // Wide: every quarter labelled by its first month.
    auto ticks = ChartScale::periodTicks(dates, -0.5, last, 20, 60, Period::Week);
    ASSERT_FALSE(ticks.empty());
    auto quarter = [&dates](int bar) {
        const auto& d = dates[static_cast<std::size_t>(bar)];
        char text[24];
        std::snprintf(text, sizeof text, "%s-%02d", d.substr(0, 4).c_str(),
            (std::stoi(d.substr(5, 2)) - 1) / 3 * 3 + 1);
        return std::string(text);
    };
    std::size_t quarters = 0;
    for (int bar = 1; bar < static_cast<int>(dates.size()); ++bar) {
        quarters += quarter(bar) != quarter(bar - 1);
    }
    EXPECT_EQ(ticks.size(), quarters);
    for (const auto& t : ticks) {
        // On the quarter's first week, labelled by the quarter's first month.
        EXPECT_TRUE(t.labelled);
        EXPECT_NE(quarter(t.day), quarter(t.day - 1));
        EXPECT_EQ(t.label, quarter(t.day));
    }
    // Narrow: labels a year apart, "2025", on the years' first quarters.
    ticks = ChartScale::periodTicks(dates, -0.5, last, 1.5, 60, Period::Week);
    int labelled = 0;
    for (const auto& t : ticks) {
        if (t.labelled) {
            ++labelled;
            EXPECT_EQ(t.label.size(), 4u);
            EXPECT_EQ(dates[static_cast<std::size_t>(t.day)].substr(0, 4), t.label);
        }
    }
    EXPECT_GE(labelled, 1);

    const auto months = analysis::PeriodBars::of(data.dailyBars(), Period::Month);
    dates.clear();
    for (const auto& b : months) {
        dates.push_back(b.date);
    }
    ticks = ChartScale::periodTicks(
        dates, -0.5, static_cast<double>(dates.size()) - 0.5, 30, 60, Period::Month);
    ASSERT_EQ(ticks.size(), 3u); // 2025, 2026, 2027 after 2024's first month
    EXPECT_EQ(ticks[0].label, "2025");
    EXPECT_EQ(dates[static_cast<std::size_t>(ticks[0].day)].substr(0, 7), "2025-01");
}

TEST(ChartStudies, AMarketDayWithoutARowOfTheStocksIsAGapThatTheStoredDaysMeansStepOver)
{
    exporting::ChartData d;
    d.dates = {"2025-02-03", "2025-02-05", "2025-02-06"};
    d.stored = {0, 1, 2};
    d.open = {10, 12, 13};
    d.high = {11, 13, 14};
    d.low = {9, 11, 12};
    d.close = {10, 12, 14};
    d.volume = {100, 200, 300};
    d.turnover = {1000, 2400, 4200};
    for (auto* v : {&d.shortStrength, &d.strength14, &d.band, &d.ratio6, &d.ratio30, &d.ratio54}) {
        v->assign(3, 0.5);
    }
    for (auto* v : {&d.shortSignal, &d.volumeSignal, &d.zone4, &d.zone14, &d.zone7}) {
        v->assign(3, "買");
    }
    // The market's days before the first and after the last stored day are none of the chart's.
    d.addUntradedDays({"2025-01-31", "2025-02-03", "2025-02-04", "2025-02-05", "2025-02-06", "2025-02-07"});
    ASSERT_EQ(d.days(), 4);
    EXPECT_EQ(d.dates[1], "2025-02-04");
    EXPECT_EQ(d.stored, (std::vector<int>{0, -1, 1, 2}));
    EXPECT_EQ(d.storedDays(), 3);
    EXPECT_TRUE(std::isnan(d.close[1]));
    EXPECT_TRUE(std::isnan(d.ratio30[1]));
    EXPECT_EQ(d.zone14[1], " ");
    EXPECT_EQ(d.zone14[2], "買");
    EXPECT_DOUBLE_EQ(d.close[3], 14);

    const auto mean = exporting::ChartData::storedMean(d.close, d.stored, 2);
    EXPECT_TRUE(std::isnan(mean[0]));
    EXPECT_TRUE(std::isnan(mean[1]));
    EXPECT_DOUBLE_EQ(mean[2], 11);
    EXPECT_DOUBLE_EQ(mean[3], 13);

    // The gap is untraded; the studies carry the close over it, as find reads the day.
    const auto bars = d.dailyBars();
    EXPECT_FALSE(bars[1].traded);
    EXPECT_TRUE(bars[2].traded);
    ChartChoice choice;
    choice.setMeanLength(0, 2);
    const ChartStudies s(d, choice);
    EXPECT_TRUE(std::isnan(s.volume[1]));
    EXPECT_DOUBLE_EQ(s.means[0][1], 10);
    EXPECT_DOUBLE_EQ(s.means[0][2], 11);
}
