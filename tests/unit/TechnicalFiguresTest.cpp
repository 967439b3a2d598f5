// The price figures of find against a computation of their own here, over a J-Quants store of
// the sample market: untraded days carried over, a split inside the windows, suspended stocks,
// the flags on their edges, and a past day read from a store that holds later days.
#include "analysis/TechnicalFigures.h"

#include "SampleServer.h"
#include "TestSupport.h"
#include "analysis/DailyLines.h"
#include "analysis/FigureTable.h"
#include "analysis/PriceStudies.h"
#include "analysis/StockFinder.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "marketdata/jquants/PriceStore.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

using namespace zuvemo;
using namespace std::chrono;
using nlohmann::json;

namespace {

struct Expected
{
    std::map<std::string, std::optional<double>> values; // by JSON key
    bool newHigh = false, newLow = false, uptrend = false;
    int cross = 0;
    std::map<std::string, bool> flags; // the studies' flags by JSON key
    std::map<std::string, int> crosses; // "macdCross", "tenkanCross"
    std::optional<double> macdGapBefore; // MACD − its signal the day before
    std::optional<std::pair<double, double>> cloud; // the day's spans, lower first
};

// An exponential mean started on the simple mean of the first n values present.
std::vector<std::optional<double>> ema(const std::vector<std::optional<double>>& x, std::size_t n)
{
    std::vector<std::optional<double>> out(x.size());
    std::size_t first = 0;
    while (first < x.size() && !x[first]) {
        ++first;
    }
    if (x.size() < first + n) {
        return out;
    }
    double sum = 0;
    for (std::size_t i = first; i < first + n; ++i) {
        sum += *x[i];
    }
    double e = sum / static_cast<double>(n);
    out[first + n - 1] = e;
    for (std::size_t i = first + n; i < x.size(); ++i) {
        e += 2.0 / static_cast<double>(n + 1) * (*x[i] - e);
        out[i] = e;
    }
    return out;
}

int crossOf(
    std::optional<double> a0, std::optional<double> b0, std::optional<double> a1, std::optional<double> b1)
{
    if (!a0 || !b0 || !a1 || !b1) {
        return 0;
    }
    return *a0 <= *b0 && *a1 > *b1 ? 1 : (*a0 >= *b0 && *a1 < *b1 ? -1 : 0);
}

// MACD, the band, the stochastics and 一目 of the last of these days, from the arrays alone.
void studies(
    const std::vector<double>& c, const std::vector<double>& h, const std::vector<double>& l, Expected& e)
{
    const std::size_t n = c.size(), t = n - 1;
    std::vector<std::optional<double>> closes(c.begin(), c.end());
    const auto e12 = ema(closes, 12), e26 = ema(closes, 26);
    std::vector<std::optional<double>> line(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (e12[i] && e26[i]) {
            line[i] = *e12[i] - *e26[i];
        }
    }
    const auto signal = ema(line, 9);
    auto macdOn = [&](std::size_t i) { return signal[i] ? line[i] : std::nullopt; };
    e.values["macd"] = macdOn(t);
    e.values["macdSignal"] = signal[t];
    e.values["macdHist"] = signal[t] ? std::optional(*line[t] - *signal[t]) : std::nullopt;
    e.crosses["macdCross"] = t > 0 ? crossOf(macdOn(t - 1), signal[t - 1], macdOn(t), signal[t]) : 0;
    if (t > 0 && signal[t - 1]) {
        e.macdGapBefore = *line[t - 1] - *signal[t - 1];
    }

    e.values["bb"] = std::nullopt;
    if (n >= 20) {
        double sum = 0, squares = 0;
        for (std::size_t i = n - 20; i < n; ++i) {
            sum += c[i];
        }
        const double mean = sum / 20;
        for (std::size_t i = n - 20; i < n; ++i) {
            squares += (c[i] - mean) * (c[i] - mean);
        }
        if (squares > 0) {
            e.values["bb"] = (c[t] - mean) / std::sqrt(squares / 20);
        }
    }

    auto extreme = [&](std::size_t end, std::size_t days) -> std::optional<std::pair<double, double>> {
        if (end + 1 < days) {
            return std::nullopt;
        }
        const auto hi = *std::max_element(
            h.begin() + static_cast<long>(end + 1 - days), h.begin() + static_cast<long>(end + 1));
        const auto lo = *std::min_element(
            l.begin() + static_cast<long>(end + 1 - days), l.begin() + static_cast<long>(end + 1));
        return std::pair{hi, lo};
    };
    auto mid = [&](std::size_t end, std::size_t days) -> std::optional<double> {
        const auto x = extreme(end, days);
        return x ? std::optional((x->first + x->second) / 2) : std::nullopt;
    };
    // (C − L9, H9 − L9) of day i.
    auto parts = [&](std::size_t i) {
        const auto x = *extreme(i, 9);
        return std::pair{c[i] - x.second, x.first - x.second};
    };
    auto percentD = [&](std::size_t i) -> std::optional<double> {
        if (i < 10) {
            return std::nullopt;
        }
        double above = 0, range = 0;
        for (std::size_t k = i - 2; k <= i; ++k) {
            above += parts(k).first;
            range += parts(k).second;
        }
        return range > 0 ? std::optional(above / range * 100) : std::nullopt;
    };
    e.values["stochK"] = t >= 8 && parts(t).second > 0 ? std::optional(parts(t).first / parts(t).second * 100)
                                                       : std::nullopt;
    e.values["stochD"] = percentD(t);
    e.values["slowD"] = std::nullopt;
    if (t >= 12 && percentD(t) && percentD(t - 1) && percentD(t - 2)) {
        e.values["slowD"] = (*percentD(t) + *percentD(t - 1) + *percentD(t - 2)) / 3;
    }

    const auto tenkan = mid(t, 9), kijun = mid(t, 26);
    e.values["tenkanDev"] = tenkan ? std::optional(c[t] / *tenkan - 1) : std::nullopt;
    e.values["kijunDev"] = kijun ? std::optional(c[t] / *kijun - 1) : std::nullopt;
    e.crosses["tenkanCross"] = t > 0 ? crossOf(mid(t - 1, 9), mid(t - 1, 26), tenkan, kijun) : 0;
    for (const char* key : {"aboveCloud", "belowCloud", "sanyakuUp", "sanyakuDown"}) {
        e.flags[key] = false;
    }
    if (t >= 25) {
        const std::size_t then = t - 25;
        const auto t0 = mid(then, 9), k0 = mid(then, 26), s2 = mid(then, 52);
        if (t0 && k0 && s2) {
            const double s1 = (*t0 + *k0) / 2;
            e.cloud = std::pair{std::min(s1, *s2), std::max(s1, *s2)};
            e.flags["aboveCloud"] = c[t] > e.cloud->second;
            e.flags["belowCloud"] = c[t] < e.cloud->first;
        }
        e.flags["sanyakuUp"] = tenkan && kijun && *tenkan > *kijun && e.flags["aboveCloud"] && c[t] > c[then];
        e.flags["sanyakuDown"]
            = tenkan && kijun && *tenkan < *kijun && e.flags["belowCloud"] && c[t] < c[then];
    }
}

// Straight from the definitions: the market's stored days up to day, from the stock's first day
// with a close, the close carried over a day without a trade.
Expected expected(marketdata::PriceStore& store, const std::string& code, const std::string& day)
{
    std::vector<std::string> market;
    for (const auto& d : store.storedDays()) {
        if (d <= day) {
            market.push_back(d);
        }
    }
    // The market's last 251 days: the means that start inside them start there.
    if (market.size() > 251) {
        market.erase(market.begin(), market.end() - 251);
    }
    std::map<std::string, marketdata::StoredDay> byDate;
    for (const auto& d : store.history(code, 100000, day)) {
        byDate[d.date] = d;
    }
    std::vector<double> c, h, l, v, va;
    std::vector<bool> traded;
    for (const auto& d : market) {
        const auto it = byDate.find(d);
        const bool t = it != byDate.end() && it->second.traded;
        if (!t && c.empty()) {
            continue;
        }
        const double close = t ? it->second.adjC : c.back();
        c.push_back(close);
        h.push_back(t ? it->second.adjH : close);
        l.push_back(t ? it->second.adjL : close);
        v.push_back(t ? it->second.adjVo : 0);
        va.push_back(t ? it->second.va : 0);
        traded.push_back(t);
    }
    Expected e;
    const long n = static_cast<long>(c.size());
    const long t = n - 1;
    auto mean = [&](const std::vector<double>& x, long end, long count) -> std::optional<double> {
        if (end - count + 1 < 0) {
            return std::nullopt;
        }
        double sum = 0;
        for (long i = end - count + 1; i <= end; ++i) {
            sum += x[static_cast<std::size_t>(i)];
        }
        return sum / static_cast<double>(count);
    };
    auto at = [](const std::vector<double>& x, long i) { return x[static_cast<std::size_t>(i)]; };
    for (long days : {5L, 25L, 75L, 200L}) {
        const auto m = mean(c, t, days);
        e.values["dev" + std::to_string(days)] = m ? std::optional(at(c, t) / *m - 1) : std::nullopt;
    }
    e.values["rsi"] = std::nullopt;
    if (n >= 15) {
        double up = 0, down = 0;
        for (long i = t - 13; i <= t; ++i) {
            const double change = at(c, i) - at(c, i - 1);
            up += std::max(change, 0.0);
            down += std::max(-change, 0.0);
        }
        if (up + down > 0) {
            e.values["rsi"] = 100 * up / (up + down);
        }
    }
    for (long back : {1L, 5L, 20L}) {
        e.values["chg" + std::to_string(back)]
            = t - back >= 0 ? std::optional(at(c, t) / at(c, t - back) - 1) : std::nullopt;
    }
    const auto before = t >= 25 ? mean(v, t - 1, 25) : std::nullopt;
    e.values["volRatio"] = before && *before > 0 ? std::optional(at(v, t) / *before) : std::nullopt;
    e.values["turnover"] = mean(va, t, 25);
    double high = 0, low = 1e300;
    for (long i = std::max(0L, t - 249); i <= t; ++i) {
        high = std::max(high, at(h, i));
        low = std::min(low, at(l, i));
    }
    e.values["fromHigh"] = at(c, t) / high - 1;
    e.values["fromLow"] = at(c, t) / low - 1;
    if (traded[static_cast<std::size_t>(t)]) {
        e.newHigh = e.newLow = true;
        for (long i = std::max(0L, t - 249); i < t; ++i) {
            e.newHigh = e.newHigh && at(h, t) >= at(h, i);
            e.newLow = e.newLow && at(l, t) <= at(l, i);
        }
    }
    if (n >= 26) {
        const double f0 = *mean(c, t - 1, 5), s0 = *mean(c, t - 1, 25), f1 = *mean(c, t, 5),
                     s1 = *mean(c, t, 25);
        e.cross = f0 <= s0 && f1 > s1 ? 1 : (f0 >= s0 && f1 < s1 ? -1 : 0);
    }
    if (n >= 201) {
        e.uptrend = true;
        for (long days : {25L, 75L, 200L}) {
            e.uptrend
                = e.uptrend && *mean(c, t, days) > *mean(c, t - 1, days) && at(c, t) > *mean(c, t, days);
        }
    }
    studies(c, h, l, e);
    return e;
}

void expectNear(const std::optional<double>& got, const std::optional<double>& want, const std::string& what)
{
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(*got, *want, 1e-9 * std::max(1.0, std::abs(*want))) << what;
    }
}

