#include "FaultProxy.h"
#include "SampleServer.h"
#include "TestSupport.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/PriceLimit.h"
#include "core/Recordset.h"
#include "marketdata/jquants/DividendHistory.h"
#include "marketdata/jquants/JQuantsClient.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/TopixHistory.h"

#include <gtest/gtest.h>
#include <set>

using namespace zuvemo;
using marketdata::DividendHistory;
using marketdata::ListingHistory;
using marketdata::TopixHistory;
using nlohmann::json;
using namespace std::chrono;

namespace {

json row(const std::string& date, const std::string& code, const std::string& market = "プライム",
    const std::string& name = "日本水産")
{
    return {{"Date", date}, {"Code", code}, {"CoName", name}, {"Mkt", "0111"}, {"MktNm", market},
        {"S33", "0050"}, {"S33Nm", "水産・農林業"}, {"S17", "1"}, {"ScaleCat", "TOPIX Small 1"},
        {"ProdCat", "011"}};
}

ListingHistory::Snapshot snapshot(
    const std::string& date, const std::vector<std::pair<std::string, std::string>>& stocks)
{
    json rows = json::array();
    for (const auto& [code, market] : stocks) {
        rows.push_back(row(date, code, market));
    }
    std::string fault;
    auto s = ListingHistory::snapshotOf(rows, &fault);
    EXPECT_TRUE(s) << fault;
    return s ? *s : ListingHistory::Snapshot{};
}

} // namespace

// The answer is checked whole before anything of it is kept.
TEST(ListingHistory, AMasterAnswerIsTakenWholeOrNotAtAll)
{
    std::string fault;
    auto good = ListingHistory::snapshotOf(
        json::array({row("2026-11-02", "13010"), row("2026-11-02", "130A0")}), &fault);
    ASSERT_TRUE(good) << fault;
    EXPECT_EQ(good->date, "2026-11-02");
    EXPECT_EQ(good->stocks.size(), 2u);
    EXPECT_EQ(good->stocks.at("13010").marketName, "プライム");
    EXPECT_EQ(good->stocks.at("13010").scale, "TOPIX Small 1");

    auto longName = row("2026-11-02", "13020");
    longName["CoName"] = std::string(ListingHistory::kMaxText + 1, 'a');
    auto noMarket = row("2026-11-02", "13020");
    noMarket.erase("Mkt");
    noMarket.erase("MktNm");
    const std::vector<std::pair<json, std::string>> bad = {
        {json::object(), "配列"},
        {json::array(), "1 つも"},
        {json::array({row("2026-11-02", "13010"), row("2026-11-04", "13020")}), "日付"},
        {json::array({row("2026-11-31", "13010")}), "日付"},
        {json::array({row("2026-11-02", "13010"), row("2026-11-02", "1301")}), "2 度"},
        {json::array({row("2026-11-02", "13'10")}), "銘柄コード"},
        {json::array({longName}), "長すぎる"},
        {json::array({noMarket}), "市場"},
        {json::array({42}), "オブジェクト"},
    };
    for (const auto& [rows, why] : bad) {
        fault.clear();
        EXPECT_FALSE(ListingHistory::snapshotOf(rows, &fault)) << rows.dump();
        EXPECT_NE(fault.find(why), std::string::npos) << fault;
    }
}

