#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace zuvemo::analysis {

// The variant best on the days before, held over the days after: the tested days in K + 1 blocks,
// for each later block the variant best over the blocks before it (all of them, or the single
// previous one), the out-of-sample line a slice of that variant's whole-run returns.
class WalkForward
{
public:
    static constexpr int kMinSplits = 2, kMaxSplits = 10;
    static constexpr std::size_t kMinBlockDays = 60;

    // A variant's worth over days [from, to): higher is better.
    using Score = std::function<double(std::size_t variant, std::size_t from, std::size_t to)>;

    // The figures of a line of daily returns compounded from the capital.
    struct Figures
    {
        double totalReturn = 0, annualReturn = 0, maxDrawdown = 0;
        std::optional<double> sharpe;
    };
    struct Block
    {
        std::size_t first = 0, last = 0; // its days, inclusive
        std::size_t chosen = 0; // the variant held over it
        Figures figures; // the chosen variant's over the block
    };
    struct Result
    {
        std::vector<Block> blocks; // the K out-of-sample ones
        std::size_t firstDay = 0; // of the out-of-sample days
        std::vector<double> outOfSample, inSampleBest, market,
            topix; // per day from firstDay; topix may be empty
        Figures outOfSampleFigures, inSampleBestFigures, marketFigures;
        std::optional<Figures> topixFigures;
    };

    // The days per block of days split K + 1 ways; the first days left out so that the blocks are
    // of equal length.
    static std::size_t blockDays(std::size_t days, int splits);

    // returns: per variant, per day; market and topix: per day (topix empty without it); best: the
    // variant best over all days.
    static Result run(const std::vector<std::vector<float>>& returns, const std::vector<double>& market,
        const std::vector<double>& topix, int splits, bool rolling, const Score& score, std::size_t best,
        double capital);

    static Figures figures(const std::vector<double>& returns, double capital);
    // Mean ÷ standard deviation (÷ (n − 1)) × √245; none without a deviation.
    static std::optional<double> annualSharpe(const std::vector<double>& returns);
};

} // namespace zuvemo::analysis
