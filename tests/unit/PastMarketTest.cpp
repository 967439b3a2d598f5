#include "TestSupport.h"
#include "core/Connection.h"
#include "marketdata/jquants/DividendHistory.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/TopixHistory.h"

#include <gtest/gtest.h>

using namespace zuvemo;
using marketdata::DividendHistory;
using marketdata::ListingHistory;
using marketdata::TopixHistory;
using nlohmann::json;

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
