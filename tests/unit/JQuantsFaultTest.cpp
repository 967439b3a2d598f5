// A J-Quants folder behind a proxy that spoils the sample server's answers: no answer, however
// wrong, leaves a wrong price stored, and the key never leaves the program.
#include "FaultProxy.h"
#include "SampleServer.h"
#include "TestSupport.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Platform.h"
#include "core/Recordset.h"
#include "marketdata/jquants/ApiKey.h"
#include "marketdata/jquants/JQuantsAnswer.h"
#include "marketdata/jquants/JQuantsClient.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/SecretStore.h"
#include "marketdata/jquants/StoreDownloader.h"

#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zuvemo;
using namespace std::chrono;
using marketdata::JQuantsClient;
using marketdata::JQuantsRefresh;
using nlohmann::json;
using Exchange = test::FaultProxy::Exchange;

namespace {

constexpr year_month_day kToday{2026y, December, 8d};
const std::string kDay = "2026-12-08";
const std::string kDayBefore = "2026-12-07";

// The tool runs on the machine's clock: its market ends today, the library's on kToday.
std::unique_ptr<sample::SampleServer> sampleServer(int stocks = 60, int days = 40,
    year_month_day today = kToday, const std::function<void(sample::JQuantsApi::Options&)>& api = {})
{
    sample::SampleServer::Options options;
    options.market.stocks = stocks;
    options.market.days = days;
    options.market.today = today;
    options.jquants = true;
    if (api) {
        api(options.api);
    }
    auto server = std::make_unique<sample::SampleServer>(options);
    return server->start(0) > 0 ? std::move(server) : nullptr;
}

JQuantsClient::Options through(const test::FaultProxy& proxy, const std::string& key = "sample-key")
{
    JQuantsClient::Options options;
    options.baseUrl = proxy.url();
    options.apiKey = key;
    options.requestsPerMinute = 0;
    options.rateLimitWait = milliseconds(20);
    options.serverErrorWait = milliseconds(10);
    return options;
}

JQuantsRefresh::Result refresh(const std::filesystem::path& dir, const test::FaultProxy& proxy,
    const std::string& held = {}, int days = 30)
{
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    source.days = days;
    const core::FixedClock clock(kToday);
    return JQuantsRefresh(dir, source, through(proxy), clock).run(held, dir / "list.csv");
}

bool isDay(const Exchange& e, const std::string& day)
{
    return e.path == "/equities/bars/daily" && e.query.count("date") && e.query.at("date") == day;
}

// The plan reads up to the day before: the 400 a real key outside its window gets.
void windowBeforeToday(Exchange& e)
{
    if ((e.query.count("date") && e.query.at("date") > kDayBefore)
        || (e.query.count("to") && e.query.at("to") > kDayBefore && e.path != "/markets/calendar")) {
        e.status = 400;
        e.body
            = R"({"message":"Your subscription covers the following dates: 2024-12-08 ~ 2026-12-07. If you want more data, please check other plans:"})";
    }
}

void editRows(Exchange& e, const std::function<void(json& rows)>& edit)
{
    auto body = json::parse(e.body);
    edit(body["data"]);
    e.body = body.dump();
}

// A stock's stored history up to a day, as the screening reads it.
std::string stored(const std::filesystem::path& dir, const std::string& code, const std::string& upTo = {})
{
    marketdata::PriceStore store(dir);
    return marketdata::StoreDownloader::historyFile(code, store, 30, upTo);
}

} // namespace

TEST(JQuantsFaults, ADayIsTakenWholeOrNotAtAll)
{
    auto server = sampleServer();
    ASSERT_TRUE(server);
    test::FaultProxy proxy(server->apiBaseUrl(), windowBeforeToday);
    test::TempFolder dir;
    auto first = refresh(dir.path(), proxy);
    ASSERT_TRUE(first.ok) << first.message;
    ASSERT_EQ(first.tradingDate, kDayBefore);
    const std::string before = stored(dir.path(), "1300");
    ASSERT_FALSE(before.empty());

    struct Spoil
    {
        const char* fault;
        std::function<void(json&)> edit;
    };
    const std::vector<Spoil> spoils
        = {{"日付が違う行があります: \"2026/12/08\"", [](json& rows) { rows[3]["Date"] = "2026/12/08"; }},
            {"日付が違う行があります: \"20261208\"", [](json& rows) { rows[0]["Date"] = "20261208"; }},
            {"日付が違う行があります: \"2026-12-08T00:00:00\"",
                [](json& rows) { rows[9]["Date"] = "2026-12-08T00:00:00"; }},
            // The day before, sent as today's: it must not overwrite the day stored.
            {"日付が違う行があります: \"2026-12-07\"",
                [](json& rows) {
                    for (auto& row : rows) {
                        row["Date"] = kDayBefore;
                        row["C"] = 1.0;
                    }
                }},
            {"数値でない C があります: \"1234\"", [](json& rows) { rows[5]["C"] = "1234"; }},
            {"同じ銘柄が 2 度あります", [](json& rows) { rows.push_back(rows[0]); }},
            {"行がオブジェクトではありません",
                [](json& rows) {
                    rows = json::array({nullptr, nullptr});
                }},
            {"取引のある銘柄がありません",
                [](json& rows) {
                    for (auto& row : rows) {
                        for (const char* k : {"O", "H", "L", "C"}) {
                            row[k] = nullptr;
                        }
                    }
                }},
            {"値が正しくない行が 1 割を超えます", [](json& rows) {
                 for (std::size_t i = 0; i < 7; ++i) {
                     rows[i * 3]["C"] = -475.0;
                 }
             }}};
    for (const auto& spoil : spoils) {
        proxy.setRewrite([&spoil](Exchange& e) {
            if (isDay(e, kDay)) {
                editRows(e, spoil.edit);
            }
        });
        auto r = refresh(dir.path(), proxy, first.tradingDate);
        EXPECT_FALSE(r.ok) << spoil.fault;
        EXPECT_NE(r.message.find(kDay + " の株価"), std::string::npos) << r.message;
        EXPECT_NE(r.message.find(spoil.fault), std::string::npos) << r.message;
        marketdata::PriceStore store(dir.path());
        EXPECT_FALSE(store.hasDay(kDay)) << spoil.fault;
        EXPECT_EQ(stored(dir.path(), "1300"), before) << spoil.fault;
    }

    // A body that is no answer at all, and one too large to parse in memory.
    for (const std::string& body : {std::string(R"({"data": {"Date": "2026-12-08"}})"),
             R"({"data": [)" + std::string(65 * 1024 * 1024, ' ') + "]}"}) {
        proxy.setRewrite([&body](Exchange& e) {
            if (isDay(e, kDay)) {
                e.body = body;
            }
        });
        auto r = refresh(dir.path(), proxy, first.tradingDate);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find(kDay), std::string::npos) << r.message;
        EXPECT_FALSE(marketdata::PriceStore(dir.path()).hasDay(kDay));
    }

    // The answer mended: the day is fetched, since it was never marked stored.
    proxy.setRewrite({});
    auto mended = refresh(dir.path(), proxy, first.tradingDate);
    ASSERT_TRUE(mended.ok) << mended.message;
    EXPECT_EQ(mended.tradingDate, kDay);
    EXPECT_TRUE(marketdata::PriceStore(dir.path()).hasDay(kDay));
}

