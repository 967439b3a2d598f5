#include "ChartData.h"

#include "GrafExcel.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Recordset.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/MarketStanding.h"
#include "marketdata/jquants/TopixHistory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

namespace zuvemo::exporting {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// A stored number, or NaN for an empty column (days older than the analysis window).
double storedValue(const core::Value& v)
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
    static constexpr int kRatio30 = 31; // days k-30 to k-1
    static constexpr int kRatio54 = 55;
};

double from(int k, int start, const core::Value& v)
{
    return k >= start ? storedValue(v) : kNone;
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

std::string price(double value)
{
    return ChartData::priceText(value);
}

} // namespace

std::string ChartData::priceText(double value)
{
    // The pattern shows every digit of a value with more than its two.
    std::string text = number(std::isfinite(value) ? std::round(value * 100) / 100 : value, "#,##0.##");
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

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
    // Days of the analysis window are numbered from its oldest, as the analysis numbered them.
    const int window = total < GrafExcel::kRows ? total : GrafExcel::kRows;
    for (int row = 0; !rs->isEof(); rs->moveNext(), ++row) {
        const double count = rs->field("Wcount").toDouble();
        const bool inWindow = count >= 1 && count <= GrafExcel::kRows;
        const int k = inWindow ? window - static_cast<int>(count) : -1;
        auto at = [&](int start, const char* column) {
            return inWindow ? from(k, start, rs->field(column)) : kNone;
        };
        auto text = [&](const char* column) { return inWindow ? core::TrimOrSpace(rs->field(column)) : " "; };
        d.dates.push_back(core::TrimOrSpace(rs->field("Whi")));
        d.stored.push_back(row);
        d.open.push_back(storedValue(rs->field("Wst")));
        d.high.push_back(storedValue(rs->field("Wup")));
        d.low.push_back(storedValue(rs->field("Wdn")));
        d.close.push_back(storedValue(rs->field("Wen")));
        d.volume.push_back(storedValue(rs->field("Wdk")));
        d.turnover.push_back(storedValue(rs->field("Wbb")));
        d.shortStrength.push_back(at(Starts::kShortStrength, "Wgatai"));
        d.strength14.push_back(at(Starts::kStrength14, "Wjatai"));
        d.band.push_back(at(Starts::kBand, "Wyatai"));
        d.ratio6.push_back(at(Starts::kRatio6, "Wmatai"));
        d.ratio30.push_back(at(Starts::kRatio30, "Wnatai"));
        d.ratio54.push_back(at(Starts::kRatio54, "Woatai"));
        d.shortSignal.push_back(text("Whatai"));
        d.volumeSignal.push_back(text("Wkatai"));
        d.zone4.push_back(text("Wiatai"));
        d.zone14.push_back(text("Wlatai"));
        d.zone7.push_back(text("Wtatai"));
    }
    const auto source = marketdata::DataSource::read(*module.SharedConnection);
    if (source.isJQuants() && marketdata::PriceStore::exists(module.programFolder())) {
        marketdata::PriceStore store(module.programFolder());
        d.addUntradedDays(store.storedDays());
        if (!d.dates.empty()) {
            std::map<std::string, double> closes;
            for (const auto& bar :
                marketdata::TopixHistory(store.connection()).bars(d.dates.front(), d.dates.back())) {
                closes[bar.date] = bar.c;
            }
            d.topix.reserve(d.dates.size());
            for (const auto& date : d.dates) {
                const auto it = closes.find(date);
                d.topix.push_back(it != closes.end() ? it->second : std::numeric_limits<double>::quiet_NaN());
            }
        }
        // A J-Quants folder's figures of the list's day; a chart without them stays as it was.
        const std::string day = marketdata::UrlSettings::listDate(*module.SharedConnection);
        const auto all = marketdata::Fundamentals::read(store, day);
        if (const auto it = all.byCode.find(core::Utf8::trim(code)); it != all.byCode.end()) {
            d.figures = figuresText(it->second);
        }
    }
    if (d.mean30.size() != d.dates.size()) {
        d.computeMeans();
    }
    return d;
}