// The studies' figures, flags and crosses of f against want.
void expectStudies(const marketdata::Fundamentals::Figures& f, const Expected& want, const std::string& what)
{
    for (const auto& figure : analysis::FigureTable::figures()) {
        if (const auto it = want.values.find(figure.jsonKey); it != want.values.end()) {
            expectNear(f.*(figure.value), it->second, what + " " + figure.jsonKey);
        }
    }
    for (const auto& flag : analysis::FigureTable::flags()) {
        if (const auto it = want.flags.find(flag.jsonKey); it != want.flags.end()) {
            EXPECT_EQ(f.*(flag.value), it->second) << what << " " << flag.jsonKey;
        }
    }
    for (const auto& cross : analysis::FigureTable::crosses()) {
        EXPECT_EQ(f.*(cross.value), want.crosses.at(cross.jsonKey)) << what << " " << cross.jsonKey;
    }
}

} // namespace

TEST(TechnicalFigures, EveryFigureOfEveryStockIsItsDefinitionAndAPastDayReadsNothingLater)
{
    // 540 stocks: the ones that end on a flag (index 501 to 508) and on a study's condition
    // (522 to 529) are there.
    sample::SampleServer::Options options;
    options.market.stocks = 540;
    options.market.days = 262;
    options.market.today = year_month_day{core::Clock().today()};
    options.jquants = true;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    test::TempFolder dir;
    const std::string cli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(dir / "home");
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + server.apiBaseUrl()
                  + " --plan premium --days 260 >/dev/null 2>&1"),
        0);
    ASSERT_EQ(test::runCommand(cli + " refresh >/dev/null 2>&1"), 0);
    std::string out;
    ASSERT_EQ(test::runCommand(cli + " find --json", &out), 0) << out;
    const auto found = json::parse(out);
    const std::string day = found["tradingDate"];
    marketdata::PriceStore store(dir / "home");
    int checked = 0;
    for (const auto& stock : found["stocks"]) {
        const std::string code = stock["code"];
        const auto want = expected(store, code + (code.size() == 4 ? "0" : ""), day);
        for (const auto& [key, value] : want.values) {
            expectNear(stock[key].is_null() ? std::nullopt : std::optional(stock[key].get<double>()), value,
                code + " " + key);
        }
        EXPECT_EQ(stock["newHigh"], want.newHigh) << code;
        EXPECT_EQ(stock["newLow"], want.newLow) << code;
        EXPECT_EQ(stock["uptrend"], want.uptrend) << code;
        EXPECT_EQ(stock["cross"], want.cross > 0 ? json("golden") : (want.cross < 0 ? json("dead") : json()))
            << code;
        for (const auto& [key, value] : want.flags) {
            EXPECT_EQ(stock[key], value) << code << " " << key;
        }
        for (const auto& [key, way] : want.crosses) {
            EXPECT_EQ(stock[key], way > 0 ? json("golden") : (way < 0 ? json("dead") : json()))
                << code << " " << key;
        }
        ++checked;
    }
    // Every stock of the day's list: the suspended ones are not on it.
    EXPECT_EQ(checked, found["count"].get<int>());
    EXPECT_GT(checked, 500);

    // The next search reads the figures the first one kept: the same answer, to the last digit.
    std::string again;
    ASSERT_EQ(test::runCommand(cli + " find --json", &again), 0);
    EXPECT_EQ(again, out);
    {
        // Kept only when no other program wrote between the bars read and the keeping, and
        // forgotten by the next bars stored.
        marketdata::PriceStore other(dir / "home");
        ASSERT_TRUE(store.keptPriceFigures(day));
        const auto version = store.dataVersion();
        other.setFillPending(false);
        store.keepPriceFigures("2000-01-04", version, {{"1300", {}}});
        EXPECT_FALSE(store.keptPriceFigures("2000-01-04"));
        EXPECT_TRUE(store.keptPriceFigures(day));
        other.storeDay(day, json::array());
        EXPECT_FALSE(store.keptPriceFigures(day));
    }
    {
        // A store whose figures were kept before the studies' had columns: its rows, even one
        // said to be of this day, are never read; the search computes them all again.
        auto db = core::Connection::open(dir / "home" / marketdata::PriceStore::kFileName);
        db->execute("DROP TABLE Table_PriceFigures");
        db->execute("CREATE TABLE Table_PriceFigures (FigCode TEXT PRIMARY KEY, V1 REAL, V2 REAL, V3 REAL,"
                    " V4 REAL, V5 REAL, V6 REAL, V7 REAL, V8 REAL, V9 REAL, V10 REAL, V11 REAL, V12 REAL,"
                    " Flags INTEGER, Cross INTEGER) WITHOUT ROWID");
        db->execute("INSERT INTO Table_PriceFigures (FigCode, V1, Flags, Cross) VALUES ('"
            + found["stocks"][0]["code"].get<std::string>() + "', 99, 31, 1)");
        db->execute("INSERT OR REPLACE INTO Table_StoreState VALUES ('PriceFiguresDay', '" + day + "')");
    }
    ASSERT_EQ(test::runCommand(cli + " find --json", &again), 0);
    EXPECT_EQ(again, out);
    ASSERT_EQ(test::runCommand(cli + " find --json", &again), 0);
    EXPECT_EQ(again, out);

    // The stocks that end on a flag meet it, and find selects them by it.
    const auto& stocks = server.market().stocks();
    auto code = [&](int index) { return stocks[static_cast<std::size_t>(index)].code; };
    auto listed = [&](const std::string& condition) {
        std::string text;
        EXPECT_EQ(test::runCommand(cli + " find " + condition + " --json", &text), 0) << text;
        std::set<std::string> codes;
        const auto answer = json::parse(text);
        for (const auto& s : answer["stocks"]) {
            codes.insert(s["code"].get<std::string>());
        }
        return codes;
    };
    EXPECT_TRUE(listed("--new-high").count(code(501)));
    EXPECT_TRUE(listed("--new-high").count(code(506))); // a high equal to an earlier one
    EXPECT_TRUE(listed("--new-low").count(code(502)));
    EXPECT_TRUE(listed("--cross golden").count(code(503))); // the means equal the day before
    EXPECT_TRUE(listed("--cross dead").count(code(504)));
    EXPECT_TRUE(listed("--uptrend").count(code(505)));
    EXPECT_TRUE(listed("--uptrend --dev25 0: --rsi 50:").count(code(505)));
    EXPECT_FALSE(listed("--cross golden").count(code(504)));
    {
        // The crosses as columns: the table's words, the CSV's golden and dead.
        const auto file = dir / "crosses.csv";
        std::string text;
        ASSERT_EQ(test::runCommand(cli
                          + " find --macd-cross golden --columns macd-cross,tenkan-cross,above-cloud --csv "
                          + file.string(),
                      &text),
            0);
        EXPECT_NE(text.find("MACDクロス  転換線クロス  雲の上"), std::string::npos) << text;
        const std::string csv = test::readFile(file);
        EXPECT_NE(csv.find("code,name,macdCross,tenkanCross,aboveCloud\r\n"), std::string::npos) << csv;
        const auto row = csv.find("\r\n" + code(522) + ",");
        ASSERT_NE(row, std::string::npos) << csv;
        EXPECT_NE(csv.find(",golden,,true\r\n", row), std::string::npos) << csv.substr(row, 80);
        EXPECT_EQ(test::runCommand(cli + " find --tenkan-cross up 2>&1", &text), 2);
        EXPECT_NE(text.find("--tenkan-cross には golden か dead"), std::string::npos) << text;
    }
    // The studies' stocks: each new flag and cross on the day, and the edges of the definitions.
    EXPECT_TRUE(listed("--macd-cross golden --above-cloud").count(code(522)));
    EXPECT_TRUE(listed("--macd-cross dead --below-cloud").count(code(523)));
    EXPECT_TRUE(listed("--tenkan-cross golden").count(code(525)));
    EXPECT_TRUE(listed("--tenkan-cross dead").count(code(526)));
    EXPECT_TRUE(listed("--sanyaku-up").count(code(527)));
    EXPECT_TRUE(listed("--sanyaku-down").count(code(528)));
    EXPECT_FALSE(listed("--sanyaku-up").count(code(522))); // 転換線 equals 基準線
    EXPECT_FALSE(listed("--tenkan-cross golden").count(code(526)));
    EXPECT_TRUE(listed("--bb -100:100 --stoch-k 0: --tenkan-dev 0:").count(code(527)));
    {
        auto studied = [&](int index) {
            const std::string c = code(index);
            return expected(store, c + (c.size() == 4 ? "0" : ""), day);
        };
        // The MACD cross after a day on which the line equals its signal exactly.
        EXPECT_EQ(studied(522).macdGapBefore, 0.0);
        EXPECT_EQ(studied(522).crosses.at("macdCross"), 1);
        // An unchanging close: σ 0 gives no band figure and no %K, the close sits on the cloud.
        const auto still = studied(524);
        EXPECT_FALSE(still.values.at("bb"));
        EXPECT_FALSE(still.values.at("stochK"));
        EXPECT_FALSE(still.flags.at("aboveCloud") || still.flags.at("belowCloud"));
        EXPECT_FALSE(listed("--bb :100").count(code(524)));
        // A close strictly inside a cloud whose spans differ: neither above nor below it.
        const auto inside = studied(529);
        ASSERT_TRUE(inside.cloud);
        EXPECT_LT(inside.cloud->first, inside.cloud->second);
        EXPECT_FALSE(inside.flags.at("aboveCloud") || inside.flags.at("belowCloud"));
        EXPECT_FALSE(listed("--above-cloud").count(code(529)));
        EXPECT_FALSE(listed("--below-cloud").count(code(529)));
    }
    // The exchange's limit flags as sent, by the monthly files and the day's answer alike: only
    // the stocks whose last day touched a limit.
    EXPECT_EQ(listed("--stop-high"), std::set<std::string>{code(507)});
    EXPECT_EQ(listed("--stop-low"), std::set<std::string>{code(508)});
    EXPECT_EQ(listed("--stop-high --stop-low"), std::set<std::string>{});
    {
        // A day stored before the flags were kept cannot tell them, and says so, until the next
        // refresh stores it again from its answer.
        auto db = core::Connection::open(dir / "home" / marketdata::PriceStore::kFileName);
        db->execute("ALTER TABLE Table_Bar DROP COLUMN UL");
        db->execute("ALTER TABLE Table_Bar DROP COLUMN LL");
    }
    std::string refused;
    EXPECT_NE(test::runCommand(cli + " find --stop-high 2>&1", &refused), 0);
    EXPECT_NE(refused.find(analysis::StockFinder::limitsNotKept(day)), std::string::npos) << refused;
    EXPECT_GT(listed("--new-high").size(), 0u);
    ASSERT_EQ(test::runCommand(cli + " refresh >/dev/null 2>&1"), 0);
    EXPECT_EQ(listed("--stop-high"), std::set<std::string>{code(507)});

    // A past day: the store as it is, and the store cut after that day, give the same figures.
    const auto days = store.storedDays();
    const std::string past = days[days.size() - 8];
    const auto whole = analysis::TechnicalFigures::fromStore(store, past);
    test::TempFolder cut;
    std::filesystem::copy_file(
        dir / "home" / marketdata::PriceStore::kFileName, cut / marketdata::PriceStore::kFileName);
    {
        auto db = core::Connection::open(cut / marketdata::PriceStore::kFileName);
        db->execute("DELETE FROM Table_Bar WHERE BarDate > '" + past + "'");
        db->execute("DELETE FROM Table_StoredDay WHERE DayDate > '" + past + "'");
    }
    marketdata::PriceStore cutStore(cut.path());
    const auto alone = analysis::TechnicalFigures::fromStore(cutStore, past);
    ASSERT_EQ(whole.size(), alone.size());
    // The same cut store as it was on that day, before the split after it: its own adjusted
    // prices are the raw ones, so the yen figures of a split stock are twice the whole store's.
    test::TempFolder asThen;
    std::filesystem::copy_file(
        cut / marketdata::PriceStore::kFileName, asThen / marketdata::PriceStore::kFileName);
    {
        auto db = core::Connection::open(asThen / marketdata::PriceStore::kFileName);
        db->execute("UPDATE Table_Bar SET AdjO = O, AdjH = H, AdjL = L, AdjC = C, AdjVo = Vo, AdjFactor = 1");
    }
    marketdata::PriceStore thenStore(asThen.path());
    const auto then = analysis::TechnicalFigures::fromStore(thenStore, past);
    int rescaled = 0;
    for (const auto& [stock, bars] : whole) {
        marketdata::Fundamentals::Figures a, b, c;
        analysis::TechnicalFigures::compute(bars, a);
        analysis::TechnicalFigures::compute(alone.at(stock), b);
        EXPECT_EQ(a, b) << stock;
        const auto want = expected(store, stock + (stock.size() == 4 ? "0" : ""), past);
        expectNear(a.dev200, want.values.at("dev200"), stock + " dev200 of " + past);
        expectStudies(a, want, stock + " of " + past);
        analysis::TechnicalFigures::compute(then.at(stock), c);
        const double basis = then.at(stock).back().c / bars.back().c;
        if (basis != 1) {
            EXPECT_EQ(basis, 2) << stock;
            ++rescaled;
        }
        for (auto yen :
            {&marketdata::Fundamentals::Figures::macd, &marketdata::Fundamentals::Figures::macdSignal,
                &marketdata::Fundamentals::Figures::macdHist}) {
            ASSERT_EQ((c.*yen).has_value(), (a.*yen).has_value()) << stock;
            if (a.*yen) {
                EXPECT_DOUBLE_EQ(*(c.*yen), *(a.*yen) * basis) << stock;
                c.*yen = a.*yen;
            }
        }
        EXPECT_EQ(c, a) << stock;
    }
    EXPECT_GT(rescaled, 0);

    // Stocks listed inside the windows: 150 and 20 days of history give the figures those days
    // allow and none of the others.
    auto first = whole.begin();
    const std::string young = first->first, younger = (++first)->first;
    {
        auto db = core::Connection::open(cut / marketdata::PriceStore::kFileName);
        db->execute("DELETE FROM Table_Bar WHERE BarCode = '" + young + "0' AND BarDate < '"
            + days[days.size() - 8 - 149] + "'");
        db->execute("DELETE FROM Table_Bar WHERE BarCode = '" + younger + "0' AND BarDate < '"
            + days[days.size() - 8 - 19] + "'");
    }
    const auto listedLate = analysis::TechnicalFigures::fromStore(cutStore, past);
    for (const auto& stock : {young, younger}) {
        marketdata::Fundamentals::Figures f;
        analysis::TechnicalFigures::compute(listedLate.at(stock), f);
        const auto want = expected(cutStore, stock + "0", past);
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::optional<double>>>{
                 {"dev25", f.dev25}, {"dev200", f.dev200}, {"rsi", f.rsi}, {"chg20", f.chg20},
                 {"volRatio", f.volRatio}, {"turnover", f.turnover}, {"fromHigh", f.fromHigh}}) {
            expectNear(value, want.values.at(name), stock + " listed late " + name);
        }
        expectStudies(f, want, stock + " listed late");
        EXPECT_FALSE(f.dev200) << stock;
        EXPECT_FALSE(f.uptrend) << stock;
        EXPECT_EQ(f.newHigh, want.newHigh) << stock;
    }
    marketdata::Fundamentals::Figures late;
    analysis::TechnicalFigures::compute(listedLate.at(younger), late);
    EXPECT_FALSE(late.dev25);
    EXPECT_FALSE(late.chg20);
    // 20 days: the band and the stochastics, not MACD, 基準線 or the cloud.
    EXPECT_TRUE(late.stochK || late.stochD);
    EXPECT_FALSE(late.macd);
    EXPECT_FALSE(late.kijunDev);
    EXPECT_FALSE(late.aboveCloud || late.belowCloud);
}