// Listings from snapshots: appearing, disappearing, suspended, listed again, moving market.
TEST(ListingHistory, ListingsFollowTheSnapshotsAndTheDaysEachStockTraded)
{
    const std::vector<ListingHistory::Snapshot> snaps = {
        snapshot("2026-09-01",
            {{"10000", "プライム"}, {"20000", "スタンダード"}, {"30000", "グロース"}, {"50000", "プライム"}}),
        snapshot("2026-10-01",
            {{"10000", "プライム"}, {"20000", "プライム"}, {"40000", "グロース"}, {"50000", "プライム"}}),
        snapshot("2026-11-02", {{"10000", "プライム"}, {"20000", "プライム"}, {"40000", "グロース"}}),
        snapshot("2026-12-01",
            {{"10000", "プライム"}, {"20000", "プライム"}, {"30000", "グロース"}, {"40000", "グロース"},
                {"60000", "プライム"}}),
    };
    const std::map<std::string, std::vector<std::string>> traded = {
        {"10000", {"2026-08-28", "2026-09-01", "2026-12-01"}}, // suspended from September to December
        {"20000", {"2026-09-01", "2026-10-01"}},
        {"30000", {"2026-09-01", "2026-09-15", "2026-11-20", "2026-12-01"}},
        {"40000", {"2026-09-20", "2026-09-24"}},
        {"50000", {"2026-09-01", "2026-10-20", "2026-10-21"}},
    };
    const auto listings = ListingHistory::listings(snaps, traded);

    // Traded before the first snapshot: listed since then; a suspension keeps it listed.
    ASSERT_EQ(listings.at("10000").size(), 1u);
    EXPECT_EQ(listings.at("10000")[0].first, "2026-08-28");
    EXPECT_EQ(listings.at("10000")[0].last, "");
    EXPECT_TRUE(listings.at("10000")[0].listedOn("2026-10-15"));

    // A move of market holds from the snapshot that shows it, at most a month late.
    const auto& moved = listings.at("20000")[0];
    ASSERT_EQ(moved.attributes.size(), 2u);
    EXPECT_EQ(moved.on("2026-09-30")->marketName, "スタンダード");
    EXPECT_EQ(moved.on("2026-10-01")->marketName, "プライム");
    EXPECT_EQ(moved.on("2026-09-01")->from, "2026-09-01");

    // Gone, then back: two listings, the first ending at its last trade before the snapshot
    // that misses it, the second from its first trade after the snapshot before it.
    const auto& again = listings.at("30000");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].first, "2026-09-01");
    EXPECT_EQ(again[0].last, "2026-09-15");
    EXPECT_EQ(again[1].first, "2026-11-20");
    EXPECT_EQ(again[1].last, "");
    EXPECT_FALSE(again[0].listedOn("2026-10-01"));
    EXPECT_EQ(again[1].on("2026-10-01"), nullptr);

    // New: from its first trade after the snapshot before.
    EXPECT_EQ(listings.at("40000")[0].first, "2026-09-20");
    // Delisted in the middle: up to its last trade before the snapshot without it.
    EXPECT_EQ(listings.at("50000")[0].last, "2026-10-21");
    EXPECT_TRUE(listings.at("50000")[0].listedOn("2026-10-21"));
    EXPECT_FALSE(listings.at("50000")[0].listedOn("2026-10-22"));
    // New without a trade yet: from the snapshot's day.
    EXPECT_EQ(listings.at("60000")[0].first, "2026-12-01");
}

TEST(ListingHistory, SnapshotsAreKeptWholeAndTheMonthsFirstDaysAreAskedFor)
{
    EXPECT_EQ(
        ListingHistory::wantedDays({"2026-09-29", "2026-09-30", "2026-10-01", "2026-10-02", "2026-11-04"}),
        (std::vector<std::string>{"2026-09-29", "2026-10-01", "2026-11-04"}));
    EXPECT_EQ(ListingHistory::wantedDays({"2026-10-01", "2026-10-02"}),
        (std::vector<std::string>{"2026-10-01", "2026-10-02"}));
    EXPECT_TRUE(ListingHistory::wantedDays({}).empty());
    // A month with a snapshot on or before its wanted day is not asked again: the oldest month
    // of a depth that moved on a day, or a day stored already.
    EXPECT_EQ(ListingHistory::toAsk({"2026-09-30", "2026-10-01", "2026-11-04", "2026-12-09"},
                  {"2026-09-29", "2026-11-04", "2026-12-10"}),
        (std::vector<std::string>{"2026-10-01", "2026-12-09"}));

    test::TempFolder dir;
    core::Connection::Options create;
    create.create = true;
    auto db = core::Connection::open(dir / "prices.db", create);
    ListingHistory history(*db);
    history.store(snapshot("2026-10-01", {{"10000", "プライム"}, {"20000", "スタンダード"}}));
    history.store(snapshot("2026-11-02", {{"10000", "プライム"}}));
    // The same day again replaces it, whole.
    history.store(snapshot("2026-10-01", {{"10000", "プライム"}, {"30000", "グロース"}}));
    EXPECT_TRUE(history.has("2026-10-01"));
    EXPECT_FALSE(history.has("2026-10-02"));
    EXPECT_EQ(history.days(), (std::vector<std::string>{"2026-10-01", "2026-11-02"}));
    const auto kept = history.snapshots();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].stocks.size(), 2u);
    EXPECT_EQ(kept[0].stocks.count("30000"), 1u);
    EXPECT_EQ(kept[0].stocks.at("10000"), snapshot("2026-10-01", {{"10000", "プライム"}}).stocks.at("10000"));
    EXPECT_EQ(history.snapshots("2026-10-31").size(), 1u);
    // Read in two halves by day, as the market's listings are: the days after one, up to another.
    const auto later = history.snapshots({}, "2026-10-01");
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].date, "2026-11-02");
    EXPECT_EQ(later[0].stocks, kept[1].stocks);
    EXPECT_TRUE(history.snapshots("2026-11-01", "2026-10-01").empty());
    // Rows without their day's mark (never whole) are not a snapshot.
    db->execute("DELETE FROM Table_ListingDay WHERE DayDate = '2026-11-02'");
    EXPECT_EQ(history.snapshots().size(), 1u);
}