TEST(JQuantsFaults, ImpossibleValuesAreLeftOutAsDaysWithoutATradeAndNamed)
{
    EXPECT_TRUE(marketdata::JQuantsAnswer::possible(json{{"O", 100.0}, {"H", 110.0}, {"L", 95.0},
        {"C", 105.0}, {"Vo", 1000.0}, {"Va", 1e5}, {"AdjFactor", 1.0}, {"AdjO", 100.0}, {"AdjH", 110.0},
        {"AdjL", 95.0}, {"AdjC", 105.0}, {"AdjVo", 1000.0}}));
    EXPECT_TRUE(marketdata::JQuantsAnswer::possible(
        json{{"O", nullptr}, {"H", nullptr}, {"L", nullptr}, {"C", nullptr}, {"AdjFactor", 0.5}}));

    auto server = sampleServer();
    ASSERT_TRUE(server);
    std::vector<std::string> spoiled;
    test::FaultProxy proxy(server->apiBaseUrl(), [&spoiled](Exchange& e) {
        if (!isDay(e, kDay)) {
            return;
        }
        editRows(e, [&spoiled](json& rows) {
            std::vector<json*> traded;
            for (auto& row : rows) {
                if (!row["C"].is_null() && traded.size() < 5) {
                    traded.push_back(&row);
                }
            }
            (*traded[0])["C"] = -475.0;
            (*traded[1])["H"] = 1e308;
            (*traded[2])["Vo"] = 1.2e19;
            (*traded[3])["L"] = (*traded[3])["H"].get<double>() + 10; // low above high
            (*traded[4])["AdjFactor"] = 0.0;
            spoiled.clear();
            for (auto* row : traded) {
                spoiled.push_back(marketdata::PriceStore::listCode((*row)["Code"].get<std::string>()));
            }
        });
    });
    test::TempFolder dir;
    auto r = refresh(dir.path(), proxy);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find(kDay + ": 値が正しくない 5 銘柄を取引なしとしました"), std::string::npos)
        << r.notes[0];
    marketdata::PriceStore store(dir.path());
    for (const auto& code : spoiled) {
        EXPECT_NE(r.notes[0].find(code), std::string::npos) << code;
        const auto days = store.history(code + "0", 1);
        ASSERT_EQ(days.size(), 1u) << code;
        EXPECT_EQ(days[0].date, kDay);
        EXPECT_FALSE(days[0].traded) << code;
        // Listed as a stock without a trade, which the list's import leaves out.
        const auto list = test::readFile(dir / "list.csv");
        const auto line = list.find("\r\n" + code + ",");
        ASSERT_NE(line, std::string::npos) << code;
        EXPECT_EQ(list.substr(list.find("\r\n", line + 2) - 12, 12), ",-,-,-,-,-,-") << code;
    }
    // The tool names them on standard error and in the day's journal record.
    auto live = sampleServer(60, 40, core::Clock().today());
    ASSERT_TRUE(live);
    const std::string latest = core::Clock::dashed(year_month_day{live->market().latestTradingDay()});
    test::FaultProxy liveProxy(live->apiBaseUrl(), [&latest](Exchange& e) {
        if (isDay(e, latest)) {
            editRows(e, [](json& rows) {
                for (auto& row : rows) {
                    if (!row["C"].is_null()) {
                        row["C"] = 1e9;
                        break;
                    }
                }
            });
        }
    });
    const std::string cli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(dir / "home");
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + liveProxy.url()
                  + " --plan premium --days 20 >/dev/null 2>&1"),
        0);
    std::string out;
    test::runCommand(cli + " daily --json 2>&1", &out);
    EXPECT_NE(out.find(latest + ": 値が正しくない 1 銘柄を取引なしとしました"), std::string::npos) << out;
    EXPECT_NE(core::Connection::open(dir / "home" / "zuvemo.db")
                  ->openRecordset("SELECT * FROM Table_Journal WHERE Message LIKE '%値が正しくない 1 銘柄%'")
                  ->recordCount(),
        0);

    // Every value stored is one a market could print.
    core::Connection::Options readOnly;
    auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName, readOnly);
    EXPECT_EQ(db->openRecordset("SELECT * FROM Table_Bar WHERE C <= 0 OR C > 1e8 OR Vo > 1e15 OR L > H"
                                " OR AdjFactor <= 0")
                  ->recordCount(),
        0);
}

