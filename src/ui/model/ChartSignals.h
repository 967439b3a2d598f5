#pragma once

#include "analysis/Indicators.h"

#include <array>
#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::ui {

// The days of a chart on which the screening would have given a mark, had it run that day (the
// whole stored history cut after the day, as the track record counts them), and the returns of
// the closes that followed each day. Day 0 is the chart's oldest day.
class ChartSignals
{
public:
    static constexpr std::array<int, 3> kHorizons{1, 5, 20};

    ChartSignals() = default;
    // From every stored day of a history, oldest first, for a chart of its newest chartDays days.
    ChartSignals(std::vector<double> close, const std::vector<double>& volume, int chartDays);

    // From WorkTemp as an analysis for the chart left it (every stored day of the stock).
    // Throws DatabaseError when WorkTemp cannot be read.
    static ChartSignals read(core::Mdl_Start& module, int chartDays);

    int days() const { return m_days; }
    analysis::Indicators::Mark shortMark(int day) const;
    analysis::Indicators::Mark volumeMark(int day) const;
    // (close h stored days later − close) ÷ close; false when the day is too near the end or a
    // close is 0.
    bool returnAfter(int day, int horizon, double* value) const;
    // "その後 1日 +1.23% 5日 -0.40% 20日 -"
    std::string returnsLine(int day) const;

private:
    std::size_t storedIndex(int day) const;

    std::vector<double> m_close; // every stored day
    std::vector<analysis::Indicators::Mark> m_short, m_volume;
    int m_days = 0;
};

} // namespace zuvemo::ui
