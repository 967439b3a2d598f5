// The J-Quants figures against the sample server's market: what a refresh fetches and keeps, the
// figures of chosen stocks, and find's conditions, order and outputs.
#include "marketdata/jquants/Fundamentals.h"

#include "SampleServer.h"
#include "TestSupport.h"
#include "TradingCalendar.h"
#include "analysis/FindReport.h"
#include "analysis/StockFinder.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Recordset.h"
#include "export/ChartData.h"
#include "marketdata/jquants/EarningsHistory.h"
#include "marketdata/jquants/FundamentalsTimeline.h"
#include "marketdata/jquants/JQuantsAnswer.h"
#include "marketdata/jquants/JQuantsClient.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "marketdata/jquants/MarginHistory.h"
#include "marketdata/jquants/MarketStanding.h"
#include "marketdata/jquants/PriceStore.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sys/stat.h>

using namespace zuvemo;
using namespace std::chrono;
using analysis::StockFinder;
using marketdata::Fundamentals;
using sample::JQuantsApi;

namespace {

constexpr year_month_day kToday{2026y, December, 8d};

std::unique_ptr<sample::SampleServer> sampleMarket(
    int stocks, int days, year_month_day today = kToday, int windowEndsDaysBefore = 0)
{
    sample::SampleServer::Options options;
    options.market.stocks = stocks;
    options.market.days = days;
    options.market.today = today;
    options.jquants = true;
    if (windowEndsDaysBefore > 0) {
        const sample::SyntheticMarket probe(options.market);
        const auto& tradingDays = probe.tradingDays();
        options.api.windowFrom = tradingDays.front();
        options.api.windowTo
            = tradingDays[tradingDays.size() - 1 - static_cast<std::size_t>(windowEndsDaysBefore)];
    }
    auto server = std::make_unique<sample::SampleServer>(options);
    return server->start(0) > 0 ? std::move(server) : nullptr;
}

marketdata::JQuantsRefresh::Result refresh(const std::filesystem::path& dir,
    const sample::SampleServer& server, int days, const std::string& held = {},
    const marketdata::JQuantsRefresh::Progress& progress = {})
{
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    source.days = days;
    marketdata::JQuantsClient::Options client;
    client.baseUrl = server.apiBaseUrl();
    client.apiKey = "sample-key";
    client.requestsPerMinute = 0;
    const core::FixedClock clock(kToday);
    return marketdata::JQuantsRefresh(dir, source, client, clock).run(held, dir / "list.csv", progress);
}

// By the sample server's rules: the dividend of the newest filing with a forecast on or before
// day index newest and not before oldest, on the basis of its own day, and that day's index.
std::optional<std::pair<double, std::size_t>> newestForecast(
    sample::SampleServer& server, std::size_t s, std::size_t newest, std::size_t oldest)
{
    const auto& stock = server.market().stocks()[s];
    const std::size_t split = server.market().tradingDays().size() - 3;
    for (std::size_t t = newest + 1; t-- > oldest;) {
        const int phase = JQuantsApi::filingPhase(s, t);
        const int quarter = static_cast<int>(((t + 3 * s) / 60) % 4);
        double times = 0;
        if (phase == 0) {
            times = quarter == 0 ? 1.1 : 1.0;
        } else if (phase == 20 && JQuantsApi::revisesDividend(s)) {
            times = 1.2;
        }
        if (times > 0) {
            const double basis = JQuantsApi::splits(s) && t < split ? 2.0 : 1.0;
            return std::pair(std::round(JQuantsApi::dividendBase(stock) * basis * times * 10) / 10, t);
        }
    }
    return std::nullopt;
}

// By the sample server's rules: the growth figures of stock s from its filings on day indexes
// oldest to newest, each forecast from the newest filing that sends it, last year from the
// newest year-end statement.
Fundamentals::Figures expectedGrowth(
    sample::SampleServer& server, std::size_t s, std::size_t newest, std::size_t oldest)
{
    Fundamentals::Figures f;
    if (JQuantsApi::isFund(s)) {
        return f;
    }
    const auto& stock = server.market().stocks()[s];
    const std::size_t split = server.market().tradingDays().size() - 3;
    auto tenth = [](double v) { return std::round(v * 10) / 10; };
    std::optional<double> sales, op, lastSales, lastOp;
    bool yearEndSeen = false;
    for (std::size_t t = newest + 1; t-- > oldest;) {
        const int phase = JQuantsApi::filingPhase(s, t);
        const bool earnings = phase == 30 && JQuantsApi::revisesEarnings(s);
        if (phase != 0 && !earnings) {
            continue; // no filing, or a dividend revision: none of these figures
        }
        const double basis = JQuantsApi::splits(s) && t < split ? 2.0 : 1.0;
        const double actual = std::round(stock.bars[t].close / 20 * basis * 100) / 100 * 1000;
        const double forecastSales = actual * (1 + JQuantsApi::salesGrowth(s));
        const double forecastOp = forecastSales * JQuantsApi::forecastMargin(s);
        if (earnings) {
            op = op ? op : tenth(forecastOp * 1.1);
            continue;
        }
        const bool yearEnd = ((t + 3 * s) / 60) % 4 == 0;
        const bool dashed = yearEnd && s % 17 == 4;
        if (!dashed) {
            sales = sales ? sales : tenth(forecastSales);
            op = op ? op : tenth(forecastOp);
        }
        if (!f.equityRatio && (yearEnd || s % 5 != 2)) {
            f.equityRatio = JQuantsApi::equityRatio(s);
        }
        if (yearEnd && !yearEndSeen) {
            yearEndSeen = true;
            lastSales = tenth(actual);
            if (s % 31 != 12) {
                lastOp = tenth(actual * JQuantsApi::opMargin(s));
            }
        }
    }
    if (sales && lastSales && *lastSales > 0) {
        f.salesGrowth = *sales / *lastSales - 1;
    }
    if (op && lastOp && *lastOp > 0) {
        f.opGrowth = *op / *lastOp - 1;
    }
    if (lastOp && lastSales && *lastSales > 0) {
        f.opMargin = *lastOp / *lastSales;
    }
    return f;
}

void expectNear(
    const std::optional<double>& actual, const std::optional<double>& expected, const std::string& what)
{
    ASSERT_EQ(actual.has_value(), expected.has_value()) << what;
    if (expected) {
        EXPECT_DOUBLE_EQ(*actual, *expected) << what;
    }
}

} // namespace