TEST(TechnicalFigures, TheYearsRangeIsTheBarsOneByOneWhateverTheLengthAndWithANaNAmongThem)
{
    using analysis::TechnicalFigures;
    const unsigned need = TechnicalFigures::needOf("from-high") | TechnicalFigures::needOf("new-high");
    std::vector<TechnicalFigures::Bar> bars;
    for (std::size_t i = 0; i < 300; ++i) {
        const double c = 1000 + static_cast<double>((i * 37) % 101) - static_cast<double>(i % 7) * 3;
        bars.push_back({c, c + static_cast<double>(i % 5), c - static_cast<double>(i % 3), 100, 1e5, true});
    }
    bars[299].h = 2000; // a new high on the last day
    bars[298].l = 1; // and a low the day before
    auto check = [&](const std::vector<TechnicalFigures::Bar>& of, const std::string& what) {
        for (std::size_t n = 1; n <= of.size(); n += n < 12 ? 1 : 7) {
            marketdata::Fundamentals::Figures f;
            TechnicalFigures::compute(of.data(), n, f, need);
            // One by one, as the figures are defined; a NaN makes max and min depend on the order.
            const std::size_t t = n - 1,
                              first = t + 1 > TechnicalFigures::kDays ? t + 1 - TechnicalFigures::kDays : 0;
            double high = of[first].h, low = of[first].l;
            bool newHigh = true, newLow = true;
            for (std::size_t i = first; i <= t; ++i) {
                high = std::max(high, of[i].h);
                low = std::min(low, of[i].l);
                newHigh = newHigh && (i == t || of[t].h >= of[i].h);
                newLow = newLow && (i == t || of[t].l <= of[i].l);
            }
            const auto from = [&](double extreme) {
                const double r = of[t].c / extreme - 1;
                return std::isfinite(r) ? std::optional(r) : std::nullopt; // to the last bit
            };
            EXPECT_EQ(f.fromHigh, from(high)) << what << n;
            EXPECT_EQ(f.fromLow, from(low)) << what << n;
            EXPECT_EQ(f.newHigh, newHigh) << what << n;
            EXPECT_EQ(f.newLow, newLow) << what << n;
        }
    };
    check(bars, "plain ");
    for (const std::size_t at : {0UL, 1UL, 5UL, 150UL, 298UL, 299UL}) {
        auto withNan = bars;
        withNan[at].h = std::numeric_limits<double>::quiet_NaN();
        withNan[(at + 3) % withNan.size()].l = std::numeric_limits<double>::quiet_NaN();
        check(withNan, "NaN at " + std::to_string(at) + " ");
    }
}

