// The odds of an accident over a grid's daily returns: 100 variants of five years, 1,000 of ten.
#include "analysis/OverfitOdds.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

using zuvemo::analysis::OverfitOdds;

namespace {

std::vector<std::vector<float>> returns(std::size_t variants, std::size_t days)
{
    std::mt19937_64 rng(3);
    std::normal_distribution<float> noise(0.0F, 0.01F);
    std::vector<std::vector<float>> m(variants, std::vector<float>(days));
    for (auto& column : m) {
        for (auto& r : column) {
            r = noise(rng);
        }
    }
    return m;
}

void measure(benchmark::State& state)
{
    const auto m
        = returns(static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(OverfitOdds::measure(m));
    }
}

} // namespace

BENCHMARK(measure)->Args({100, 1250})->Args({1000, 2500})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