TEST(Fundamentals, TheFiguresOfChosenStocksAreJpxsAndTheDividendIsOnTodaysBasis)
{
    const int stocks = 200;
    auto server = sampleMarket(stocks, 160);
    ASSERT_TRUE(server);
    test::TempFolder dir;
    auto r = refresh(dir.path(), *server, 150);
    ASSERT_TRUE(r.ok) << r.message;
    const auto& days = server->market().tradingDays();
    const std::size_t newest = days.size() - 1;
    const std::size_t oldest = newest + 1 - 130;
    marketdata::PriceStore store(dir.path());
    // Every day stored but the newest, which has no filings here and is asked again next time.
    EXPECT_FALSE(store.hasFilingDay("2026-12-08"));
    EXPECT_EQ(r.filingDaysFetched, 129);
    const auto day = Fundamentals::read(store, "2026-12-08");
    EXPECT_EQ(day.valuationDate, "2026-12-08");

    int funds = 0, losses = 0, revisions = 0, yearEnds = 0, splitAfterFiling = 0, noForecast = 0;
    int growing = 0, declining = 0, operatingLosses = 0, noLastYear = 0;
    for (std::size_t s = 0; s < static_cast<std::size_t>(stocks); ++s) {
        const auto& stock = server->market().stocks()[s];
        if (stock.lastDay < static_cast<int>(newest)) {
            continue; // suspended: no figures of the day
        }
        const std::string code = marketdata::PriceStore::listCode(JQuantsApi::codeOf(stock, s));
        ASSERT_TRUE(day.byCode.count(code)) << code;
        const auto& f = day.byCode.at(code);
        const auto grown = expectedGrowth(*server, s, newest, oldest);
        expectNear(f.salesGrowth, grown.salesGrowth, code + " salesGrowth");
        expectNear(f.opGrowth, grown.opGrowth, code + " opGrowth");
        expectNear(f.opMargin, grown.opMargin, code + " opMargin");
        expectNear(f.equityRatio, grown.equityRatio, code + " equityRatio");
        growing += f.salesGrowth && *f.salesGrowth > 0;
        declining += f.salesGrowth && *f.salesGrowth < 0;
        operatingLosses += f.opMargin && *f.opMargin < 0 && !f.opGrowth;
        noLastYear += !f.opMargin && f.equityRatio;
        if (JQuantsApi::isFund(s)) {
            ++funds;
            EXPECT_FALSE(f.per || f.fwdPer || f.pbr || f.roe || f.eps || f.bps || f.marketCap || f.dividend)
                << code;
            continue;
        }
        const double per = 5.0 + static_cast<double>((s * 37) % 40);
        ASSERT_TRUE(f.per && f.pbr && f.marketCap) << code;
        EXPECT_EQ(*f.pbr, 0.4 + static_cast<double>((s * 13) % 30) / 10.0) << code;
        if (!f.close) {
            EXPECT_FALSE(f.dividendYield) << code; // no trade that day: no close to divide by
            continue;
        }
        EXPECT_EQ(*f.marketCap, std::round(*f.close * 1e6 * static_cast<double>(10 + s % 90) / 1e6) * 1e6)
            << code;
        if (JQuantsApi::makesLosses(s)) {
            ++losses;
            EXPECT_EQ(*f.per, -per) << code;
            EXPECT_FALSE(f.fwdPer) << code;
        } else {
            EXPECT_EQ(*f.per, per) << code;
            ASSERT_TRUE(f.fwdPer) << code;
        }
        const auto expected = newestForecast(*server, s, newest, oldest);
        if (!expected) {
            ++noForecast;
            EXPECT_FALSE(f.dividend || f.dividendYield) << code;
            continue;
        }
        const bool splitLater = JQuantsApi::splits(s) && expected->second < days.size() - 3;
        const double dividend = expected->first * (splitLater ? 0.5 : 1.0);
        ASSERT_TRUE(f.dividend && f.dividendYield) << code;
        EXPECT_DOUBLE_EQ(*f.dividend, dividend) << code;
        EXPECT_DOUBLE_EQ(*f.dividendYield, dividend / *f.close) << code;
        EXPECT_EQ(f.dividendDisclosed, core::Clock::dashed(year_month_day{days[expected->second]})) << code;
        splitAfterFiling += splitLater;
        const int phase = JQuantsApi::filingPhase(s, expected->second);
        revisions += phase == 20;
        yearEnds += phase == 0 && ((expected->second + 3 * s) / 60) % 4 == 0;
    }
    // Each case met at least once.
    EXPECT_GT(funds, 0);
    EXPECT_GT(losses, 0);
    EXPECT_GT(revisions, 0);
    EXPECT_GT(yearEnds, 0);
    EXPECT_GT(splitAfterFiling, 0);
    EXPECT_GT(noForecast + 1, 0);
    EXPECT_GT(growing, 0);
    EXPECT_GT(declining, 0);
    EXPECT_GT(operatingLosses, 0);
    EXPECT_GT(noLastYear, 0);

    // The figures of an earlier day read nothing disclosed or traded after it: the same as a
    // store that ends there.
    const std::size_t earlier = newest - 45;
    const std::string cutDay = core::Clock::dashed(year_month_day{days[earlier]});
    test::TempFolder cut;
    {
        auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName);
        db->execute("VACUUM INTO '" + (cut / marketdata::PriceStore::kFileName).string() + "'");
    }
    {
        auto db = core::Connection::open(cut / marketdata::PriceStore::kFileName);
        for (const char* table : {"Table_Filing WHERE DiscDate", "Table_FilingDay WHERE DayDate",
                 "Table_Bar WHERE BarDate", "Table_StoredDay WHERE DayDate", "Table_Valuation WHERE ValDate",
                 "Table_ValuationDay WHERE DayDate"}) {
            db->execute(std::string("DELETE FROM ") + table + " > '" + cutDay + "'");
        }
    }
    marketdata::PriceStore cutStore(cut.path());
    ASSERT_FALSE(cutStore.hasFilingsAfter(cutDay));
    const auto then = Fundamentals::read(store, cutDay);
    const auto ended = Fundamentals::read(cutStore, cutDay);
    EXPECT_EQ(then.byCode.size(), ended.byCode.size());
    int grownThen = 0, changedSince = 0;
    for (const auto& [code, f] : ended.byCode) {
        ASSERT_TRUE(then.byCode.count(code)) << code;
        EXPECT_TRUE(then.byCode.at(code) == f) << code;
        grownThen += f.salesGrowth.has_value();
        const auto now = day.byCode.find(code);
        changedSince += now != day.byCode.end() && now->second.salesGrowth != f.salesGrowth;
    }
    EXPECT_GT(grownThen, 0);
    EXPECT_GT(changedSince, 0); // later filings are there to be read wrongly

    // Every stored day through one timeline, as each read alone; a day asked again after later
    // ones too. Only the figures asked, when some are.
    auto stored = store.storedDays();
    stored.push_back(cutDay);
    marketdata::FundamentalsTimeline timeline(store, stored);
    const std::vector<marketdata::FundamentalsTimeline::Figure> asked
        = {&Fundamentals::Figures::dividendYield, &Fundamentals::Figures::salesGrowth};
    marketdata::FundamentalsTimeline some(store, stored, asked);
    // The filings' figures alone as changes from day to day, kept by the reader.
    using F = Fundamentals::Figures;
    const std::vector<marketdata::FundamentalsTimeline::Figure> filed
        = {&F::dividend, &F::dividendActual, &F::salesGrowth, &F::opGrowth, &F::opMargin, &F::equityRatio};
    marketdata::FundamentalsTimeline changes(store, stored, filed);
    ASSERT_TRUE(changes.givesChanges());
    ASSERT_FALSE(some.givesChanges());
    std::map<std::string, F> kept;
    std::size_t changedStocks = 0;
    int dividendsMoved = 0, growthMoved = 0;
    for (const auto& storedDay : stored) {
        ASSERT_FALSE(timeline.atEnd());
        const auto alone = Fundamentals::read(store, storedDay);
        const auto all = timeline.next();
        const auto part = some.next();
        changes.nextChanges([&](const std::string& code, const F& f) {
            kept[code] = f;
            ++changedStocks;
        });
        for (const auto& [code, f] : kept) {
            const auto it = alone.byCode.find(code);
            const F none;
            for (const auto figure : filed) {
                EXPECT_EQ(f.*figure, (it == alone.byCode.end() ? none : it->second).*figure)
                    << storedDay << " " << code;
            }
        }
        for (const auto& [code, f] : alone.byCode) {
            if (!kept.count(code)) {
                for (const auto figure : filed) {
                    EXPECT_FALSE((f.*figure).has_value()) << storedDay << " " << code;
                }
            }
        }
        EXPECT_EQ(all.valuationDate, alone.valuationDate) << storedDay;
        ASSERT_EQ(all.byCode.size(), alone.byCode.size()) << storedDay;
        for (const auto& [code, f] : alone.byCode) {
            ASSERT_TRUE(all.byCode.count(code)) << storedDay << " " << code;
            EXPECT_TRUE(all.byCode.at(code) == f) << storedDay << " " << code;
            const auto it = part.byCode.find(code);
            const Fundamentals::Figures none;
            const auto& p = it == part.byCode.end() ? none : it->second;
            for (const auto figure : asked) {
                EXPECT_EQ(p.*figure, f.*figure) << storedDay << " " << code;
            }
            const auto now = day.byCode.find(code);
            if (now != day.byCode.end()) {
                dividendsMoved += f.dividend && now->second.dividend && *f.dividend != *now->second.dividend;
                growthMoved += f.salesGrowth != now->second.salesGrowth;
            }
        }
    }
    EXPECT_TRUE(timeline.atEnd());
    // Far fewer than every stock every day: only those that filed or split.
    EXPECT_LT(changedStocks, kept.size() * stored.size() / 3);
    EXPECT_GT(dividendsMoved, 0); // a split or a revision since
    EXPECT_GT(growthMoved, 0);
}

