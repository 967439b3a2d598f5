#include "WalkForward.h"

#include "RuleSimulation.h"

#include <cmath>

namespace zuvemo::analysis {

std::size_t WalkForward::blockDays(std::size_t days, int splits)
{
    return days / static_cast<std::size_t>(splits + 1);
}

std::optional<double> WalkForward::annualSharpe(const std::vector<double>& returns)
{
    const std::size_t n = returns.size();
    if (n < 2) {
        return std::nullopt;
    }
    double mean = 0;
    for (const double r : returns) {
        mean += r;
    }
    mean /= static_cast<double>(n);
    double squares = 0;
    for (const double r : returns) {
        squares += (r - mean) * (r - mean);
    }
    if (!(squares > 0)) {
        return std::nullopt;
    }
    return mean / std::sqrt(squares / static_cast<double>(n - 1)) * std::sqrt(245.0);
}

WalkForward::Figures WalkForward::figures(const std::vector<double>& returns, double capital)
{
    Figures f;
    std::vector<double> values;
    values.reserve(returns.size());
    double value = capital;
    for (const double r : returns) {
        value *= 1 + r;
        values.push_back(value);
    }
    f.totalReturn = value / capital - 1;
    f.annualReturn
        = returns.empty() ? 0 : RuleSimulation::annualised(capital, value, static_cast<int>(returns.size()));
    f.maxDrawdown = RuleSimulation::maxDrawdown(capital, values);
    f.sharpe = annualSharpe(returns);
    return f;
}

WalkForward::Result WalkForward::run(const std::vector<std::vector<float>>& returns,
    const std::vector<double>& market, const std::vector<double>& topix, int splits, bool rolling,
    const Score& score, std::size_t best, double capital)
{
    Result out;
    if (returns.empty()) {
        return out;
    }
    const std::size_t days = returns.front().size();
    const std::size_t span = blockDays(days, splits);
    const std::size_t skip = days - span * static_cast<std::size_t>(splits + 1);
    out.firstDay = skip + span;
    auto line = [&](auto&& at) {
        std::vector<double> piece;
        for (std::size_t t = out.firstDay; t < days; ++t) {
            piece.push_back(at(t));
        }
        return piece;
    };
    for (int k = 1; k <= splits; ++k) {
        const std::size_t from = rolling ? skip + span * static_cast<std::size_t>(k - 1) : skip;
        const std::size_t to = skip + span * static_cast<std::size_t>(k);
        std::size_t chosen = 0;
        double top = -INFINITY;
        for (std::size_t v = 0; v < returns.size(); ++v) {
            // The first in settings order on a tie.
            if (const double s = score(v, from, to); s > top) {
                top = s;
                chosen = v;
            }
        }
        Block block{to, to + span - 1, chosen, {}};
        std::vector<double> piece;
        for (std::size_t t = block.first; t <= block.last; ++t) {
            piece.push_back(returns[chosen][t]);
            out.outOfSample.push_back(returns[chosen][t]);
        }
        block.figures = figures(piece, capital);
        out.blocks.push_back(block);
    }
    out.inSampleBest = line([&](std::size_t t) { return static_cast<double>(returns[best][t]); });
    out.market = line([&](std::size_t t) { return market[t]; });
    out.outOfSampleFigures = figures(out.outOfSample, capital);
    out.inSampleBestFigures = figures(out.inSampleBest, capital);
    out.marketFigures = figures(out.market, capital);
    if (topix.size() == days) {
        out.topix = line([&](std::size_t t) { return topix[t]; });
        out.topixFigures = figures(out.topix, capital);
    }
    return out;
}

} // namespace zuvemo::analysis