TEST(JQuantsFaults, TheStoreNeverRunsAheadOfTheListAndASplitIsNeverLost)
{
    // Stock index 21 splits on 2026-12-04. Before that day is readable, its earlier days are
    // not adjusted; once it is, they are halved.
    auto full = sampleServer(60, 40);
    ASSERT_TRUE(full);
    const auto& days = full->market().tradingDays();
    sample::SampleServer::Options early;
    early.market.stocks = 60;
    early.market.days = 40;
    early.market.today = kToday;
    early.jquants = true;
    early.api.windowFrom = days.front();
    early.api.windowTo = days[days.size() - 4];
    sample::SampleServer before(early);
    ASSERT_GT(before.start(0), 0);
    const std::string splitCode = full->market().stocks()[21].code;

    bool failMaster = false;
    bool failRefetch = false;
    test::FaultProxy proxy(before.apiBaseUrl(), [&](Exchange& e) {
        if (failMaster && e.path == "/equities/master") {
            e.status = 200;
            e.body = "<html>maintenance</html>";
        }
        if (failRefetch && e.query.count("code")) {
            e.status = 500;
            e.body = "{}";
        }
    });
    test::TempFolder dir;
    auto first = refresh(dir.path(), proxy);
    ASSERT_TRUE(first.ok) << first.message;
    ASSERT_EQ(first.tradingDate, "2026-12-03");
    const std::string unadjusted = stored(dir.path(), splitCode);

    // The newest day is stored, then its list fails: the histories stay on the list's day.
    proxy.setUpstream(full->apiBaseUrl());
    failMaster = true;
    auto second = refresh(dir.path(), proxy, first.tradingDate);
    EXPECT_FALSE(second.ok);
    EXPECT_NE(second.message.find(kDay + " の銘柄一覧"), std::string::npos) << second.message;
    EXPECT_TRUE(marketdata::PriceStore(dir.path()).hasDay(kDay));
    const std::string held = stored(dir.path(), "1300", first.tradingDate);
    EXPECT_EQ(held.find(kDay), std::string::npos);
    EXPECT_NE(held.find("2026-12-03"), std::string::npos);
    // The split day is older than the day stored, and not fetched yet.
    EXPECT_TRUE(marketdata::PriceStore(dir.path()).pendingRefetches().empty());

    // The list comes and the split day with it; the refetch fails: still pending, a failure.
    failMaster = false;
    failRefetch = true;
    auto third = refresh(dir.path(), proxy, first.tradingDate);
    EXPECT_FALSE(third.ok);
    EXPECT_TRUE(third.listWritten);
    EXPECT_NE(third.message.find(splitCode + " の分割後の履歴"), std::string::npos) << third.message;
    EXPECT_EQ(marketdata::PriceStore(dir.path()).pendingRefetches().size(), 1u);

    // The next refresh does what is pending first: the split stock is on one basis again.
    failRefetch = false;
    auto fourth = refresh(dir.path(), proxy, kDay);
    ASSERT_TRUE(fourth.ok) << fourth.message;
    EXPECT_EQ(fourth.stocksRefetched, 1);
    EXPECT_TRUE(marketdata::PriceStore(dir.path()).pendingRefetches().empty());
    test::TempFolder clean;
    test::FaultProxy plain(full->apiBaseUrl(), {});
    ASSERT_TRUE(refresh(clean.path(), plain).ok);
    EXPECT_NE(stored(dir.path(), splitCode), unadjusted);
    EXPECT_EQ(stored(dir.path(), splitCode), stored(clean.path(), splitCode));
    EXPECT_EQ(stored(dir.path(), "1300"), stored(clean.path(), "1300"));

    // The tool loads the day's list before the older days: a first fill that stops at one of
    // them leaves the list held, to find stocks in from what is stored.
    auto now = sampleServer(60, 40, core::Clock().today(), [](auto& api) { api.bulkFiles = false; });
    ASSERT_TRUE(now);
    const auto& nowDays = now->market().tradingDays();
    const std::string older = core::Clock::dashed(year_month_day{nowDays[nowDays.size() - 5]});
    test::FaultProxy failing(now->apiBaseUrl(), [&older](Exchange& e) {
        if (isDay(e, older)) {
            e.body = R"({"data":[]})";
        }
    });
    test::TempFolder cliDir;
    const std::string cli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(cliDir / "home");
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + failing.url()
                  + " --plan premium --days 30 >/dev/null 2>&1"),
        0);
    std::string out;
    EXPECT_EQ(test::runCommand(cli + " refresh 2>&1", &out), 1) << out;
    EXPECT_NE(out.find(older + " の株価"), std::string::npos) << out;
    EXPECT_EQ(test::runCommand(cli + " find 2>&1", &out), 0) << out;
    EXPECT_EQ(out.find("銘柄一覧がありません"), std::string::npos) << out;
    EXPECT_GT(core::Connection::open(cliDir / "home" / "zuvemo.db")
                  ->openRecordset(" SELECT * FROM Table_Code")
                  ->recordCount(),
        50);
}

