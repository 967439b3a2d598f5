#include "DailyLines.h"

#include "PriceStudies.h"
#include "WidestLanes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zuvemo::analysis {

namespace {

constexpr std::size_t kTenkan = 9, kKijun = 26, kSpan2 = 52;

// out[i] = pick over v[i + 1 − min(i + 1, w) … i]. Blocks of w values each get their running
// pick from the left (into out) and from the right (into right); a window that is not a block
// is the right part of one block and the left part of the next. Without NaN max and min are
// the same in any order, so each value is the one a pass over its window gives.
template <typename Pick>
void slide(const std::vector<double>& v, std::size_t w, std::vector<double>& out, std::vector<double>& right,
    Pick pick)
{
    const std::size_t n = v.size();
    out.resize(n);
    right.resize(n);
    for (std::size_t b = 0; b < n; b += w) {
        const std::size_t e = std::min(n, b + w);
        out[b] = v[b];
        for (std::size_t i = b + 1; i < e; ++i) {
            out[i] = pick(out[i - 1], v[i]);
        }
        right[e - 1] = v[e - 1];
        for (std::size_t i = e - 1; i-- > b;) {
            right[i] = pick(right[i + 1], v[i]);
        }
    }
    for (std::size_t i = w, j = 1; i < n; ++i, j = j + 1 == w ? 0 : j + 1) {
        if (j != 0) {
            out[i] = pick(right[i + 1 - w], out[i]);
        }
    }
}

// out[p] = the sum of v[p + 1 − w … p] added oldest first from 0, as TechnicalFigures adds a
// mean's closes (so to the last digit), for p ≥ w − 1; many days side by side, each lane its
// own day's chain. Four chains of lanes at once: one alone waits on each add before the next.
ZUVEMO_WIDEST_LANES void sums(const double* v, std::size_t n, std::size_t w, double* out)
{
    constexpr std::size_t kLanes = 8, kChains = 4, kBlock = kLanes * kChains;
    std::fill(out, out + n, 0.0);
    std::size_t p = w - 1;
#if defined(__GNUC__)
    using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));
    for (; p + kBlock <= n; p += kBlock) {
        Lanes sum[kChains] = {};
        const double* first = v + p + 1 - w;
        for (std::size_t i = 0; i < w; ++i) {
            for (std::size_t k = 0; k < kChains; ++k) {
                Lanes add;
                std::memcpy(&add, first + i + k * kLanes, sizeof add);
                sum[k] += add;
            }
        }
        std::memcpy(out + p, sum, sizeof sum);
    }
#endif
    for (; p < n; ++p) {
        double sum = 0;
        for (std::size_t i = p + 1 - w; i <= p; ++i) {
            sum += v[i];
        }
        out[p] = sum;
    }
}

const auto kMax = [](double a, double b) { return std::max(a, b); };
const auto kMin = [](double a, double b) { return std::min(a, b); };

} // namespace

void DailyLines::build(const TechnicalFigures::Bar* bars, std::size_t n, unsigned parts)
{
    m_parts = 0;
    if (n == 0 || parts == 0) {
        return;
    }
    m_values.resize(n);
    if ((parts & kUptrend) && n <= 200) {
        // No day of the run holds the 201 closes of a trend.
        m_uptrend.assign(n, 0);
        m_parts |= kUptrend;
    } else if (parts & kUptrend) {
        // A NaN close goes through each sum it is in as through the day's own.
        for (std::size_t i = 0; i < n; ++i) {
            m_values[i] = bars[i].c;
        }
        const std::size_t days[3] = {200, 75, 25};
        for (std::size_t k = 0; k < 3; ++k) {
            m_sum[k].resize(n);
            sums(m_values.data(), n, days[k], m_sum[k].data());
        }
        m_uptrend.assign(n, 0);
        for (std::size_t p = 200; p < n; ++p) {
            bool up = true;
            for (const std::size_t k : {2U, 1U, 0U}) {
                const double mean = m_sum[k][p] / static_cast<double>(days[k]);
                up = up && mean > m_sum[k][p - 1] / static_cast<double>(days[k]) && bars[p].c > mean;
            }
            m_uptrend[p] = up;
        }
        m_parts |= kUptrend;
    }
    parts &= ~kUptrend;
    if (parts == 0) {
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(bars[i].h) || std::isnan(bars[i].l)) {
            return;
        }
    }
    auto highs = [&](std::size_t w, std::vector<double>& out) {
        for (std::size_t i = 0; i < n; ++i) {
            m_values[i] = bars[i].h;
        }
        slide(m_values, w, out, m_scratch, kMax);
    };
    auto lows = [&](std::size_t w, std::vector<double>& out) {
        for (std::size_t i = 0; i < n; ++i) {
            m_values[i] = bars[i].l;
        }
        slide(m_values, w, out, m_scratch, kMin);
    };
    if (parts & kRange) {
        highs(TechnicalFigures::kDays, m_high);
        lows(TechnicalFigures::kDays, m_low);
    }
    if (parts & kCloud) {
        // Each line is (highest high + lowest low) ÷ 2, as PriceStudies takes it.
        for (auto [w, line] : {std::pair{kTenkan, &m_tenkan}, {kKijun, &m_kijun}, {kSpan2, &m_span2}}) {
            highs(w, *line);
            lows(w, m_other);
            for (std::size_t i = 0; i < n; ++i) {
                (*line)[i] = ((*line)[i] + m_other[i]) / 2;
            }
        }
    }
    m_parts |= parts;
}

void DailyLines::ahead(
    std::size_t from, std::size_t last, TechnicalFigures::Ahead& ahead, PriceStudies* lines) const
{
    const std::size_t held = last + 1 - from;
    if ((m_parts & kRange) && (from == 0 || held >= TechnicalFigures::kDays)) {
        ahead.range = true;
        ahead.high = m_high[last];
        ahead.low = m_low[last];
    }
    if (m_parts & kCloud) {
        lines[0] = lines[1] = lines[2] = {};
        cloud(from, last, lines[0]);
        if (held > 1) {
            cloud(from, last - 1, lines[1]);
        }
        if (held > TechnicalFigures::kCloudAhead) {
            cloud(from, last - TechnicalFigures::kCloudAhead, lines[2]);
        }
        ahead.ichimoku = lines;
    }
    if (m_parts & kUptrend) {
        // The window holds the 201 days or there is no trend (TechnicalFigures' own rule).
        ahead.trend = true;
        ahead.uptrend = held > 200 && m_uptrend[last] != 0;
    }
}

void DailyLines::cloud(std::size_t from, std::size_t last, PriceStudies& s) const
{
    // A window's line of w bars is there once the window holds w bars, and is then the kept
    // line of its last bar: both read the same w bars.
    const std::size_t held = last + 1 - from;
    if (held < kTenkan) {
        return;
    }
    s.tenkan = m_tenkan[last];
    if (held >= kKijun) {
        s.kijun = m_kijun[last];
        s.span1 = (*s.tenkan + *s.kijun) / 2;
    }
    if (held >= kSpan2) {
        s.span2 = m_span2[last];
    }
}

} // namespace zuvemo::analysis
