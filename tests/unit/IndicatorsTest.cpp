#include "analysis/Indicators.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace zuvemo::analysis::Indicators;

namespace {

struct Window
{
    std::vector<double> close;
    std::vector<double> volume;
    int n() const { return static_cast<int>(close.size()); }
};

Window window(std::vector<double> close, double volume = 1000)
{
    Window w{std::move(close), {}};
    w.volume.assign(w.close.size(), volume);
    return w;
}

std::unique_ptr<Series> chart(const Window& w, Bounds b = {})
{
    auto s = std::make_unique<Series>();
    computeChart(w.close.data(), w.volume.data(), w.n(), b, *s);
    return s;
}

std::unique_ptr<Series> reference(const Window& w, Bounds b = {})
{
    auto s = std::make_unique<Series>();
    computeReference(w.close.data(), w.volume.data(), w.n(), b, *s);
    return s;
}

} // namespace

TEST(Indicators, WorkedExampleOfTheShortRatioAndSignals)
{
    Window w = window({100, 102, 101, 103, 104, 103, 105, 110, 108, 100});
    w.volume[7] = 3000;
    w.volume[9] = 5000;
    auto s = chart(w);
    EXPECT_NEAR(s->S[5], 0.9375 / 1.00025, 1e-12);
    EXPECT_NEAR(s->S[9], 0.3125 / 2.62525, 1e-12);
    EXPECT_EQ(s->T[9], 0.0);
    EXPECT_NEAR(s->M6[9], 100.0 / 105.5, 1e-12);
    for (int k = 0; k <= 5; ++k) {
        EXPECT_EQ(s->H[k], Mark::Buy) << k;
        EXPECT_EQ(s->K[k], Mark::None) << k;
    }
    for (int k = 6; k <= 8; ++k) {
        EXPECT_EQ(s->H[k], Mark::None) << k;
    }
    EXPECT_EQ(s->H[9], Mark::Buy);
    EXPECT_EQ(s->K[9], Mark::Buy);
    EXPECT_EQ(signalCode(w.close.data(), w.volume.data(), w.n(), {}), "22");
    // The chart zones of the same series.
    EXPECT_EQ(s->Z4[9], Mark::Buy);
    EXPECT_EQ(s->Z7[9], Mark::Buy);
    for (int k = 4; k <= 8; ++k) {
        EXPECT_EQ(s->Z4[k], Mark::Sell) << k;
    }
    for (int k = 6; k <= 8; ++k) {
        EXPECT_EQ(s->Z7[k], Mark::Sell) << k;
    }
}

TEST(Indicators, WorkedExampleOfTheFourteenDayRatio)
{
    auto s = chart(window({100, 101, 100, 102, 101, 103, 102, 104, 103, 105, 104, 106, 105, 107, 106, 108}));
    double up = (13.0 * 13 / 14 + 6) / 14;
    double down = (0 + 6.5) / 14;
    EXPECT_DOUBLE_EQ(s->T[15], up / (up + down));
    EXPECT_NEAR(s->T[15], 0.735465, 1e-6);
    EXPECT_EQ(s->T[14], 0.0);
}

TEST(Indicators, FirstDaysAndShortHistories)
{
    for (int n = 1; n <= 5; ++n) {
        Window w = window(std::vector<double>(static_cast<std::size_t>(n), 500));
        EXPECT_EQ(signalCode(w.close.data(), w.volume.data(), n, {}), "20") << n;
    }
    EXPECT_EQ(signalCode(nullptr, nullptr, 0, {}), "00");
    auto s = chart(window({100, 100, 100, 100, 100, 100, 100, 100}));
    // Flat series: P[0] is 0, so day 6 sees five sixths of the close as its mean.
    EXPECT_DOUBLE_EQ(s->M6[6], 1.2);
    EXPECT_EQ(s->H[6], Mark::Sell);
    EXPECT_EQ(s->H[7], Mark::None);
    EXPECT_EQ(s->S[6], 0.0);
    // Day 0: everything zero, every zone blank.
    EXPECT_EQ(s->P[0], 0.0);
    EXPECT_EQ(s->W[0], 0.0);
    EXPECT_EQ(s->Z4[0], Mark::None);
    EXPECT_EQ(s->Z7[5], Mark::None);
}

TEST(Indicators, BandFlagIncludesBothBounds)
{
    auto s = chart(window({100, 100, 100, 100, 100, 100, 100}), Bounds{1.0, 1.0});
    EXPECT_EQ(s->B[0], 0.0);
    auto t = chart(window({100, 100, 100, 100, 100, 100, 100}), Bounds{0.0, 1.2});
    EXPECT_EQ(t->B[0], 1.0);
    EXPECT_EQ(t->B[6], 1.0);
    auto u = chart(window({100, 100, 100, 100, 100, 100, 100}), Bounds{0.9, 1.2});
    EXPECT_EQ(u->B[3], 0.0);
}

TEST(Indicators, SellConfirmationNeedsMoreThanTheThreshold)
{
    // Closes rise sharply on day 7 after a flat week: M6 >= 1.05 with S*2.2 <= T needs T > 0,
    // so build a long history with a strong 14-day rise and a dip in the short span.
    std::vector<double> close;
    for (int i = 0; i < 20; ++i) {
        close.push_back(100 + i * 5);
    }
    close.push_back(190);
    close.push_back(250);
    Window w = window(close);
    auto s = chart(w);
    int k = w.n() - 1;
    ASSERT_EQ(s->H[k], Mark::Sell) << "M6 " << s->M6[k] << " S " << s->S[k] << " T " << s->T[k];
    // Volume exactly 1.7 times the six-day mean: no confirmation (strict comparison).
    w.volume[static_cast<std::size_t>(k)] = 1700;
    EXPECT_EQ(chart(w)->K[k], Mark::None);
    w.volume[static_cast<std::size_t>(k)] = 1701;
    EXPECT_EQ(chart(w)->K[k], Mark::Sell);
}

