// The odds that the best of many variants is an accident, against a computation of their own
// here: the halves enumerated as sets of blocks, the ranks by sorting, the normal quantile by
// bisection. Pure noise must look like an accident, a planted edge must not.
#include "analysis/OverfitOdds.h"

#include "analysis/WalkForward.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace zuvemo;
using analysis::OverfitOdds;

namespace {

using Matrix = std::vector<std::vector<float>>;

double sharpeOf(const std::vector<double>& r)
{
    double mean = 0;
    for (const double x : r) {
        mean += x;
    }
    mean /= static_cast<double>(r.size());
    double var = 0;
    for (const double x : r) {
        var += (x - mean) * (x - mean);
    }
    var /= static_cast<double>(r.size() - 1);
    return var > 0 ? mean / std::sqrt(var) : 0;
}

double phi(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double phiInverse(double p)
{
    double lo = -40, hi = 40;
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (phi(mid) < p ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

struct Expected
{
    double pbo = 0, loss = 0, dsr = 0;
};

Expected expected(const Matrix& m)
{
    const std::size_t n = m.size(), t = m.front().size(), span = t / 16, skip = t - span * 16;
    Expected e;
    std::vector<bool> pick(16, false);
    std::fill(pick.begin(), pick.begin() + 8, true);
    int halves = 0, overfit = 0, lost = 0;
    do {
        ++halves;
        std::vector<double> in(n), out(n), growth(n, 1);
        for (std::size_t v = 0; v < n; ++v) {
            std::vector<double> a, b;
            for (std::size_t k = 0; k < 16; ++k) {
                for (std::size_t d = skip + k * span; d < skip + (k + 1) * span; ++d) {
                    (pick[k] ? a : b).push_back(m[v][d]);
                    if (!pick[k]) {
                        growth[v] *= 1 + static_cast<double>(m[v][d]);
                    }
                }
            }
            in[v] = sharpeOf(a);
            out[v] = sharpeOf(b);
        }
        const std::size_t best
            = static_cast<std::size_t>(std::max_element(in.begin(), in.end()) - in.begin());
        std::vector<double> sorted = out;
        std::sort(sorted.begin(), sorted.end());
        const auto lo = std::lower_bound(sorted.begin(), sorted.end(), out[best]) - sorted.begin();
        const auto hi = std::upper_bound(sorted.begin(), sorted.end(), out[best]) - sorted.begin();
        const double rank = (static_cast<double>(lo + 1) + static_cast<double>(hi)) / 2;
        const double w = rank / static_cast<double>(n + 1);
        overfit += std::log(w / (1 - w)) <= 0;
        lost += growth[best] < 1;
    } while (std::prev_permutation(pick.begin(), pick.end()));
    EXPECT_EQ(halves, 12870);
    e.pbo = static_cast<double>(overfit) / halves;
    e.loss = static_cast<double>(lost) / halves;

    std::vector<double> ratios;
    std::vector<std::vector<double>> wide;
    for (const auto& column : m) {
        wide.emplace_back(column.begin(), column.end());
        ratios.push_back(sharpeOf(wide.back()));
    }
    const std::size_t best
        = static_cast<std::size_t>(std::max_element(ratios.begin(), ratios.end()) - ratios.begin());
    double mean = 0;
    for (const double r : ratios) {
        mean += r / static_cast<double>(n);
    }
    double variance = 0;
    for (const double r : ratios) {
        variance += (r - mean) * (r - mean) / static_cast<double>(n - 1);
    }
    const double g = 0.5772156649;
    const double sr0 = std::sqrt(variance)
        * ((1 - g) * phiInverse(1 - 1.0 / static_cast<double>(n))
            + g * phiInverse(1 - 1.0 / (static_cast<double>(n) * std::exp(1.0))));
    const auto& r = wide[best];
    double mu = 0;
    for (const double x : r) {
        mu += x / static_cast<double>(t);
    }
    double m2 = 0, m3 = 0, m4 = 0;
    for (const double x : r) {
        m2 += std::pow(x - mu, 2) / static_cast<double>(t);
        m3 += std::pow(x - mu, 3) / static_cast<double>(t);
        m4 += std::pow(x - mu, 4) / static_cast<double>(t);
    }
    const double skew = m3 / std::pow(m2, 1.5), kurt = m4 / (m2 * m2), sr = ratios[best];
    e.dsr = phi((sr - sr0) * std::sqrt(static_cast<double>(t) - 1)
        / std::sqrt(1 - skew * sr + (kurt - 1) / 4 * sr * sr));
    return e;
}

// Variants of daily returns, variant v drifting by drift(v) a day; days not a multiple of 16.
Matrix market(std::size_t variants, std::size_t days, double (*drift)(std::size_t), unsigned seed)
{
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0, 0.01);
    Matrix m(variants, std::vector<float>(days));
    for (std::size_t v = 0; v < variants; ++v) {
        for (auto& r : m[v]) {
            r = static_cast<float>(drift(v) + noise(random));
        }
    }
    return m;
}

} // namespace

TEST(OverfitOdds, PureNoiseLooksLikeAnAccidentAndAPlantedEdgeDoesNot)
{
    // Pure noise, with a copy of a variant and one that never trades among them: ties share
    // their rank.
    Matrix noise = market(
        40, 16 * 22 + 5, [](std::size_t) { return 0.0; }, 7);
    noise.push_back(noise[3]);
    noise.push_back(std::vector<float>(noise.front().size(), 0.0F));
    const auto chance = OverfitOdds::measure(noise);
    const auto e = expected(noise);
    ASSERT_TRUE(chance.pbo && chance.loss && chance.deflatedSharpe) << chance.note;
    EXPECT_NEAR(*chance.pbo, e.pbo, 1e-12);
    EXPECT_NEAR(*chance.loss, e.loss, 1e-12);
    EXPECT_NEAR(*chance.deflatedSharpe, e.dsr, 1e-9);
    EXPECT_GE(*chance.pbo, 0.35);
    EXPECT_LT(*chance.deflatedSharpe, 0.5);
    EXPECT_EQ(chance.trials, 42);

    // A drift growing with the variant: the best in one half stays near the top in the other.
    const Matrix edge = market(
        30, 16 * 30, [](std::size_t v) { return 0.0001 * static_cast<double>(v); }, 11);
    const auto real = OverfitOdds::measure(edge);
    const auto f = expected(edge);
    ASSERT_TRUE(real.pbo && real.deflatedSharpe) << real.note;
    EXPECT_NEAR(*real.pbo, f.pbo, 1e-12);
    EXPECT_NEAR(*real.loss, f.loss, 1e-12);
    EXPECT_NEAR(*real.deflatedSharpe, f.dsr, 1e-9);
    EXPECT_LT(*real.pbo, 0.1);
    EXPECT_GT(*real.deflatedSharpe, 0.9);
    EXPECT_GE(real.best, 25U); // among the strongest drifts

    const auto words = OverfitOdds::words(real);
    ASSERT_EQ(words.size(), 4U);
    EXPECT_EQ(words[0],
        "この中で最も良い設定が偶然である確率（PBO）: "
            + std::to_string(static_cast<int>(std::lround(*real.pbo * 100))) + " %");
    EXPECT_EQ(words[2].rfind("検証数を考慮したシャープレシオの確からしさ: ", 0), 0U) << words[2];
}

TEST(OverfitOdds, OneVariantOrTooFewDaysIsSaidWithoutANumber)
{
    const auto one = OverfitOdds::measure(market(
        1, 400, [](std::size_t) { return 0.0; }, 1));
    EXPECT_FALSE(one.pbo);
    EXPECT_FALSE(one.deflatedSharpe);
    EXPECT_EQ(OverfitOdds::words(one), std::vector<std::string>{one.note});
    EXPECT_NE(one.note.find("1 通り"), std::string::npos) << one.note;
    const auto few = OverfitOdds::measure(market(
        5, 319, [](std::size_t) { return 0.0; }, 1));
    EXPECT_FALSE(few.pbo);
    EXPECT_NE(few.note.find("319 日"), std::string::npos) << few.note;
    EXPECT_TRUE(OverfitOdds::measure(market(
                                         5, 320, [](std::size_t) { return 0.0; }, 1))
                    .pbo);

    for (const double p : {1e-9, 0.001, 0.02, 0.3, 0.5, 0.9, 0.99, 1 - 1e-7}) {
        EXPECT_NEAR(OverfitOdds::normalQuantile(p), phiInverse(p), 1e-9) << p;
    }
}

TEST(WalkForward, EachBlockHoldsTheVariantBestBeforeItAnchoredOrRolling)
{
    // Variant 0 good early, variant 1 good late: anchored keeps 0 longer than rolling does.
    const std::size_t days = 3 * 100 + 2;
    Matrix m(2, std::vector<float>(days));
    for (std::size_t t = 0; t < days; ++t) {
        const bool early = t < 2 + 100;
        const float wobble = (t % 2 == 0 ? 0.001F : -0.001F);
        m[0][t] = (early ? 0.004F : -0.0005F) + wobble;
        m[1][t] = (early ? -0.003F : 0.002F) + wobble;
    }
    const std::vector<double> flat(days, 0.0);
    auto score = [&](std::size_t v, std::size_t from, std::size_t to) {
        return OverfitOdds::sharpe(m[v], from, to).value_or(-INFINITY);
    };
    const auto anchored = analysis::WalkForward::run(m, flat, {}, 2, false, score, 1, 1'000'000);
    ASSERT_EQ(anchored.blocks.size(), 2U);
    EXPECT_EQ(anchored.firstDay, 102U);
    EXPECT_EQ(anchored.blocks[0].first, 102U);
    EXPECT_EQ(anchored.blocks[0].last, 201U);
    EXPECT_EQ(anchored.blocks[0].chosen, 0U);
    EXPECT_EQ(anchored.blocks[1].chosen, 0U); // blocks 1 and 2 together still favour variant 0
    const auto rolling = analysis::WalkForward::run(m, flat, {}, 2, true, score, 1, 1'000'000);
    EXPECT_EQ(rolling.blocks[1].chosen, 1U);
    // The out-of-sample line is the chosen variants' own returns, compounded from the capital.
    double value = 1;
    for (std::size_t t = 102; t < days; ++t) {
        value *= 1 + static_cast<double>(m[t < 202 ? 0 : 1][t]);
    }
    EXPECT_NEAR(rolling.outOfSampleFigures.totalReturn, value - 1, 1e-12);
    EXPECT_TRUE(rolling.topix.empty());
    EXPECT_EQ(rolling.inSampleBest.size(), days - 102);
}