TEST(JQuantsFaults, OnlyThePlansWindowEndsAFillAndPagesAndMastersAreChecked)
{
    auto server = sampleServer(60, 40);
    ASSERT_TRUE(server);
    // A stray 400 on an older day of the first fill: a failure, the fill left pending.
    test::FaultProxy proxy(server->apiBaseUrl(), [](Exchange& e) {
        if (isDay(e, "2026-11-10")) {
            e.status = 400;
            e.body = R"({"message":"date is invalid."})";
        }
    });
    test::TempFolder dir;
    auto r = refresh(dir.path(), proxy);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("date is invalid."), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("2026-11-10 の株価"), std::string::npos) << r.message;
    {
        marketdata::PriceStore store(dir.path());
        EXPECT_TRUE(store.fillPending());
        EXPECT_FALSE(store.hasDay("2026-11-10"));
    }
    proxy.setRewrite({});
    ASSERT_TRUE(refresh(dir.path(), proxy, r.tradingDate).ok);
    EXPECT_FALSE(marketdata::PriceStore(dir.path()).fillPending());

    // A stock the master does not name is left out of the list and counted; a master record
    // without a name is no master.
    std::string dropped;
    proxy.setRewrite([&dropped](Exchange& e) {
        if (e.path == "/equities/master") {
            editRows(e, [&dropped](json& rows) {
                dropped = rows[4]["Code"].get<std::string>();
                rows.erase(4);
            });
        }
    });
    test::TempFolder second;
    r = refresh(second.path(), proxy);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_EQ(r.notes[0], kDay + ": 銘柄一覧にない 1 銘柄を除きました");
    EXPECT_EQ(
        test::readFile(second / "list.csv").find("\r\n" + marketdata::PriceStore::listCode(dropped) + ","),
        std::string::npos);
    proxy.setRewrite([](Exchange& e) {
        if (e.path == "/equities/master") {
            editRows(e, [](json& rows) { rows[2].erase("CoName"); });
        }
    });
    test::TempFolder third;
    r = refresh(third.path(), proxy);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("銘柄コード・銘柄名・市場のない銘柄があります"), std::string::npos) << r.message;

    // A page key that comes back: refused at once, not paged for ever.
    proxy.setRewrite([](Exchange& e) {
        e.status = 200;
        e.body = json{{"data", json::array({json{{"Code", "13000"}}})}, {"pagination_key", "again"}}.dump();
    });
    JQuantsClient client(through(proxy));
    const int before = proxy.requests();
    EXPECT_FALSE(client.getAll("/equities/master", {}));
    EXPECT_EQ(client.lastFailure().message, JQuantsClient::kEndlessPagesMessage);
    EXPECT_EQ(proxy.requests() - before, 2);
    // Keys that never repeat still end.
    int page = 0;
    proxy.setRewrite([&page](Exchange& e) {
        e.status = 200;
        e.body = json{{"data", json::array({json{{"Code", "13000"}}})},
            {"pagination_key", "k" + std::to_string(page++)}}
                     .dump();
    });
    EXPECT_FALSE(client.getAll("/equities/master", {}));
    EXPECT_EQ(client.lastFailure().message, JQuantsClient::kEndlessPagesMessage);
    EXPECT_LE(page, 100);
}

TEST(JQuantsFaults, TheKeyIsNeverEchoedNorSentWithAControlCharacter)
{
    const std::string key = "sample-key";
    auto server = sampleServer(20, 30, core::Clock().today());
    ASSERT_TRUE(server);
    test::FaultProxy proxy(server->apiBaseUrl(), [&key](Exchange& e) {
        if (e.path == "/equities/master") {
            e.status = 400;
            e.body = json{{"message", "bad request for key " + key + std::string(400, 'x')}}.dump();
        }
    });
    // The client's words for the user: the key replaced, cut to 200 characters.
    EXPECT_EQ(JQuantsClient::cleanServerText("a sample-key b\nsample-key", key), "a **** b ****");
    EXPECT_EQ(JQuantsClient::cleanServerText(std::string(300, 'y'), key), std::string(200, 'y') + "…");
    EXPECT_EQ(JQuantsClient::cleanServerText(std::string(250, 'y') + "日本", key).size(), 200u + 3);

    test::TempFolder dir;
    const std::string env = "HOME=" + (dir / "user").string() + " JQUANTS_API_KEY=" + key + " ";
    const std::string cli = env + test::cliCommand(dir / "home");
    std::string out;
    ASSERT_EQ(
        test::runCommand(
            cli + " init --source jquants --api-url " + proxy.url() + " --plan premium --days 20 2>&1", &out),
        0)
        << out;
    EXPECT_EQ(test::runCommand(cli + " refresh 2>&1", &out), 1);
    EXPECT_NE(out.find("bad request for key ****"), std::string::npos) << out;
    EXPECT_EQ(out.find(key), std::string::npos) << out;
    EXPECT_EQ(test::runCommand(cli + " daily --json 2>&1", &out), 1);
    EXPECT_EQ(out.find(key), std::string::npos) << out;
    auto db = core::Connection::open(dir / "home" / "zuvemo.db");
    const auto journal = db->openRecordset("SELECT * FROM Table_Journal");
    ASSERT_FALSE(journal->isEof());
    EXPECT_EQ(test::readFile(dir / "home" / "zuvemo.db").find(key), std::string::npos);

    // A key with a line break would add a header of its own: refused from every place.
    const std::string injected = "sample-key\nX-Injected: yes";
    const std::string home = core::Platform::environment("HOME").value_or("/root");
    ::setenv("HOME", (dir / "user").c_str(), 1);
    ::setenv("JQUANTS_API_KEY", injected.c_str(), 1);
    std::string problem;
    EXPECT_FALSE(marketdata::ApiKey::read(nullptr, &problem));
    EXPECT_EQ(problem, "APIキーの形式が正しくありません。");
    ::unsetenv("JQUANTS_API_KEY");
    struct Ring : marketdata::SecretStore
    {
        Status read(std::string& secret) override
        {
            secret = "sample-key\tX";
            return Status::Found;
        }
        bool write(const std::string&) override { return false; }
        bool remove() override { return false; }
    };
    marketdata::ApiKey::setKeyring(std::make_shared<Ring>());
    EXPECT_FALSE(marketdata::ApiKey::read(nullptr, &problem));
    EXPECT_EQ(problem, "APIキーの形式が正しくありません。");
    marketdata::ApiKey::setKeyring(nullptr);
    std::filesystem::create_directories(dir / "user" / ".jquants-api");
    test::writeFile(marketdata::ApiKey::file(), "[jquants-api-client]\napi_key = \"sample-key\x01\"\n");
    EXPECT_FALSE(marketdata::ApiKey::read(nullptr, &problem));
    EXPECT_EQ(problem, "APIキーの形式が正しくありません。");
    ::setenv("HOME", home.c_str(), 1);
    const std::string withBreak = "JQUANTS_API_KEY=\"$(printf 'sample-key\\nX-Injected: yes')\" ";
    EXPECT_EQ(test::runCommand(withBreak + "HOME=" + (dir / "user").string() + " "
                      + test::cliCommand(dir / "home") + " refresh 2>&1",
                  &out),
        2);
    EXPECT_EQ(out, "APIキーの形式が正しくありません。\n");
    // Nor does the client send one it is handed.
    JQuantsClient client(through(proxy, injected));
    const int before = proxy.requests();
    EXPECT_FALSE(client.getAll("/markets/calendar", {}));
    EXPECT_EQ(client.lastFailure().message, "APIキーの形式が正しくありません。");
    EXPECT_EQ(proxy.requests(), before);
}