// TOPIX's answer: a day that could not be an index's is put aside and named; a wrong date or a
// day twice refuses the whole answer, which stores nothing.
TEST(TopixHistory, AnAnswerIsCheckedWholeAndADayMissingIsAskedAgain)
{
    auto bar = [](const std::string& date, json o, json h, json l, json c) {
        return json{{"Date", date}, {"O", o}, {"H", h}, {"L", l}, {"C", c}};
    };
    const json rows = json::array({bar("2026-12-02", 2010.5, 2020.0, 2001.25, 2015.0),
        bar("2026-12-01", 2000.0, 2012.0, 1995.0, 2010.0), bar("2026-12-03", 2015.0, 2016.0, 2010.0, 0.0),
        bar("2026-12-04", 2015.0, 2010.0, 2012.0, 2011.0), bar("2026-12-07", "2015", 2016.0, 2010.0, 2011.0),
        bar("2026-12-08", 2015.0, 2016.0, 2010.0, nullptr)});
    const auto check = TopixHistory::check(rows, "2026-12-01", "2026-12-08");
    ASSERT_TRUE(check.ok) << check.fault;
    ASSERT_EQ(check.bars.size(), 2u);
    EXPECT_EQ(check.bars[0], (TopixHistory::Bar{"2026-12-01", 2000.0, 2012.0, 1995.0, 2010.0}));
    EXPECT_EQ(check.bars[1].date, "2026-12-02");
    EXPECT_EQ(
        check.putAside, (std::vector<std::string>{"2026-12-03", "2026-12-04", "2026-12-07", "2026-12-08"}));

    for (const auto& wrong : {json::array({bar("2026-11-30", 1, 1, 1, 1)}),
             json::array({bar("2026-12-01", 1, 1, 1, 1), bar("2026-12-01", 1, 1, 1, 1)}),
             json::array({bar("2026-12-32", 1, 1, 1, 1)}), json::array({json::array()}), json::object()}) {
        const auto refused = TopixHistory::check(wrong, "2026-12-01", "2026-12-08");
        EXPECT_FALSE(refused.ok) << wrong.dump();
        EXPECT_TRUE(refused.bars.empty());
        EXPECT_FALSE(refused.fault.empty());
    }

    test::TempFolder dir;
    core::Connection::Options create;
    create.create = true;
    auto db = core::Connection::open(dir / "prices.db", create);
    TopixHistory topix(*db);
    const std::vector<std::string> days = {"2026-12-01", "2026-12-02", "2026-12-03"};
    EXPECT_EQ(topix.firstMissing(days), "2026-12-01");
    topix.store(check.bars);
    EXPECT_EQ(topix.firstMissing(days), "2026-12-03");
    EXPECT_EQ(topix.firstMissing({"2026-12-01", "2026-12-02"}), "");
    EXPECT_EQ(topix.bars("2026-12-02", "2026-12-31"), (std::vector<TopixHistory::Bar>{check.bars[1]}));
}

