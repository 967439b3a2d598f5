#include "PriceStudies.h"

#include <algorithm>
#include <cmath>

namespace zuvemo::analysis {

namespace {

using Bar = TechnicalFigures::Bar;

constexpr std::size_t kFast = 12, kSlow = 26, kSignal = 9, kBandDays = 20, kTenkan = 9, kKijun = 26,
                      kSpan2 = 52, kStoch = 9, kSmooth = 3;

// An exponential mean started on the simple mean of its first n values. e + α(v − e) rather than
// αv + (1 − α)e: an unchanging input keeps its value to the last digit, so two equal lines stay
// equal and a cross on the day after them is a cross.
struct Ema
{
    std::size_t n;
    std::size_t count = 0;
    double sum = 0, value = 0;

    void add(double v)
    {
        if (count == n) {
            value += 2.0 / static_cast<double>(n + 1) * (v - value);
            return;
        }
        sum += v;
        if (++count == n) {
            value = sum / static_cast<double>(n);
        }
    }
    bool ready() const { return count == n; }
};

// (highest high + lowest low) ÷ 2 of the len bars ending at end.
std::optional<double> midpoint(const Bar* bars, std::size_t end, std::size_t len)
{
    if (end + 1 < len) {
        return std::nullopt;
    }
    double high = bars[end].h, low = bars[end].l;
    for (std::size_t i = end + 1 - len; i < end; ++i) {
        high = std::max(high, bars[i].h);
        low = std::min(low, bars[i].l);
    }
    return (high + low) / 2;
}

// C − L9 and H9 − L9 of the bar at end (which has kStoch − 1 bars before it).
std::pair<double, double> stochParts(const Bar* bars, std::size_t end)
{
    double high = bars[end].h, low = bars[end].l;
    for (std::size_t i = end + 1 - kStoch; i < end; ++i) {
        high = std::max(high, bars[i].h);
        low = std::min(low, bars[i].l);
    }
    return {bars[end].c - low, high - low};
}

// %D of the bar at end (which has kStoch + kSmooth − 2 bars before it).
std::optional<double> percentD(const Bar* bars, std::size_t end)
{
    double above = 0, range = 0;
    for (std::size_t i = end + 1 - kSmooth; i <= end; ++i) {
        const auto [a, r] = stochParts(bars, i);
        above += a;
        range += r;
    }
    return range > 0 ? std::optional(above / range * 100) : std::nullopt;
}

} // namespace

PriceStudies PriceStudies::of(const Bar* bars, std::size_t n, unsigned parts)
{
    PriceStudies s;
    if (n == 0) {
        return s;
    }
    const std::size_t t = n - 1;
    if (parts & kMacd) {
        macdOf(bars, n, s);
    }
    if (parts & kBand) {
        bandOf(bars, n, s);
    }
    if (parts & kIchimoku) {
        s.tenkan = midpoint(bars, t, kTenkan);
        s.kijun = midpoint(bars, t, kKijun);
        if (s.tenkan && s.kijun) {
            s.span1 = (*s.tenkan + *s.kijun) / 2;
        }
        s.span2 = midpoint(bars, t, kSpan2);
    }
    if (parts & kStochastics) {
        stochasticsOf(bars, n, s);
    }
    return s;
}

void PriceStudies::macdOf(const Bar* bars, std::size_t n, PriceStudies& s)
{
    Ema fast{kFast}, slow{kSlow}, signal{kSignal};
    for (std::size_t i = 0; i < n; ++i) {
        fast.add(bars[i].c);
        slow.add(bars[i].c);
        if (slow.ready()) {
            signal.add(fast.value - slow.value);
        }
    }
    if (signal.ready()) {
        s.macd = fast.value - slow.value;
        s.macdSignal = signal.value;
        s.macdHist = *s.macd - signal.value;
    }
}

void PriceStudies::bandOf(const Bar* bars, std::size_t n, PriceStudies& s)
{
    const std::size_t t = n - 1;
    if (n >= kBandDays) {
        double sum = 0, high = bars[t].c, low = bars[t].c;
        for (std::size_t i = n - kBandDays; i < n; ++i) {
            sum += bars[i].c;
            high = std::max(high, bars[i].c);
            low = std::min(low, bars[i].c);
        }
        const double mid = sum / static_cast<double>(kBandDays);
        double squares = 0;
        for (std::size_t i = n - kBandDays; i < n; ++i) {
            squares += (bars[i].c - mid) * (bars[i].c - mid);
        }
        s.bbMid = mid;
        // Equal closes whose sum rounds would otherwise leave a σ of a few ulps.
        s.bbSigma = high == low ? 0.0 : std::sqrt(squares / static_cast<double>(kBandDays));
    }
}

void PriceStudies::stochasticsOf(const Bar* bars, std::size_t n, PriceStudies& s)
{
    const std::size_t t = n - 1;
    if (n >= kStoch) {
        const auto [above, range] = stochParts(bars, t);
        if (range > 0) {
            s.stochK = above / range * 100;
        }
    }
    if (n >= kStoch + kSmooth - 1) {
        s.stochD = percentD(bars, t);
    }
    if (n >= kStoch + 2 * kSmooth - 2) {
        double sum = 0;
        bool all = true;
        for (std::size_t i = t + 1 - kSmooth; i <= t && all; ++i) {
            const auto d = percentD(bars, i);
            all = d.has_value();
            sum += d.value_or(0);
        }
        if (all) {
            s.slowD = sum / static_cast<double>(kSmooth);
        }
    }
}

std::vector<PriceStudies> PriceStudies::eachBar(const Bar* bars, std::size_t n, std::size_t window)
{
    // Each bar's window of its own: the means started inside it are not the ones of a longer
    // run, so nothing is carried from one bar to the next.
    std::vector<PriceStudies> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t w = std::min(i + 1, std::max<std::size_t>(window, 1));
        out.push_back(of(bars + i + 1 - w, w));
    }
    return out;
}

} // namespace zuvemo::analysis