TEST(Fundamentals, ANextDaysRefreshAsksTwiceMoreAndAStoppedFillGoesOn)
{
    // The first fill up to the day before, then the day itself.
    auto before = sampleMarket(80, 160, kToday, 1);
    auto full = sampleMarket(80, 160);
    ASSERT_TRUE(before && full);
    test::TempFolder dir;
    auto first = refresh(dir.path(), *before, 150);
    ASSERT_TRUE(first.ok) << first.message;
    // Besides the calendar, the list, the price days and the master: the day's valuation and
    // at most 130 disclosure days, a day that answered no filing asked once more.
    int emptyDays = 0;
    {
        core::Connection::Options readOnly;
        auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName, readOnly);
        emptyDays = 130
            - static_cast<int>(
                db->openRecordset("SELECT DISTINCT DiscDate FROM Table_Filing")->recordCount());
    }
    // The lists of past days: the first trading day of each month of the depth, one request each.
    int months = 0;
    {
        core::Connection::Options readOnly;
        auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName, readOnly);
        months = static_cast<int>(
            db->openRecordset("SELECT DISTINCT substr(DayDate, 1, 7) FROM Table_StoredDay")->recordCount());
    }
    EXPECT_EQ(first.listsFetched, months);
    // And the results' dates of the same 130 days, a request each.
    EXPECT_EQ(first.earningsDaysFetched, 130);
    EXPECT_EQ(first.marginDaysFetched, 0); // a Free key
    EXPECT_LE(first.requests - 1 - first.daysFetched - 1 - 1 - first.listsFetched - first.earningsDaysFetched,
        1 + 130 + emptyDays);
    EXPECT_GE(first.filingDaysFetched, 120);
    auto next = refresh(dir.path(), *full, 150, first.tradingDate);
    ASSERT_TRUE(next.ok) << next.message;
    // The calendar, the price days (the day and the one the depth now reaches), the master as
    // before; and the day's valuation, disclosures and results' dates.
    EXPECT_EQ(next.requests, 2 + next.daysFetched + 3);
    EXPECT_EQ(next.earningsDaysFetched, 1);
    // The depth's first month now starts a day later: its list of a day before stands for it.
    EXPECT_EQ(next.listsFetched, 0);

    // A fill stopped among the disclosure days keeps its place and goes on.
    test::TempFolder stopped;
    int calls = 0;
    auto r = refresh(stopped.path(), *full, 40, {}, [&calls](const marketdata::JQuantsRefresh::Step& step) {
        EXPECT_LE(step.pricesDone, step.pricesTotal);
        EXPECT_LE(step.filingsDone, step.filingsTotal);
        // The prices come first, the disclosures after.
        EXPECT_TRUE(step.pricesDone == step.pricesTotal || step.filingsDone < step.filingsTotal);
        return ++calls < 60;
    });
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(marketdata::PriceStore(stopped.path()).fillPending());
    r = refresh(stopped.path(), *full, 40, r.tradingDate);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_GT(r.filingDaysFetched, 0);
    EXPECT_FALSE(marketdata::PriceStore(stopped.path()).fillPending());
    test::TempFolder whole;
    ASSERT_TRUE(refresh(whole.path(), *full, 40).ok);
    marketdata::PriceStore a(stopped.path());
    marketdata::PriceStore b(whole.path());
    const auto x = Fundamentals::read(a, "2026-12-08");
    const auto y = Fundamentals::read(b, "2026-12-08");
    ASSERT_EQ(x.byCode.size(), y.byCode.size());
    for (const auto& [code, f] : y.byCode) {
        EXPECT_EQ(x.byCode.at(code).dividend, f.dividend) << code;
        EXPECT_EQ(x.byCode.at(code).per, f.per) << code;
    }
}

TEST(Fundamentals, AStoreMadeBeforeTheGrowthFieldsGetsThemAtItsNextRefreshAndNoWrongFigureMeanwhile)
{
    auto server = sampleMarket(80, 160);
    ASSERT_TRUE(server);
    test::TempFolder dir;
    const auto first = refresh(dir.path(), *server, 150);
    ASSERT_TRUE(first.ok) << first.message;
    Fundamentals::Day fresh;
    std::string filed, empty; // disclosure days fetched: one with filings, one without
    {
        marketdata::PriceStore store(dir.path());
        fresh = Fundamentals::read(store, "2026-12-08");
        auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName);
        const auto& days = server->market().tradingDays();
        for (std::size_t t = days.size() - 2; t > days.size() - 20; --t) {
            const auto day = core::Clock::dashed(year_month_day{days[t]});
            ASSERT_TRUE(store.hasFilingDay(day));
            const bool any
                = !db->openRecordset("SELECT 1 FROM Table_Filing WHERE DiscDate = '" + day + "'")->isEof();
            (any ? filed : empty) = day;
        }
        ASSERT_FALSE(filed.empty() || empty.empty());
    }
    // The store as it was made before: its filings without the new columns.
    {
        auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName);
        db->execute(
            "CREATE TABLE Table_Old (FilCode TEXT NOT NULL, DiscDate TEXT NOT NULL,"
            " DiscNo TEXT NOT NULL, DocType TEXT, CurPerType TEXT, CurFYSt TEXT, CurFYEn TEXT, DivAnn TEXT,"
            " FDivAnn TEXT, NxFDivAnn TEXT, EPS TEXT, FEPS TEXT, NxFEPS TEXT, Sales TEXT, FSales TEXT,"
            " NxFSales TEXT, PRIMARY KEY (FilCode, DiscDate, DiscNo)) WITHOUT ROWID");
        db->execute("INSERT INTO Table_Old SELECT FilCode, DiscDate, DiscNo, DocType, CurPerType, CurFYSt,"
                    " CurFYEn, DivAnn, FDivAnn, NxFDivAnn, EPS, FEPS, NxFEPS, Sales, FSales, NxFSales"
                    " FROM Table_Filing");
        db->execute("DROP TABLE Table_Filing");
        db->execute("ALTER TABLE Table_Old RENAME TO Table_Filing");
    }
    auto expectOnlyRight = [&fresh](const Fundamentals::Day& day, int& present, int& missing) {
        present = missing = 0;
        for (const auto& [code, f] : fresh.byCode) {
            const auto& now = day.byCode.at(code);
            EXPECT_EQ(now.dividend, f.dividend) << code;
            for (auto figure : {&Fundamentals::Figures::salesGrowth, &Fundamentals::Figures::opGrowth,
                     &Fundamentals::Figures::opMargin, &Fundamentals::Figures::equityRatio}) {
                if (now.*figure) {
                    ++present;
                    EXPECT_EQ(now.*figure, f.*figure) << code;
                } else {
                    missing += (f.*figure).has_value();
                }
            }
        }
    };
    int present = 0, missing = 0;
    {
        marketdata::PriceStore store(dir.path());
        // Every disclosure day asked again, with filings or without.
        EXPECT_FALSE(store.hasFilingDay(filed) || store.hasFilingDay(empty));
        expectOnlyRight(Fundamentals::read(store, "2026-12-08"), present, missing);
        EXPECT_EQ(present, 0);
        EXPECT_GT(missing, 0);
        store.storeFilings(empty, nlohmann::json::array());
    }
    // Opened again it asks nothing again.
    EXPECT_TRUE(marketdata::PriceStore(dir.path()).hasFilingDay(empty));

    // A refresh stopped among the disclosure days: the newest filings have the fields, the older
    // not yet, and a figure that needs one of those is none rather than wrong.
    int calls = 0;
    auto r = refresh(dir.path(), *server, 150, first.tradingDate,
        [&calls](const marketdata::JQuantsRefresh::Step&) { return ++calls < 30; });
    ASSERT_TRUE(r.cancelled);
    {
        marketdata::PriceStore store(dir.path());
        expectOnlyRight(Fundamentals::read(store, "2026-12-08"), present, missing);
        EXPECT_GT(present, 0);
        EXPECT_GT(missing, 0);
    }
    r = refresh(dir.path(), *server, 150, first.tradingDate);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_GT(r.filingDaysFetched, 90);
    marketdata::PriceStore store(dir.path());
    expectOnlyRight(Fundamentals::read(store, "2026-12-08"), present, missing);
    EXPECT_GT(present, 0);
    EXPECT_EQ(missing, 0);
}

