#pragma once

#include "TechnicalFigures.h"

#include <cstddef>
#include <vector>

namespace zuvemo::analysis {

struct PriceStudies;

// The year's high and low, the cloud's midpoints and the uptrend's means of every day of a run
// of bars at once: a test of a rule reads them on every day of every stock, and one window at a
// time each day costs a pass over up to 250 bars. A run of w values ending at each day takes
// three comparisons a day, whatever w; the means add each day's closes in their own order, the
// days side by side.
class DailyLines
{
public:
    enum Part : unsigned { kRange = 1U << 0, kCloud = 1U << 1, kUptrend = 1U << 2 };

    // Works out parts over bars[0 … n). Keeps nothing where a high or a low is NaN: max and min
    // then depend on the order they are taken in, which only the callers' own pass keeps.
    void build(const TechnicalFigures::Bar* bars, std::size_t n, unsigned parts);
    unsigned parts() const { return m_parts; }

    // What of a window bars[from … last] compute can take from here rather than from the
    // bars: the year's range (not where the window starts after the bars' first and holds less
    // than the year), 一目's three days of lines, put in lines[0 … 3) for ahead to point at, and
    // the uptrend.
    void ahead(std::size_t from, std::size_t last, TechnicalFigures::Ahead& ahead, PriceStudies* lines) const;

private:
    // PriceStudies::of's tenkan, kijun, span1 and span2 over the window bars[from … last], into s.
    void cloud(std::size_t from, std::size_t last, PriceStudies& s) const;

    std::vector<double> m_high, m_low, m_tenkan, m_kijun, m_span2;
    std::vector<double> m_values, m_scratch, m_other;
    std::vector<double> m_sum[3]; // of the 200, 75 and 25 closes ending at each bar
    std::vector<char> m_uptrend;
    unsigned m_parts = 0;
};

} // namespace zuvemo::analysis