// JPX's dividend notices: a correction replaces the notice it names, a deletion removes it with
// its corrections, and neither comes back when an older day is asked again. Only a decided
// dividend with a figure counts.
TEST(DividendHistory, CorrectionsReplaceDeletionsRemoveAndOnlyDecidedFiguresCount)
{
    auto notice
        = [](const std::string& ref, const std::string& stat, const std::string& target,
              const std::string& code, const std::string& ex, json rate, const std::string& fr = "1") {
              return json{{"RefNo", ref}, {"CARefNo", target}, {"StatCode", stat}, {"Code", code},
                  {"ExDate", ex}, {"RecDate", ex}, {"PayDate", ""}, {"PubDate", "2026-05-10"},
                  {"DivRate", rate}, {"IFCode", "2"}, {"FRCode", fr}, {"CommSpecCode", "0"}};
          };
    test::TempFolder dir;
    core::Connection::Options create;
    create.create = true;
    auto db = core::Connection::open(dir / "prices.db", create);
    DividendHistory history(*db);
    auto apply = [&history](const json& rows) {
        const auto check = DividendHistory::check(rows);
        ASSERT_TRUE(check.ok) << check.fault;
        history.apply(check.notices);
    };
    auto kept = [&history] {
        std::vector<std::string> out;
        for (const auto& d : history.dividends("2026-01-01", "2026-12-31")) {
            out.push_back(d.code + " " + d.exDate + " " + std::to_string(d.perShare) + " " + d.refNo);
        }
        return out;
    };
    apply(json::array({notice("A", "1", "", "1301", "2026-03-30", "25"),
        notice("B", "1", "", "13020", "2026-03-30", 10.5), notice("C", "1", "", "13030", "2026-09-29", "-"),
        notice("D", "1", "", "13040", "2026-09-29", "30", "2"),
        notice("E", "1", "", "13050", "2026-09-29", "12")}));
    EXPECT_EQ(kept(),
        (std::vector<std::string>{
            "13010 2026-03-30 25.000000 A", "13020 2026-03-30 10.500000 B", "13050 2026-09-29 12.000000 E"}));

    // A correction of A, then another; a deletion of B; a correction of the deleted B.
    apply(json::array({notice("A2", "2", "A", "1301", "2026-03-30", "27"),
        notice("A3", "2", "A", "1301", "2026-03-30", "28"), notice("B9", "3", "B", "1302", "", ""),
        notice("B2", "2", "B", "1302", "2026-03-30", "11")}));
    const std::vector<std::string> after = {"13010 2026-03-30 28.000000 A3", "13050 2026-09-29 12.000000 E"};
    EXPECT_EQ(kept(), after);
    // The first day asked again: nothing it held comes back.
    apply(json::array(
        {notice("A", "1", "", "1301", "2026-03-30", "25"), notice("B", "1", "", "13020", "2026-03-30", 10.5),
            notice("A2", "2", "A", "1301", "2026-03-30", "27")}));
    EXPECT_EQ(kept(), after);
    // A deletion of a corrected notice takes its corrections with it.
    apply(json::array({notice("A9", "3", "A", "1301", "", "")}));
    EXPECT_EQ(kept(), (std::vector<std::string>{"13050 2026-09-29 12.000000 E"}));
    EXPECT_EQ(history.dividends("2026-09-29", "2026-09-29").size(), 1u);
    EXPECT_TRUE(history.dividends("2026-09-30", "2026-12-31").empty());

    for (const auto& wrong : {json::array({notice("", "1", "", "1301", "2026-03-30", "1")}),
             json::array({notice("X", "1", "", "1301", "2026-03-30", "1"),
                 notice("X", "1", "", "1302", "2026-03-30", "1")}),
             json::array({notice("X", "4", "", "1301", "2026-03-30", "1")}),
             json::array({notice("X", "2", "", "1301", "2026-03-30", "1")}),
             json::array({notice("X", "1", "", "13!1", "2026-03-30", "1")}),
             json::array({notice("X", "1", "", "1301", "2026-02-30", "1")}), json::object()}) {
        const auto check = DividendHistory::check(wrong);
        EXPECT_FALSE(check.ok) << wrong.dump();
        EXPECT_TRUE(check.notices.empty());
    }
    DividendHistory::Notice negative;
    negative.frCode = "1";
    negative.divRate = "-5";
    EXPECT_FALSE(DividendHistory::perShare(negative));
}

namespace {

constexpr year_month_day kToday{2026y, December, 8d};

// The market of the past's cases: stocks 513 to 521 carry them.
std::unique_ptr<sample::SampleServer> pastServer(
    int days, const std::function<void(sample::JQuantsApi::Options&)>& api = {}, int stocks = 522)
{
    sample::SampleServer::Options options;
    options.market.stocks = stocks;
    options.market.days = days;
    options.market.today = kToday;
    options.jquants = true;
    if (api) {
        api(options.api);
    }
    auto server = std::make_unique<sample::SampleServer>(options);
    return server->start(0) > 0 ? std::move(server) : nullptr;
}

marketdata::JQuantsClient::Options clientAt(const std::string& url)
{
    marketdata::JQuantsClient::Options options;
    options.baseUrl = url;
    options.apiKey = "sample-key";
    options.requestsPerMinute = 0;
    options.rateLimitWait = milliseconds(20);
    options.serverErrorWait = milliseconds(10);
    return options;
}

std::string dashed(sys_days d)
{
    return core::Clock::dashed(year_month_day{d});
}

} // namespace