TEST(Fundamentals, ConditionsAreInclusiveANoneMeetsNoneAndNonesSortLast)
{
    // Each answer is also that of the conditions' checks found once, as a rule tests them.
    auto meets = [](const Fundamentals::Figures& f, const StockFinder::Conditions& c) {
        const bool met = StockFinder::meets(f, c);
        EXPECT_EQ(StockFinder::meets(f, StockFinder::checksOf(c)), met);
        return met;
    };
    Fundamentals::Figures f;
    f.per = 15;
    f.pbr = 1;
    f.dividendYield = 0.03;
    f.marketCap = 5e9;
    StockFinder::Conditions c;
    EXPECT_TRUE(meets(f, c));
    c.ranges["per"] = StockFinder::Range{std::nullopt, 15.0};
    c.ranges["pbr"] = StockFinder::Range{std::nullopt, 1.0};
    c.ranges["yield"] = StockFinder::Range{0.03, std::nullopt};
    c.ranges["cap"] = StockFinder::Range{5e9, 5e9};
    EXPECT_TRUE(meets(f, c)); // every edge inclusive
    f.per = 15.01;
    EXPECT_FALSE(meets(f, c));
    // A loss has no meaningful PER: an open lower side means above 0; an explicit one does not.
    f.per = -8;
    EXPECT_FALSE(meets(f, c));
    c.ranges["per"] = StockFinder::Range{-10.0, 15.0};
    EXPECT_TRUE(meets(f, c));
    f.per = 0;
    c.ranges["per"] = StockFinder::Range{std::nullopt, 15.0};
    EXPECT_FALSE(meets(f, c));
    // A figure that is none never meets a condition; without a condition it does not matter.
    f.per = 10;
    f.dividendYield.reset();
    EXPECT_FALSE(meets(f, c));
    c.ranges.erase("yield");
    EXPECT_TRUE(meets(f, c));
    c.ranges["roe"] = StockFinder::Range{std::nullopt, std::nullopt};
    EXPECT_FALSE(meets(f, c));
    c.ranges.erase("roe");
    // Flags and crosses; a name that is no figure's meets nothing.
    c.flags.insert("new-high");
    EXPECT_FALSE(meets(f, c));
    f.newHigh = true;
    EXPECT_TRUE(meets(f, c));
    c.crosses["macd-cross"] = 1;
    EXPECT_FALSE(meets(f, c));
    f.macdCross = 1;
    EXPECT_TRUE(meets(f, c));
    c.crosses["macd-cross"] = 0; // either way, or none
    f.macdCross = 0;
    EXPECT_TRUE(meets(f, c));
    c.cross = -1;
    EXPECT_FALSE(meets(f, c));
    f.cross = -1;
    EXPECT_TRUE(meets(f, c));
    c.flags.insert("no-such-flag");
    EXPECT_FALSE(meets(f, c));
    c.flags.erase("no-such-flag");
    c.ranges["no-such-figure"] = StockFinder::Range{};
    EXPECT_FALSE(meets(f, c));
    c.ranges.erase("no-such-figure");
    EXPECT_TRUE(meets(f, c));

    std::vector<StockFinder::Row> rows(4);
    rows[0].code = "1001";
    rows[0].figures.per = 12;
    rows[1].code = "1002";
    rows[2].code = "1003";
    rows[2].figures.per = 8;
    rows[3].code = "1000";
    rows[3].figures.per = 12;
    auto codes = [&rows] {
        std::string out;
        for (const auto& r : rows) {
            out += r.code + " ";
        }
        return out;
    };
    StockFinder::sort(rows, "per", false);
    EXPECT_EQ(codes(), "1003 1000 1001 1002 ");
    StockFinder::sort(rows, "per", true);
    EXPECT_EQ(codes(), "1000 1001 1003 1002 ");
    StockFinder::sort(rows, "code", false);
    EXPECT_EQ(codes(), "1000 1001 1002 1003 ");
    EXPECT_TRUE(StockFinder::isSortKey("fwd-per"));
    EXPECT_TRUE(StockFinder::isSortKey("dev25"));
    EXPECT_FALSE(StockFinder::isSortKey("price"));
    EXPECT_EQ(analysis::FindReport::width("7203 トヨタ ｶﾅ"), 5u + 6 + 1 + 2);

    // The chart's line: the figures that exist, none shown as 0.
    Fundamentals::Figures shown;
    shown.fwdPer = 12.345;
    shown.dividendYield = 0.03214;
    EXPECT_EQ(exporting::ChartData::figuresText(shown), "予想PER 12.3倍  配当利回り 3.21%");
    shown.pbr = 0.8;
    EXPECT_EQ(exporting::ChartData::figuresText(shown), "予想PER 12.3倍  PBR 0.80倍  配当利回り 3.21%");
    EXPECT_EQ(exporting::ChartData::figuresText(Fundamentals::Figures{}), "");
    // The results' date the chart's top line names, and the margin ratio where the plan has it.
    Fundamentals::Figures before;
    before.earningsDate = 20261215;
    before.marginRatio = 3.456;
    EXPECT_EQ(exporting::ChartData::figuresText(before), "決算予定 2026-12-15  信用倍率 3.46倍");
}

TEST(Fundamentals, FindFromTheToolItsOutputsAndItsMessages)
{
    auto server = sampleMarket(120, 60, core::Clock().today());
    ASSERT_TRUE(server);
    test::TempFolder dir;
    const std::string cli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(dir / "home");
    std::string out;
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + server->apiBaseUrl()
                  + " --plan premium --days 40 --bounds 0.9 1.2 >/dev/null 2>&1"),
        0);
    ASSERT_EQ(test::runCommand(cli + " refresh >/dev/null 2>&1"), 0);
    ASSERT_EQ(test::runCommand(cli + " screen >/dev/null 2>&1"), 0);

    // The JSON: every stock that meets the conditions, in the order asked, nones last.
    ASSERT_EQ(test::runCommand(cli + " find --per :20 --yield 1: --sort yield:desc --json", &out), 0) << out;
    const auto json = nlohmann::json::parse(out);
    const std::string latest = core::Clock::dashed(year_month_day{server->market().latestTradingDay()});
    EXPECT_EQ(json["tradingDate"], latest);
    EXPECT_EQ(json["valuationDate"], latest);
    ASSERT_GT(json["count"].get<int>(), 3);
    ASSERT_EQ(json["stocks"].size(), json["count"].get<std::size_t>());
    double previous = 1e9;
    for (const auto& s : json["stocks"]) {
        for (const char* key : {"code", "name", "market", "industry", "close", "achk", "cchk", "per",
                 "fwdPer", "pbr", "roe", "fwdRoe", "eps", "fwdEps", "bps", "marketCap", "dividend",
                 "dividendYield", "dividendActual", "dividendDisclosed"}) {
            EXPECT_TRUE(s.contains(key)) << key;
        }
        EXPECT_GT(s["per"].get<double>(), 0);
        EXPECT_LE(s["per"].get<double>(), 20);
        EXPECT_GE(s["dividendYield"].get<double>(), 0.01);
        EXPECT_LE(s["dividendYield"].get<double>(), previous);
        previous = s["dividendYield"].get<double>();
    }
    // --limit lists the first N; the count stays.
    ASSERT_EQ(
        test::runCommand(cli + " find --per :20 --yield 1: --sort yield:desc --limit 2 --json", &out), 0);
    EXPECT_EQ(nlohmann::json::parse(out)["count"], json["count"]);
    EXPECT_EQ(nlohmann::json::parse(out)["stocks"].size(), 2u);
    // The signals as the screening left them.
    ASSERT_EQ(test::runCommand(cli + " find --signal 買 --json", &out), 0);
    for (const auto& s : nlohmann::json::parse(out)["stocks"]) {
        EXPECT_TRUE(s["achk"] == "買" || s["cchk"] == "買");
    }
    ASSERT_EQ(test::runCommand(cli + " find --signal 売 --confirmed --json", &out), 0);
    for (const auto& s : nlohmann::json::parse(out)["stocks"]) {
        EXPECT_EQ(s["cchk"], "売");
    }
    // The table ends with the count and the days; the CSV has a mark, CR LF and one row a stock.
    ASSERT_EQ(test::runCommand(cli + " find --pbr :1 --csv " + (dir / "f.csv").string(), &out), 0);
    EXPECT_EQ(out.rfind("コード", 0), 0u) << out;
    EXPECT_NE(out.find("（株価 " + latest + "、指標 " + latest + "）\n"), std::string::npos) << out;
    const auto csv = test::readFile(dir / "f.csv");
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF"
                        "code,name,market,industry,close,",
                  0),
        0u);
    const auto count = std::stoi(out.substr(out.rfind("該当 ") + std::string("該当 ").size()));
    std::size_t lines = 0;
    for (auto at = csv.find("\r\n"); at != std::string::npos; at = csv.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(count) + 1);
    // Nothing met: exit 0, the count 0.
    ASSERT_EQ(test::runCommand(cli + " find --per 1000: --json", &out), 0);
    EXPECT_EQ(nlohmann::json::parse(out)["count"], 0);

    // A report file goes in whole: through a link to its file, which is replaced and the link
    // kept; never over the database, a folder, a FIFO (which would block the run) or a device.
    namespace fs = std::filesystem;
    const std::string listed = test::readFile(dir / "f.csv");
    fs::create_symlink(dir / "f.csv", dir / "link.csv");
    test::writeFile(dir / "f.csv", "old");
    ASSERT_EQ(
        test::runCommand(cli + " find --pbr :1 --csv " + (dir / "link.csv").string() + " >/dev/null"), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(test::readFile(dir / "f.csv"), listed);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const auto database = dir / "home" / "zuvemo.db";
    const auto databaseBytes = fs::file_size(database);
    for (const auto& [target, reason] : std::vector<std::pair<fs::path, std::string>>{
             {dir / "fifo", "通常のファイルではありません"}, {dir.path(), "フォルダです"},
             {"/dev/null", "通常のファイルではありません"}, {database, "データベースのファイルです"},
             {dir / "home" / "zuvemo.db-lock", "データベースのファイルです"},
             {dir / "none" / "f.csv", "フォルダがありません"}}) {
        EXPECT_EQ(test::runCommand(
                      "timeout 30 env " + cli + " find --pbr :1 --csv " + target.string() + " 2>&1", &out),
            1)
            << target;
        EXPECT_NE(
            out.find("ファイル(" + target.string() + ")を書き込めません。（" + reason), std::string::npos)
            << out;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(fs::file_size(database), databaseBytes);
    // With the standard streams closed, the report goes nowhere rather than into a file of the
    // folder's that happens to get descriptor 1 or 2.
    ASSERT_EQ(test::runCommand(cli + " find --pbr :1 >&- 2>&-"), 0);
    ASSERT_EQ(test::runCommand(cli + " find --pbr 1000: >&- 2>&-"), 0);
    for (const auto& entry : fs::directory_iterator(dir / "home")) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(test::readFile(entry.path()).find("該当 "), std::string::npos) << entry.path();
        }
    }
    EXPECT_EQ(fs::file_size(dir / "home" / "zuvemo.db-lock"), 0u);

    // Bad ranges name their option.
    for (const auto& [args, option] : std::vector<std::pair<std::string, std::string>>{{"--per a:b", "--per"},
             {"--pbr 3:1", "--pbr"}, {"--yield -1:", "--yield"}, {"--cap 5", "--cap"},
             {"--sort price", "--sort"}, {"--signal 強", "--signal"}, {"--per 0x10:0x20", "--per"},
             {"--per ' 5: 10'", "--per"}, {"--per '5 :10'", "--per"}, {"--pbr 1e400:", "--pbr"},
             {"--roe :inf", "--roe"}, {"--cap 1e-400:", "--cap"}, {"--per 1:2 --per 3:4", "--per"},
             {"--dev25 a:b", "--dev25"}, {"--rsi 1:2:3", "--rsi"}, {"--rsi nan:", "--rsi"},
             {"--chg5 :inf", "--chg5"}, {"--turnover １:２", "--turnover"}, {"--cross up", "--cross"},
             {"--columns rsi,price", "price"}, {"--sort volume", "--sort"}}) {
        EXPECT_EQ(test::runCommand(cli + " find " + args + " 2>&1", &out), 2) << args;
        EXPECT_NE(out.find(option), std::string::npos) << out;
    }

    // A folder never refreshed has no list, which is not a search that met nothing.
    const std::string emptyCli = test::cliCommand(dir / "empty");
    ASSERT_EQ(test::runCommand(
                  emptyCli + " init --source jquants --api-url " + server->apiBaseUrl() + " >/dev/null 2>&1"),
        0);
    EXPECT_EQ(test::runCommand(emptyCli + " find 2>&1", &out), 1);
    EXPECT_EQ(out, std::string(analysis::StockFinder::kNoListMessage) + "\n");

    // A CSV folder has no figures: the signal and the lists still work.
    const std::string csvCli = test::cliCommand(dir / "csv");
    ASSERT_EQ(test::runCommand(csvCli + " init --daily-url " + server->dailyBaseUrl() + " --history-url "
                  + server->historyBaseUrl() + " >/dev/null 2>&1"),
        0);
    ASSERT_EQ(test::runCommand(csvCli + " refresh >/dev/null 2>&1"), 0);
    EXPECT_EQ(test::runCommand(csvCli + " find --per :15 2>&1", &out), 2);
    EXPECT_EQ(out, "PER などの指標は J-Quants のフォルダで使えます。\n");
    ASSERT_EQ(test::runCommand(csvCli + " find --market 東証プライム --json", &out), 0) << out;
    const auto plain = nlohmann::json::parse(out);
    EXPECT_TRUE(plain["valuationDate"].is_null());
    ASSERT_GT(plain["count"].get<int>(), 0);
    EXPECT_TRUE(plain["stocks"][0]["per"].is_null());
    EXPECT_FALSE(plain["stocks"][0]["close"].is_null());
    // The price figures come from the screening's history files there; the growth ones are JPX's.
    EXPECT_EQ(test::runCommand(csvCli + " find --op-growth 0: 2>&1", &out), 2);
    ASSERT_EQ(test::runCommand(csvCli + " screen >/dev/null 2>&1"), 0);
    ASSERT_EQ(test::runCommand(csvCli + " find --rsi 0:100 --json", &out), 0) << out;
    const auto priced = nlohmann::json::parse(out);
    ASSERT_GT(priced["count"].get<int>(), 0);
    EXPECT_TRUE(priced["stocks"][0]["rsi"].is_number());
    EXPECT_TRUE(priced["stocks"][0]["dev25"].is_number());
    ASSERT_EQ(test::runCommand(csvCli + " find --rsi 0:100 --columns rsi,dev5,new-high --limit 1", &out), 0);
    EXPECT_EQ(out.rfind("コード  銘柄名", 0), 0u) << out;
    EXPECT_NE(out.find("RSI  5日乖離  新高値"), std::string::npos) << out;
}

