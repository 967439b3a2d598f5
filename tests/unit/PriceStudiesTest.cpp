// The studies against values worked out by hand on small runs of bars.
#include "analysis/PriceStudies.h"

#include <bit>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using zuvemo::analysis::PriceStudies;
using Bar = zuvemo::analysis::TechnicalFigures::Bar;

namespace {

std::vector<Bar> closes(const std::vector<double>& c)
{
    std::vector<Bar> bars;
    bars.reserve(c.size());
    for (double v : c) {
        bars.push_back({v, v, v, 1000, 0, true});
    }
    return bars;
}

PriceStudies of(const std::vector<Bar>& bars, std::size_t n)
{
    return PriceStudies::of(bars.data(), n);
}

} // namespace

TEST(PriceStudies, MacdStartsOnTheMeansAndGivesItsSignalFromTheThirtyFourthBar)
{
    // On a close rising 1 a day each mean started on the simple mean trails it by (n − 1) ÷ 2
    // for ever: MACD = 12.5 − 5.5 = 7, and so is its signal.
    std::vector<double> rising;
    for (int i = 1; i <= 60; ++i) {
        rising.push_back(i);
    }
    const auto line = closes(rising);
    EXPECT_FALSE(of(line, 33).macd);
    EXPECT_FALSE(of(line, 33).macdSignal);
    EXPECT_FALSE(of(line, 33).macdHist);
    for (std::size_t n : {34U, 60U}) {
        const auto s = of(line, n);
        ASSERT_TRUE(s.macd && s.macdSignal && s.macdHist) << n;
        EXPECT_NEAR(*s.macd, 7, 1e-9);
        EXPECT_NEAR(*s.macdSignal, 7, 1e-9);
        EXPECT_NEAR(*s.macdHist, 0, 1e-9);
    }

    // 33 days at 100 then 110: MACD = 10 × (2/13 − 2/27) = 280/351 after eight zeros, its signal
    // the mean of the nine, and the zeros stay exact (the line equals its signal the day before).
    std::vector<double> step(33, 100.0);
    const auto flat = of(closes(step), 33);
    step.push_back(110);
    const auto s = of(closes(step), 34);
    EXPECT_NEAR(*s.macd, 280.0 / 351, 1e-12);
    EXPECT_NEAR(*s.macdSignal, 280.0 / 3159, 1e-12);
    EXPECT_NEAR(*s.macdHist, 2240.0 / 3159, 1e-12);
    step.pop_back();
    step.push_back(100);
    const auto still = of(closes(step), 34);
    EXPECT_EQ(*still.macd, 0);
    EXPECT_EQ(*still.macdSignal, 0);
    EXPECT_FALSE(flat.macd);
}

TEST(PriceStudies, BandIsTheMeanAndPopulationSigmaOfTwentyCloses)
{
    std::vector<double> c(5, 50.0); // outside the 20 bars
    c.insert(c.end(), 10, 1.0);
    c.insert(c.end(), 10, 3.0);
    const auto bars = closes(c);
    const auto s = of(bars, bars.size());
    EXPECT_DOUBLE_EQ(*s.bbMid, 2);
    EXPECT_DOUBLE_EQ(*s.bbSigma, 1); // ÷ 20, not ÷ 19
    EXPECT_FALSE(of(bars, 19).bbMid);
    EXPECT_FALSE(of(bars, 19).bbSigma);
    // An unchanging close whose sum does not come out even: σ is 0, not a rounding.
    const auto same = closes(std::vector<double>(20, 0.1));
    EXPECT_EQ(*of(same, 20).bbSigma, 0);
}

