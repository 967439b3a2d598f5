#include "FigureTable.h"

#include "core/Value.h"
#include "marketdata/jquants/MarketStanding.h"

#include <charconv>
#include <cmath>
#include <unordered_map>

namespace zuvemo::analysis {

namespace {

using F = marketdata::Fundamentals::Figures;
using Unit = FigureTable::Unit;
constexpr auto JQ = FigureTable::Source::JQuants;
constexpr auto Prices = FigureTable::Source::Prices;

std::string fixed(double v, int decimals)
{
    // As printf's "%.*f", without its locale: thousands of cells a search.
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    return end.ec == std::errc() ? std::string(buffer, end.ptr) : std::string();
}

} // namespace

const std::vector<FigureTable::Figure>& FigureTable::figures()
{
    // name, JSON key, heading, unit, decimals, scale, > 0 without MIN, no negative bound,
    // a condition, source, value.
    static const std::vector<Figure> table = {
        {"close", "close", "終値", Unit::Yen, -1, 1, false, true, false, Prices, &F::close},
        {"per", "per", "PER", Unit::Times, 1, 1, true, false, true, JQ, &F::per},
        {"fwd-per", "fwdPer", "予想PER", Unit::Times, 1, 1, true, false, true, JQ, &F::fwdPer},
        {"pbr", "pbr", "PBR", Unit::Times, 2, 1, true, false, true, JQ, &F::pbr},
        {"roe", "roe", "ROE", Unit::Percent, 1, 0.01, false, false, true, JQ, &F::roe},
        {"fwd-roe", "fwdRoe", "予想ROE", Unit::Percent, 1, 0.01, false, false, false, JQ, &F::fwdRoe},
        {"eps", "eps", "EPS", Unit::Yen, 2, 1, false, false, false, JQ, &F::eps},
        {"fwd-eps", "fwdEps", "予想EPS", Unit::Yen, 2, 1, false, false, false, JQ, &F::fwdEps},
        {"bps", "bps", "BPS", Unit::Yen, 2, 1, false, false, false, JQ, &F::bps},
        {"cap", "marketCap", "時価総額億円", Unit::OkuYen, 0, 1e8, false, true, true, JQ, &F::marketCap},
        {"dividend", "dividend", "予想配当", Unit::Yen, 2, 1, false, false, false, JQ, &F::dividend},
        {"yield", "dividendYield", "利回り", Unit::Percent, 2, 0.01, false, true, true, JQ,
            &F::dividendYield},
        {"dividend-actual", "dividendActual", "実績配当", Unit::Yen, 2, 1, false, false, false, JQ,
            &F::dividendActual},
        {"sales-growth", "salesGrowth", "予想増収率", Unit::Percent, 1, 0.01, false, false, true, JQ,
            &F::salesGrowth},
        {"op-growth", "opGrowth", "予想営業増益率", Unit::Percent, 1, 0.01, false, false, true, JQ,
            &F::opGrowth},
        {"op-margin", "opMargin", "営業利益率", Unit::Percent, 1, 0.01, false, false, true, JQ, &F::opMargin},
        {"equity-ratio", "equityRatio", "自己資本比率", Unit::Percent, 1, 0.01, false, false, true, JQ,
            &F::equityRatio},
        {"dev5", "dev5", "5日乖離", Unit::Percent, 1, 0.01, false, false, true, Prices, &F::dev5},
        {"dev25", "dev25", "25日乖離", Unit::Percent, 1, 0.01, false, false, true, Prices, &F::dev25},
        {"dev75", "dev75", "75日乖離", Unit::Percent, 1, 0.01, false, false, true, Prices, &F::dev75},
        {"dev200", "dev200", "200日乖離", Unit::Percent, 1, 0.01, false, false, true, Prices, &F::dev200},
        {"rsi", "rsi", "RSI", Unit::Points, 1, 1, false, false, true, Prices, &F::rsi},
        {"chg1", "chg1", "前日比", Unit::Percent, 2, 0.01, false, false, true, Prices, &F::chg1},
        {"chg5", "chg5", "5日騰落", Unit::Percent, 1, 0.01, false, false, true, Prices, &F::chg5},
        {"chg20", "chg20", "20日騰落", Unit::Percent, 1, 0.01, false, false, true, Prices, &F::chg20},
        {"vol-ratio", "volRatio", "出来高倍率", Unit::Multiple, 2, 1, false, false, true, Prices,
            &F::volRatio},
        {"turnover", "turnover", "売買代金", Unit::MillionYen, 0, 1e6, false, false, true, Prices,
            &F::turnover},
        {"from-high", "fromHigh", "高値から", Unit::Percent, 1, 0.01, false, false, true, Prices,
            &F::fromHigh},
        {"from-low", "fromLow", "安値から", Unit::Percent, 1, 0.01, false, false, true, Prices, &F::fromLow},
        {"macd", "macd", "MACD", Unit::Yen, 2, 1, false, false, true, Prices, &F::macd},
        {"macd-signal", "macdSignal", "MACDシグナル", Unit::Yen, 2, 1, false, false, true, Prices,
            &F::macdSignal},
        {"macd-hist", "macdHist", "MACDヒストグラム", Unit::Yen, 2, 1, false, false, true, Prices,
            &F::macdHist},
        {"bb", "bb", "ボリンジャー", Unit::Sigma, 2, 1, false, false, true, Prices, &F::bb},
        {"stoch-k", "stochK", "ストキャス%K", Unit::Points, 1, 1, false, false, true, Prices, &F::stochK},
        {"stoch-d", "stochD", "ストキャス%D", Unit::Points, 1, 1, false, false, true, Prices, &F::stochD},
        {"slow-d", "slowD", "スロー%D", Unit::Points, 1, 1, false, false, true, Prices, &F::slowD},
        {"tenkan-dev", "tenkanDev", "転換線乖離", Unit::Percent, 1, 0.01, false, false, true, Prices,
            &F::tenkanDev},
        {"kijun-dev", "kijunDev", "基準線乖離", Unit::Percent, 1, 0.01, false, false, true, Prices,
            &F::kijunDev},
        {"earnings-in", "earningsIn", "決算まで", Unit::Days, 0, 1, false, true, true, JQ, &F::earningsIn},
        {"earnings-date", "earningsDate", "決算予定日", Unit::Date, 0, 1, false, true, false, JQ,
            &F::earningsDate},
        {"margin-ratio", "marginRatio", "信用倍率", Unit::Times, 2, 1, false, true, true, JQ,
            &F::marginRatio},
        {"margin-long", "marginLong", "信用買残", Unit::Shares, 0, 1, false, true, true, JQ, &F::marginLong},
        {"margin-short", "marginShort", "信用売残", Unit::Shares, 0, 1, false, true, true, JQ,
            &F::marginShort},
        {"margin-long-days", "marginLongDays", "買残の日数", Unit::Days, 1, 1, false, true, true, JQ,
            &F::marginLongDays},
        {"rs20", "rs20", "対TOPIX20日", Unit::Percent, 1, 0.01, false, false, true, JQ, &F::rs20},
        {"rs60", "rs60", "対TOPIX60日", Unit::Percent, 1, 0.01, false, false, true, JQ, &F::rs60},
        {"rs-rank", "rsRank", "RSランク", Unit::Points, 0, 1, false, true, true, JQ, &F::rsRank},
    };
    return table;
}

const std::vector<FigureTable::Flag>& FigureTable::flags()
{
    static const std::vector<Flag> table = {
        {"new-high", "newHigh", "新高値", &F::newHigh},
        {"new-low", "newLow", "新安値", &F::newLow},
        {"uptrend", "uptrend", "上昇トレンド", &F::uptrend},
        {"stop-high", "stopHigh", "ストップ高", &F::stopHigh},
        {"stop-low", "stopLow", "ストップ安", &F::stopLow},
        {"above-cloud", "aboveCloud", "雲の上", &F::aboveCloud},
        {"below-cloud", "belowCloud", "雲の下", &F::belowCloud},
        {"sanyaku-up", "sanyakuUp", "三役好転", &F::sanyakuUp},
        {"sanyaku-down", "sanyakuDown", "三役逆転", &F::sanyakuDown},
    };
    return table;
}

const std::vector<FigureTable::Cross>& FigureTable::crosses()
{
    static const std::vector<Cross> table = {
        {"macd-cross", "macdCross", "MACDクロス", "GC", "DC", &F::macdCross},
        {"tenkan-cross", "tenkanCross", "転換線クロス", "好転", "逆転", &F::tenkanCross},
    };
    return table;
}

namespace {

// A rule asks its figures by name for every stock and day: looked up in a map made once.
template <typename Row> const Row* byName(const std::vector<Row>& rows, std::string_view name)
{
    static const auto index = [&rows] {
        std::unordered_map<std::string_view, const Row*> byName;
        for (const auto& row : rows) {
            byName.emplace(row.name, &row); // the first of a name, as a search would find it
        }
        return byName;
    }();
    const auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

} // namespace

const FigureTable::Cross* FigureTable::cross(std::string_view name)
{
    return byName(crosses(), name);
}

const char* FigureTable::crossWord(int value)
{
    return value > 0 ? "golden" : (value < 0 ? "dead" : "");
}

const FigureTable::Figure* FigureTable::figure(std::string_view name)
{
    return byName(figures(), name);
}

const FigureTable::Flag* FigureTable::flag(std::string_view name)
{
    return byName(flags(), name);
}

std::string FigureTable::grouped(double value)
{
    std::string digits = fixed(std::abs(value), 0);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return (value < 0 && digits != "0" ? "-" : "") + digits;
}

std::string FigureTable::shown(const Figure& figure, const std::optional<double>& value)
{
    if (!value) {
        return {};
    }
    switch (figure.unit) {
    case Unit::Percent:
        return fixed(*value * 100, figure.decimals) + "%";
    case Unit::OkuYen:
        return grouped(*value * 1e-8);
    case Unit::MillionYen:
        return grouped(*value * 1e-6);
    case Unit::Yen:
        return figure.decimals < 0 ? core::Value::numberText(*value) : fixed(*value, figure.decimals);
    case Unit::Shares:
        return grouped(*value);
    case Unit::Date:
        return marketdata::MarketStanding::dateText(*value);
    case Unit::Days:
    case Unit::Times:
    case Unit::Multiple:
    case Unit::Points:
    case Unit::Sigma:
        break;
    }
    return fixed(*value, figure.decimals);
}

std::string FigureTable::names(bool conditionsOnly)
{
    std::string out;
    for (const auto& f : figures()) {
        if (!conditionsOnly || f.condition) {
            out += (out.empty() ? "" : ", ") + std::string(f.name);
        }
    }
    return out;
}

} // namespace zuvemo::analysis