TEST(Fundamentals, AFiguresAnswerIsTakenWholeAndANoneIsNeverZero)
{
    using marketdata::JQuantsAnswer;
    using nlohmann::json;
    const json good = json::array(
        {json{{"Date", "2026-12-08"}, {"Code", "72030"}, {"PER", 12.5}, {"PBR", "-"}, {"ROE", ""},
             {"EPS", "101.5"}, {"FwdPER", nullptr}, {"MktCap", std::numeric_limits<double>::infinity()}},
            json{{"Date", "2026-12-08"}, {"Code", "130A0"}}});
    auto check = JQuantsAnswer::valuation("2026-12-08", good);
    ASSERT_TRUE(check.ok) << check.fault;
    EXPECT_EQ(check.rows[0]["PER"], 12.5);
    EXPECT_EQ(check.rows[0]["EPS"], 101.5); // text that is a number is the number
    for (const char* none : {"PBR", "ROE", "FwdPER", "MktCap", "BPS"}) {
        EXPECT_TRUE(check.rows[0][none].is_null()) << none;
    }
    auto twice = good;
    twice.push_back(good[0]);
    EXPECT_FALSE(JQuantsAnswer::valuation("2026-12-08", twice).ok);
    EXPECT_FALSE(JQuantsAnswer::valuation("2026-12-07", good).ok);
    EXPECT_FALSE(
        JQuantsAnswer::valuation("2026-12-08", json::array({json{{"Date", "2026-12-08"}, {"Code", "x"}}}))
            .ok);

    const json filings
        = json::array({json{{"DiscDate", "2026-12-08"}, {"Code", "72030"}, {"DiscNo", "1"},
                           {"DocType", "FYFinancialStatements_Consolidated_JP"}, {"NxFDivAnn", 60}},
            json{{"DiscDate", "2026-12-08"}, {"Code", "72030"}, {"DiscNo", "2"},
                {"DocType", "DividendForecastRevision"}, {"FDivAnn", "70.0"}}});
    check = JQuantsAnswer::filings("2026-12-08", filings);
    ASSERT_TRUE(check.ok) << check.fault;
    EXPECT_EQ(check.rows[0]["NxFDivAnn"], "60");
    EXPECT_EQ(check.rows[1]["DivAnn"], "");
    auto same = filings;
    same[1]["DiscNo"] = "1";
    EXPECT_FALSE(JQuantsAnswer::filings("2026-12-08", same).ok);
    EXPECT_FALSE(JQuantsAnswer::filings("2026-12-09", filings).ok);
    // The forecast a filing carries: the next year's of a year-end statement, else the year's.
    marketdata::PriceStore::Filing yearEnd;
    yearEnd.docType = "FYFinancialStatements_Consolidated_IFRS";
    yearEnd.fDivAnn = "50";
    yearEnd.nxFDivAnn = "-";
    EXPECT_FALSE(Fundamentals::forecast(yearEnd));
    yearEnd.nxFDivAnn = "55.5";
    EXPECT_EQ(Fundamentals::forecast(yearEnd), 55.5);
    auto quarter = yearEnd;
    quarter.docType = "2QFinancialStatements_Consolidated_JP";
    EXPECT_EQ(Fundamentals::forecast(quarter), 50);
    check = JQuantsAnswer::filings("2026-12-08",
        json::array({json{{"DiscDate", "2026-12-08"}, {"Code", "72030"}, {"DiscNo", "1"}, {"OP", 1500},
            {"FOP", "-"}, {"NxFNP", "12.5"}, {"EqAR", "0.523"}}}));
    ASSERT_TRUE(check.ok) << check.fault;
    EXPECT_EQ(check.rows[0]["OP"], "1500");
    EXPECT_EQ(check.rows[0]["FOP"], "-");
    EXPECT_EQ(check.rows[0]["NxFNP"], "12.5");
    EXPECT_EQ(check.rows[0]["EqAR"], "0.523");
    EXPECT_EQ(check.rows[0]["NP"], "");

    // A store written before its answers were checked as now: a market value that overflows
    // in yen, one below 0, a dividend below 0 are none, and none meets a condition.
    test::TempFolder dir;
    marketdata::PriceStore store(dir.path());
    store.storeValuation("2026-12-08",
        json::array({json{{"Code", "72030"}, {"MktCap", 1e303}, {"PER", 10.0}},
            json{{"Code", "13010"}, {"MktCap", -5e3}}}));
    store.storeFilings("2026-12-08",
        json::array({json{{"Code", "72030"}, {"DiscNo", "1"}, {"DocType", "DividendForecastRevision"},
            {"FDivAnn", "-50"}}}));
    const auto day = Fundamentals::read(store, "2026-12-08");
    const auto& big = day.byCode.at("7203");
    EXPECT_FALSE(big.marketCap);
    EXPECT_FALSE(big.dividend);
    EXPECT_EQ(big.per, 10.0);
    EXPECT_FALSE(day.byCode.at("1301").marketCap);
    StockFinder::Conditions cap;
    cap.ranges["cap"] = StockFinder::Range{1e14, std::nullopt};
    EXPECT_FALSE(StockFinder::meets(big, cap));
}

