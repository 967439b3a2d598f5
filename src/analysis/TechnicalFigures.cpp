#include "TechnicalFigures.h"

#include "FigureTable.h"
#include "HistoryFile.h"
#include "PriceStudies.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "marketdata/DataSource.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/PriceStore.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zuvemo::analysis {

namespace {

// The mean close of the n days ending at end (exclusive of nothing: end is the last day).
template <typename Bars> std::optional<double> sma(const Bars& bars, std::size_t end, std::size_t n)
{
    if (end + 1 < n) {
        return std::nullopt;
    }
    double sum = 0;
    for (std::size_t i = end + 1 - n; i <= end; ++i) {
        sum += bars[i].c;
    }
    return sum / static_cast<double>(n);
}

std::optional<double> ratio(std::optional<double> a, std::optional<double> b)
{
    if (!a || !b || *b == 0) {
        return std::nullopt;
    }
    const double r = *a / *b - 1;
    return std::isfinite(r) ? std::optional(r) : std::nullopt;
}

std::string digits(const std::string& date)
{
    std::string out;
    for (char c : date) {
        if (c >= '0' && c <= '9') {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

void TechnicalFigures::compute(const std::vector<Bar>& bars, marketdata::Fundamentals::Figures& f)
{
    compute(bars.data(), bars.size(), f, kAll);
}

namespace {

// The highest high and lowest low of bars[first … t], and of those before t.
struct Range
{
    double high = 0, low = 0, highBefore = 0, lowBefore = 0;
    bool exact = true; // no NaN among them: otherwise the order of max and min matters
};

// Four lanes at a time: a rule reads the year's range on every day of every stock, and one
// chain of max is bound by its latency.
Range rangeOf(const TechnicalFigures::Bar* bars, std::size_t first, std::size_t t)
{
    Range r;
    std::array<double, 4> high{}, low{};
    high.fill(bars[first].h);
    low.fill(bars[first].l);
    bool nan = false;
    std::size_t i = first;
    for (; i + 4 <= t; i += 4) {
        for (std::size_t k = 0; k < 4; ++k) {
            const double h = bars[i + k].h, l = bars[i + k].l;
            high[k] = std::max(high[k], h);
            low[k] = std::min(low[k], l);
            nan = nan || std::isnan(h) || std::isnan(l);
        }
    }
    for (; i < t; ++i) {
        const double h = bars[i].h, l = bars[i].l;
        high[0] = std::max(high[0], h);
        low[0] = std::min(low[0], l);
        nan = nan || std::isnan(h) || std::isnan(l);
    }
    r.highBefore = std::max(std::max(high[0], high[1]), std::max(high[2], high[3]));
    r.lowBefore = std::min(std::min(low[0], low[1]), std::min(low[2], low[3]));
    const double h = bars[t].h, l = bars[t].l;
    r.exact = !nan && !std::isnan(h) && !std::isnan(l) && !std::isnan(bars[first].h)
        && !std::isnan(bars[first].l);
    r.high = t == first ? h : std::max(r.highBefore, h);
    r.low = t == first ? l : std::min(r.lowBefore, l);
    return r;
}

enum Need : unsigned {
    kDev5 = 1U << 0,
    kDev25 = 1U << 1,
    kDev75 = 1U << 2,
    kDev200 = 1U << 3,
    kRsi = 1U << 4,
    kChg = 1U << 5,
    kVolRatio = 1U << 6,
    kTurnover = 1U << 7,
    kRange = 1U << 8, // the year's high and low, and the new high and low
    kCross = 1U << 9,
    kUptrend = 1U << 10,
    kLimits = 1U << 11,
    kMacd = 1U << 12,
    kBand = 1U << 13,
    kStoch = 1U << 14,
    kIchimoku = 1U << 15,
};

// 1 when line went over other between the two days (golden), -1 under it, 0 otherwise or when a
// line is not there on both.
int crossing(const std::optional<double>& lineBefore, const std::optional<double>& otherBefore,
    const std::optional<double>& line, const std::optional<double>& other)
{
    if (!lineBefore || !otherBefore || !line || !other) {
        return 0;
    }
    if (*lineBefore <= *otherBefore && *line > *other) {
        return 1;
    }
    return *lineBefore >= *otherBefore && *line < *other ? -1 : 0;
}

} // namespace

bool TechnicalFigures::readsHighLow(unsigned need)
{
    return (need & (kRange | kStoch | kIchimoku)) != 0;
}

bool TechnicalFigures::readsTouches(unsigned need)
{
    return (need & kLimits) != 0;
}

unsigned TechnicalFigures::needOf(std::string_view name)
{
    static const std::vector<std::pair<std::string_view, unsigned>> bits{{"dev5", kDev5}, {"dev25", kDev25},
        {"dev75", kDev75}, {"dev200", kDev200}, {"rsi", kRsi}, {"chg1", kChg}, {"chg5", kChg},
        {"chg20", kChg}, {"vol-ratio", kVolRatio}, {"turnover", kTurnover}, {"from-high", kRange},
        {"from-low", kRange}, {"new-high", kRange}, {"new-low", kRange}, {"cross", kCross},
        {"golden", kCross}, {"dead", kCross}, {"uptrend", kUptrend}, {"stop-high", kLimits},
        {"stop-low", kLimits}, {"macd", kMacd}, {"macd-signal", kMacd}, {"macd-hist", kMacd},
        {"macd-cross", kMacd}, {"bb", kBand}, {"stoch-k", kStoch}, {"stoch-d", kStoch}, {"slow-d", kStoch},
        {"tenkan-dev", kIchimoku}, {"kijun-dev", kIchimoku}, {"above-cloud", kIchimoku},
        {"below-cloud", kIchimoku}, {"sanyaku-up", kIchimoku}, {"sanyaku-down", kIchimoku},
        {"tenkan-cross", kIchimoku}};
    for (const auto& [n, bit] : bits) {
        if (n == name) {
            return bit;
        }
    }
    return 0;
}

void TechnicalFigures::compute(
    const Bar* data, std::size_t n, marketdata::Fundamentals::Figures& f, unsigned need)
{
    if (n == 0) {
        return;
    }
    // Indexing as over a vector keeps one arithmetic for both callers.
    struct View
    {
        const Bar* data;
        const Bar& operator[](std::size_t i) const { return data[i]; }
    } bars{data};
    const std::size_t t = n - 1;
    const std::optional<double> close = bars[t].c;
    if (need & kDev5) {
        f.dev5 = ratio(close, sma(bars, t, 5));
    }
    if (need & kDev25) {
        f.dev25 = ratio(close, sma(bars, t, 25));
    }
    if (need & kDev75) {
        f.dev75 = ratio(close, sma(bars, t, 75));
    }
    if (need & kDev200) {
        f.dev200 = ratio(close, sma(bars, t, 200));
    }
    if ((need & kRsi) && t >= 14) {
        double gains = 0, losses = 0;
        for (std::size_t i = t - 13; i <= t; ++i) {
            const double change = bars[i].c - bars[i - 1].c;
            (change > 0 ? gains : losses) += std::abs(change);
        }
        if (gains + losses > 0) {
            f.rsi = 100 * gains / (gains + losses);
        }
    }
    for (auto [days, field] : {std::pair{1u, &marketdata::Fundamentals::Figures::chg1},
             {5u, &marketdata::Fundamentals::Figures::chg5},
             {20u, &marketdata::Fundamentals::Figures::chg20}}) {
        if ((need & kChg) && t >= days) {
            f.*field = ratio(close, bars[t - days].c);
        }
    }
    if ((need & kVolRatio) && t >= 25) {
        double sum = 0;
        for (std::size_t i = t - 25; i < t; ++i) {
            sum += bars[i].v;
        }
        if (sum > 0) {
            f.volRatio = bars[t].v / (sum / 25);
        }
    }
    if ((need & kTurnover) && t >= 24) {
        double sum = 0;
        for (std::size_t i = t - 24; i <= t; ++i) {
            sum += bars[i].va;
        }
        f.turnover = sum / 25;
    }
    // The year's range: the days the stock has, up to kDays.
    const std::size_t first = t + 1 > kDays ? t + 1 - kDays : 0;
    if (need & kRange) {
        if (const auto range = rangeOf(data, first, t); range.exact) {
            f.fromHigh = ratio(close, range.high);
            f.fromLow = ratio(close, range.low);
            if (bars[t].traded) {
                f.newHigh = t == first || bars[t].h >= range.highBefore;
                f.newLow = t == first || bars[t].l <= range.lowBefore;
            }
        } else {
            double h = bars[first].h, l = bars[first].l;
            for (std::size_t i = first; i <= t; ++i) {
                h = std::max(h, bars[i].h);
                l = std::min(l, bars[i].l);
            }
            f.fromHigh = ratio(close, h);
            f.fromLow = ratio(close, l);
            if (bars[t].traded) {
                bool newHigh = true, newLow = true;
                for (std::size_t i = first; i < t; ++i) {
                    newHigh = newHigh && bars[t].h >= bars[i].h;
                    newLow = newLow && bars[t].l <= bars[i].l;
                }
                f.newHigh = newHigh;
                f.newLow = newLow;
            }
        }
    }
    if ((need & kCross) && t >= 25) {
        const auto fastBefore = sma(bars, t - 1, 5), slowBefore = sma(bars, t - 1, 25);
        const auto fast = sma(bars, t, 5), slow = sma(bars, t, 25);
        if (*fastBefore <= *slowBefore && *fast > *slow) {
            f.cross = 1;
        } else if (*fastBefore >= *slowBefore && *fast < *slow) {
            f.cross = -1;
        }
    }
    if (need & kLimits) {
        f.stopHigh = bars[t].upperTouched;
        f.stopLow = bars[t].lowerTouched;
    }
    if ((need & kUptrend) && t >= 200) {
        // The six means of the day and the day before in one pass: each sum adds its closes in
        // sma's order, so each is sma's to the digit, and the six chains overlap rather than
        // wait on each other.
        std::array<double, 3> today{}, before{}; // 200, 75, 25 days
        std::size_t i = t - 199;
        for (; i + 74 < t; ++i) {
            today[0] += bars[i].c;
            before[0] += bars[i - 1].c;
        }
        for (; i + 24 < t; ++i) {
            today[0] += bars[i].c;
            before[0] += bars[i - 1].c;
            today[1] += bars[i].c;
            before[1] += bars[i - 1].c;
        }
        for (; i <= t; ++i) {
            for (std::size_t k = 0; k < 3; ++k) {
                today[k] += bars[i].c;
                before[k] += bars[i - 1].c;
            }
        }
        bool up = true;
        for (const std::size_t k : {2U, 1U, 0U}) {
            const double days = k == 0 ? 200 : k == 1 ? 75 : 25;
            const double mean = today[k] / days;
            up = up && mean > before[k] / days && bars[t].c > mean;
        }
        f.uptrend = up;
    }
    if (need & (kMacd | kBand | kStoch | kIchimoku)) {
        studies(data, n, f, need);
    }
}

void TechnicalFigures::compute(
    const Bar* bars, std::size_t n, marketdata::Fundamentals::Figures& f, unsigned need, const Ahead& ahead)
{
    unsigned rest = need;
    rest &= ahead.macd ? ~kMacd : ~0U;
    rest &= ahead.ichimoku ? ~kIchimoku : ~0U;
    rest &= ahead.range ? ~kRange : ~0U;
    rest &= ahead.trend ? ~kUptrend : ~0U;
    compute(bars, n, f, rest);
    if (n == 0) {
        return;
    }
    if ((need & kUptrend) && ahead.trend) {
        f.uptrend = ahead.uptrend;
    }
    if ((need & kMacd) && ahead.macd) {
        macdInto(*ahead.macd, *ahead.macdBefore, f);
    }
    if ((need & kRange) && ahead.range) {
        const Bar& last = bars[n - 1];
        f.fromHigh = ratio(last.c, ahead.high);
        f.fromLow = ratio(last.c, ahead.low);
        // Without NaN the day's high is at least the days' before exactly when it is the year's.
        if (last.traded) {
            f.newHigh = last.h >= ahead.high;
            f.newLow = last.l <= ahead.low;
        }
    }
    if ((need & kIchimoku) && ahead.ichimoku) {
        ichimokuInto(bars, n, ahead.ichimoku[0], ahead.ichimoku[1], ahead.ichimoku[2], f);
    }
}

void TechnicalFigures::macdInto(
    const PriceStudies& s, const PriceStudies& before, marketdata::Fundamentals::Figures& f)
{
    f.macd = s.macd;
    f.macdSignal = s.macdSignal;
    f.macdHist = s.macdHist;
    f.macdCross = crossing(before.macd, before.macdSignal, s.macd, s.macdSignal);
}

void TechnicalFigures::studies(
    const Bar* bars, std::size_t n, marketdata::Fundamentals::Figures& f, unsigned need)
{
    const std::size_t t = n - 1;
    const double close = bars[t].c;
    const unsigned parts = ((need & kMacd) ? PriceStudies::kMacd : 0U)
        | ((need & kBand) ? PriceStudies::kBand : 0U) | ((need & kStoch) ? PriceStudies::kStochastics : 0U)
        | ((need & kIchimoku) ? PriceStudies::kIchimoku : 0U);
    // The day before as this day's days give it: a figure of a day reads nothing older.
    const unsigned crossed = parts & (PriceStudies::kMacd | PriceStudies::kIchimoku);
    PriceStudies before;
    const auto s = PriceStudies::of(bars, n, parts, crossed != 0 ? &before : nullptr, crossed);
    if (need & kMacd) {
        macdInto(s, before, f);
    }
    if ((need & kBand) && s.bbSigma && *s.bbSigma > 0) {
        f.bb = (close - *s.bbMid) / *s.bbSigma;
    }
    if (need & kStoch) {
        f.stochK = s.stochK;
        f.stochD = s.stochD;
        f.slowD = s.slowD;
    }
    if (need & kIchimoku) {
        const auto cloud = n > kCloudAhead ? PriceStudies::of(bars, n - kCloudAhead, PriceStudies::kIchimoku)
                                           : PriceStudies{};
        ichimokuInto(bars, n, s, before, cloud, f);
    }
}

void TechnicalFigures::ichimokuInto(const Bar* bars, std::size_t n, const PriceStudies& s,
    const PriceStudies& before, const PriceStudies& cloud, marketdata::Fundamentals::Figures& f)
{
    const std::size_t t = n - 1;
    const double close = bars[t].c;
    f.tenkanDev = ratio(close, s.tenkan);
    f.kijunDev = ratio(close, s.kijun);
    f.tenkanCross = crossing(before.tenkan, before.kijun, s.tenkan, s.kijun);
    if (n > kCloudAhead) {
        if (cloud.span1 && cloud.span2) {
            f.aboveCloud = close > std::max(*cloud.span1, *cloud.span2);
            f.belowCloud = close < std::min(*cloud.span1, *cloud.span2);
        }
        const double then = bars[t - kCloudAhead].c;
        f.sanyakuUp = s.tenkan && s.kijun && *s.tenkan > *s.kijun && f.aboveCloud && close > then;
        f.sanyakuDown = s.tenkan && s.kijun && *s.tenkan < *s.kijun && f.belowCloud && close < then;
    }
}

namespace {

using Figures = marketdata::Fundamentals::Figures;
// The order of the kept values.
constexpr std::optional<double> Figures::*kKept[marketdata::PriceStore::kPriceFigureCount]
    = {&Figures::dev5, &Figures::dev25, &Figures::dev75, &Figures::dev200, &Figures::rsi, &Figures::chg1,
        &Figures::chg5, &Figures::chg20, &Figures::volRatio, &Figures::turnover, &Figures::fromHigh,
        &Figures::fromLow, &Figures::macd, &Figures::macdSignal, &Figures::macdHist, &Figures::bb,
        &Figures::stochK, &Figures::stochD, &Figures::slowD, &Figures::tenkanDev, &Figures::kijunDev};

void fromKept(const marketdata::PriceStore::PriceFigures& k, Figures& f)
{
    for (std::size_t i = 0; i < std::size(kKept); ++i) {
        f.*kKept[i] = k.values[i];
    }
    const auto& flags = FigureTable::flags();
    for (std::size_t i = 0; i < flags.size(); ++i) {
        f.*(flags[i].value) = (k.flags >> i) & 1U;
    }
    f.cross = k.cross;
    f.macdCross = k.macdCross;
    f.tenkanCross = k.tenkanCross;
}

marketdata::PriceStore::PriceFigures toKept(const Figures& f)
{
    marketdata::PriceStore::PriceFigures k;
    for (std::size_t i = 0; i < std::size(kKept); ++i) {
        k.values[i] = f.*kKept[i];
    }
    const auto& flags = FigureTable::flags();
    for (std::size_t i = 0; i < flags.size(); ++i) {
        k.flags |= (f.*(flags[i].value) ? 1U : 0U) << i;
    }
    k.cross = f.cross;
    k.macdCross = f.macdCross;
    k.tenkanCross = f.tenkanCross;
    return k;
}

} // namespace

void TechnicalFigures::read(
    marketdata::PriceStore& store, const std::string& day, std::map<std::string, Figures>& byCode)
{
    if (const auto kept = store.keptPriceFigures(day)) {
        for (const auto& [code, k] : *kept) {
            fromKept(k, byCode[code]);
        }
        return;
    }
    // Read before the bars: a commit of another program after it keeps these figures unkept.
    const auto version = store.dataVersion();
    std::map<std::string, marketdata::PriceStore::PriceFigures> keep;
    each(store, day, [&](const std::string& code, const std::vector<Bar>& bars) {
        auto& f = byCode[code];
        compute(bars, f);
        keep[code] = toKept(f);
    });
    store.keepPriceFigures(day, version, keep);
}

void TechnicalFigures::prepare(core::Mdl_Start& module)
{
    try {
        auto& db = *module.SharedConnection;
        const std::string day = marketdata::UrlSettings::listDate(db);
        if (day.empty() || !marketdata::DataSource::read(db).isJQuants()
            || !marketdata::PriceStore::exists(module.programFolder())) {
            return;
        }
        keep(module.programFolder(), day);
    } catch (const core::DatabaseError&) {
    }
}

void TechnicalFigures::keep(const std::filesystem::path& programFolder, const std::string& day)
{
    try {
        if (day.empty() || !marketdata::PriceStore::exists(programFolder)) {
            return;
        }
        marketdata::PriceStore store(programFolder);
        std::map<std::string, Figures> figures;
        read(store, day, figures);
    } catch (const core::DatabaseError&) {
    }
}

std::map<std::string, std::vector<TechnicalFigures::Bar>> TechnicalFigures::fromStore(
    marketdata::PriceStore& store, const std::string& day)
{
    std::map<std::string, std::vector<Bar>> out;
    each(store, day,
        [&out](const std::string& code, const std::vector<Bar>& bars) { out.emplace(code, bars); });
    return out;
}

void TechnicalFigures::each(marketdata::PriceStore& store, const std::string& day,
    const std::function<void(const std::string& code, const std::vector<Bar>& bars)>& fn)
{
    // The market's stored days up to day, as many as a figure looks back over.
    std::vector<std::string> market = store.storedDays();
    market.erase(std::upper_bound(market.begin(), market.end(), day), market.end());
    if (market.size() > kLookBack) {
        market.erase(market.begin(), market.end() - static_cast<long>(kLookBack));
    }
    std::vector<Bar> bars;
    bars.reserve(market.size());
    // A code listed again reads none of its earlier listing's bars.
    const auto relisted = marketdata::ListingHistory::relisted(store.connection(), day);
    store.eachStockBars(
        market, [&](const std::string& code, const std::vector<marketdata::PriceStore::DayBar>& rows) {
            bars.clear();
            auto row = rows.begin();
            std::size_t from = 0;
            if (const auto it = relisted.find(code); it != relisted.end()) {
                from = static_cast<std::size_t>(
                    std::upper_bound(market.begin(), market.end(), it->second) - market.begin());
            }
            for (std::size_t d = 0; d < market.size(); ++d) {
                if (d < from) {
                    if (row != rows.end() && row->day == d) {
                        ++row;
                    }
                    continue;
                }
                const bool has = row != rows.end() && row->day == d;
                if (has && row->traded) {
                    bars.push_back({row->adjC, row->adjH, row->adjL, row->adjVo, row->va, true, row->ul == 1,
                        row->ll == 1});
                } else if (!bars.empty()) {
                    const double c = bars.back().c;
                    // A day without a trade may still be flagged: a stock stuck at its limit all day.
                    bars.push_back({c, c, c, 0, 0, false, has && row->ul == 1, has && row->ll == 1});
                }
                if (has) {
                    ++row;
                }
            }
            if (!bars.empty()) {
                fn(marketdata::PriceStore::listCode(code), bars);
            }
        });
}

std::vector<TechnicalFigures::Bar> TechnicalFigures::fromHistory(
    const std::vector<HistoryRow>& newestFirst, const std::string& day)
{
    const std::string last = digits(day);
    std::vector<Bar> bars;
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) {
        if (!last.empty() && digits(it->date) > last) {
            break;
        }
        bars.push_back({it->close, it->high, it->low, it->volume, it->value, true});
    }
    if (bars.size() > kLookBack) {
        bars.erase(bars.begin(), bars.end() - static_cast<long>(kLookBack));
    }
    return bars;
}

} // namespace zuvemo::analysis