TEST(Indicators, CarriedSeriesAndMeans)
{
    Window w = window({100, 0, 104, 0, 0, 110}, 0);
    w.volume = {5, 7, 0, 9, 0, 0};
    auto s = chart(w);
    EXPECT_EQ(s->P[1], 0.0); // P[0] is 0 and carries
    EXPECT_EQ(s->P[2], 104.0);
    EXPECT_EQ(s->P[4], 104.0);
    EXPECT_EQ(s->W[2], 7.0);
    EXPECT_EQ(s->W[4], 9.0);
    EXPECT_EQ(s->A[2], 104.0);
    EXPECT_EQ(s->A[5], 6.0);
    // A close of 0 keeps its own loss and gain.
    EXPECT_EQ(s->L[1], 100.0);
    EXPECT_EQ(s->G[2], 104.0);

    // Exactly 54 days: M54 stays 0, A54 only on the last day.
    std::vector<double> c54;
    for (int i = 0; i < 54; ++i) {
        c54.push_back(1000 + (i % 7) * 3);
    }
    auto t = chart(window(c54));
    EXPECT_EQ(t->M54[53], 0.0);
    EXPECT_EQ(t->A54[52], 0.0);
    double sum = 0;
    for (int i = 0; i <= 53; ++i) {
        sum = sum + t->P[i];
    }
    EXPECT_EQ(t->A54[53], sum / 54);
    EXPECT_NE(t->A30[29], 0.0);
    EXPECT_EQ(t->A30[28], 0.0);
    EXPECT_EQ(t->M30[29], 0.0);
    EXPECT_NE(t->M30[30], 0.0);
}

TEST(Indicators, MonotoneSeriesGiveTheirZones)
{
    std::vector<double> rising;
    std::vector<double> falling;
    for (int i = 0; i < 30; ++i) {
        rising.push_back(100 + 2 * i);
        falling.push_back(500 - 3 * i);
    }
    auto r = chart(window(rising));
    auto f = chart(window(falling));
    for (int k = 14; k < 30; ++k) {
        EXPECT_EQ(r->Z4[k], Mark::Sell);
        EXPECT_EQ(r->Z14[k], Mark::Sell);
        EXPECT_EQ(r->Z7[k], Mark::Sell);
        EXPECT_EQ(f->Z4[k], Mark::Buy);
        EXPECT_EQ(f->Z14[k], Mark::Buy);
    }
}

// The fast path must give the reference's doubles bit for bit, on realistic and on awkward data.
TEST(Indicators, FastPathEqualsTheLiteralArithmetic)
{
    std::mt19937_64 rng(20240105);
    for (int round = 0; round < 400; ++round) {
        int n = 1 + static_cast<int>(rng() % 250);
        Window w;
        double price = 50 + static_cast<double>(rng() % 20000);
        for (int i = 0; i < n; ++i) {
            int kind = static_cast<int>(rng() % 20);
            price = std::max(1.0, price + static_cast<double>(static_cast<int>(rng() % 41) - 20));
            w.close.push_back(kind == 0 ? 0.0 : price);
            w.volume.push_back(kind == 1 ? 0.0 : static_cast<double>(rng() % 10000000));
        }
        Bounds b{static_cast<double>(rng() % 100) / 100, 1.0 + static_cast<double>(rng() % 100) / 100};
        auto fast = chart(w, b);
        auto ref = reference(w, b);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(fast->S[k], ref->S[k]) << round << ":" << k;
            ASSERT_EQ(fast->T[k], ref->T[k]);
            ASSERT_EQ(fast->B[k], ref->B[k]);
            ASSERT_EQ(fast->M6[k], ref->M6[k]);
            ASSERT_EQ(fast->H[k], ref->H[k]);
            ASSERT_EQ(fast->K[k], ref->K[k]);
            ASSERT_EQ(fast->AV30[k], ref->AV30[k]);
            ASSERT_EQ(fast->A54[k], ref->A54[k]);
            ASSERT_EQ(fast->A30[k], ref->A30[k]);
            ASSERT_EQ(fast->M30[k], ref->M30[k]);
            ASSERT_EQ(fast->M54[k], ref->M54[k]);
            ASSERT_EQ(fast->Z4[k], ref->Z4[k]);
            ASSERT_EQ(fast->Z14[k], ref->Z14[k]);
            ASSERT_EQ(fast->Z7[k], ref->Z7[k]);
        }
        std::string code{markDigit(ref->H[n - 1]), markDigit(ref->K[n - 1])};
        ASSERT_EQ(signalCode(w.close.data(), w.volume.data(), n, b), code);
    }
}

TEST(Indicators, FractionalInputsTakeTheLiteralPath)
{
    Window w = window({100.5, 101.25, 99.75, 102.125, 103.3, 101.1, 104.7, 105.9});
    auto fast = chart(w);
    auto ref = reference(w);
    for (int k = 0; k < w.n(); ++k) {
        EXPECT_EQ(fast->S[k], ref->S[k]);
        EXPECT_EQ(fast->M6[k], ref->M6[k]);
    }
}