TEST(JQuantsFaults, AKeyFileOthersMayReadIsNamedAndStillWorks)
{
    auto server = sampleServer(20, 30, core::Clock().today());
    ASSERT_TRUE(server);
    test::TempFolder dir;
    const std::string env = "env -u JQUANTS_API_KEY HOME=" + (dir / "user").string() + " ";
    const std::string cli = env + test::cliCommand(dir / "home");
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + server->apiBaseUrl()
                  + " --plan premium --days 20 >/dev/null 2>&1"),
        0);
    const auto keyDir = dir / "user" / ".jquants-api";
    std::filesystem::create_directories(keyDir);
    test::writeFile(dir / "shared.toml", "[jquants-api-client]\napi_key = \"sample-key\"\n");
    std::filesystem::permissions(dir / "shared.toml", std::filesystem::perms(0644));
    std::filesystem::create_symlink(dir / "shared.toml", keyDir / "jquants-api.toml");
    std::string out;
    EXPECT_EQ(test::runCommand(cli + " refresh 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("は他のユーザーも読めます"), std::string::npos) << out;
    EXPECT_NE(out.find((keyDir / "jquants-api.toml").string()), std::string::npos) << out;
    std::filesystem::permissions(dir / "shared.toml", std::filesystem::perms(0600));
    EXPECT_EQ(test::runCommand(cli + " refresh 2>&1", &out), 0) << out;
    EXPECT_EQ(out.find("他のユーザー"), std::string::npos) << out;
}

TEST(JQuantsFaults, StallsAndDripsEndWithinTwiceTheTimeOut)
{
    // Each connection stalls, or sends one byte every half second, until the client leaves.
    auto untilClosed = [](int socket, bool drip) {
        const auto end = steady_clock::now() + seconds(30);
        if (drip) {
            test::RawHttpServer::sendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n{");
        }
        while (steady_clock::now() < end) {
            pollfd p{socket, POLLIN, 0};
            if (::poll(&p, 1, 500) > 0) {
                char c;
                if (::recv(socket, &c, 1, MSG_DONTWAIT) <= 0) {
                    return;
                }
            }
            if (drip && !test::RawHttpServer::sendAll(socket, " ")) {
                return;
            }
        }
    };
    test::TempFolder dir;
    const std::string cli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(dir / "home");
    ASSERT_EQ(
        test::runCommand(cli + " init --source jquants --api-url http://127.0.0.1:1/v2 >/dev/null 2>&1"), 0);
    for (bool drip : {false, true}) {
        test::RawHttpServer server([&](int socket) { untilClosed(socket, drip); });
        ASSERT_EQ(
            test::runCommand(cli + " source set jquants --api-url " + server.url("/v2") + " >/dev/null"), 0);
        const auto start = steady_clock::now();
        std::string out;
        EXPECT_EQ(test::runCommand(cli + " refresh --timeout 3 2>&1", &out), 1) << out;
        const auto took = duration_cast<seconds>(steady_clock::now() - start).count();
        EXPECT_LE(took, 2 * 3 + 15) << (drip ? "drip" : "stall");
        EXPECT_NE(out.find("J-Quants API から応答がありません。"), std::string::npos) << out;
    }
}

TEST(JQuantsFaults, MessagesSayWhatIsWrongAndNoCoreFileHoldsTheKey)
{
    auto server = sampleServer(20, 30, core::Clock().today());
    ASSERT_TRUE(server);
    test::FaultProxy proxy(server->apiBaseUrl(), [](Exchange& e) {
        e.status = 401;
        e.body = R"({"message":"Unauthorized"})";
    });
    JQuantsClient client(through(proxy));
    EXPECT_FALSE(client.getAll("/markets/calendar", {}));
    EXPECT_EQ(client.lastFailure().message, JQuantsClient::kForbiddenMessage);

    test::TempFolder dir;
    const std::string cli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(dir / "home");
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + server->apiBaseUrl()
                  + " --plan premium --days 20 >/dev/null 2>&1"),
        0);
    ASSERT_EQ(test::runCommand(cli + " refresh >/dev/null 2>&1"), 0);
    const auto store = dir / "home" / marketdata::PriceStore::kFileName;
    // An empty store (or another program's file) has no price data yet.
    std::filesystem::remove(store);
    std::filesystem::remove(dir / "home" / "zuvemo-prices.db-wal");
    std::filesystem::remove(dir / "home" / "zuvemo-prices.db-shm");
    std::string out;
    EXPECT_EQ(test::runCommand(cli + " screen 2>&1", &out), 1);
    EXPECT_NE(out.find(marketdata::PriceStore::kNoDataMessage), std::string::npos) << out;
    // A damaged one is named, with the way to rebuild it.
    test::writeFile(store, std::string(8192, 'z'));
    EXPECT_EQ(test::runCommand(cli + " screen 2>&1", &out), 1);
    EXPECT_NE(out.find("価格データのファイル(" + store.string() + ")が壊れています。"), std::string::npos)
        << out;
    EXPECT_NE(out.find("このファイルを削除してから取得し直す"), std::string::npos) << out;
    std::filesystem::remove(store);
    ASSERT_EQ(test::runCommand(cli + " refresh >/dev/null 2>&1"), 0);

    // Core files are off in the tool before any key is read.
    const pid_t child = ::fork();
    if (child == 0) {
        const bool off = core::Platform::disableCoreDumps() && core::Platform::coreDumpsDisabled();
        ::_exit(off ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    test::RawHttpServer stalled([](int) { std::this_thread::sleep_for(seconds(2)); });
    ASSERT_EQ(
        test::runCommand(cli + " source set jquants --api-url " + stalled.url("/v2") + " >/dev/null"), 0);
    test::runCommand("(ulimit -c unlimited; " + cli
            + " refresh >/dev/null 2>&1 & p=$!; sleep 0.5; awk '/Max core file size/ {print $5, $6}' "
              "/proc/$p/limits;"
              " kill $p; wait $p)",
        &out);
    EXPECT_EQ(out, "0 0\n");

    // A folder that cannot be written says so and names it.
    const auto mountPoint = dir / "ro";
    std::filesystem::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=4m") != 0) {
        GTEST_SKIP() << "mounting is not allowed here";
    }
    struct Unmount
    {
        std::filesystem::path where;
        ~Unmount() { ::umount2(where.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    const std::string roCli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(mountPoint);
    EXPECT_EQ(test::runCommand(
                  roCli + " init --source jquants --api-url " + server->apiBaseUrl() + " >/dev/null 2>&1"),
        0);
    ::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    EXPECT_EQ(test::runCommand(roCli + " refresh 2>&1", &out), 1);
    EXPECT_NE(out.find("フォルダ(" + mountPoint.string() + ")に書き込めません。"), std::string::npos) << out;
}

TEST(JQuantsFaults, EachRequestFailingOnceStillFillsTheStoreAsACleanRun)
{
    // Every request's first try is refused (a 500, a 429, a body cut mid-JSON in turn); the
    // client's retries bring the same store as a run that met no fault. A 403 midway ends the
    // run with the days before it whole, and the next run finishes.
    auto server = sampleServer(60, 40);
    ASSERT_TRUE(server);
    std::mutex mutex;
    std::set<std::string> tried;
    int turn = 0;
    test::FaultProxy proxy(server->apiBaseUrl(), [&](Exchange& e) {
        std::string key = e.path;
        for (const auto& [name, value] : e.query) {
            key += "&" + name + "=" + value;
        }
        std::lock_guard lock(mutex);
        if (!tried.insert(key).second) {
            return;
        }
        switch (turn++ % 3) {
        case 0:
            e.status = 500;
            e.body = "{}";
            break;
        case 1:
            e.status = 429;
            e.body = R"({"message":"Rate limit exceeded"})";
            break;
        default:
            e.cut = true;
        }
    });
    test::TempFolder dir;
    auto r = refresh(dir.path(), proxy);
    ASSERT_TRUE(r.ok) << r.message;
    test::TempFolder clean;
    test::FaultProxy plain(server->apiBaseUrl(), {});
    ASSERT_TRUE(refresh(clean.path(), plain).ok);
    for (const char* code : {"1300", "1302", "1304"}) {
        EXPECT_EQ(stored(dir.path(), code), stored(clean.path(), code)) << code;
    }
    EXPECT_EQ(test::readFile(dir / "list.csv"), test::readFile(clean / "list.csv"));

    // A key refused midway: the days stored stay whole, the fill pending, the next run ends it.
    test::TempFolder cut;
    int requests = 0;
    proxy.setRewrite([&](Exchange& e) {
        std::lock_guard lock(mutex);
        if (++requests == 12) {
            e.status = 403;
            e.body = R"({"message":"The incoming api key is invalid or expired."})";
        }
    });
    r = refresh(cut.path(), proxy);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("APIキーが無効か、契約プランの範囲外です。"), std::string::npos) << r.message;
    EXPECT_TRUE(marketdata::PriceStore(cut.path()).fillPending());
    proxy.setRewrite({});
    ASSERT_TRUE(refresh(cut.path(), proxy, r.tradingDate).ok);
    EXPECT_FALSE(marketdata::PriceStore(cut.path()).fillPending());
    for (const char* code : {"1300", "1302", "1304"}) {
        EXPECT_EQ(stored(cut.path(), code), stored(clean.path(), code)) << code;
    }
}

namespace {

// Whether text holds 8 or more of key's characters in a row.
bool holdsPiece(const std::string& text, const std::string& key)
{
    for (std::size_t i = 0; i + 8 <= key.size(); ++i) {
        if (text.find(key.substr(i, 8)) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Every file of a folder, read whole.
std::string everyFile(const std::filesystem::path& dir)
{
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            all += test::readFile(entry.path());
        }
    }
    return all;
}

} // namespace

TEST(JQuantsFaults, NoPieceOfTheKeyIsShownStoredOrListed)
{
    const std::string key = "AbCdEfGhIjKlMnOpQrStUvWxYz0123456789-abcdefghij";
    ASSERT_EQ(key.size(), 47u);
    // Eight characters of it in a row are masked, seven are not; control and invisible
    // characters inside the key do not hide it, and outside it a control shows as a blank.
    EXPECT_EQ(JQuantsClient::cleanServerText("x" + key.substr(3, 8) + "y", key), "x****y");
    EXPECT_EQ(
        JQuantsClient::cleanServerText("x" + key.substr(3, 7) + "y", key), "x" + key.substr(3, 7) + "y");
    EXPECT_EQ(JQuantsClient::cleanServerText(
                  key.substr(0, 20) + std::string(1, '\0') + key.substr(20) + "\nz", key),
        "**** z");
    EXPECT_EQ(
        JQuantsClient::cleanServerText(key.substr(0, 5) + "\xE2\x80\x8B" + key.substr(5, 5), key), "****");
    EXPECT_EQ(JQuantsClient::cleanServerText("a sample-key b\nsample-key", "sample-key"), "a **** b ****");

    auto started
        = sampleServer(20, 30, kToday, [&key](sample::JQuantsApi::Options& api) { api.apiKey = key; });
    ASSERT_TRUE(started);
    auto& server = *started;

    struct Echo
    {
        const char* path;
        std::function<void(Exchange&)> spoil;
    };
    auto firstRow = [](const char* field, std::string value) {
        return [field, value](Exchange& e) {
            editRows(e, [&](json& rows) {
                if (!rows.empty()) {
                    rows[0][field] = value;
                }
            });
        };
    };
    const std::vector<Echo> echoes = {{"/equities/bars/daily", firstRow("Date", key)},
        {"/equities/bars/daily", firstRow("C", key)}, {"/equities/valuation", firstRow("Date", key)},
        {"/equities/valuation", firstRow("Code", key)}, {"/equities/valuation", firstRow("PER", key)},
        {"/fins/summary", firstRow("DiscDate", key)}, {"/fins/summary", firstRow("DocType", "FY" + key)},
        {"/equities/master", firstRow("CoName", "名" + key)}, {"/equities/master", firstRow("S33Nm", key)},
        {"/equities/master",
            [&key](Exchange& e) {
                e.status = 400;
                e.body = json{{"message",
                                  "bad key " + key.substr(0, 20) + std::string(1, '\0') + key.substr(20)}}
                             .dump();
            }},
        {"/equities/master", [&key](Exchange& e) {
             e.status = 400;
             e.body = json{{"message", "key: " + key.substr(5, 24)}}.dump();
         }}};
    for (const auto& echo : echoes) {
        bool spoiled = false;
        test::FaultProxy proxy(server.apiBaseUrl(), [&](Exchange& e) {
            if (e.path == echo.path && e.status == 200 && !spoiled) {
                spoiled = true;
                echo.spoil(e);
            }
        });
        test::TempFolder dir;
        marketdata::DataSource source;
        source.kind = marketdata::DataSource::kJQuants;
        source.days = 10;
        const core::FixedClock clock(kToday);
        const auto r
            = JQuantsRefresh(dir.path(), source, through(proxy, key), clock).run({}, dir / "list.csv");
        ASSERT_TRUE(spoiled) << echo.path;
        EXPECT_FALSE(r.ok) << echo.path;
        EXPECT_FALSE(holdsPiece(r.message, key)) << r.message;
        for (const auto& note : r.notes) {
            EXPECT_FALSE(holdsPiece(note, key)) << note;
        }
        EXPECT_FALSE(holdsPiece(everyFile(dir.path()), key)) << echo.path;
    }
}

TEST(JQuantsFaults, FiguresAreReadWholeAndAnImpossibleOneIsNone)
{
    using marketdata::JQuantsAnswer;
    // Plain decimal numbers only, and none that overflow or underflow.
    for (const char* text : {"0x1A", "1e-400", " 7", "7 ", "inf", "nan", "1e400", "1,000", "--1"}) {
        EXPECT_FALSE(JQuantsAnswer::figure(std::string(text))) << text;
    }
    EXPECT_EQ(JQuantsAnswer::figure(std::string("-12.5e1")), -125.0);
    const std::string ones(1000000, '1');
    EXPECT_FALSE(JQuantsAnswer::figure(ones));

    auto valuation = [](json row) {
        row["Date"] = kDay;
        return JQuantsAnswer::valuation(kDay, json::array({row}));
    };
    auto v
        = valuation({{"Code", "13010"}, {"PER", "0x1A"}, {"PBR", " 7"}, {"ROE", "1e-400"}, {"MktCap", -5e9}});
    ASSERT_TRUE(v.ok) << v.fault;
    for (const char* field : {"PER", "PBR", "ROE", "MktCap"}) {
        EXPECT_TRUE(v.rows[0][field].is_null()) << field;
    }
    EXPECT_EQ(v.putAside, 1);
    v = valuation({{"Code", "13010"}, {"PER", std::string(65, '1')}});
    EXPECT_FALSE(v.ok);
    EXPECT_NE(v.fault.find("長すぎる PER"), std::string::npos) << v.fault;
    // One stock under two spellings of its code is one stock twice.
    v = JQuantsAnswer::valuation(kDay,
        json::array({{{"Date", kDay}, {"Code", "13210"}, {"PER", "42"}},
            {{"Date", kDay}, {"Code", "1321"}, {"PER", "999"}}}));
    EXPECT_FALSE(v.ok);

    auto filing = [](json row) {
        row["DiscDate"] = kDay;
        row["Code"] = "13010";
        row["DiscNo"] = "1";
        return JQuantsAnswer::filings(kDay, json::array({row}));
    };
    auto f = filing({{"FDivAnn", ones}});
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.fault.find("長すぎる FDivAnn"), std::string::npos) << f.fault;
    EXPECT_FALSE(filing({{"FDivAnn", "0." + std::string(100, '0') + "1"}}).ok);
    f = filing({{"DocType", std::string(100000, 'x') + "日本"}});
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.fault.find("長すぎる DocType"), std::string::npos) << f.fault;
    f = filing({{"DocType", std::string(198, 'x') + "日本"}, {"FDivAnn", "-50"}, {"DivAnn", "30"}});
    ASSERT_TRUE(f.ok) << f.fault;
    EXPECT_EQ(f.rows[0]["DocType"], std::string(198, 'x') + "日本");
    EXPECT_EQ(f.rows[0]["FDivAnn"], "");
    EXPECT_EQ(f.rows[0]["DivAnn"], "30");
    EXPECT_EQ(f.putAside, 1);
    // An equity ratio (a fraction) below 0 or over 1 cannot be; its edges can.
    for (const char* ratio : {"-0.01", "1.5"}) {
        f = filing({{"EqAR", ratio}, {"OP", "-120"}});
        ASSERT_TRUE(f.ok) << f.fault;
        EXPECT_EQ(f.rows[0]["EqAR"], "") << ratio;
        EXPECT_EQ(f.rows[0]["OP"], "-120"); // a loss is a figure
        EXPECT_EQ(f.putAside, 1) << ratio;
    }
    for (const char* ratio : {"0", "0.523", "1"}) {
        f = filing({{"EqAR", ratio}});
        EXPECT_EQ(f.rows[0]["EqAR"], ratio);
        EXPECT_EQ(f.putAside, 0) << ratio;
    }
    f = filing({{"NxFOP", std::string(65, '1')}});
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.fault.find("長すぎる NxFOP"), std::string::npos) << f.fault;

    // A refresh says how many it put aside.
    auto server = sampleServer(20, 30);
    ASSERT_TRUE(server);
    test::FaultProxy proxy(server->apiBaseUrl(), [](Exchange& e) {
        if (e.path == "/equities/valuation") {
            editRows(e, [](json& rows) {
                rows[0]["MktCap"] = -5e9;
                rows[1]["MktCap"] = 0;
            });
        }
    });
    test::TempFolder dir;
    const auto r = refresh(dir.path(), proxy, {}, 10);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_FALSE(r.notes.empty());
    EXPECT_EQ(
        r.notes[0], kDay + " の指標: ありえない値の 2 件（0 以下の時価総額、負の配当）をなしとしました");
}

TEST(JQuantsFaults, AnEmptyTradingDayFailsAndAnEmptyDisclosureDayIsAskedAgain)
{
    auto server = sampleServer(60, 40);
    ASSERT_TRUE(server);
    const auto& days = server->market().tradingDays();
    const std::string middle = core::Clock::dashed(year_month_day{days[days.size() - 12]});
    test::TempFolder clean;
    test::FaultProxy plain(server->apiBaseUrl(), {});
    ASSERT_TRUE(refresh(clean.path(), plain).ok);
    auto filings = [](const std::filesystem::path& dir, const std::string& day = {}) {
        core::Connection::Options readOnly;
        auto db = core::Connection::open(dir / marketdata::PriceStore::kFileName, readOnly);
        return db
            ->openRecordset(
                "SELECT * FROM Table_Filing" + (day.empty() ? "" : " WHERE DiscDate = '" + day + "'"))
            ->recordCount();
    };
    // A day with filings; the newest day has none in this market.
    std::string filed;
    for (auto d = days.size() - 5; d > days.size() - 20 && filed.empty(); --d) {
        const auto day = core::Clock::dashed(year_month_day{days[d]});
        if (filings(clean.path(), day) > 0) {
            filed = day;
        }
    }
    ASSERT_FALSE(filed.empty());
    ASSERT_EQ(filings(clean.path(), kDay), 0);
    EXPECT_FALSE(marketdata::PriceStore(clean.path()).hasFilingDay(kDay));

    // A trading day of a first fill answering no row: a failure naming it, the fill pending.
    test::FaultProxy proxy(server->apiBaseUrl(), [&](Exchange& e) {
        if (isDay(e, middle)) {
            e.body = R"({"data":[]})";
        }
    });
    test::TempFolder dir;
    auto r = refresh(dir.path(), proxy);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(middle + " の株価: 取引日なのに 1 行もありません"), std::string::npos)
        << r.message;
    {
        marketdata::PriceStore store(dir.path());
        EXPECT_TRUE(store.fillPending());
        EXPECT_FALSE(store.hasDay(middle));
    }
    // Disclosures: a day empty once is asked again and kept whole; the newest day, empty, is
    // not marked, so the next run asks again.
    std::set<std::string> emptied;
    std::mutex mutex;
    proxy.setRewrite([&](Exchange& e) {
        const bool fins = e.path == "/fins/summary";
        std::lock_guard lock(mutex);
        if (fins
            && ((e.query.at("date") == filed && emptied.insert(filed).second)
                || e.query.at("date") == kDay)) {
            e.body = R"({"data":[]})";
        }
    });
    r = refresh(dir.path(), proxy, r.tradingDate);
    ASSERT_TRUE(r.ok) << r.message;
    {
        marketdata::PriceStore store(dir.path());
        EXPECT_FALSE(store.fillPending());
        EXPECT_TRUE(store.hasFilingDay(filed));
        EXPECT_FALSE(store.hasFilingDay(kDay));
    }
    EXPECT_EQ(filings(dir.path(), filed), filings(clean.path(), filed));
    proxy.setRewrite({});
    ASSERT_TRUE(refresh(dir.path(), proxy, r.tradingDate).ok);
    EXPECT_EQ(filings(dir.path()), filings(clean.path()));
    EXPECT_EQ(stored(dir.path(), "1300"), stored(clean.path(), "1300"));

    // A 400 naming the plan's window for a day inside that window is a failure too.
    for (const char* path : {"/fins/summary", "/equities/bars/daily"}) {
        test::FaultProxy windowed(server->apiBaseUrl(), [&](Exchange& e) {
            if (e.path == path && e.query.count("date") && e.query.at("date") == middle) {
                e.status = 400;
                e.body
                    = R"({"message":"Your subscription covers the following dates: 2024-12-08 ~ 2026-12-08. If you want more data, please check other plans:"})";
            }
        });
        test::TempFolder other;
        r = refresh(other.path(), windowed);
        EXPECT_FALSE(r.ok) << path;
        EXPECT_NE(r.message.find(middle), std::string::npos) << r.message;
        EXPECT_TRUE(marketdata::PriceStore(other.path()).fillPending()) << path;
    }
}