TEST(Fundamentals, GrowthFiguresTakeEachForecastOnItsOwnAndLastYearOnlyFromTheNewestYearEnd)
{
    using nlohmann::json;
    test::TempFolder dir;
    marketdata::PriceStore store(dir.path());
    auto filing = [](const char* code, const char* no, const char* docType, json fields) {
        fields["Code"] = code;
        fields["DiscNo"] = no;
        fields["DocType"] = docType;
        return fields;
    };
    const char* yearEnd = "FYFinancialStatements_Consolidated_JP";
    const char* quarter = "1QFinancialStatements_Consolidated_JP";
    store.storeFilings("2026-05-10",
        json::array(
            {filing("10010", "1", yearEnd,
                 {{"Sales", "1000"}, {"OP", "100"}, {"NxFSales", "1100"}, {"NxFOP", "90"}, {"EqAR", "0.4"}}),
                // Last year's sales 0 or an operating loss: no growth to speak of.
                filing("10020", "1", yearEnd,
                    {{"Sales", "0"}, {"OP", "-5"}, {"NxFSales", "10"}, {"NxFOP", "8"}, {"EqAR", "0.3"}}),
                filing("10030", "1", yearEnd, {{"Sales", "900"}, {"OP", "90"}, {"NxFSales", "1000"}}),
                filing("10040", "1", yearEnd, {{"Sales", "1e-300"}, {"OP", "1"}, {"NxFSales", "1e300"}})}));
    store.storeFilings("2026-08-10",
        json::array({
            // The newest sales forecast is the year-end's, the operating profit's this revision's.
            filing("10010", "1", "EarnForecastRevision", {{"FOP", "120"}}),
            filing("10010", "2", quarter, {{"FSales", "-"}, {"FOP", ""}, {"EqAR", ""}}),
            // The newest year-end without sales: none, never the year before's.
            filing("10030", "1", yearEnd, {{"Sales", ""}, {"OP", "50"}, {"NxFOP", "60"}}),
        }));
    store.storeFilings("2026-09-10",
        json::array({filing("10010", "1", quarter, {{"FSales", "1300"}, {"FOP", "130"}, {"EqAR", "0.45"}})}));

    auto day = Fundamentals::read(store, "2026-08-31");
    const auto& a = day.byCode.at("1001");
    EXPECT_NEAR(*a.salesGrowth, 0.1, 1e-12);
    EXPECT_NEAR(*a.opGrowth, 0.2, 1e-12);
    EXPECT_NEAR(*a.opMargin, 0.1, 1e-12);
    EXPECT_EQ(a.equityRatio, 0.4);
    const auto& b = day.byCode.at("1002");
    EXPECT_FALSE(b.salesGrowth || b.opGrowth || b.opMargin);
    EXPECT_EQ(b.equityRatio, 0.3);
    const auto& c = day.byCode.at("1003");
    EXPECT_FALSE(c.salesGrowth || c.opMargin || c.equityRatio);
    EXPECT_NEAR(*c.opGrowth, 0.2, 1e-12);
    const auto& d = day.byCode.at("1004");
    EXPECT_FALSE(d.salesGrowth); // not finite
    // Before the revision and the empty year-end, the older filings; after, the newer.
    EXPECT_EQ(Fundamentals::read(store, "2026-05-10").byCode.at("1003").salesGrowth, 1000.0 / 900 - 1);
    day = Fundamentals::read(store, "2026-09-10");
    EXPECT_NEAR(*day.byCode.at("1001").salesGrowth, 0.3, 1e-12);
    EXPECT_NEAR(*day.byCode.at("1001").opGrowth, 0.3, 1e-12);
    EXPECT_EQ(day.byCode.at("1001").equityRatio, 0.45);
    EXPECT_FALSE(Fundamentals::read(store, "2026-05-09").byCode.count("1001"));
}

