#pragma once

#include "analysis/PeriodBars.h"
#include "marketdata/jquants/Fundamentals.h"

#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::exporting {

// The series of the chart window, read from WorkTemp as the chart-mode analysis left it: every
// stored day, oldest first, and in a J-Quants folder the market's days between them on which the
// stock had no trade (no prices: a gap). The strength lines, ratios, marks and zones exist for the
// workbook's newest 250 days only. A value that the analysis does not define for a day (a ratio
// before its first day) is NaN, not the 0 stored for it, so a chart shows no point there; so is a
// ratio whose window still takes in the 0 that day 0 stores for the carried close and volume.
struct ChartData
{
    std::string code;
    std::string name;
    std::vector<std::string> dates; // YYYY-MM-DD
    std::vector<int> stored; // the day's row of WorkTemp, -1 for a market day without a trade
    std::vector<double> open, high, low, close, volume, turnover;
    // Of the stored days' close and volume over the whole history (Wratai, Wsatai, Wxatai).
    std::vector<double> mean30, mean54;
    std::vector<double> volumeMean30;
    std::vector<double> shortStrength, strength14; // Wgatai, Wjatai
    std::vector<double> band; // Wyatai, 1 or 0
    std::vector<double> ratio6, ratio30, ratio54; // Wmatai, Wnatai, Woatai
    std::vector<std::string> shortSignal, volumeSignal; // Whatai, Wkatai: 売, 買 or " "
    std::vector<std::string> zone4, zone14, zone7; // Wiatai, Wlatai, Wtatai: 売ゾ, 買ゾ or " "
    // TOPIX's close of each day, NaN where the store holds none (and every day in a CSV folder).
    std::vector<double> topix;

    // The stock's valuation and dividend yield on the list's day, in a J-Quants folder
    // ("予想PER 12.3倍  PBR 0.85倍  配当利回り 3.21%"); empty where none exist.
    std::string figures;

    int days() const { return static_cast<int>(dates.size()); }

    // Throws DatabaseError when WorkTemp cannot be read.
    static ChartData read(core::Mdl_Start& module, const std::string& code, const std::string& name);

    // The days as bars; a day without a row of the stock's is untraded.
    std::vector<analysis::PeriodBars::Bar> dailyBars() const;
    // The market's days (ascending) between the first and last stored day, each one missing
    // from the stored days put in as a day without a trade; the means computed anew.
    void addUntradedDays(const std::vector<std::string>& marketDays);
    // mean30, mean54 and volumeMean30 from the stored days.
    void computeMeans();
    // The mean of the last span stored values up to each stored day, NaN before span of them.
    static std::vector<double> storedMean(
        const std::vector<double>& values, const std::vector<int>& stored, int span);

    // The stored days (those with a row of WorkTemp).
    int storedDays() const;
    // The day's figures of the workbook's view: "30日平均 1,240.5 54日平均 1,230  短期 売 中期 -
    // ゾーン 4日 買ゾ 14日 売ゾ 7日 売ゾ".
    std::string signalsText(int day) const;
    // A price to two decimals at most, as the list shows it, its thousands grouped: 1246.5 is
    // "1,246.5", 1230 is "1,230", 410.6851 is "410.69"; NaN is "-".
    static std::string priceText(double value);
    // The figures' text of whichever of 予想PER, PBR and 配当利回り exist.
    static std::string figuresText(const marketdata::Fundamentals::Figures& figures);
};

} // namespace zuvemo::exporting
