#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::analysis {

// How likely the best of many variants of a rule is an accident, from their daily returns: the
// probability of backtest overfitting by combinatorially symmetric cross-validation, and the
// deflated Sharpe ratio of the best.
class OverfitOdds
{
public:
    static constexpr int kBlocks = 16;
    static constexpr int kBlockDays = 20; // the fewest days a block may hold
    static constexpr double kEulerGamma = 0.5772156649;

    struct Result
    {
        std::optional<double> pbo; // the share of halves whose choice ranked in the lower half
        std::optional<double> loss; // the share of halves whose choice lost money in the other
        std::optional<double> deflatedSharpe;
        std::size_t best = 0; // the variant best by Sharpe over all days
        int trials = 0;
        std::string note; // why there is no number, in Japanese; empty with them
    };

    // returns: per variant (in settings order), per day, every variant over the same days.
    static Result measure(const std::vector<std::vector<float>>& returns);

    // Mean ÷ standard deviation (÷ (n − 1)); none below two returns or without a deviation.
    static std::optional<double> sharpe(const std::vector<float>& returns, std::size_t from, std::size_t to);
    static double normalCdf(double x);
    static double normalQuantile(double p);
    // PSR(SR*) of a per-period Sharpe ratio over t returns of that skewness and raw kurtosis.
    static double probabilisticSharpe(
        double sharpe, double threshold, double t, double skew, double kurtosis);
    // The Sharpe ratio expected of the best of n trials whose Sharpe ratios have that variance.
    static double expectedBest(double variance, double n);

    // "この中で最も良い設定が偶然である確率（PBO）: 62 %" and the line below it on what it means.
    static std::vector<std::string> words(const Result& result);
};

} // namespace zuvemo::analysis
