#include "OverfitOdds.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

namespace zuvemo::analysis {

namespace {

// Per block: the sum, the sum of squares and the log growth of each variant's returns, so that a
// half's figures are sums of eight blocks rather than passes over its days.
struct Blocks
{
    std::vector<double> sum, squares, growth; // block × variant
    std::size_t days = 0; // a block's
};

std::optional<double> ratio(double sum, double squares, double count)
{
    if (count < 2) {
        return std::nullopt;
    }
    const double mean = sum / count;
    const double variance = (squares - sum * mean) / (count - 1);
    if (!(variance > 0)) {
        return std::nullopt;
    }
    return mean / std::sqrt(variance);
}

std::string wholePercent(double share)
{
    return std::to_string(static_cast<int>(std::lround(share * 100))) + " %";
}

} // namespace

std::optional<double> OverfitOdds::sharpe(const std::vector<float>& returns, std::size_t from, std::size_t to)
{
    const std::size_t count = to - from;
    if (count < 2) {
        return std::nullopt;
    }
    double mean = 0;
    for (std::size_t t = from; t < to; ++t) {
        mean += returns[t];
    }
    mean /= static_cast<double>(count);
    double squares = 0;
    for (std::size_t t = from; t < to; ++t) {
        const double d = returns[t] - mean;
        squares += d * d;
    }
    if (!(squares > 0)) {
        return std::nullopt;
    }
    return mean / std::sqrt(squares / static_cast<double>(count - 1));
}

double OverfitOdds::normalCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double OverfitOdds::normalQuantile(double p)
{
    if (!(p > 0)) {
        return -INFINITY;
    }
    if (!(p < 1)) {
        return INFINITY;
    }
    // Acklam's rational approximation, then one Halley step on the exact distribution function.
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
        1.383577518672690e+02, -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
        6.680131188771972e+01, -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
        -2.549732539343734e+00, 4.374664141464968e+00, 2.938163982698783e+00};
    static constexpr double d[]
        = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00, 3.754408661907416e+00};
    constexpr double low = 0.02425;
    double x = 0;
    if (p < low) {
        const double q = std::sqrt(-2 * std::log(p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5])
            / ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    } else if (p <= 1 - low) {
        const double q = p - 0.5;
        const double r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q
            / (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
    } else {
        const double q = std::sqrt(-2 * std::log(1 - p));
        x = -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5])
            / ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    }
    const double e = normalCdf(x) - p;
    const double u = e * std::sqrt(2 * std::numbers::pi) * std::exp(x * x / 2);
    return x - u / (1 + x * u / 2);
}

double OverfitOdds::probabilisticSharpe(double sr, double threshold, double t, double skew, double kurtosis)
{
    const double spread = 1 - skew * sr + (kurtosis - 1) / 4 * sr * sr;
    if (!(spread > 0) || t < 2) {
        return sr > threshold ? 1.0 : 0.0;
    }
    return normalCdf((sr - threshold) * std::sqrt(t - 1) / std::sqrt(spread));
}

double OverfitOdds::expectedBest(double variance, double n)
{
    return std::sqrt(variance)
        * ((1 - kEulerGamma) * normalQuantile(1 - 1 / n)
            + kEulerGamma * normalQuantile(1 - 1 / (n * std::numbers::e)));
}