// Each case of the past on its own stock, as the API tells it: the bars, the lists of past days
// and the dividend notices.
TEST(SampleMarket, TheCasesOfThePastAreEachOnAStockOfTheirOwn)
{
    auto server = pastServer(300);
    ASSERT_TRUE(server);
    const auto& market = server->market();
    const auto& calendar = market.tradingDays();
    const auto& stocks = market.stocks();
    marketdata::JQuantsClient client(clientAt(server->apiBaseUrl()));
    auto get = [&client](const std::string& path, const std::map<std::string, std::string>& query) {
        auto rows = client.getAll(path, query);
        EXPECT_TRUE(rows) << path << ": " << client.lastFailure().message;
        return rows.value_or(json::array());
    };
    auto listed = [&](std::size_t s, sys_days day) -> json {
        for (const auto& r : get("/equities/master", {{"date", dashed(day)}})) {
            if (r["Code"] == stocks[s].code + "0") {
                return r;
            }
        }
        return nullptr;
    };
    auto bars = [&](std::size_t s) { return get("/equities/bars/daily", {{"code", stocks[s].code + "0"}}); };
    const auto total = static_cast<int>(calendar.size());
    const int middle = total / 2;
    auto day = [&calendar](int t) { return calendar[static_cast<std::size_t>(t)]; };

    // A fall to under half, its last bar in the middle, and off the list the day after.
    const auto fell = bars(513);
    ASSERT_EQ(fell.back()["Date"], dashed(day(middle)));
    EXPECT_LT(fell.back()["C"].get<double>(),
        0.45 * fell[static_cast<std::size_t>(middle - 120)]["C"].get<double>());
    EXPECT_FALSE(listed(513, day(middle)).is_null());
    EXPECT_TRUE(listed(513, day(middle + 1)).is_null());

    // A buy-out: 30 % up in a day, then flat near the price, then gone.
    const auto bought = bars(514);
    ASSERT_EQ(bought.size(), static_cast<std::size_t>(middle + 26));
    const auto& jump = bought[static_cast<std::size_t>(middle)];
    EXPECT_NEAR(
        jump["C"].get<double>() / bought[static_cast<std::size_t>(middle - 1)]["C"].get<double>(), 1.3, 0.01);
    for (std::size_t t = static_cast<std::size_t>(middle) + 1; t < bought.size(); ++t) {
        EXPECT_NEAR(bought[t]["C"].get<double>(), jump["C"].get<double>(), 2);
    }
    EXPECT_TRUE(listed(514, day(middle + 26)).is_null());

    // A move of market 100 days before the newest, and today's market names from the day they
    // were taken: the old ones before it.
    const auto renamed = market.marketsRenamedOn();
    ASSERT_TRUE(renamed);
    EXPECT_EQ(*renamed, day(total - 151));
    EXPECT_EQ(listed(515, day(total - 101))["MktNm"], "スタンダード");
    EXPECT_EQ(listed(515, day(total - 100))["Mkt"], "0111");
    std::set<std::string> before;
    std::set<std::string> after;
    for (const auto& r : get("/equities/master", {{"date", dashed(*renamed - days{1})}})) {
        before.insert(r["Mkt"].get<std::string>() + " " + r["MktNm"].get<std::string>());
    }
    for (const auto& r : get("/equities/master", {{"date", dashed(*renamed)}})) {
        after.insert(r["Mkt"].get<std::string>() + " " + r["MktNm"].get<std::string>());
    }
    EXPECT_EQ(before,
        (std::set<std::string>{
            "0101 東証一部", "0102 東証二部", "0104 マザーズ", "0106 JASDAQ スタンダード", "0109 その他"}));
    EXPECT_EQ(
        after, (std::set<std::string>{"0109 その他", "0111 プライム", "0112 スタンダード", "0113 グロース"}));

    // Listed again after 40 days away, under another name and at another price level.
    const auto& again = stocks[516];
    EXPECT_EQ(listed(516, day(again.gapFirst - 1))["CoName"], again.formerName);
    EXPECT_TRUE(listed(516, day(again.gapFirst)).is_null());
    EXPECT_TRUE(listed(516, day(again.gapLast)).is_null());
    EXPECT_EQ(listed(516, day(again.gapLast + 1))["CoName"], again.name);
    EXPECT_NE(again.name, again.formerName);
    const auto relisted = bars(516);
    ASSERT_EQ(relisted.size(), calendar.size() - 40);
    const double ratio = relisted[static_cast<std::size_t>(again.gapFirst)]["O"].get<double>()
        / relisted[static_cast<std::size_t>(again.gapFirst - 1)]["C"].get<double>();
    EXPECT_TRUE(ratio > 2 || ratio < 0.5) << ratio;

    // Days at the limits, each flagged where it reached one and no other.
    const auto limited = bars(517);
    int stuckUp = 0, closedUp = 0, stuckDown = 0, closedDown = 0, touched = 0, inRow = 0;
    for (std::size_t t = 1; t < limited.size(); ++t) {
        const auto& b = limited[t];
        const auto limits = core::PriceLimit::of(limited[t - 1]["C"].get<double>());
        const double o = b["O"], h = b["H"], l = b["L"], c = b["C"];
        EXPECT_EQ(b["UL"], h == limits.upper ? "1" : "0") << b.dump();
        EXPECT_EQ(b["LL"], l == limits.lower ? "1" : "0") << b.dump();
        const bool stuck = o == h && h == l && l == c;
        stuckUp += stuck && c == limits.upper;
        stuckDown += stuck && c == limits.lower;
        closedUp += !stuck && c == limits.upper;
        closedDown += !stuck && c == limits.lower;
        touched += h == limits.upper && c < limits.upper;
        inRow += stuck && t >= 2 && limited[t - 1]["O"] == limited[t - 1]["C"]
            && limited[t - 1]["UL"] == b["UL"];
    }
    EXPECT_EQ(std::vector<int>({stuckUp, closedUp, stuckDown, closedDown, touched, inRow}),
        std::vector<int>({2, 1, 2, 1, 1, 2}));

    // Dividends: forecast, decided, one corrected, one deleted; the bars fall by about them.
    const auto notices = get("/fins/dividend", {{"code", stocks[518].code}});
    ASSERT_FALSE(notices.empty());
    std::map<std::string, std::string> firstKind; // ex-date → FRCode of its first notice
    for (const auto& n : notices) {
        firstKind.emplace(n["ExDate"].get<std::string>(), n["FRCode"].get<std::string>());
    }
    EXPECT_EQ(firstKind.at("2026-09-29"), "2");
    EXPECT_TRUE(std::any_of(notices.begin(), notices.end(),
        [](const json& n) { return n["StatCode"] == "2" && n["CARefNo"] != n["RefNo"]; }));
    const auto deleted = get("/fins/dividend", {{"code", stocks[519].code}});
    // Each deletion names a special dividend sent in error before it.
    int deletions = 0;
    for (const auto& n : deleted) {
        if (n["StatCode"] == "3") {
            ++deletions;
            EXPECT_TRUE(std::any_of(deleted.begin(), deleted.end(), [&n](const json& m) {
                return m["RefNo"] == n["CARefNo"] && m["CommSpecCode"] == "2" && m["PubDate"] < n["PubDate"];
            }));
        }
    }
    EXPECT_GT(deletions, 0);
    double fallen = 0;
    double paid = 0;
    for (std::size_t s = 518; s <= 521; ++s) {
        const auto b = bars(s);
        for (const auto& d : stocks[s].dividends) {
            const auto at = std::find(calendar.begin(), calendar.end(), d.exDate);
            if (at == calendar.end()) {
                continue;
            }
            const auto t = static_cast<std::size_t>(at - calendar.begin());
            fallen += b[t - 1]["C"].get<double>() - b[t]["O"].get<double>();
            paid += d.perShare;
        }
    }
    EXPECT_NEAR(fallen / paid, 1.0, 0.5);
    // One day's notices, and none below Premium.
    const auto ofDay = get("/fins/dividend", {{"date", notices.front()["PubDate"].get<std::string>()}});
    EXPECT_TRUE(std::any_of(ofDay.begin(), ofDay.end(), [&](const json& n) { return n == notices.front(); }));
    auto light = pastServer(300, [](auto& api) { api.premium = false; });
    marketdata::JQuantsClient lightClient(clientAt(light->apiBaseUrl()));
    EXPECT_FALSE(lightClient.getAll("/fins/dividend", {{"code", stocks[518].code}}));
    EXPECT_EQ(lightClient.lastFailure().status, 403);
    EXPECT_FALSE(lightClient.getAll("/bulk/list", {{"endpoint", "/fins/dividend"}}));
    const auto masterFiles = lightClient.getAll("/bulk/list", {{"endpoint", "/equities/master"}});
    ASSERT_TRUE(masterFiles);
    EXPECT_GT(masterFiles->size(), 12u);
}

