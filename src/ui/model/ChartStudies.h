#pragma once

#include "ChartChoice.h"
#include "analysis/PeriodBars.h"

#include <array>
#include <string>
#include <vector>

namespace zuvemo::exporting {
struct ChartData;
}

namespace zuvemo::ui {

// The bars of the chart window in its period and every line drawn over or under them, one value
// a bar (NaN where a line has none). The studies are the price figures' own, each bar's from the
// bars up to it as find reads them: an untraded bar carries the close before it.
class ChartStudies
{
public:
    using Bar = analysis::PeriodBars::Bar;
    using Series = std::vector<double>;
    // The cloud is drawn this many bars ahead of the bar it is computed on, 遅行スパン as many back.
    static constexpr int kShift = 25;

    ChartStudies() = default;
    ChartStudies(const exporting::ChartData& data, const ChartChoice& choice);

    int count() const { return static_cast<int>(m_bars.size()); }
    const std::vector<Bar>& bars() const { return m_bars; }
    ChartChoice::Period period() const { return m_period; }

    Series volume; // NaN on an untraded bar
    std::array<Series, ChartChoice::kMeans> means;
    std::array<int, ChartChoice::kMeans> meanLengths{};
    Series bbMid, bbSigma;
    Series tenkan, kijun;
    // count() + kShift values: the cloud over bar i, computed on bar i − kShift.
    Series span1, span2;
    // The close of bar i + kShift, drawn on bar i.
    Series lagging;
    Series macd, macdSignal, macdHist;
    Series rsi;
    Series stochK, stochD, slowD;
    // TOPIX's close on each bar's last day, NaN where none.
    Series topix;
    // TOPIX scaled to the stock from the first bar at or after from with both a traded close and
    // a TOPIX close: TOPIX × that close ÷ TOPIX on it, so both start at the same point of the
    // shown range. All NaN when no bar has both.
    Series topixFrom(int from) const;

    // The bar's open, high, low, close and volume, then the value on it of each line chosen.
    // "2024-01-09  始値 1,246.5 高値 1,250 安値 1,229.5 終値 1,230  出来高 2,500  MA5 1,240.2 …";
    // a bar without a trade has "取引なし" for its prices. 日足 with the zones chosen end on the
    // workbook's figures of the day (ChartData::signalsText).
    std::string topLine(int bar, const ChartChoice& choice, const exporting::ChartData& data) const;

    // The lowest and highest price of bars from..to (traded ones) and of the lines chosen over
    // them.
    struct Extent
    {
        double lo = 0, hi = 1;
        bool any = false;
    };
    Extent priceExtent(int from, int to, const ChartChoice& choice) const;

private:
    void computeMeans(const ChartChoice& choice);
    void computeStudies();
    void computeRsi();

    std::vector<Bar> m_bars;
    ChartChoice::Period m_period = ChartChoice::Period::Day;
};

} // namespace zuvemo::ui
