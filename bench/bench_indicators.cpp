// The indicator pass in chart mode over 250-day windows, on one core.
#include "analysis/Indicators.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <random>
#include <vector>

using namespace zuvemo::analysis;

namespace {

struct Data
{
    std::vector<std::vector<double>> closes;
    std::vector<std::vector<double>> volumes;
};

const Data& data()
{
    static Data d = [] {
        Data out;
        std::mt19937_64 rng(7);
        for (int w = 0; w < 64; ++w) {
            std::vector<double> c;
            std::vector<double> v;
            double price = 200 + static_cast<double>(rng() % 10000);
            for (int i = 0; i < 250; ++i) {
                price = std::max(1.0, price + static_cast<double>(static_cast<int>(rng() % 41) - 20));
                c.push_back(price);
                v.push_back(static_cast<double>(rng() % 1000000));
            }
            out.closes.push_back(std::move(c));
            out.volumes.push_back(std::move(v));
        }
        return out;
    }();
    return d;
}

void chartWindow(benchmark::State& state)
{
    const auto& d = data();
    auto series = std::make_unique<Indicators::Series>();
    std::size_t i = 0;
    for (auto _ : state) {
        Indicators::computeChart(d.closes[i % 64].data(), d.volumes[i % 64].data(), 250, {0.9, 1.2}, *series);
        benchmark::DoNotOptimize(series->Z7[249]);
        ++i;
    }
    state.counters["windows/s"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void chartWindowReference(benchmark::State& state)
{
    const auto& d = data();
    auto series = std::make_unique<Indicators::Series>();
    std::size_t i = 0;
    for (auto _ : state) {
        Indicators::computeReference(
            d.closes[i % 64].data(), d.volumes[i % 64].data(), 250, {0.9, 1.2}, *series);
        benchmark::DoNotOptimize(series->Z7[249]);
        ++i;
    }
    state.counters["windows/s"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void screeningWindow(benchmark::State& state)
{
    const auto& d = data();
    std::size_t i = 0;
    for (auto _ : state) {
        auto code
            = Indicators::signalCode(d.closes[i % 64].data(), d.volumes[i % 64].data(), 250, {0.9, 1.2});
        benchmark::DoNotOptimize(code);
        ++i;
    }
    state.counters["windows/s"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(chartWindow);
BENCHMARK(chartWindowReference);
BENCHMARK(screeningWindow);
BENCHMARK_MAIN();