namespace {

marketdata::JQuantsRefresh::Result fillAt(const std::filesystem::path& dir, const std::string& url,
    const std::string& plan, int days, const marketdata::JQuantsRefresh::Progress& progress = {})
{
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    source.plan = plan;
    source.days = days;
    const core::FixedClock clock(kToday);
    marketdata::JQuantsRefresh refresh(dir, source, clientAt(url), clock);
    return refresh.run("", dir / "list.csv", progress);
}

// What a fill kept of the dividends: the notices, those gone and the notice days asked.
std::string keptDividends(const std::filesystem::path& dir)
{
    auto c = core::Connection::open(dir / marketdata::PriceStore::kFileName);
    std::string out;
    for (const char* sql :
        {"SELECT * FROM Table_Dividend ORDER BY RefNo", "SELECT * FROM Table_DividendGone ORDER BY RefNo",
            "SELECT * FROM Table_DividendDay ORDER BY DayDate"}) {
        out += std::string(sql) + "\n";
        for (auto rs = c->openRecordset(sql); !rs->isEof(); rs->moveNext()) {
            for (int i = 0; i < rs->columnCount(); ++i) {
                out += rs->field(i).toText() + "|";
            }
            out += "\n";
        }
    }
    return out;
}

} // namespace

// Premium: the notices of every day of the depth, from the files or a day at a time alike, a
// correction in force and a deletion gone; Light asks for none.
TEST(DividendFill, APremiumFillKeepsTheNoticesAsCorrectedAndALightOneAsksNone)
{
    auto files = pastServer(200);
    auto perDay = pastServer(200, [](auto& api) { api.bulkFiles = false; });
    ASSERT_TRUE(files && perDay);
    std::map<std::string, int> asked;
    test::FaultProxy proxy(perDay->apiBaseUrl(), [&asked](test::FaultProxy::Exchange& e) {
        if (e.path == "/fins/dividend") {
            ++asked[e.query["date"]];
        }
    });
    test::TempFolder a;
    test::TempFolder b;
    const auto byFiles = fillAt(a.path(), files->apiBaseUrl(), "premium", 160);
    ASSERT_TRUE(byFiles.ok) << byFiles.message;
    const auto byDays = fillAt(b.path(), proxy.url(), "premium", 160);
    ASSERT_TRUE(byDays.ok) << byDays.message;
    EXPECT_EQ(keptDividends(a.path()), keptDividends(b.path()));
    EXPECT_EQ(asked.size(), 161u); // the depth's days and the newest
    EXPECT_LT(byFiles.requests + 100, byDays.requests);

    const auto& stocks = files->market().stocks();
    auto db = core::Connection::open(a.path() / marketdata::PriceStore::kFileName);
    DividendHistory history(*db);
    std::map<std::string, std::vector<double>> paid;
    for (const auto& d : history.dividends("2026-04-01", "2026-12-31")) {
        paid[d.code + " " + d.exDate].push_back(d.perShare);
    }
    for (std::size_t s = 518; s <= 521; ++s) {
        SCOPED_TRACE(s);
        for (const auto& d : stocks[s].dividends) {
            const std::string ex = dashed(d.exDate);
            const auto key = stocks[s].code + "0 " + ex;
            const bool decided = ex == "2026-09-29" && s != 520;
            EXPECT_EQ(paid[key], decided ? std::vector<double>{d.perShare} : std::vector<double>{}) << key;
        }
    }
    // The late one's forecast is all there is of its last ex-date.
    const auto waiting = history.undecided("2026-09-01", "2026-10-31");
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].code, stocks[520].code + "0");

    asked.clear();
    test::TempFolder c;
    const auto light = fillAt(c.path(), proxy.url(), "light", 160);
    ASSERT_TRUE(light.ok) << light.message;
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(light.dividendDaysFetched, 0);
}