namespace {

std::string dashed(sys_days d)
{
    return core::Clock::dashed(year_month_day{d});
}

sys_days dayOf(const std::string& text)
{
    return sys_days{year{std::stoi(text.substr(0, 4))} / month{unsigned(std::stoi(text.substr(5, 2)))}
        / day{unsigned(std::stoi(text.substr(8, 2)))}};
}

// The trading days after from up to to, by the sample market's own calendar.
int tradingDaysBetween(const std::string& from, const std::string& to)
{
    int n = 0;
    for (auto d = dayOf(from) + days{1}; d <= dayOf(to); d += days{1}) {
        n += sample::TradingCalendar::isTradingDay(year_month_day{d}) ? 1 : 0;
    }
    return n;
}

std::string tradingDaysLater(const std::string& from, int count)
{
    auto d = dayOf(from);
    while (count > 0) {
        d += days{1};
        count -= sample::TradingCalendar::isTradingDay(year_month_day{d}) ? 1 : 0;
    }
    return dashed(d);
}

// The figures before buying of every stock on the days asked, worked out from the server's own
// answers of the stored days, not from the store: what each publication said, the raw bars and
// their split factors, TOPIX, and the day's list.
struct Expected
{
    std::map<std::string, std::map<std::string, Fundamentals::Figures>> byDay; // day → list code
};

Expected expectedBeforeBuying(sample::SampleServer& server, const std::vector<std::string>& stored,
    const std::vector<std::string>& asked)
{
    marketdata::JQuantsClient::Options options;
    options.baseUrl = server.apiBaseUrl();
    options.apiKey = "sample-key";
    options.requestsPerMinute = 0;
    marketdata::JQuantsClient client(options);
    // Kept while a loop reads it.
    nlohmann::json answer;
    auto all = [&](const std::string& path,
                   const std::map<std::string, std::string>& query) -> const nlohmann::json& {
        answer = client.getAll(path, query).value_or(nlohmann::json::array());
        return answer;
    };
    struct Schedule
    {
        std::string pub, sch;
    };
    // code → quarter → publications, oldest first; code → (known from, 申込日, long, short).
    std::map<std::string, std::map<std::string, std::vector<Schedule>>> schedules;
    std::map<std::string, std::vector<std::tuple<std::string, std::string, double, double>>> margins;
    // code → day → (raw close or 0, raw volume, AdjFactor, a row); TOPIX by day.
    std::map<std::string, std::map<std::string, std::tuple<double, double, double>>> bars;
    std::map<std::string, double> topix;
    for (const auto& row :
        all("/indices/bars/daily/topix", {{"from", stored.front()}, {"to", stored.back()}})) {
        topix[row["Date"].get<std::string>()] = row["C"].get<double>();
    }
    for (const auto& day : stored) {
        for (const auto& row : all("/fins/earnings-date", {{"date", day}})) {
            const std::string sch = row["SchDate"].get<std::string>();
            if (!sch.empty() && sch < day) {
                continue; // no schedule says so: put aside
            }
            schedules[row["Code"].get<std::string>().substr(0, 4)]
                     [row["FYE"].get<std::string>() + row["FQName"].get<std::string>()]
                         .push_back({day, sch});
        }
        for (const auto& row : all("/markets/margin-interest", {{"date", day}})) {
            const double longVol = row["LongVol"].get<double>(), shortVol = row["ShrtVol"].get<double>();
            if (longVol < 0 || shortVol < 0) {
                continue;
            }
            const std::string known
                = row.contains("PubDate") ? row["PubDate"].get<std::string>() : tradingDaysLater(day, 2);
            margins[row["Code"].get<std::string>().substr(0, 4)].emplace_back(known, day, longVol, shortVol);
        }
        for (const auto& row : all("/equities/bars/daily", {{"date", day}})) {
            const bool traded = row["C"].is_number();
            bars[row["Code"].get<std::string>().substr(0, 4)][day] = {traded ? row["C"].get<double>() : 0,
                traded ? row["Vo"].get<double>() : 0, row["AdjFactor"].get<double>()};
        }
    }
    Expected out;
    for (const auto& day : asked) {
        auto& byCode = out.byDay[day];
        for (const auto& [code, quarters] : schedules) {
            std::optional<std::string> next;
            for (const auto& [quarter, publications] : quarters) {
                const Schedule* newest = nullptr;
                for (const auto& p : publications) {
                    newest = p.pub <= day ? &p : newest;
                }
                if (newest && !newest->sch.empty() && newest->sch >= day && (!next || newest->sch < *next)) {
                    next = newest->sch;
                }
            }
            if (next) {
                byCode[code].earningsIn = tradingDaysBetween(day, *next);
                byCode[code].earningsDate
                    = std::stod(next->substr(0, 4) + next->substr(5, 2) + next->substr(8, 2));
            }
        }
        for (const auto& [code, rows] : margins) {
            const std::tuple<std::string, std::string, double, double>* known = nullptr;
            for (const auto& r : rows) {
                if (std::get<0>(r) <= day && (!known || std::get<1>(r) > std::get<1>(*known))) {
                    known = &r;
                }
            }
            if (known) {
                byCode[code].marginLong = std::get<2>(*known);
                byCode[code].marginShort = std::get<3>(*known);
                if (std::get<3>(*known) > 0) {
                    byCode[code].marginRatio = std::get<2>(*known) / std::get<3>(*known);
                }
            }
        }
        const auto p
            = static_cast<std::size_t>(std::find(stored.begin(), stored.end(), day) - stored.begin());
        std::vector<std::string> listed;
        for (const auto& row : all("/equities/master", {{"date", day}})) {
            const std::string product = row["ProdCat"].get<std::string>();
            if (product != "013" && product != "014") {
                listed.push_back(row["Code"].get<std::string>().substr(0, 4));
            }
        }
        std::vector<std::pair<std::string, double>> longChanges;
        for (const auto& [code, own] : bars) {
            if (!own.count(day)) {
                continue;
            }
            // A close k days back on the day's basis: the last trade by then, times the splits since.
            auto closeBack = [&, &own = own](std::size_t k) -> std::optional<double> {
                double factor = 1;
                for (std::size_t i = p + 1; i-- > 0;) {
                    const auto it = own.find(stored[i]);
                    if (i + k <= p && it != own.end() && std::get<0>(it->second) > 0) {
                        return std::get<0>(it->second) * factor;
                    }
                    if (it != own.end()) {
                        factor *= std::get<2>(it->second);
                    }
                }
                return std::nullopt;
            };
            auto change = [&](std::size_t k) -> std::optional<double> {
                const auto now = closeBack(0), then = closeBack(k);
                return p >= k && now && then ? std::optional(*now / *then - 1) : std::nullopt;
            };
            auto& f = byCode[code];
            const auto c20 = change(20), c60 = change(60);
            if (c20 && topix.count(stored[p - 20])) {
                f.rs20 = *c20 - (topix.at(day) / topix.at(stored[p - 20]) - 1);
            }
            if (c60 && topix.count(stored[p - 60])) {
                f.rs60 = *c60 - (topix.at(day) / topix.at(stored[p - 60]) - 1);
            }
            if (c60 && std::find(listed.begin(), listed.end(), code) != listed.end()) {
                longChanges.emplace_back(code, *c60);
            }
            if (f.marginLong && p >= 24 && closeBack(24)) {
                double sum = 0, factor = 1;
                for (std::size_t i = p + 1; i-- > p - 24;) {
                    const auto it = own.find(stored[i]);
                    if (it != own.end()) {
                        sum += std::get<1>(it->second) / factor;
                        factor *= std::get<2>(it->second);
                    }
                }
                if (sum > 0) {
                    f.marginLongDays = *f.marginLong / (sum / 25);
                }
            }
        }
        for (const auto& [code, change] : longChanges) {
            const auto lower = std::count_if(longChanges.begin(), longChanges.end(),
                [&change = change](const auto& other) { return other.second < change; });
            byCode[code].rsRank
                = std::floor(100.0 * static_cast<double>(lower) / static_cast<double>(longChanges.size()));
        }
    }
    return out;
}

void expectBeforeBuying(const Fundamentals::Day& got,
    const std::map<std::string, Fundamentals::Figures>& expected, const std::string& day)
{
    using F = Fundamentals::Figures;
    static const std::pair<std::optional<double> F::*, double> kFigures[] = {{&F::earningsIn, 0},
        {&F::earningsDate, 0}, {&F::marginRatio, 1e-12}, {&F::marginLong, 0}, {&F::marginShort, 0},
        {&F::marginLongDays, 1e-3}, {&F::rs20, 1e-3}, {&F::rs60, 1e-3}, {&F::rsRank, 1}};
    std::set<std::string> codes;
    for (const auto& [code, f] : expected) {
        codes.insert(code);
    }
    for (const auto& [code, f] : got.byCode) {
        codes.insert(code);
    }
    for (const auto& code : codes) {
        const auto g = got.byCode.find(code);
        const auto e = expected.find(code);
        const F none;
        const F& have = g == got.byCode.end() ? none : g->second;
        const F& want = e == expected.end() ? none : e->second;
        for (const auto& [figure, tolerance] : kFigures) {
            ASSERT_EQ((have.*figure).has_value(), (want.*figure).has_value())
                << day << " " << code << " " << (have.*figure).value_or(-1) << " "
                << (want.*figure).value_or(-1) << " long " << have.marginLong.value_or(-1) << "/"
                << want.marginLong.value_or(-1);
            if (want.*figure) {
                // Adjusted closes are sent to a tenth of a yen: the changes agree to that.
                EXPECT_NEAR(
                    *(have.*figure), *(want.*figure), tolerance * std::max(1.0, std::abs(*(want.*figure))))
                    << day << " " << code;
            }
        }
    }
}

} // namespace

TEST(Fundamentals, TheFiguresBeforeBuyingOfEveryStockAreTheServersAsKnownOnTheDay)
{
    auto server = sampleMarket(120, 200);
    ASSERT_TRUE(server);
    test::TempFolder dir;
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    source.days = 180;
    source.plan = "standard";
    marketdata::JQuantsClient::Options client;
    client.baseUrl = server->apiBaseUrl();
    client.apiKey = "sample-key";
    client.requestsPerMinute = 0;
    const core::FixedClock clock(kToday);
    const auto result
        = marketdata::JQuantsRefresh(dir.path(), source, client, clock).run("", dir / "list.csv");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_GT(result.marginDaysFetched, 0);
    marketdata::PriceStore store(dir.path());
    const auto stored = store.storedDays();
    const std::string newest = stored.back();
    // Weekly balances 60 days back, daily ones since 2026-09-25.
    const std::string past = stored[stored.size() - 61];
    ASSERT_LT(past, marketdata::MarginHistory::kDailyFrom);
    const auto expected = expectedBeforeBuying(*server, stored, {newest, past});

    const auto now = Fundamentals::read(store, newest);
    expectBeforeBuying(now, expected.byDay.at(newest), newest);
    // Each case is met: a stock announcing on the day, dates moved and 未定 ones, no short balance.
    int onTheDay = 0, moved = 0, undecided = 0, noShort = 0, ranked = 0;
    for (std::size_t s = 0; s < server->market().stocks().size(); ++s) {
        const auto code = server->market().stocks()[s].code;
        const auto it = now.byCode.find(code);
        if (it == now.byCode.end()) {
            continue;
        }
        onTheDay += it->second.earningsIn == 0.0;
        moved += JQuantsApi::movesEarnings(s) && it->second.earningsDate.has_value();
        undecided += JQuantsApi::undecidedEarnings(s) && it->second.earningsDate.has_value();
        noShort += it->second.marginShort == 0.0 && !it->second.marginRatio;
        ranked += it->second.rsRank.has_value();
    }
    EXPECT_GT(onTheDay, 0);
    EXPECT_GT(moved, 0);
    EXPECT_GT(undecided, 0);
    EXPECT_GT(noShort, 0);
    EXPECT_GT(ranked, 50);

    // A past day reads nothing published later: the same as a store cut there.
    test::TempFolder cut;
    {
        auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName);
        db->execute("VACUUM INTO '" + (cut / marketdata::PriceStore::kFileName).string() + "'");
    }
    {
        auto db = core::Connection::open(cut / marketdata::PriceStore::kFileName);
        for (const char* table :
            {"Table_Bar WHERE BarDate", "Table_StoredDay WHERE DayDate", "Table_Topix WHERE TopixDate",
                "Table_Earnings WHERE PubDate", "Table_EarningsDay WHERE DayDate",
                "Table_Margin WHERE KnownFrom", "Table_MarginDay WHERE DayDate"}) {
            db->execute(std::string("DELETE FROM ") + table + " > '" + past + "'");
        }
    }
    marketdata::PriceStore cutStore(cut.path());
    const auto then = Fundamentals::read(store, past);
    expectBeforeBuying(then, expected.byDay.at(past), past);
    expectBeforeBuying(Fundamentals::read(cutStore, past), expected.byDay.at(past), past);
    // A results' date moved after the day changed the newest figure, not the past one.
    int changedSince = 0;
    for (const auto& [code, f] : then.byCode) {
        const auto it = now.byCode.find(code);
        changedSince += it != now.byCode.end() && it->second.earningsDate != f.earningsDate;
    }
    EXPECT_GT(changedSince, 0);

    // Through a timeline, as rules read them, day by day as alone.
    marketdata::FundamentalsTimeline timeline(store, {past, newest}, {&Fundamentals::Figures::rsRank});
    for (const auto& day : {past, newest}) {
        const auto some = timeline.next();
        const auto alone = Fundamentals::read(store, day);
        for (const auto& [code, f] : alone.byCode) {
            EXPECT_EQ(some.byCode.count(code) ? some.byCode.at(code).rsRank : std::nullopt, f.rsRank)
                << day << code;
        }
    }

    // By stock index, as a rule reads them over many days at once: every figure of every day
    // equal to a day read alone, and each stock's next results as the quarters' rows give them.
    const std::vector<std::string> many(stored.end() - 80, stored.end());
    marketdata::MarketStanding standing(store, many);
    const auto& asked = standing.asked();
    ASSERT_EQ(asked.size(), 9U);
    std::vector<double> values;
    int compared = 0;
    for (const auto& day : many) {
        standing.columns(day, values);
        ASSERT_EQ(values.size(), standing.stockCount() * asked.size());
        const auto alone = Fundamentals::read(store, day);
        std::map<std::string, std::string> scheduled;
        for (const auto& [code, date] : marketdata::EarningsHistory::next(
                 marketdata::EarningsHistory(store.connection()).rows(day), day)) {
            scheduled[marketdata::PriceStore::listCode(code)] = date;
        }
        for (std::size_t i = 0; i < standing.stockCount(); ++i) {
            const auto& code = standing.listCode(i);
            const auto it = alone.byCode.find(code);
            for (std::size_t j = 0; j < asked.size(); ++j) {
                const double v = values[i * asked.size() + j];
                const auto have = std::isnan(v) ? std::nullopt : std::optional(v);
                EXPECT_EQ(have, it == alone.byCode.end() ? std::nullopt : it->second.*asked[j])
                    << day << code << j;
                compared += have.has_value();
            }
            const auto date = values[i * asked.size() + 1]; // earnings-date
            EXPECT_EQ(std::isnan(date) ? std::string() : marketdata::MarketStanding::dateText(date),
                scheduled.count(code) ? scheduled.at(code) : std::string())
                << day << code;
        }
    }
    EXPECT_GT(compared, 80 * 100 * 5);

    // Readers of one loaded standing, each with its cursor and its own run of the days (as the
    // threads of a rule read it), in turns and one of them going back: the same values.
    std::vector<std::vector<double>> byDay;
    for (const auto& day : many) {
        standing.columns(day, values);
        byDay.push_back(values);
    }
    marketdata::MarketStanding::Cursor early, late;
    for (std::size_t k = 0; k < 40; ++k) {
        const std::size_t back = k == 20 ? 3 : k; // the early reader goes back once
        standing.columns(many[back], values, early);
        EXPECT_EQ(values.size(), byDay[back].size());
        EXPECT_TRUE(std::equal(values.begin(), values.end(), byDay[back].begin(), byDay[back].end(),
            [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }))
            << many[back];
        standing.columns(many[40 + k], values, late);
        EXPECT_TRUE(std::equal(values.begin(), values.end(), byDay[40 + k].begin(), byDay[40 + k].end(),
            [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }))
            << many[40 + k];
    }
}

