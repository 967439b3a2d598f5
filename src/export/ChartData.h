#pragma once

#include "marketdata/jquants/Fundamentals.h"

#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::exporting {

// The series of the chart window, read from WorkTemp as the chart-mode analysis left it: the
// workbook's newest 250 days, oldest first. A value that the analysis does not define for a day
// (a mean before its span is full, a ratio before its first day) is NaN, not the 0 stored for
// it, so a chart shows no point there; so is a mean whose window still takes in the 0 that day 0
// stores for the carried close and volume.
struct ChartData
{
    std::string code;
    std::string name;
    std::vector<std::string> dates; // YYYY-MM-DD
    std::vector<double> open, high, low, close, volume;
    std::vector<double> mean30, mean54; // of the carried close (Wratai, Wsatai)
    std::vector<double> volumeMean30; // Wxatai
    std::vector<double> shortStrength, strength14; // Wgatai, Wjatai
    std::vector<double> band; // Wyatai, 1 or 0
    std::vector<double> ratio6, ratio30, ratio54; // Wmatai, Wnatai, Woatai
    std::vector<std::string> shortSignal, volumeSignal; // Whatai, Wkatai: 売, 買 or " "
    std::vector<std::string> zone4, zone14, zone7; // Wiatai, Wlatai, Wtatai: 売ゾ, 買ゾ or " "

    // The stock's valuation and dividend yield on the list's day, in a J-Quants folder
    // ("予想PER 12.3倍  PBR 0.85倍  配当利回り 3.21%"); empty where none exist.
    std::string figures;

    int days() const { return static_cast<int>(dates.size()); }

    // Throws DatabaseError when WorkTemp cannot be read.
    static ChartData read(core::Mdl_Start& module, const std::string& code, const std::string& name);

    // "2024-01-09 始値 1,246.5 高値 1,250 安値 1,229.5 終値 1,230 出来高 2,500 短期 売 中期 - ゾーン 4日 買ゾ
    // 14日 売ゾ 7日 売ゾ"
    std::string dayLine(int day) const;
    // The figures' text of whichever of 予想PER, PBR and 配当利回り exist.
    static std::string figuresText(const marketdata::Fundamentals::Figures& figures);
};

} // namespace zuvemo::exporting