TEST(PriceStudies, IchimokuLinesAreMidpointsOfTheirDays)
{
    // Bar i: high i + 2, low i.
    std::vector<Bar> bars;
    bars.reserve(52);
    for (int i = 0; i < 52; ++i) {
        bars.push_back({i + 1.0, i + 2.0, static_cast<double>(i), 1000, 0, true});
    }
    const auto s = of(bars, 52);
    EXPECT_DOUBLE_EQ(*s.tenkan, (53 + 43) / 2.0);
    EXPECT_DOUBLE_EQ(*s.kijun, (53 + 26) / 2.0);
    EXPECT_DOUBLE_EQ(*s.span1, (48 + 39.5) / 2);
    EXPECT_DOUBLE_EQ(*s.span2, (53 + 0) / 2.0);
    const auto young = of(bars, 25);
    EXPECT_DOUBLE_EQ(*young.tenkan, (26 + 16) / 2.0);
    EXPECT_FALSE(young.kijun);
    EXPECT_FALSE(young.span1);
    EXPECT_FALSE(of(bars, 51).span2);
    EXPECT_TRUE(of(bars, 51).span1);
    EXPECT_FALSE(of(bars, 8).tenkan);

    // Over any bars, a NaN among them too (where the order of max and min matters), the lines
    // are those of the bars taken one by one from the last back.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> price(900, 1100);
    std::vector<Bar> many;
    for (int i = 0; i < 120; ++i) {
        const double c = price(random);
        many.push_back({c, c + price(random) / 100, c - price(random) / 100, 1000, 0, true});
    }
    auto byHand = [](const std::vector<Bar>& b, std::size_t n, std::size_t days) -> std::optional<double> {
        if (n < days) {
            return std::nullopt;
        }
        double high = b[n - 1].h, low = b[n - 1].l;
        for (std::size_t k = 1; k < days; ++k) {
            high = std::max(high, b[n - 1 - k].h);
            low = std::min(low, b[n - 1 - k].l);
        }
        return (high + low) / 2;
    };
    auto same = [](std::optional<double> a, std::optional<double> b) {
        return a.has_value() == b.has_value()
            && (!a || std::bit_cast<std::uint64_t>(*a) == std::bit_cast<std::uint64_t>(*b));
    };
    for (const int nanAt : {-1, 119, 118, 110, 100, 93, 80, 68, 60}) {
        auto b = many;
        if (nanAt >= 0) {
            (nanAt % 2 == 0 ? b[static_cast<std::size_t>(nanAt)].h : b[static_cast<std::size_t>(nanAt)].l)
                = std::numeric_limits<double>::quiet_NaN();
        }
        for (std::size_t n = 1; n <= b.size(); ++n) {
            const auto s = PriceStudies::of(b.data(), n, PriceStudies::kIchimoku);
            EXPECT_TRUE(same(s.tenkan, byHand(b, n, 9))) << nanAt << " " << n;
            EXPECT_TRUE(same(s.kijun, byHand(b, n, 26))) << nanAt << " " << n;
            EXPECT_TRUE(same(s.span2, byHand(b, n, 52))) << nanAt << " " << n;
        }
    }
}

TEST(PriceStudies, StochasticsSumsOverThreeDaysAndIsNoneOnANarrowRange)
{
    // High 10 and low 0 throughout, except an early low of −20 inside bar 8's nine days only.
    std::vector<Bar> bars(13, Bar{5, 10, 0, 1000, 0, true});
    bars[0].l = -20;
    const double c[] = {2, 4, 6, 8, 10};
    for (std::size_t i = 0; i < 5; ++i) {
        bars[8 + i].c = c[i];
    }
    const auto s = of(bars, 13);
    EXPECT_DOUBLE_EQ(*s.stochK, 100);
    EXPECT_DOUBLE_EQ(*s.stochD, (6 + 8 + 10) / 30.0 * 100);
    // %D of bar 10 reads bar 8 over −20 to 10: (22 + 4 + 6) ÷ (30 + 10 + 10).
    const double d10 = (22.0 + 4 + 6) / 50 * 100, d11 = (4.0 + 6 + 8) / 30 * 100, d12 = 80;
    EXPECT_NEAR(*s.slowD, (d10 + d11 + d12) / 3, 1e-12);
    EXPECT_FALSE(of(bars, 12).slowD);
    EXPECT_TRUE(of(bars, 12).stochD);
    EXPECT_FALSE(of(bars, 10).stochD);
    EXPECT_FALSE(of(bars, 8).stochK);

    const auto narrow = closes(std::vector<double>(13, 7.0));
    const auto n = of(narrow, 13);
    EXPECT_FALSE(n.stochK);
    EXPECT_FALSE(n.stochD);
    EXPECT_FALSE(n.slowD);
}

