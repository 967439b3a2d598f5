#pragma once

#include "TechnicalFigures.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace zuvemo::analysis {

// The studies' lines on the last of n bars (oldest first), from those bars alone: what the
// chart draws and what find's figures are made of, by one arithmetic.
struct PriceStudies
{
    // EMA12 − EMA26 of the close, EMA9 of it and their difference; none until the signal has its
    // first value (the 34th bar).
    std::optional<double> macd, macdSignal, macdHist;
    // The 20-bar mean of the close and the population σ of the same closes.
    std::optional<double> bbMid, bbSigma;
    // (highest high + lowest low) ÷ 2 over 9 and 26 bars; span1 = (tenkan + kijun) ÷ 2 and span2
    // the same over 52 bars, both as computed on this bar: the cloud of bar t is the spans of bar
    // t − 25.
    std::optional<double> tenkan, kijun, span1, span2;
    // (9, 3, 3): %K = (C − L9) ÷ (H9 − L9) × 100; %D = Σ(C − L9) ÷ Σ(H9 − L9) × 100 over 3 bars;
    // slow %D the mean of 3 bars' %D. None where a denominator is 0.
    std::optional<double> stochK, stochD, slowD;

    // The studies a caller reads, for of's parts: the others stay none and cost nothing.
    enum Part : unsigned { kMacd = 1U << 0, kBand = 1U << 1, kIchimoku = 1U << 2, kStochastics = 1U << 3 };
    static constexpr unsigned kEvery = ~0U;

    // before, when given: of(bars, n − 1, beforeParts) besides (beforeParts among parts), its
    // means from the same pass.
    static PriceStudies of(const TechnicalFigures::Bar* bars, std::size_t n, unsigned parts = kEvery,
        PriceStudies* before = nullptr, unsigned beforeParts = 0);
    // Every bar's studies, each from the at most window bars ending at it: out[i] is of(bars + i +
    // 1 − w, w) to the last digit, w = min(i + 1, window).
    static std::vector<PriceStudies> eachBar(
        const TechnicalFigures::Bar* bars, std::size_t n, std::size_t window = TechnicalFigures::kLookBack);

    // n bars, oldest first, with the studies of the last of them asked for.
    struct Window
    {
        const TechnicalFigures::Bar* bars = nullptr;
        std::size_t n = 0;
    };
    // The MACD of many windows at once: out[i] and before[i] are of(w.bars, w.n, kMacd, &before,
    // kMacd)'s to the last digit for w = windows[i], the other studies none (a window of no bars
    // none at all).
    static void macdOfEach(const Window* windows, std::size_t count, PriceStudies* out, PriceStudies* before);

    friend bool operator==(const PriceStudies&, const PriceStudies&) = default;

private:
    static void macdOf(
        const TechnicalFigures::Bar* bars, std::size_t n, PriceStudies& s, PriceStudies* before = nullptr);
    static void bandOf(const TechnicalFigures::Bar* bars, std::size_t n, PriceStudies& s);
    static void stochasticsOf(const TechnicalFigures::Bar* bars, std::size_t n, PriceStudies& s);
};

} // namespace zuvemo::analysis
