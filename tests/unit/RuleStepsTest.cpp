// The steps of a rule test on markets small enough to work out by hand: a listing's days with
// its limits, carried closes and dividends, an event's fill and end, and the simulation's money.

#include "analysis/RuleEvents.h"
#include "analysis/RuleMarket.h"
#include "analysis/RuleSimulation.h"

#include <cmath>
#include <gtest/gtest.h>

namespace zuvemo::analysis {
namespace {

using Bar = marketdata::PriceStore::DayBar;
using Series = RuleMarket::Series;
constexpr double kNone = RuleMarket::kNone;

Bar traded(std::size_t day, double open, double close, double split = 1)
{
    Bar b;
    b.day = day;
    b.traded = true;
    b.o = b.adjO = open;
    b.c = b.adjC = close;
    b.adjH = std::max(open, close);
    b.adjL = std::min(open, close);
    b.adjVo = 100;
    b.va = 100 * close;
    b.adjFactor = split;
    return b;
}

RuleMarket marketOf(std::size_t days)
{
    RuleMarket m;
    m.store = true;
    m.limitsApplied = true;
    for (std::size_t d = 0; d < days; ++d) {
        m.days.push_back("2025-12-" + std::to_string(10 + d));
    }
    m.topixOpen.assign(days, kNone);
    m.topixClose.assign(days, kNone);
    return m;
}

TEST(RuleSteps, AListingsDaysCarryTheCloseMarkTheLimitsAndPutDividendsOnTheAdjustedBasis)
{
    RuleMarket m = marketOf(6);
    RuleMarket::Listing l;
    l.code = "1301";
    l.first = 0;
    l.last = 5;
    l.spans = {{0, "スタンダード", "水産・農林業"}, {2, "プライム", "水産・農林業"}};
    // 90, no trade, an open and close at 90 + 30, a 1:2 split closing at its lower limit: the
    // base is 120 × 0.5 = 60, whose limits are 30 and 90.
    Bar quiet;
    quiet.day = 1;
    l.bars = {traded(0, 90, 90), quiet, traded(2, 120, 120), traded(3, 55, 30, 0.5), traded(5, 31, 40)};
    // Adjusted back to the newest shares: the days before the split are halved.
    for (auto& b : l.bars) {
        if (b.day < 3 && b.traded) {
            b.adjO /= 2;
            b.adjC /= 2;
        }
    }
    l.dividends = {{3, 10}};
    m.listings.push_back(l);

    StockFinder::Conditions prime;
    prime.market = "プライム";
    const Series s = m.series(0, prime, true);
    EXPECT_FALSE(s.is(0, Series::Selected));
    EXPECT_TRUE(s.is(1, Series::Listed));
    EXPECT_FALSE(s.is(1, Series::Selected));
    EXPECT_TRUE(s.is(2, Series::Selected));
    EXPECT_FALSE(s.is(1, Series::Traded));
    EXPECT_EQ(s.carried[1], 45); // day 0's adjusted close
    EXPECT_TRUE(std::isnan(s.close[1]));
    EXPECT_TRUE(s.is(2, Series::OpenAtUpper));
    EXPECT_TRUE(s.is(2, Series::CloseAtUpper));
    EXPECT_FALSE(s.is(0, Series::CloseAtUpper)); // a first day has no limits
    EXPECT_TRUE(s.is(3, Series::CloseAtLower));
    EXPECT_FALSE(s.is(3, Series::CloseAtUpper));
    EXPECT_FALSE(s.is(5, Series::CloseAtLower)); // 40 from 30: its limits are 1 and 60
    EXPECT_EQ(s.carried[4], 30);
    // 10 yen a new share on the basis of day 2 (adjusted 60 for 120).
    EXPECT_DOUBLE_EQ(s.dividend[3], 5);
    EXPECT_EQ(s.lastTrade, 5U);
    EXPECT_EQ(m.series(0, prime, false).dividend[3], 0);

    // An entry at a close stuck at the limit, or at the next day's open that is, fills not.
    EXPECT_FALSE(RuleEvents::entryOf(s, 2, false));
    EXPECT_FALSE(RuleEvents::entryOf(s, 1, true));
    EXPECT_FALSE(RuleEvents::entryOf(s, 0, true)); // day 1 had no trade
    ASSERT_TRUE(RuleEvents::entryOf(s, 3, false));
    const auto atThree = *RuleEvents::entryOf(s, 3, false);
    EXPECT_EQ(atThree.day, 3U);
    EXPECT_EQ(atThree.price, 30);
    // To the close carried to day 4, and a horizon past the store has no end yet.
    EXPECT_DOUBLE_EQ(RuleEvents::returnOf(l, s, atThree, 3, 1), 0);
    EXPECT_DOUBLE_EQ(RuleEvents::returnOf(l, s, atThree, 3, 2), 40.0 / 30 - 1);
    EXPECT_TRUE(std::isnan(RuleEvents::returnOf(l, s, atThree, 3, 3)));
    // Bought at day 0's close, the dividend of day 3 comes with the end.
    const auto atZero = *RuleEvents::entryOf(s, 0, false);
    EXPECT_DOUBLE_EQ(RuleEvents::returnOf(l, s, atZero, 0, 3), (30 + 5) / 45.0 - 1);

    // Delisted after day 3: a longer horizon ends at its last close.
    l.last = 3;
    l.delisted = true;
    m.listings[0] = l;
    const Series gone = m.series(0, prime, true);
    EXPECT_FALSE(gone.is(4, Series::Listed));
    EXPECT_TRUE(std::isnan(gone.carried[4]));
    EXPECT_DOUBLE_EQ(RuleEvents::returnOf(l, gone, atZero, 0, 5), (30 + 5) / 45.0 - 1);
}

TEST(RuleSteps, AMarketNamedOverPartOfTheDaysSaysFromAndUntilWhen)
{
    RuleMarket m = marketOf(8);
    RuleMarket::Listing a;
    a.code = "1301";
    a.first = 0;
    a.last = 7;
    a.spans = {{0, "東証一部", "水産・農林業"}, {4, "プライム", "水産・農林業"}};
    RuleMarket::Listing b = a;
    b.code = "1302";
    b.last = 5;
    b.delisted = true;
    b.spans = {{0, "マザーズ", "水産・農林業"}};
    m.listings = {a, b};
    EXPECT_EQ(m.marketSpan("プライム", 1), "プライム は " + m.days[4] + " から");
    EXPECT_EQ(m.marketSpan("東証一部", 1), "東証一部 は " + m.days[3] + " まで");
    EXPECT_EQ(m.marketSpan("マザーズ", 2), "マザーズ は " + m.days[5] + " まで");
    EXPECT_EQ(m.marketSpan("東証一部", 0), "東証一部 は " + m.days[3] + " まで");
    EXPECT_EQ(m.marketSpan("", 1), "");
    m.listings[1].spans = {{2, "マザーズ", "水産・農林業"}};
    EXPECT_EQ(m.marketSpan("マザーズ", 1), "マザーズ は " + m.days[2] + " から " + m.days[5] + " まで");
}

RuleSimulation::Market simulated(std::size_t days, std::size_t stocks)
{
    RuleSimulation::Market m;
    for (std::size_t d = 0; d < days; ++d) {
        m.days.push_back(d < 3 ? "2025-12-" + std::to_string(27 + d) : "2026-01-0" + std::to_string(d - 2));
        m.topixClose.push_back(1000 + 10.0 * static_cast<double>(d));
    }
    for (std::size_t s = 0; s < stocks; ++s) {
        m.codes.push_back(std::to_string(1301 + s));
        m.open.emplace_back(days, 100);
        m.close.emplace_back(days, 100);
        m.fills.emplace_back(
            days, RuleSimulation::BuyAtOpen | RuleSimulation::BuyAtClose | RuleSimulation::SellAtClose);
        m.dividends.emplace_back();
    }
    m.lastDay.assign(stocks, RuleSimulation::kNoDay);
    m.meanChange.assign(days, 0);
    return m;
}

TEST(RuleSteps, TheSimulationBuysWhatFillsSellsOnTheFirstDayThatDoesAndALastCloseBeforeDelisting)
{
    // Stock 0 closes at its upper limit on day 1: its slot goes to stock 1. Stock 1 is due on
    // day 3, which closes at its lower limit, and day 4 has no trade: it is sold on day 5.
    // Stock 2 is bought on day 1 too and delisted after day 2: sold at that close.
    auto m = simulated(7, 4);
    m.fills[0][1] &= ~RuleSimulation::BuyAtClose;
    m.fills[1][3] &= ~RuleSimulation::SellAtClose;
    m.close[1][3] = 90;
    m.close[1][4] = kNone;
    m.fills[1][4] = 0;
    m.close[1][5] = 120;
    m.lastDay[2] = 2;
    m.close[2][2] = 80;
    RuleSimulation::Settings s;
    s.horizon = 2;
    s.slotCount = 2;
    s.cost = 0;
    s.capital = 10'000;
    std::vector<std::vector<std::size_t>> events(7);
    events[1] = {0, 1, 2};
    const auto r = RuleSimulation::run(m, 1, events, s);
    ASSERT_EQ(r.sold.size(), 2U);
    EXPECT_EQ(r.unfilled, 1);
    EXPECT_EQ(r.sold[0].code, "1303");
    EXPECT_EQ(r.sold[0].sold, m.days[2]);
    EXPECT_TRUE(r.sold[0].delisted);
    EXPECT_EQ(r.sold[0].sellPrice, 80);
    EXPECT_EQ(r.sold[1].code, "1302");
    EXPECT_EQ(r.sold[1].sold, m.days[5]);
    EXPECT_FALSE(r.sold[1].delisted);
    EXPECT_EQ(r.sold[1].sellPrice, 120);
    EXPECT_EQ(r.sold[1].shares, 50);
    // A stock is not bought on its last day before delisting.
    auto last = simulated(4, 1);
    last.lastDay[0] = 2;
    std::vector<std::vector<std::size_t>> onLast(4);
    onLast[2] = {0};
    const auto none = RuleSimulation::run(last, 1, onLast, s);
    EXPECT_TRUE(none.sold.empty());
    EXPECT_EQ(none.unfilled, 1);
    EXPECT_DOUBLE_EQ(*none.totalReturn, 0);
}

TEST(RuleSteps, DividendsAreCreditedOnTheExDateTaxIsPaidOnTheYearsGainAndTopixRunsBeside)
{
    // One stock bought at 100 on day 0's close, held two days, sold at 110; a dividend of 5 a
    // share on day 1 (held) and one on day 0 (the buy's own day: not held at the close before).
    auto m = simulated(7, 1);
    m.close[0] = {100, 100, 110, 100, 100, 100, 100};
    m.dividends[0] = {{0, 7}, {1, 5}};
    RuleSimulation::Settings s;
    s.horizon = 2;
    s.slotCount = 1;
    s.cost = 0;
    s.capital = 10'000;
    s.dividends = true;
    s.tax = true;
    std::vector<std::vector<std::size_t>> events(7);
    events[0] = {0};
    events[3] = {0}; // a loss in the new year: 100 → 100 then a fall
    m.close[0][5] = 90;
    const auto r = RuleSimulation::run(m, 0, events, s);
    ASSERT_EQ(r.sold.size(), 2U);
    EXPECT_DOUBLE_EQ(r.sold[0].dividends, 500);
    EXPECT_DOUBLE_EQ(r.sold[0].gain, 1000 + 500);
    EXPECT_DOUBLE_EQ(r.dividends, 500);
    // The 2025 gain taxed on 2025's last day; 2026's loss offsets nothing of it.
    const double tax2025 = 1500 * RuleSimulation::kTaxRate;
    EXPECT_DOUBLE_EQ(r.tax, tax2025);
    ASSERT_EQ(r.years.size(), 2U);
    EXPECT_DOUBLE_EQ(r.years[0].tax, tax2025);
    EXPECT_DOUBLE_EQ(r.years[0].dividends, 500);
    EXPECT_DOUBLE_EQ(r.years[1].tax, 0);
    EXPECT_DOUBLE_EQ(r.equity[2].value, 10'000 + 1500 - tax2025);
    // TOPIX scaled to the capital over the same days.
    ASSERT_TRUE(r.topixReturn);
    EXPECT_DOUBLE_EQ(*r.topixReturn, 1060.0 / 1000 - 1);
    EXPECT_DOUBLE_EQ(*r.equity[3].topix, 10'000 * 1030.0 / 1000);
    ASSERT_TRUE(r.years[1].topixReturn);
    EXPECT_DOUBLE_EQ(*r.years[1].topixReturn, 1060.0 / 1020 - 1);
    // Without dividends nor tax, and without TOPIX on a day.
    s.dividends = s.tax = false;
    m.topixClose[4] = kNone;
    const auto plain = RuleSimulation::run(m, 0, events, s);
    EXPECT_DOUBLE_EQ(plain.sold[0].gain, 1000);
    EXPECT_DOUBLE_EQ(plain.tax, 0);
    EXPECT_FALSE(plain.topixReturn);
    EXPECT_FALSE(plain.equity[0].topix);
}

} // namespace
} // namespace zuvemo::analysis
