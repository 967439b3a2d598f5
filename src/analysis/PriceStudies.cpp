#include "PriceStudies.h"

#include "WidestLanes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

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

// (highest high + lowest low) ÷ 2 of the 9, 26 and 52 bars ending at end, in one pass: the
// longer spans hold the shorter.
void midpoints(const Bar* bars, std::size_t end, PriceStudies& s)
{
    if (end + 1 < kTenkan) {
        return;
    }
    double high = bars[end].h, low = bars[end].l;
    const std::size_t span = std::min(end + 1, kSpan2);
    for (std::size_t k = 1; k < span; ++k) {
        high = std::max(high, bars[end - k].h);
        low = std::min(low, bars[end - k].l);
        if (k + 1 == kTenkan) {
            s.tenkan = (high + low) / 2;
        } else if (k + 1 == kKijun) {
            s.kijun = (high + low) / 2;
        }
    }
    if (span == kSpan2) {
        s.span2 = (high + low) / 2;
    }
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

} // namespace

PriceStudies PriceStudies::of(
    const Bar* bars, std::size_t n, unsigned parts, PriceStudies* before, unsigned beforeParts)
{
    PriceStudies s;
    if (n == 0) {
        return s;
    }
    const std::size_t t = n - 1;
    if (before) {
        *before = n > 1 ? of(bars, n - 1, beforeParts & ~kMacd) : PriceStudies{};
    }
    if (parts & kMacd) {
        macdOf(bars, n, s, n > 1 && (beforeParts & kMacd) ? before : nullptr);
    }
    if (parts & kBand) {
        bandOf(bars, n, s);
    }
    if (parts & kIchimoku) {
        midpoints(bars, t, s);
        if (s.tenkan && s.kijun) {
            s.span1 = (*s.tenkan + *s.kijun) / 2;
        }
    }
    if (parts & kStochastics) {
        stochasticsOf(bars, n, s);
    }
    return s;
}

