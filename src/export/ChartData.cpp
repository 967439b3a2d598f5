#include "ChartData.h"

#include "GrafExcel.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Recordset.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"
#include "marketdata/UrlSettings.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace zuvemo::exporting {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// A stored number, or NaN for an empty column (days older than the analysis window).
double stored(const core::Value& v)
{
    return v.isNull() ? kNone : v.toDouble();
}

// The first day index k of the window on which each series is shown. Day 0 stores 0 for the
// carried close and volume, so a mean whose window still reaches it starts low (the six-day ratio
// jumps to 1.2 on day 6): the means start on the first day whose window has left day 0.
struct Starts
{
    static constexpr int kShortStrength = 5;
    static constexpr int kStrength14 = 15;
    static constexpr int kBand = 15; // both ratios defined
    static constexpr int kRatio6 = 7; // days k-6 to k-1
    static constexpr int kMean30 = 30; // days k-29 to k
    static constexpr int kVolumeMean30 = 30;
    static constexpr int kRatio30 = 31; // days k-30 to k-1
    static constexpr int kMean54 = 54;
    static constexpr int kRatio54 = 55;
};

double from(int k, int start, const core::Value& v)
{
    return k >= start ? stored(v) : kNone;
}

std::string mark(const std::string& text)
{
    return text == " " || text.empty() ? "-" : text;
}

std::string number(double value, const char* pattern)
{
    if (std::isnan(value)) {
        return "-";
    }
    std::string text = core::FormatNumber(value, pattern);
    return text.empty() ? "0" : text;
}

// A price with the decimals it has, as the list shows it, its thousands grouped: 1246.5 is
// "1,246.5", 1230 is "1,230".
std::string price(double value)
{
    std::string text = number(value, "#,##0.##");
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

} // namespace

ChartData ChartData::read(core::Mdl_Start& module, const std::string& code, const std::string& name)
{
    if (!module.SharedConnection) {
        throw core::DatabaseError(21, "the database is not open");
    }
    ChartData d;
    d.code = code;
    d.name = name;
    auto rs = module.SharedConnection->openRecordset(" SELECT * FROM WorkTemp ORDER BY Whi");
    const int total = rs->recordCount();
    const int skip = total > GrafExcel::kRows ? total - GrafExcel::kRows : 0;
    for (int i = 0; i < skip; ++i) {
        rs->moveNext();
    }
    // Days of the analysis window are numbered from its oldest, as the analysis numbered them.
    const int window = total < GrafExcel::kRows ? total : GrafExcel::kRows;
    for (; !rs->isEof(); rs->moveNext()) {
        const double count = rs->field("Wcount").toDouble();
        const bool inWindow = count >= 1 && count <= GrafExcel::kRows;
        const int k = inWindow ? window - static_cast<int>(count) : -1;
        auto at = [&](int start, const char* column) {
            return inWindow ? from(k, start, rs->field(column)) : kNone;
        };
        auto text = [&](const char* column) { return core::TrimOrSpace(rs->field(column)); };
        d.dates.push_back(core::TrimOrSpace(rs->field("Whi")));
        d.open.push_back(stored(rs->field("Wst")));
        d.high.push_back(stored(rs->field("Wup")));
        d.low.push_back(stored(rs->field("Wdn")));
        d.close.push_back(stored(rs->field("Wen")));
        d.volume.push_back(stored(rs->field("Wdk")));
        d.mean30.push_back(at(Starts::kMean30, "Wratai"));
        d.mean54.push_back(at(Starts::kMean54, "Wsatai"));
        d.volumeMean30.push_back(at(Starts::kVolumeMean30, "Wxatai"));
        d.shortStrength.push_back(at(Starts::kShortStrength, "Wgatai"));
        d.strength14.push_back(at(Starts::kStrength14, "Wjatai"));
        d.band.push_back(at(Starts::kBand, "Wyatai"));
        d.ratio6.push_back(at(Starts::kRatio6, "Wmatai"));
        d.ratio30.push_back(at(Starts::kRatio30, "Wnatai"));
        d.ratio54.push_back(at(Starts::kRatio54, "Woatai"));
        d.shortSignal.push_back(inWindow ? text("Whatai") : " ");
        d.volumeSignal.push_back(inWindow ? text("Wkatai") : " ");
        d.zone4.push_back(inWindow ? text("Wiatai") : " ");
        d.zone14.push_back(inWindow ? text("Wlatai") : " ");
        d.zone7.push_back(inWindow ? text("Wtatai") : " ");
    }
    // A J-Quants folder's figures of the list's day; a chart without them stays as it was.
    const auto source = marketdata::DataSource::read(*module.SharedConnection);
    if (source.isJQuants() && marketdata::PriceStore::exists(module.programFolder())) {
        const std::string day = marketdata::UrlSettings::listDate(*module.SharedConnection);
        marketdata::PriceStore store(module.programFolder());
        const auto all = marketdata::Fundamentals::read(store, day);
        if (const auto it = all.byCode.find(core::Utf8::trim(code)); it != all.byCode.end()) {
            d.figures = figuresText(it->second);
        }
    }
    return d;
}

std::string ChartData::figuresText(const marketdata::Fundamentals::Figures& f)
{
    auto fixed = [](double v, int decimals) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
        return std::string(buffer);
    };
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "  ") + part; };
    if (f.fwdPer) {
        add("予想PER " + fixed(*f.fwdPer, 1) + "倍");
    }
    if (f.pbr) {
        add("PBR " + fixed(*f.pbr, 2) + "倍");
    }
    if (f.dividendYield) {
        add("配当利回り " + fixed(*f.dividendYield * 100, 2) + "%");
    }
    return text;
}

std::string ChartData::dayLine(int i) const
{
    if (i < 0 || i >= days()) {
        return {};
    }
    const auto n = static_cast<std::size_t>(i);
    return dates[n] + "  始値 " + price(open[n]) + " 高値 " + price(high[n]) + " 安値 " + price(low[n])
        + " 終値 " + price(close[n]) + "  出来高 " + number(volume[n], "#,##0") + "  短期 "
        + mark(shortSignal[n]) + " 中期 " + mark(volumeSignal[n]) + "  ゾーン 4日 " + mark(zone4[n])
        + " 14日 " + mark(zone14[n]) + " 7日 " + mark(zone7[n]);
}

} // namespace zuvemo::exporting
