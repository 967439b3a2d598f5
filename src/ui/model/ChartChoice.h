#pragma once

#include "analysis/PeriodBars.h"

#include <array>
#include <map>
#include <string>

namespace zuvemo::core {
class Connection;
}

namespace zuvemo::ui {

// What the chart window draws: the period of its bars, the overlays on the price and the panels
// under it, kept between runs.
struct ChartChoice
{
    using Period = analysis::PeriodBars::Period;
    static constexpr const char* kTable = "Table_Chart";
    static constexpr int kMeans = 3;
    static constexpr int kLongestMean = 250;

    Period period = Period::Day;
    // Overlays. zones: the 30- and 54-day means with the buy and sell zones and the signal marks.
    // topix: TOPIX's close scaled to the stock's first shown close.
    bool means = true, bollinger = false, ichimoku = false, zones = true, topix = false;
    // Panels.
    bool volume = true, macd = false, rsi = false, stochastics = false, strength = true;
    // The means' lengths in bars of each period (日足, 週足, 月足).
    std::array<std::array<int, kMeans>, 3> lengths{{{5, 25, 75}, {13, 26, 52}, {12, 24, 60}}};

    const std::array<int, kMeans>& meanLengths() const { return lengths[static_cast<std::size_t>(period)]; }
    // A length from 1 to kLongestMean; any other leaves the one there.
    void setMeanLength(int index, int length);

    // The kept choice; a value not kept, or not readable, stays as by default.
    static ChartChoice fromKept(const std::map<std::string, std::string>& kept);
    std::map<std::string, std::string> toKept() const;
    // Throws DatabaseError when the table cannot be read or written.
    static ChartChoice read(core::Connection& db);
    void write(core::Connection& db) const;

    bool operator==(const ChartChoice&) const = default;
};

} // namespace zuvemo::ui