void ChartData::addUntradedDays(const std::vector<std::string>& marketDays)
{
    if (dates.empty()) {
        return;
    }
    auto first = std::lower_bound(marketDays.begin(), marketDays.end(), dates.front());
    auto last = std::upper_bound(first, marketDays.end(), dates.back());
    if (last - first <= static_cast<long>(dates.size())) {
        return;
    }
    ChartData out;
    std::size_t i = 0;
    for (auto day = first; day != last; ++day) {
        const bool has = i < dates.size() && dates[i] == *day;
        auto copy = [&](auto& to, const auto& from, auto none) { to.push_back(has ? from[i] : none); };
        out.dates.push_back(*day);
        copy(out.stored, stored, -1);
        for (auto member : {&ChartData::open, &ChartData::high, &ChartData::low, &ChartData::close,
                 &ChartData::volume, &ChartData::turnover, &ChartData::shortStrength, &ChartData::strength14,
                 &ChartData::band, &ChartData::ratio6, &ChartData::ratio30, &ChartData::ratio54}) {
            copy(out.*member, this->*member, kNone);
        }
        for (auto member : {&ChartData::shortSignal, &ChartData::volumeSignal, &ChartData::zone4,
                 &ChartData::zone14, &ChartData::zone7}) {
            copy(out.*member, this->*member, std::string(" "));
        }
        i += has ? 1 : 0;
    }
    out.code = std::move(code);
    out.name = std::move(name);
    out.figures = std::move(figures);
    *this = std::move(out);
    computeMeans();
}

void ChartData::computeMeans()
{
    mean30 = storedMean(close, stored, 30);
    mean54 = storedMean(close, stored, 54);
    volumeMean30 = storedMean(volume, stored, 30);
}

std::vector<double> ChartData::storedMean(
    const std::vector<double>& values, const std::vector<int>& stored, int span)
{
    // Over the stored days only, as the analysis reads them: a day the market had without a
    // row of the stock's has no mean of its own.
    std::vector<double> out(values.size(), kNone);
    std::vector<double> kept;
    double sum = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (stored[i] < 0) {
            continue;
        }
        kept.push_back(values[i]);
        sum += values[i];
        if (kept.size() > static_cast<std::size_t>(span)) {
            sum -= kept[kept.size() - 1 - static_cast<std::size_t>(span)];
        }
        if (kept.size() >= static_cast<std::size_t>(span)) {
            out[i] = sum / span;
        }
    }
    return out;
}

std::vector<analysis::PeriodBars::Bar> ChartData::dailyBars() const
{
    std::vector<analysis::PeriodBars::Bar> bars(dates.size());
    for (std::size_t i = 0; i < dates.size(); ++i) {
        auto& b = bars[i];
        b.date = dates[i];
        b.traded = stored[i] >= 0 && std::isfinite(close[i]) && close[i] > 0;
        if (b.traded) {
            b.open = open[i];
            b.high = high[i];
            b.low = low[i];
            b.close = close[i];
            b.volume = volume[i];
            b.turnover = turnover[i];
        }
        b.firstDay = b.lastDay = static_cast<int>(i);
    }
    return bars;
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
    if (f.earningsDate) {
        add("決算予定 " + marketdata::MarketStanding::dateText(*f.earningsDate));
    }
    if (f.marginRatio) {
        add("信用倍率 " + fixed(*f.marginRatio, 2) + "倍");
    }
    return text;
}

int ChartData::storedDays() const
{
    return static_cast<int>(std::count_if(stored.begin(), stored.end(), [](int row) { return row >= 0; }));
}

std::string ChartData::signalsText(int i) const
{
    if (i < 0 || i >= days()) {
        return {};
    }
    const auto n = static_cast<std::size_t>(i);
    return "30日平均 " + price(mean30[n]) + " 54日平均 " + price(mean54[n]) + "  短期 " + mark(shortSignal[n])
        + " 中期 " + mark(volumeSignal[n]) + "  ゾーン 4日 " + mark(zone4[n]) + " 14日 " + mark(zone14[n])
        + " 7日 " + mark(zone7[n]);
}

} // namespace zuvemo::exporting