TEST(JQuantsFaults, AWholeFirstFillOnEachPlansPaceDrawsNo429)
{
    // The server counts as J-Quants does, per sliding minute; the minute is shortened to 600 ms
    // on both sides.
    for (const int perMinute : {5, 60, 120, 500}) {
        auto started = sampleServer(20, 30, kToday, [perMinute](sample::JQuantsApi::Options& api) {
            api.rateLimit = perMinute;
            api.finsRateLimit = 60;
            api.rateWindow = milliseconds(600);
        });
        ASSERT_TRUE(started);
        auto& server = *started;
        test::FaultProxy proxy(server.apiBaseUrl(), {});
        auto client = through(proxy);
        client.requestsPerMinute = perMinute;
        client.paceWindow = milliseconds(600);
        client.rateLimitWait = milliseconds(600);
        marketdata::DataSource source;
        source.kind = marketdata::DataSource::kJQuants;
        source.days = perMinute == 5 ? 8 : 20;
        const core::FixedClock clock(kToday);
        test::TempFolder dir;
        const auto start = steady_clock::now();
        const auto r = JQuantsRefresh(dir.path(), source, client, clock).run({}, dir / "list.csv");
        const auto took = steady_clock::now() - start;
        ASSERT_TRUE(r.ok) << perMinute << ": " << r.message;
        EXPECT_EQ(server.api()->rateLimited(), 0) << perMinute;
        // Spread evenly, not sent in a burst and then held.
        EXPECT_GE(took, milliseconds(600) * (r.requests - 1) / perMinute) << perMinute;
    }
}