TEST(PriceStudies, EachBarIsThatBarsOwnWindowToTheLastDigit)
{
    std::mt19937 random(50);
    std::uniform_real_distribution<double> move(-0.03, 0.03);
    std::vector<Bar> bars;
    double c = 1000;
    for (int i = 0; i < 400; ++i) {
        c *= 1 + move(random);
        bars.push_back({c, c * 1.01, c * 0.985, 1000, 0, true});
    }
    const auto each = PriceStudies::eachBar(bars.data(), bars.size());
    ASSERT_EQ(each.size(), bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const std::size_t w = std::min<std::size_t>(i + 1, 251);
        EXPECT_EQ(each[i], PriceStudies::of(bars.data() + i + 1 - w, w)) << i;
    }
    // The day before out of the same pass is the day before's own, part by part.
    for (const std::size_t n : {1, 2, 34, 35, 60, 400}) {
        for (const unsigned parts : {PriceStudies::kEvery, unsigned{PriceStudies::kMacd},
                 PriceStudies::kMacd | PriceStudies::kIchimoku, unsigned{PriceStudies::kIchimoku}}) {
            PriceStudies before;
            EXPECT_EQ(PriceStudies::of(bars.data(), n, PriceStudies::kEvery, &before, parts),
                PriceStudies::of(bars.data(), n))
                << n;
            EXPECT_EQ(before, n > 1 ? PriceStudies::of(bars.data(), n - 1, parts) : PriceStudies{}) << n;
        }
    }
    // Past the window the means start later, so they are not a longer run's.
    EXPECT_NE(*each[399].macd, *PriceStudies::of(bars.data(), 400).macd);
    EXPECT_EQ(PriceStudies::eachBar(bars.data(), 40, 20)[39], PriceStudies::of(bars.data() + 20, 20));
    // Asked for some studies only, each of them is the whole computation's, the rest none.
    const auto whole = PriceStudies::of(bars.data(), 400);
    for (const unsigned part :
        {PriceStudies::kMacd, PriceStudies::kBand, PriceStudies::kIchimoku, PriceStudies::kStochastics}) {
        const auto some = PriceStudies::of(bars.data(), 400, part);
        EXPECT_EQ(some.macd.has_value(), part == PriceStudies::kMacd);
        EXPECT_EQ(some.bbSigma.has_value(), part == PriceStudies::kBand);
        EXPECT_EQ(some.span2.has_value(), part == PriceStudies::kIchimoku);
        EXPECT_EQ(some.slowD.has_value(), part == PriceStudies::kStochastics);
        if (part == PriceStudies::kMacd) {
            EXPECT_EQ(std::tie(some.macd, some.macdSignal, some.macdHist),
                std::tie(whole.macd, whole.macdSignal, whole.macdHist));
        } else if (part == PriceStudies::kBand) {
            EXPECT_EQ(std::tie(some.bbMid, some.bbSigma), std::tie(whole.bbMid, whole.bbSigma));
        } else if (part == PriceStudies::kIchimoku) {
            EXPECT_EQ(std::tie(some.tenkan, some.kijun, some.span1, some.span2),
                std::tie(whole.tenkan, whole.kijun, whole.span1, whole.span2));
        } else {
            EXPECT_EQ(std::tie(some.stochK, some.stochD, some.slowD),
                std::tie(whole.stochK, whole.stochD, whole.slowD));
        }
    }
}

TEST(PriceStudies, MacdOfManyWindowsIsEachWindowsOwnToTheLastDigit)
{
    std::mt19937 random(51);
    std::uniform_real_distribution<double> move(-0.03, 0.03);
    std::vector<Bar> bars;
    double c = 1000;
    for (int i = 0; i < 300; ++i) {
        c *= 1 + move(random);
        bars.push_back({c, c, c, 1000, 0, true});
    }
    // A run of equal closes: lines equal to the last digit, and windows that start in it and
    // run into the moves.
    bars.insert(bars.begin() + 100, 60, Bar{250, 250, 250, 1000, 0, true});
    auto bitsOf = [](const std::optional<double>& v) {
        return v ? std::optional(std::bit_cast<std::uint64_t>(*v)) : std::nullopt;
    };
    auto lines = [&](const PriceStudies& s) {
        return std::tuple(bitsOf(s.macd), bitsOf(s.macdSignal), bitsOf(s.macdHist));
    };
    // Windows of unequal lengths side by side, ending anywhere up to the last bar; their count
    // is no multiple of the lanes, so the last ones run with lanes to spare.
    std::vector<PriceStudies::Window> windows;
    for (const std::size_t n : {1, 2, 25, 26, 33, 34, 35, 250, 251}) {
        for (const std::size_t start :
            {std::size_t{0}, std::size_t{7}, std::size_t{95}, std::size_t{105}, bars.size() - n}) {
            windows.push_back({bars.data() + start, n});
        }
    }
    windows.push_back({bars.data() + bars.size() - 60, 60});
    for (std::size_t count : {windows.size(), std::size_t{1}, std::size_t{3}}) {
        std::vector<PriceStudies> out(count), before(count);
        PriceStudies::macdOfEach(windows.data(), count, out.data(), before.data());
        for (std::size_t i = 0; i < count; ++i) {
            const auto& w = windows[i];
            PriceStudies ownBefore;
            const auto own
                = PriceStudies::of(w.bars, w.n, PriceStudies::kMacd, &ownBefore, PriceStudies::kMacd);
            const std::string where = std::to_string(w.bars - bars.data()) + "+" + std::to_string(w.n);
            EXPECT_EQ(out[i], own) << where;
            EXPECT_EQ(before[i], ownBefore) << where;
            EXPECT_EQ(lines(out[i]), lines(own)) << where;
            EXPECT_EQ(lines(before[i]), lines(ownBefore)) << where;
            EXPECT_EQ(out[i].macd.has_value(), w.n >= 34) << where;
            EXPECT_EQ(before[i].macd.has_value(), w.n >= 35) << where;
        }
    }
    // Inside the equal closes both lines are 0, the day before's too.
    std::vector<PriceStudies> flat(1), flatBefore(1);
    const PriceStudies::Window still{bars.data() + 100, 60};
    PriceStudies::macdOfEach(&still, 1, flat.data(), flatBefore.data());
    EXPECT_EQ(std::tie(*flat[0].macd, *flat[0].macdSignal), std::tuple(0.0, 0.0));
    EXPECT_EQ(std::tie(*flatBefore[0].macd, *flatBefore[0].macdSignal), std::tuple(0.0, 0.0));
}