// A stop keeps the days asked, and the fill that goes on asks none of them again; an answer
// refused whole stores nothing of its day, an impossible figure is put aside and named.
TEST(DividendFill, AStoppedFillAsksNoKeptDayAgainAndABadAnswerStoresNothing)
{
    auto server = pastServer(200, [](auto& api) { api.bulkFiles = false; });
    ASSERT_TRUE(server);
    std::map<std::string, int> asked;
    std::function<void(json&)> spoil;
    const std::string spoiltDay = "2026-11-13";
    test::FaultProxy proxy(server->apiBaseUrl(), [&](test::FaultProxy::Exchange& e) {
        if (e.path != "/fins/dividend") {
            return;
        }
        ++asked[e.query["date"]];
        if (spoil && e.query["date"] == spoiltDay) {
            auto body = json::parse(e.body);
            spoil(body["data"]);
            e.body = body.dump();
        }
    });
    test::TempFolder dir;
    const auto stopped = fillAt(dir.path(), proxy.url(), "premium", 60,
        [](const marketdata::JQuantsRefresh::Step& step) { return step.dividendsDone < 30; });
    EXPECT_TRUE(stopped.cancelled);
    {
        auto db = core::Connection::open(dir.path() / marketdata::PriceStore::kFileName);
        EXPECT_EQ(DividendHistory(*db).askedDays().size(), 29u); // the newest is asked again
    }
    const auto resumed = fillAt(dir.path(), proxy.url(), "premium", 60);
    ASSERT_TRUE(resumed.ok) << resumed.message;
    EXPECT_EQ(asked.size(), 61u);
    for (const auto& [day, times] : asked) {
        EXPECT_EQ(times, day == "2026-12-08" ? 2 : 1) << day;
    }
    test::TempFolder clean;
    ASSERT_TRUE(fillAt(clean.path(), server->apiBaseUrl(), "premium", 60).ok);
    EXPECT_EQ(keptDividends(dir.path()), keptDividends(clean.path()));

    const std::vector<std::pair<std::function<void(json&)>, std::string>> refused = {
        {[](json& rows) { rows[1]["RefNo"] = rows[0]["RefNo"]; }, "RefNo"},
        {[](json& rows) { rows[0]["ExDate"] = "2026-02-30"; }, "日付"},
    };
    for (const auto& [how, why] : refused) {
        spoil = how;
        test::TempFolder bad;
        const auto r = fillAt(bad.path(), proxy.url(), "premium", 60);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find(why), std::string::npos) << r.message;
        auto db = core::Connection::open(bad.path() / marketdata::PriceStore::kFileName);
        DividendHistory history(*db);
        const auto days = history.askedDays();
        EXPECT_EQ(std::count(days.begin(), days.end(), spoiltDay), 0);
        EXPECT_EQ(db->openRecordset("SELECT * FROM Table_Dividend WHERE PubDate = '" + spoiltDay + "'")
                      ->recordCount(),
            0);
    }
    // A negative figure and an ex-date on a Sunday: put aside, counted, the rest of the day kept.
    std::vector<std::string> putAside;
    spoil = [&putAside](json& rows) {
        rows[0]["DivRate"] = -5;
        rows[1]["ExDate"] = "2026-09-27";
        putAside = {rows[0]["RefNo"], rows[1]["RefNo"]};
    };
    test::TempFolder aside;
    const auto r = fillAt(aside.path(), proxy.url(), "premium", 60);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_NE(std::find(r.notes.begin(), r.notes.end(),
                  spoiltDay
                      + " の配当: ありえない 2 件（負か終値を超える額 1 件、取引日でない権利落日 1 "
                        "件）を除きました"),
        r.notes.end());
    auto db = core::Connection::open(aside.path() / marketdata::PriceStore::kFileName);
    ASSERT_EQ(putAside.size(), 2u);
    for (const auto& refNo : putAside) {
        EXPECT_EQ(
            db->openRecordset("SELECT * FROM Table_Dividend WHERE RefNo = '" + refNo + "'")->recordCount(),
            0);
    }
    EXPECT_GT(
        db->openRecordset("SELECT * FROM Table_Dividend WHERE PubDate = '" + spoiltDay + "'")->recordCount(),
        0);
    EXPECT_EQ(DividendHistory(*db).askedDays().size(), 60u);
}
