#include "SyntheticMarket.h"

#include "TradingCalendar.h"
#include "core/Clock.h"
#include "core/PriceLimit.h"
#include "core/TextCodec.h"
#include "core/Value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zuvemo::sample {

using namespace std::chrono;

namespace {

// splitmix64: small, fast and the same everywhere.
class Random
{
public:
    explicit Random(std::uint64_t seed)
        : m_state(seed)
    {
    }
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double normal()
    {
        double u1 = std::max(uniform(), 1e-12);
        double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t m_state;
};

const char* const kMarkets[] = {"東証プライム", "東証プライム", "東証プライム", "東証スタンダード",
    "東証スタンダード", "東証グロース", "名証プレミア", "名証メイン", "札証", "福証"};

const char* const kIndustries[] = {"水産・農林業", "鉱業", "建設業", "食料品", "繊維製品", "パルプ・紙",
    "化学", "医薬品", "石油・石炭製品", "ゴム製品", "ガラス・土石製品", "鉄鋼", "非鉄金属", "金属製品",
    "機械", "電気機器", "輸送用機器", "精密機器", "その他製品", "電気・ガス業", "陸運業", "海運業", "空運業",
    "倉庫・運輸関連業", "情報・通信業", "卸売業", "小売業", "銀行業", "証券、商品先物取引業", "保険業",
    "その他金融業", "不動産業", "サービス業"};

const char* const kPrefixes[] = {"日本", "東京", "大阪", "北海道", "九州", "中部", "東洋", "大和", "三和",
    "昭和", "富士", "丸紅", "新日", "関西", "名古屋", "横浜", "神戸", "京都", "太平洋", "瀬戸内", "北陸",
    "信越", "山陽", "東邦", "朝日", "光", "旭", "明治", "桜", "若葉"};

const char* const kSuffixes[] = {"製作所", "工業", "商事", "ホールディングス", "電機", "化学", "建設", "銀行",
    "食品", "製薬", "不動産", "物産", "精機", "電子", "運輸", "証券", "産業", "興業", "システムズ",
    "テクノロジー", "ファーマ", "リテイリング", "エナジー", "通信"};

std::string twoDigits(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02u", v);
    return buf;
}

std::string price(double v, bool decimal)
{
    if (decimal) {
        return core::Value::numberText(std::floor(v) + 0.5);
    }
    return core::Value::numberText(std::round(v));
}

std::string kanjiDate(sys_days d)
{
    year_month_day ymd{d};
    return std::to_string(static_cast<int>(ymd.year())) + "年" + twoDigits(static_cast<unsigned>(ymd.month()))
        + "月" + twoDigits(static_cast<unsigned>(ymd.day())) + "日";
}

// A bar traded at these prices, its volume kept.
void trade(SyntheticMarket::Bar& bar, double open, double high, double low, double close)
{
    bar.open = open;
    bar.high = std::max({high, open, close});
    bar.low = std::max(std::min({low, open, close}), 1.0);
    bar.close = close;
    bar.volume = std::max<std::int64_t>(bar.volume, 1000);
    bar.decimal = false;
}

// The prices of bars first … last times factor, in whole yen.
void scale(std::vector<SyntheticMarket::Bar>& bars, int first, int last, double factor)
{
    for (int t = std::max(first, 0); t <= last && t < static_cast<int>(bars.size()); ++t) {
        auto& b = bars[static_cast<std::size_t>(t)];
        for (double* v : {&b.open, &b.high, &b.low, &b.close}) {
            *v = std::max(std::round(*v * factor), 1.0);
        }
    }
}

// No trade from first on: the close before carried over, as a suspended stock's days.
void stopTrading(std::vector<SyntheticMarket::Bar>& bars, int first, int last)
{
    const double close = bars[static_cast<std::size_t>(std::max(first - 1, 0))].close;
    for (int t = first; t <= last; ++t) {
        bars[static_cast<std::size_t>(t)] = SyntheticMarket::Bar{close, close, close, close, 0, false};
    }
}

sys_days tradingDayOnOrBefore(sys_days d)
{
    while (!TradingCalendar::isTradingDay(year_month_day{d})) {
        d -= days{1};
    }
    return d;
}

} // namespace

void SyntheticMarket::shapeThePast(Stock& stock, int index)
{
    const int total = static_cast<int>(stock.bars.size());
    const Past past = pastOf(index);
    if (past == Past::None || total < 200 || stock.lastDay != total - 1) {
        return;
    }
    auto& bars = stock.bars;
    auto bar = [&bars](int t) -> Bar& { return bars[static_cast<std::size_t>(t)]; };
    const int middle = total / 2;
    switch (past) {
    case Past::DelistedAfterFall: {
        // A long fall to 30 % of the price, then the last day.
        const int from = middle - 120;
        for (int t = from; t <= middle; ++t) {
            scale(bars, t, t, std::exp(std::log(0.3) * (t - from) / (middle - from)));
        }
        stock.lastDay = middle;
        stock.delisted = true;
        stopTrading(bars, middle + 1, total - 1);
        break;
    }
    case Past::BoughtOut: {
        // At 150 yen the limit is 50 yen: a jump of 30 % stays below it.
        const int jump = middle;
        scale(bars, 0, jump - 1, 150.0 / bar(jump - 1).close);
        for (int t = jump; t <= jump + 25; ++t) {
            const double close = t == jump ? 195 : 195 + (t % 3) - 1;
            trade(bar(t), t == jump ? 190 : 195, close + (t == jump ? 1 : 0), t == jump ? 189 : close - 1,
                close);
            bar(t).volume
                = t == jump ? bar(jump - 1).volume * 10 : std::max<std::int64_t>(bar(t).volume / 2, 100);
        }
        stock.lastDay = jump + 25;
        stock.delisted = true;
        stopTrading(bars, jump + 26, total - 1);
        break;
    }
    case Past::MovesMarket:
        stock.formerMarket = "東証スタンダード";
        stock.market = "東証プライム";
        stock.marketFrom = total - 100;
        break;
    case Past::ListedAgain: {
        stock.gapFirst = middle - 20;
        stock.gapLast = middle + 19;
        stock.formerName = stock.name;
        stock.name
            = std::string(kPrefixes[static_cast<std::size_t>(index) % std::size(kPrefixes)]) + "ネクスト";
        if (stock.name == stock.formerName) {
            stock.name += "ジャパン";
        }
        scale(bars, stock.gapLast + 1, total - 1, bar(stock.gapFirst - 1).close < 1000 ? 4.0 : 0.25);
        stopTrading(bars, stock.gapFirst, stock.gapLast);
        break;
    }
    case Past::AtLimits: {
        const int at = total - 80;
        // Each day from the close before, the days after it moved to go on from its close.
        auto limitDay = [&](int t, bool up, bool stuck, bool closes) {
            const double previous = bar(t - 1).close;
            const auto limits = core::PriceLimit::of(previous);
            const double limit = up ? limits.upper : limits.lower;
            const double before = bar(t).close;
            if (stuck) {
                trade(bar(t), limit, limit, limit, limit);
                bar(t).volume = 300;
            } else if (closes) {
                trade(bar(t), previous, up ? limit : std::round(previous * 1.01),
                    up ? std::round(previous * 0.99) : limit, limit);
            } else {
                trade(bar(t), previous, limit, previous, std::round(previous * 1.02));
            }
            scale(bars, t + 1, total - 1, bar(t).close / before);
        };
        limitDay(at, true, true, true);
        limitDay(at + 1, true, true, true);
        limitDay(at + 4, true, false, true);
        limitDay(at + 8, false, true, true);
        limitDay(at + 9, false, true, true);
        limitDay(at + 12, false, false, true);
        limitDay(at + 15, true, false, false);
        // Every day inside the limits of its base, flagged where it reached one.
        double base = bar(0).close;
        for (int t = 1; t < total; ++t) {
            Bar& b = bar(t);
            if (b.volume == 0) {
                continue;
            }
            const auto limits = core::PriceLimit::of(base);
            for (double* v : {&b.open, &b.high, &b.low, &b.close}) {
                *v = std::clamp(*v, limits.lower, limits.upper);
            }
            b.upperLimit = core::PriceLimit::atUpper(b.high, limits);
            b.lowerLimit = core::PriceLimit::atLower(b.low, limits);
            base = b.close;
        }
        break;
    }
    case Past::Dividends:
        payDividends(stock);
        break;
    case Past::None:
        break;
    }
}

void SyntheticMarket::payDividends(Stock& stock)
{
    // Record dates at the end of March (期末) and September (中間), on the last trading day of
    // the month; the ex-date is the trading day before. One more after the history, forecast.
    const auto first = m_days.front();
    const auto last = m_days.back();
    for (year y = year_month_day{first}.year(); y <= year_month_day{last}.year() + years{1}; ++y) {
        for (const unsigned m : {3u, 9u}) {
            const sys_days record = tradingDayOnOrBefore(sys_days{y / month{m} / std::chrono::last});
            const sys_days ex = tradingDayOnOrBefore(record - days{1});
            if (ex <= first) {
                continue;
            }
            const auto at = std::lower_bound(m_days.begin(), m_days.end(), ex);
            if (at == m_days.end()) {
                if (!stock.dividends.empty() && stock.dividends.back().exDate > last) {
                    return;
                }
                stock.dividends.push_back(
                    {ex, record, m == 9, std::max(1.0, std::round(stock.bars.back().close * 0.015))});
                continue;
            }
            const int t = static_cast<int>(at - m_days.begin());
            const double previous = stock.bars[static_cast<std::size_t>(t - 1)].close;
            const double perShare = std::max(1.0, std::round(previous * 0.015));
            stock.dividends.push_back({ex, record, m == 9, perShare});
            // The price falls by about the dividend on the ex-date and goes on from there.
            scale(stock.bars, t, static_cast<int>(stock.bars.size()) - 1, (previous - perShare) / previous);
        }
    }
}

void SyntheticMarket::endOnAFlag(Stock& stock, int index)
{
    const int last = static_cast<int>(stock.bars.size()) - 1;
    if (index < 500 || stock.lastDay != last || last < 251) {
        return;
    }
    auto& bars = stock.bars;
    auto at = [&bars, last](int back) -> Bar& { return bars[static_cast<std::size_t>(last - back)]; };
    double high = 0, low = 1e18;
    for (int back = 1; back < 250; ++back) {
        high = std::max(high, at(back).high);
        low = std::min(low, at(back).low);
    }
    const double previous = at(1).close;
    const double base = std::max(at(26).close, 1000.0);
    switch (flagOf(index)) {
    case Flag::NewHigh:
        trade(at(0), previous, std::round(high * 1.03), previous, std::round(high * 1.03));
        break;
    case Flag::NewLow:
        trade(at(0), previous, previous, std::max(std::round(low * 0.97), 1.0),
            std::max(std::round(low * 0.97), 1.0));
        break;
    case Flag::GoldenCross:
    case Flag::DeadCross:
        // Flat for 26 days, so the 5-day mean meets the 25-day one the day before, then a move.
        for (int back = 26; back >= 1; --back) {
            trade(at(back), base, base, base, base);
        }
        if (flagOf(index) == Flag::GoldenCross) {
            trade(at(0), base, std::round(base * 1.05), base, std::round(base * 1.05));
        } else {
            trade(at(0), base, base, std::round(base * 0.95), std::round(base * 0.95));
        }
        break;
    case Flag::Uptrend:
        // A year's steady rise: every mean rises and the close stays above them.
        for (int back = 250; back >= 0; --back) {
            const double close = std::round(base * (1 + 0.002 * (250 - back)));
            const double open = back == 250 ? close : at(back + 1).close;
            trade(at(back), open, close, open, close);
        }
        break;
    case Flag::HighAgain:
        trade(at(0), std::min(previous, high), high, std::min(previous, high), high);
        break;
    case Flag::StopHigh:
    case Flag::StopLow: {
        // The previous close in whole yen, so the limit is a price the day can trade at.
        trade(at(1), at(1).open, at(1).high, at(1).low, std::round(previous));
        const auto limits = zuvemo::core::PriceLimit::of(at(1).close);
        if (flagOf(index) == Flag::StopHigh) {
            trade(at(0), at(1).close, limits.upper, at(1).close, limits.upper);
            at(0).upperLimit = true;
        } else {
            trade(at(0), at(1).close, at(1).close, limits.lower, limits.lower);
            at(0).lowerLimit = true;
        }
        break;
    }
    case Flag::None:
        break;
    }
}

void SyntheticMarket::endOnAStudy(Stock& stock, int index)
{
    const int last = static_cast<int>(stock.bars.size()) - 1;
    const Study study = studyOf(index);
    if (study == Study::None || stock.lastDay != last || last < 251) {
        return;
    }
    auto& bars = stock.bars;
    auto at = [&bars, last](int back) -> Bar& { return bars[static_cast<std::size_t>(last - back)]; };
    const double base = std::max(at(100).close, 1000.0);
    auto flat = [&](int from) {
        for (int back = from; back >= 0; --back) {
            trade(at(back), base, base, base, base);
        }
    };
    // A steady move over the last 80 days, by step of the base a day.
    auto ramp = [&](double step) {
        for (int back = 80; back >= 0; --back) {
            const double close = std::round(base * (1 + step * (80 - back)));
            const double open = back == 80 ? close : at(back + 1).close;
            trade(at(back), open, std::max(open, close), std::min(open, close), close);
        }
    };
    switch (study) {
    case Study::MacdGolden:
        flat(last);
        trade(at(0), base, std::round(base * 1.05), base, std::round(base * 1.05));
        break;
    case Study::MacdDead:
        flat(last);
        trade(at(0), base, base, std::round(base * 0.95), std::round(base * 0.95));
        break;
    case Study::Unchanged:
        flat(last);
        break;
    case Study::TenkanGolden:
    case Study::TenkanDead:
        // The day before both lines take the spike's midpoint; on the day it leaves 転換線's nine.
        flat(last);
        if (study == Study::TenkanGolden) {
            trade(at(9), base, base, std::round(base * 0.9), base);
        } else {
            trade(at(9), base, std::round(base * 1.1), base, base);
        }
        break;
    case Study::SanyakuUp:
        ramp(0.004);
        break;
    case Study::SanyakuDown:
        ramp(-0.004);
        break;
    case Study::InsideCloud:
        // A high inside 先行スパン2's 52 days of the cloud's day, not in 基準線's 26: a cloud from
        // the base to 1.2 × the base, and the close at 1.1 ×.
        flat(last);
        trade(at(65), base, std::round(base * 1.4), base, base);
        trade(at(0), base, std::round(base * 1.1), base, std::round(base * 1.1));
        break;
    case Study::None:
        break;
    }
}

SyntheticMarket::SyntheticMarket(const Options& options)
    : m_options(options)
{
    m_options.stocks = std::clamp(m_options.stocks, 1, 8600);
    m_options.days = std::max(m_options.days, 1);
    // A little more than a history, so the daily files of the last weeks exist too.
    m_days = TradingCalendar::tradingDaysUntil(m_options.today, m_options.days + 40);
    const int total = static_cast<int>(m_days.size());
    const sys_days restructured{2022y / April / 4};
    if (m_days.front() < restructured && restructured <= m_days.back()) {
        m_renamed = restructured;
    } else if (total > 151) {
        m_renamed = m_days[static_cast<std::size_t>(total - 151)];
    }

    Random names(m_options.seed * 7919 + 17);
    for (int s = 0; s < m_options.stocks; ++s) {
        Stock stock;
        stock.code = std::to_string(1300 + (s * 8600) / m_options.stocks);
        std::string base = std::string(kPrefixes[names.pick(std::size(kPrefixes))])
            + kSuffixes[names.pick(std::size(kSuffixes))];
        if (s % 97 == 5) {
            stock.name = "オニール'ズ" + base;
        } else if (s % 89 == 7) {
            stock.name = "ｻﾝﾌﾟﾙ" + base;
        } else if (s % 83 == 11) {
            stock.name = (s % 2 ? "髙" : "第①") + base;
        } else {
            stock.name = base;
        }
        stock.market = kMarkets[names.pick(std::size(kMarkets))];
        stock.industry = kIndustries[names.pick(std::size(kIndustries))];

        // Prices are a function of the calendar date, so a date shows the same quotes whatever
        // day the server takes as today: slow waves for the trends, daily noise on top.
        Random rng(m_options.seed * 1000003 + static_cast<std::uint64_t>(s) * 7 + 1);
        const double basePrice = std::exp(std::log(150.0) + rng.uniform() * std::log(20000.0 / 150.0));
        const double baseVolume = std::exp(std::log(2000.0) + rng.uniform() * std::log(2000000.0 / 2000.0));
        const double sigma = 0.008 + rng.uniform() * 0.017;
        constexpr double kTau = 6.283185307179586;
        const double period[3]
            = {12 + rng.uniform() * 25, 50 + rng.uniform() * 100, 180 + rng.uniform() * 300};
        const double amplitude[3]
            = {sigma * (2 + rng.uniform() * 3), sigma * (4 + rng.uniform() * 6), 0.05 + rng.uniform() * 0.2};
        const double phase[3] = {rng.uniform() * kTau, rng.uniform() * kTau, rng.uniform() * kTau};
        const bool illiquid = rng.uniform() < 0.08;
        const bool decimals = s % 53 == 3;
        const std::uint64_t stockKey
            = m_options.seed * 0x9E3779B97F4A7C15ull ^ (static_cast<std::uint64_t>(s) << 20);
        auto closeOn = [&](long serial) {
            double level = 0;
            for (int w = 0; w < 3; ++w) {
                level += amplitude[w] * std::sin(kTau * static_cast<double>(serial) / period[w] + phase[w]);
            }
            Random day(stockKey + static_cast<std::uint64_t>(serial) * 0xD1B54A32D192ED03ull);
            return std::max(std::round(basePrice * std::exp(level + sigma * day.normal())), 1.0);
        };
        stock.lastDay = total - 1;
        if (s % 71 == 13) {
            stock.lastDay = total - 2 - static_cast<int>(rng.pick(20));
        }
        stock.bars.resize(static_cast<std::size_t>(total));
        double previous = closeOn(m_days.front().time_since_epoch().count() - 1);
        for (int t = 0; t < total; ++t) {
            const long serial = m_days[static_cast<std::size_t>(t)].time_since_epoch().count();
            Random day(stockKey + static_cast<std::uint64_t>(serial) * 0xA24BAED4963EE407ull + 7);
            Bar& bar = stock.bars[static_cast<std::size_t>(t)];
            if (t > stock.lastDay || (illiquid && day.uniform() < 0.06)) {
                bar = Bar{previous, previous, previous, previous, 0, false};
                continue;
            }
            const double close = closeOn(serial);
            const double open = std::max(std::round(previous * (1.0 + day.normal() * sigma * 0.3)), 1.0);
            const double high = std::max(open, close) * (1.0 + std::fabs(day.normal()) * sigma * 0.5);
            const double low = std::min(open, close) * (1.0 - std::fabs(day.normal()) * sigma * 0.5);
            const double swing = std::fabs(close - previous) / previous;
            auto volume
                = static_cast<std::int64_t>(baseVolume * std::exp(day.normal() * 0.4) * (1.0 + swing * 20));
            bar.open = open;
            bar.close = close;
            bar.high = std::max({std::round(high), bar.open, bar.close});
            bar.low = std::max(std::min({std::round(low), bar.open, bar.close}), 1.0);
            bar.volume = std::max<std::int64_t>(volume / 100 * 100, 100);
            // Written with half a yen only where the bar stays a bar: an open or close above its
            // high would be a day no exchange prints.
            auto fits = [&bar](double v) {
                const double half = std::floor(v) + 0.5;
                return half <= bar.high && half >= bar.low;
            };
            bar.decimal = decimals && day.uniform() < 0.05 && fits(bar.open) && fits(bar.close);
            previous = close;
        }
        endOnAFlag(stock, s);
        endOnAStudy(stock, s);
        shapeThePast(stock, s);
        m_byCode[stock.code] = m_stocks.size();
        m_stocks.push_back(std::move(stock));
    }
}

std::optional<std::string> SyntheticMarket::dailyFile(year_month_day ymd)
{
    auto it = std::find(m_days.begin(), m_days.end(), sys_days{ymd});
    if (it == m_days.end()) {
        return std::nullopt;
    }
    int t = static_cast<int>(it - m_days.begin());
    std::lock_guard lock(m_cacheMutex);
    if (auto cached = m_dailyCache.find(t); cached != m_dailyCache.end()) {
        return cached->second;
    }
    std::string text = kanjiDate(*it) + " 全銘柄 株価一覧 (終値ベース)\r\n";
    for (const auto& stock : m_stocks) {
        if (!stock.listedOn(t)) {
            continue;
        }
        const Bar& bar = stock.bars[static_cast<std::size_t>(t)];
        text += stock.code + "," + stock.marketOn(t) + "," + stock.nameOn(t) + "," + stock.industry + ",";
        if (bar.volume == 0) {
            text += "-,-,-,-,0,0\r\n";
            continue;
        }
        auto value = static_cast<std::int64_t>(bar.close * static_cast<double>(bar.volume));
        text += price(bar.open, false) + "," + price(bar.high, false) + "," + price(bar.low, false) + ","
            + price(bar.close, false) + "," + std::to_string(bar.volume) + "," + std::to_string(value)
            + "\r\n";
    }
    auto encoded = core::TextCodec::encodeCp932(text);
    std::string body = encoded ? *encoded : text;
    m_dailyCache.emplace(t, body);
    return body;
}

std::optional<std::string> SyntheticMarket::historyFile(const std::string& code) const
{
    auto it = m_byCode.find(code);
    if (it == m_byCode.end()) {
        return std::nullopt;
    }
    const Stock& stock = m_stocks[it->second];
    std::string text = stock.code + " " + stock.name + " " + stock.market + " 株価時系列\r\n";
    text += "日付,始値,高値,安値,終値,出来高,売買代金\r\n";
    int first = std::max(0, stock.lastDay - m_options.days + 1);
    for (int t = stock.lastDay; t >= first; --t) {
        if (!stock.tradedOn(t)) {
            continue;
        }
        const Bar& bar = stock.bars[static_cast<std::size_t>(t)];
        auto value = static_cast<std::int64_t>(bar.close * static_cast<double>(bar.volume));
        text += core::Clock::dashed(year_month_day{m_days[static_cast<std::size_t>(t)]}) + ","
            + price(bar.open, bar.decimal) + "," + price(bar.high, false) + "," + price(bar.low, false) + ","
            + price(bar.close, bar.decimal) + "," + std::to_string(bar.volume) + "," + std::to_string(value)
            + "\r\n";
    }
    auto encoded = core::TextCodec::encodeCp932(text);
    return encoded ? *encoded : text;
}

} // namespace zuvemo::sample