TEST(Fundamentals, ResultsDatesAndMarginAnswersAreTakenWholeAndImpossibleRowsPutAside)
{
    using marketdata::EarningsHistory;
    using marketdata::MarginHistory;
    using nlohmann::json;
    const std::string day = "2026-12-08";
    auto row = [&](const char* code, const char* quarter, const char* sch) {
        return json{
            {"PubDate", day}, {"SchDate", sch}, {"FQName", quarter}, {"FYE", "2027-03-31"}, {"Code", code}};
    };
    auto ok = EarningsHistory::check(json::array({row("72030", "2Q", "2026-12-15"), row("13010", "3Q", ""),
                                         row("13050", "3Q", "2026-12-07")}),
        day);
    ASSERT_TRUE(ok.ok) << ok.fault;
    EXPECT_EQ(ok.rows.size(), 2u);
    EXPECT_EQ(ok.putAside, 1); // scheduled before its own publication
    // Refused whole: another publication day, a code twice in its two forms, an unknown quarter, a date
    // written otherwise.
    auto other = row("72030", "2Q", "2026-12-15");
    other["PubDate"] = "2026-12-07";
    for (const auto& bad : {json::array({row("72030", "2Q", "2026-12-15"), other}),
             json::array({row("72030", "2Q", "2026-12-15"), row("7203", "2Q", "2026-12-16")}),
             json::array({row("72030", "Q2", "2026-12-15")}), json::array({row("72030", "2Q", "2026/12/15")}),
             json::object()}) {
        const auto check = EarningsHistory::check(bad, day);
        EXPECT_FALSE(check.ok) << bad.dump();
        EXPECT_TRUE(check.rows.empty());
    }
    // The history: a newer publication of a quarter replaces the older from its day on; 未定 is none.
    const std::vector<EarningsHistory::Row> rows = {{"72030", "2027-03-31", "2Q", "2026-11-01", "2026-12-10"},
        {"72030", "2027-03-31", "2Q", "2026-12-01", "2026-12-15"},
        {"13010", "2027-03-31", "3Q", "2026-11-20", ""},
        {"13050", "2027-03-31", "FY", "2026-10-01", "2026-11-30"}};
    auto next = EarningsHistory::next(rows, "2026-11-30");
    EXPECT_EQ(next.at("72030"), "2026-12-10");
    EXPECT_EQ(next.at("13050"), "2026-11-30"); // 0 days: on the day itself
    EXPECT_FALSE(next.count("13010"));
    next = EarningsHistory::next(rows, "2026-12-01");
    EXPECT_EQ(next.at("72030"), "2026-12-15");
    EXPECT_FALSE(next.count("13050")); // past

    // The trading days to it: by the calendar, weekdays past its end.
    const std::vector<std::string> calendar = {"2026-12-07", "2026-12-08", "2026-12-10", "2026-12-11"};
    using marketdata::MarketStanding;
    EXPECT_EQ(MarketStanding::tradingDaysAfter(calendar, "2026-12-11", "2026-12-08", "2026-12-08"), 0);
    EXPECT_EQ(MarketStanding::tradingDaysAfter(calendar, "2026-12-11", "2026-12-08", "2026-12-10"), 1);
    EXPECT_EQ(MarketStanding::tradingDaysAfter(calendar, "2026-12-11", "2026-12-08", "2026-12-15"), 4);
    EXPECT_EQ(MarketStanding::secondBusinessDay(calendar, "2026-12-11", "2026-12-07"), "2026-12-10");
    EXPECT_EQ(MarketStanding::secondBusinessDay(calendar, "2026-12-11", "2026-12-10"), "2026-12-14");

    // Margin: a negative balance or a publication before the 申込日 is put aside; a missing
    // PubDate is the weekly series' publication; a text where a number belongs refuses it whole.
    auto margin = [&](const char* code, json longVol, json shortVol) {
        return json{{"Date", "2026-09-18"}, {"Code", code}, {"LongVol", longVol}, {"ShrtVol", shortVol},
            {"IssType", "2"}};
    };
    const auto published = [](const std::string&) { return std::string("2026-09-24"); };
    auto late = margin("13050", 100, 50);
    late["PubDate"] = "2026-09-17";
    const auto m = MarginHistory::check(
        json::array({margin("72030", 1000, 0), margin("13010", 1000, -5), late}), "2026-09-18", published);
    ASSERT_TRUE(m.ok) << m.fault;
    ASSERT_EQ(m.rows.size(), 1u);
    EXPECT_EQ(m.rows[0].knownFrom, "2026-09-24");
    EXPECT_EQ(m.putAside, 2);
    EXPECT_FALSE(MarginHistory::check(json::array({margin("72030", "1000", 0)}), "2026-09-18", published).ok);
    EXPECT_FALSE(MarginHistory::check(
        json::array({margin("72030", 1000, 0), margin("7203", 1000, 0)}), "2026-09-18", published)
                     .ok);
    auto wrongDay = margin("72030", 1000, 0);
    wrongDay["Date"] = "2026-09-17";
    EXPECT_FALSE(MarginHistory::check(json::array({wrongDay}), "2026-09-18", published).ok);
    // The 申込日 asked: the weeks' last trading days before the daily series, then each day
    // before the newest.
    const std::vector<std::string> trading
        = {"2026-09-16", "2026-09-17", "2026-09-18", "2026-09-24", "2026-09-25", "2026-09-28", "2026-09-29"};
    auto wanted = MarginHistory::wantedDays(trading, "2026-09-29",
        [&](const std::string& d) { return MarketStanding::secondBusinessDay(trading, "2026-09-29", d); });
    EXPECT_EQ(wanted, (std::vector<std::string>{"2026-09-18", "2026-09-25", "2026-09-28"}));
}