void PriceStudies::macdOf(const Bar* bars, std::size_t n, PriceStudies& s, PriceStudies* before)
{
    Ema fast{kFast}, slow{kSlow}, signal{kSignal};
    auto put = [&](PriceStudies& out) {
        if (signal.ready()) {
            out.macd = fast.value - slow.value;
            out.macdSignal = signal.value;
            out.macdHist = *out.macd - signal.value;
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        fast.add(bars[i].c);
        slow.add(bars[i].c);
        if (slow.ready()) {
            signal.add(fast.value - slow.value);
        }
        if (before && i + 2 == n) {
            put(*before); // the same means one bar short: of(bars, n − 1)'s to the digit
        }
    }
    put(s);
}

ZUVEMO_WIDEST_LANES void PriceStudies::macdOfEach(
    const Window* windows, std::size_t count, PriceStudies* out, PriceStudies* before)
{
    // A window's three means are chains of dependent steps that keep the CPU waiting on each
    // one. Several windows side by side, a lane each, overlap the chains: at a given bar of
    // their windows all lanes are in the same phase, and each does Ema's arithmetic in Ema's
    // order on its own values, so every lane comes out as macdOf's own pass over its window.
    constexpr std::size_t kLanes = 8;
    // An operation on it is each lane's own operation: packed, the lanes cost less than apart.
    using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));
    // The bar of a window the signal has its first value on.
    constexpr std::size_t kReady = kSlow + kSignal - 2;
    const double fastStep = 2.0 / static_cast<double>(kFast + 1),
                 slowStep = 2.0 / static_cast<double>(kSlow + 1),
                 signalStep = 2.0 / static_cast<double>(kSignal + 1);
    static const Bar none{};
    for (std::size_t g = 0; g < count; g += kLanes) {
        const std::size_t lanes = std::min(kLanes, count - g);
        // A lane beyond count runs its neighbour's window, and past its end a lane repeats its
        // last close: means nothing reads.
        std::array<const Bar*, kLanes> bar{};
        std::array<std::size_t, kLanes> last{};
        std::size_t shortest = windows[g].n, longest = 0;
        for (std::size_t j = 0; j < kLanes; ++j) {
            const Window& w = windows[g + std::min(j, lanes - 1)];
            bar[j] = w.n > 0 ? w.bars : &none;
            last[j] = w.n > 0 ? w.n - 1 : 0;
            shortest = std::min(shortest, w.n);
            longest = std::max(longest, w.n);
        }
        for (std::size_t j = 0; j < lanes; ++j) {
            out[g + j] = {};
            before[g + j] = {};
        }
        // The lanes' closes of a bar, gathered apart and moved in as a whole; orLast where a lane's
        // window may have ended.
        Lanes v{};
        auto at = [&](std::size_t i, bool orLast) {
            std::array<double, kLanes> c{};
            for (std::size_t j = 0; j < kLanes; ++j) {
                c[j] = bar[j][orLast ? std::min(i, last[j]) : i].c;
            }
            std::memcpy(&v, c.data(), sizeof v);
        };
        Lanes fast{}, slow{}, signal{};
        auto step = [&] {
            fast += fastStep * (v - fast);
            slow += slowStep * (v - slow);
            const Lanes line = fast - slow;
            signal += signalStep * (line - signal);
        };
        // A lane at a time from copies, which leaves the means themselves packed.
        auto put = [&](std::size_t i) {
            const Lanes line = fast - slow, sig = signal;
            for (std::size_t j = 0; j < lanes; ++j) {
                const std::size_t n = windows[g + j].n;
                if (i + 2 == n || i + 1 == n) {
                    PriceStudies& s = i + 1 == n ? out[g + j] : before[g + j];
                    s.macd = line[j];
                    s.macdSignal = sig[j];
                    s.macdHist = line[j] - sig[j];
                }
            }
        };
        // Up to the signal's first value, as Ema's add: sums, then their means, then steps.
        Lanes fastSum{}, slowSum{}, signalSum{};
        std::size_t i = 0;
        for (; i < longest && i <= kReady; ++i) {
            at(i, true);
            if (i < kFast) {
                fastSum += v;
                if (i + 1 == kFast) {
                    fast = fastSum / static_cast<double>(kFast);
                }
            } else {
                fast += fastStep * (v - fast);
            }
            if (i < kSlow) {
                slowSum += v;
                if (i + 1 == kSlow) {
                    slow = slowSum / static_cast<double>(kSlow);
                }
            } else {
                slow += slowStep * (v - slow);
            }
            if (i + 1 >= kSlow) {
                signalSum += fast - slow;
            }
        }
        if (i == kReady + 1) {
            signal = signalSum / static_cast<double>(kSignal);
            put(kReady);
        }
        // Then the same step in every lane, the lines taken off a lane on its window's last two
        // bars only.
        for (const std::size_t quiet = shortest > 2 ? shortest - 2 : 0; i < quiet; ++i) {
            at(i, false);
            step();
        }
        for (; i < longest; ++i) {
            at(i, true);
            step();
            put(i);
        }
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
    if (n < kStoch) {
        return;
    }
    // C − L9 and H9 − L9 of the last bars, each worked out once for %K, %D and slow %D.
    constexpr std::size_t kKept = 2 * kSmooth - 1;
    std::array<std::pair<double, double>, kKept> parts{};
    const std::size_t have = std::min(kKept, n + 1 - kStoch);
    for (std::size_t k = 0; k < have; ++k) {
        parts[k] = stochParts(bars, t - k);
    }
    // %D of the bar k bars before the last, summed oldest first as percentD sums them.
    auto percentDAt = [&](std::size_t k) -> std::optional<double> {
        double above = 0, range = 0;
        for (std::size_t j = k + kSmooth; j-- > k;) {
            above += parts[j].first;
            range += parts[j].second;
        }
        return range > 0 ? std::optional(above / range * 100) : std::nullopt;
    };
    if (parts[0].second > 0) {
        s.stochK = parts[0].first / parts[0].second * 100;
    }
    if (n >= kStoch + kSmooth - 1) {
        s.stochD = percentDAt(0);
    }
    if (n >= kStoch + 2 * kSmooth - 2) {
        double sum = 0;
        bool all = true;
        for (std::size_t k = kSmooth; k-- > 0 && all;) {
            const auto d = percentDAt(k);
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