TEST(TechnicalFigures, TheRangeCloudAndTrendOfEveryDayAtOnceAreEachWindowsOwn)
{
    using analysis::DailyLines;
    using analysis::PriceStudies;
    using analysis::TechnicalFigures;
    const unsigned need = TechnicalFigures::needOf("from-high") | TechnicalFigures::needOf("new-high")
        | TechnicalFigures::needOf("above-cloud") | TechnicalFigures::needOf("uptrend");
    // A stretch without trades carries the close, as a store's days do.
    std::vector<TechnicalFigures::Bar> bars;
    for (std::size_t i = 0; i < 420; ++i) {
        // Rising from day 180 on, so that the uptrend holds on some days.
        const double c = 1000 + static_cast<double>((i * 53) % 97) - static_cast<double>(i % 11) * 4
            + (i > 180 ? static_cast<double>(i - 180) * 3 : 0);
        if (i >= 300 && i < 330) {
            const double last = bars.back().c;
            bars.push_back({last, last, last, 0, 0, false});
        } else {
            bars.push_back(
                {c, c + static_cast<double>(i % 6), c - static_cast<double>(i % 4), 100, 1e5, true});
        }
    }
    bars[260].h = 1500;
    bars[340].l = 2;
    DailyLines extremes;
    const unsigned all = DailyLines::kRange | DailyLines::kCloud | DailyLines::kUptrend;
    extremes.build(bars.data(), bars.size(), all);
    ASSERT_EQ(extremes.parts(), all);
    auto bitsOf = [](const std::optional<double>& v) { return v ? std::bit_cast<std::uint64_t>(*v) : 0U; };
    int ranges = 0, windows = 0, uptrends = 0;
    for (const std::size_t from : {0UL, 1UL, 8UL, 51UL, 77UL, 169UL, 170UL, 171UL}) {
        for (std::size_t last = from; last < bars.size(); last += last - from < 80 ? 1 : 3) {
            const std::size_t n = last + 1 - from;
            marketdata::Fundamentals::Figures direct, fromAhead;
            TechnicalFigures::compute(bars.data() + from, n, direct, need);
            TechnicalFigures::Ahead ahead;
            PriceStudies lines[3];
            extremes.ahead(from, last, ahead, lines);
            ASSERT_EQ(ahead.ichimoku, lines);
            ranges += ahead.range;
            ++windows;
            TechnicalFigures::compute(bars.data() + from, n, fromAhead, need, ahead);
            EXPECT_EQ(fromAhead, direct) << from << " " << last;
            uptrends += direct.uptrend;
            // The lines to the last bit, those of the day before and the cloud's days too.
            for (const std::size_t back : {0UL, 1UL, TechnicalFigures::kCloudAhead}) {
                if (back >= n) {
                    continue;
                }
                const auto own = PriceStudies::of(bars.data() + from, n - back, PriceStudies::kIchimoku);
                const auto& kept = lines[back == 0 ? 0 : back == 1 ? 1 : 2];
                for (auto line : {&PriceStudies::tenkan, &PriceStudies::kijun, &PriceStudies::span1,
                         &PriceStudies::span2}) {
                    EXPECT_EQ((kept.*line).has_value(), (own.*line).has_value()) << from << " " << last;
                    EXPECT_EQ(bitsOf(kept.*line), bitsOf(own.*line)) << from << " " << last << " " << back;
                }
            }
        }
    }
    // The year's range is taken ahead where the window holds the year or starts with the bars;
    // elsewhere compute reads the bars.
    EXPECT_GT(ranges, 0);
    EXPECT_LT(ranges, windows);
    EXPECT_GT(uptrends, 100);

    // A NaN makes max and min depend on their order: nothing of them is kept, and compute reads
    // the bars. A NaN close goes through the means' sums alike, whatever their order.
    auto withNan = bars;
    withNan[200].l = std::numeric_limits<double>::quiet_NaN();
    withNan[250].c = std::numeric_limits<double>::quiet_NaN();
    extremes.build(withNan.data(), withNan.size(), all);
    EXPECT_EQ(extremes.parts(), DailyLines::kUptrend);
    for (std::size_t last = 0; last < withNan.size(); ++last) {
        marketdata::Fundamentals::Figures direct, fromAhead;
        TechnicalFigures::compute(withNan.data(), last + 1, direct, need);
        TechnicalFigures::Ahead ahead;
        PriceStudies lines[3];
        extremes.ahead(0, last, ahead, lines);
        EXPECT_FALSE(ahead.range);
        EXPECT_EQ(ahead.ichimoku, nullptr);
        TechnicalFigures::compute(withNan.data(), last + 1, fromAhead, need, ahead);
        EXPECT_EQ(fromAhead, direct) << last;
    }
}