OverfitOdds::Result OverfitOdds::measure(const std::vector<std::vector<float>>& returns)
{
    Result out;
    const std::size_t n = returns.size();
    out.trials = static_cast<int>(n);
    const std::size_t days = n > 0 ? returns.front().size() : 0;
    if (n < 2) {
        out.note = "設定が 1 通りだけのため、偶然の確率は出せません。";
        return out;
    }
    if (constexpr std::size_t needed = kBlocks * kBlockDays; days < needed) {
        out.note = "検証した日が " + std::to_string(days) + " 日で、偶然の確率には "
            + std::to_string(kBlocks * kBlockDays) + " 日以上（20 日 × 16 区間）必要です。";
        return out;
    }

    // The deflated Sharpe ratio of the best over all days; a variant without a deviation (no
    // trade) counts as a Sharpe ratio of 0.
    std::vector<double> ratios(n, 0);
    for (std::size_t v = 0; v < n; ++v) {
        ratios[v] = sharpe(returns[v], 0, days).value_or(0);
        if (ratios[v] > ratios[out.best]) {
            out.best = v;
        }
    }
    {
        const double mean = std::accumulate(ratios.begin(), ratios.end(), 0.0) / static_cast<double>(n);
        double variance = 0;
        for (const double r : ratios) {
            variance += (r - mean) * (r - mean);
        }
        variance /= static_cast<double>(n - 1);
        const auto& best = returns[out.best];
        double m = 0;
        for (const float r : best) {
            m += r;
        }
        m /= static_cast<double>(days);
        double m2 = 0, m3 = 0, m4 = 0;
        for (const float r : best) {
            const double d = r - m;
            m2 += d * d;
            m3 += d * d * d;
            m4 += d * d * d * d;
        }
        m2 /= static_cast<double>(days);
        m3 /= static_cast<double>(days);
        m4 /= static_cast<double>(days);
        const double skew = m2 > 0 ? m3 / std::pow(m2, 1.5) : 0;
        const double kurtosis = m2 > 0 ? m4 / (m2 * m2) : 3;
        out.deflatedSharpe = probabilisticSharpe(ratios[out.best],
            expectedBest(variance, static_cast<double>(n)), static_cast<double>(days), skew, kurtosis);
    }

    // The first days left out so that the blocks are of equal length.
    Blocks b;
    b.days = days / kBlocks;
    const std::size_t skip = days - b.days * kBlocks;
    b.sum.assign(kBlocks * n, 0);
    b.squares.assign(kBlocks * n, 0);
    b.growth.assign(kBlocks * n, 0);
    for (std::size_t v = 0; v < n; ++v) {
        for (std::size_t k = 0; k < kBlocks; ++k) {
            double sum = 0, squares = 0, growth = 0;
            for (std::size_t t = skip + k * b.days; t < skip + (k + 1) * b.days; ++t) {
                const double r = returns[v][t];
                sum += r;
                squares += r * r;
                growth += std::log1p(r);
            }
            b.sum[k * n + v] = sum;
            b.squares[k * n + v] = squares;
            b.growth[k * n + v] = growth;
        }
    }
    int halves = 0, overfit = 0, lost = 0;
    std::vector<double> inSample(n), outSample(n);
    constexpr std::size_t kHalf = kBlocks / 2;
    const double halfDays = static_cast<double>(b.days * kHalf);
    // Every choice of 8 of the 16 blocks as a bit mask.
    for (unsigned mask = 0; mask < (1U << kBlocks); ++mask) {
        if (std::popcount(mask) != kBlocks / 2) {
            continue;
        }
        ++halves;
        std::size_t chosen = 0;
        double chosenGrowth = 0;
        for (std::size_t v = 0; v < n; ++v) {
            double is = 0, isSq = 0, os = 0, osSq = 0, osGrowth = 0;
            for (std::size_t k = 0; k < kBlocks; ++k) {
                const std::size_t at = k * n + v;
                if (mask & (1U << k)) {
                    is += b.sum[at];
                    isSq += b.squares[at];
                } else {
                    os += b.sum[at];
                    osSq += b.squares[at];
                    osGrowth += b.growth[at];
                }
            }
            inSample[v] = ratio(is, isSq, halfDays).value_or(0);
            outSample[v] = ratio(os, osSq, halfDays).value_or(0);
            if (inSample[v] > inSample[chosen]) {
                chosen = v;
            }
            if (v == chosen) {
                chosenGrowth = osGrowth;
            }
        }
        // Its rank out of sample, 1 the lowest, ties sharing the mean of their ranks.
        double below = 0, equal = 0;
        for (std::size_t v = 0; v < n; ++v) {
            below += outSample[v] < outSample[chosen];
            equal += outSample[v] == outSample[chosen];
        }
        const double rank = below + (equal + 1) / 2;
        const double omega = rank / static_cast<double>(n + 1);
        overfit += std::log(omega / (1 - omega)) <= 0;
        lost += chosenGrowth < 0;
    }
    out.pbo = static_cast<double>(overfit) / halves;
    out.loss = static_cast<double>(lost) / halves;
    return out;
}

std::vector<std::string> OverfitOdds::words(const Result& r)
{
    if (!r.pbo) {
        return {r.note};
    }
    return {"この中で最も良い設定が偶然である確率（PBO）: " + wholePercent(*r.pbo),
        "  過去の半分で最も良かった設定が、残りの半分で真ん中より下だった割合です（"
            + std::to_string(r.trials) + " 通りを検証、残りの半分で損をした割合 " + wholePercent(*r.loss)
            + "）。",
        "検証数を考慮したシャープレシオの確からしさ: " + wholePercent(r.deflatedSharpe.value_or(0)),
        "  最も良い設定のシャープレシオが、" + std::to_string(r.trials)
            + " 通り試した中の最良として偶然に期待される値を本当に上回っている確からしさです。"};
}

} // namespace zuvemo::analysis
