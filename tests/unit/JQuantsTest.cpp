// The J-Quants source against the sample server's J-Quants mode: the client, the price store,
// the refresh and the command-line tool from an empty folder to a screened market.
#include "RawHttpServer.h"
#include "SampleServer.h"
#include "TestSupport.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Recordset.h"
#include "core/TextCodec.h"
#include "marketdata/jquants/ApiKey.h"
#include "marketdata/jquants/BarCopy.h"
#include "marketdata/jquants/JQuantsClient.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/StoreDownloader.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>

using namespace zuvemo;
using namespace std::chrono;
using marketdata::JQuantsClient;

namespace {

std::unique_ptr<sample::SampleServer> jquantsServer(
    int stocks, int days, sample::JQuantsApi::Options api = {}, year_month_day today = core::Clock().today())
{
    sample::SampleServer::Options options;
    options.market.stocks = stocks;
    options.market.days = days;
    options.market.today = today;
    options.jquants = true;
    options.api = api;
    auto server = std::make_unique<sample::SampleServer>(options);
    return server->start(0) > 0 ? std::move(server) : nullptr;
}

// A session bus of the test's own, with no Secret Service on it; stopped at the end.
class PrivateBus
{
public:
    PrivateBus()
    {
        std::string out;
        if (test::runCommand("command -v dbus-daemon >/dev/null && dbus-daemon --session --fork "
                             "--print-address=1 --print-pid=1 2>/dev/null",
                &out)
            != 0) {
            return;
        }
        const auto newline = out.find('\n');
        if (newline == std::string::npos) {
            return;
        }
        m_address = out.substr(0, newline);
        m_pid = std::atoi(out.c_str() + newline + 1);
    }
    ~PrivateBus()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    bool running() const { return m_pid > 0 && !m_address.empty(); }
    const std::string& address() const { return m_address; }

private:
    std::string m_address;
    int m_pid = 0;
};

JQuantsClient::Options clientFor(const sample::SampleServer& server, const std::string& key = "sample-key")
{
    JQuantsClient::Options options;
    options.baseUrl = server.apiBaseUrl();
    options.apiKey = key;
    options.requestsPerMinute = 0;
    options.rateLimitWait = milliseconds(50);
    options.serverErrorWait = milliseconds(20);
    return options;
}

} // namespace

TEST(JQuants, NamesCodesAndTheKeyFile)
{
    using marketdata::JQuantsRefresh;
    EXPECT_EQ(marketdata::PriceStore::listCode("72030"), "7203");
    EXPECT_EQ(marketdata::PriceStore::listCode("130A0"), "130A");
    EXPECT_EQ(marketdata::PriceStore::listCode("72031"), "72031");
    EXPECT_EQ(JQuantsRefresh::fullWidthPunctuation("情報･通信業"), "情報・通信業");
    EXPECT_EQ(JQuantsRefresh::fullWidthPunctuation("証券､商品先物取引業"), "証券、商品先物取引業");
    const std::string refusal
        = "Your subscription covers the following dates: 2024-05-24 ~ 2026-05-24. If you want "
          "more data, please check other plans:";
    EXPECT_EQ(JQuantsRefresh::windowStart(refusal), "2024-05-24");
    EXPECT_EQ(JQuantsRefresh::windowEnd(refusal), "2026-05-24");
    EXPECT_EQ(JQuantsRefresh::windowEnd("The incoming api key is invalid or expired."), "");

    using marketdata::ApiKey;
    EXPECT_EQ(
        ApiKey::parse("[other]\napi_key = \"no\"\n[jquants-api-client]\n# comment\napi_key = \"abc123\"\n"),
        "abc123");
    EXPECT_EQ(ApiKey::parse("[jquants-api-client]\napi_key='lit'\n"), "lit");
    EXPECT_FALSE(ApiKey::parse("[jquants-api-client]\nmail_address = \"a@b\"\n"));
    EXPECT_FALSE(ApiKey::parse("api_key = \"outside\"\n"));
}

TEST(JQuants, TheClientReadsEveryPageAndSaysWhyARequestFailed)
{
    sample::JQuantsApi::Options api;
    api.pageSize = 7;
    api.rateLimit = 5;
    auto server = jquantsServer(30, 20, api);
    ASSERT_TRUE(server);
    JQuantsClient client(clientFor(*server));
    auto rows = client.getAll("/equities/master", {});
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), 30u);
    EXPECT_EQ(client.requests(), 5); // 7 + 7 + 7 + 7 + 2

    // Past the rate: retried, then refused with its own message.
    auto more = client.getAll("/equities/master", {});
    EXPECT_FALSE(more);
    EXPECT_EQ(client.lastFailure().status, 429);
    EXPECT_EQ(client.lastFailure().message, JQuantsClient::kRateMessage);

    // Paced below the plan's rate: no more than its number of requests in any window.
    auto pacedServer = jquantsServer(5, 20);
    auto paced = clientFor(*pacedServer);
    paced.requestsPerMinute = 2;
    paced.paceWindow = milliseconds(300);
    JQuantsClient pacedClient(paced);
    const auto start = steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(pacedClient.getAll("/equities/master", {}));
    }
    EXPECT_GE(steady_clock::now() - start, milliseconds(600));

    // A wrong key: refused at once, and the key is in no message.
    auto other = jquantsServer(5, 20);
    JQuantsClient wrong(clientFor(*other, "not-the-key"));
    EXPECT_FALSE(wrong.getAll("/markets/calendar", {{"from", "2026-12-01"}, {"to", "2026-12-08"}}));
    EXPECT_EQ(wrong.lastFailure().status, 403);
    EXPECT_EQ(wrong.lastFailure().message, "APIキーが無効か、契約プランの範囲外です。");
    EXPECT_EQ(wrong.requests(), 1);

    // A body cut mid-JSON is a failed request, tried again, never half an answer.
    std::atomic<int> served{0};
    test::RawHttpServer cut([&](int sock) {
        ++served;
        test::RawHttpServer::sendAll(
            sock, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n{\"data\": [{\"Code\": \"13");
    });
    auto options = clientFor(*other);
    options.baseUrl = cut.url("/v2");
    JQuantsClient cutClient(options);
    EXPECT_FALSE(cutClient.getAll("/equities/master", {}));
    EXPECT_EQ(cutClient.lastFailure().message, JQuantsClient::kBadAnswerMessage);
    EXPECT_EQ(served.load(), 4);

    // The dialog's one request: never tried again, a cut answer not taken for a dead network.
    using marketdata::JQuantsRefresh;
    const core::FixedClock clock{year_month_day{2026y, December, 8d}};
    auto probe = JQuantsRefresh::probe(options, "72030", clock);
    EXPECT_FALSE(probe.ok);
    EXPECT_EQ(probe.message, JQuantsClient::kBadAnswerMessage);
    EXPECT_EQ(served.load(), 5);
    options.baseUrl = "http://127.0.0.1:1/v2";
    probe = JQuantsRefresh::probe(options, "72030", clock);
    EXPECT_EQ(probe.message.rfind("J-Quants API に接続できません。", 0), 0u) << probe.message;
    probe = JQuantsRefresh::probe(clientFor(*other, "not-the-key"), "72030", clock);
    EXPECT_EQ(probe.message, JQuantsClient::kForbiddenMessage);
    probe = JQuantsRefresh::probe(clientFor(*other, "not-the-key"), "", clock);
    EXPECT_EQ(probe.message, JQuantsClient::kForbiddenMessage);
    // A folder without a list asks with a code from the day's master, not one the market may
    // lack (the sample market has no 72030, whose answer names no day).
    const core::Clock realClock;
    const auto latest = core::Clock::dashed(year_month_day{other->market().latestTradingDay()});
    EXPECT_EQ(JQuantsRefresh::probe(clientFor(*other), "72030", realClock).newest, "");
    probe = JQuantsRefresh::probe(clientFor(*other), "", realClock);
    EXPECT_TRUE(probe.ok);
    EXPECT_EQ(probe.newest, latest);
}

TEST(JQuants, TheStoreHoldsTheSameHistoriesAsTheCsvFilesAndASplitIsFetchedAgain)
{
    test::TempFolder dir;
    const int stocks = 140;
    // Before the split day of the split stocks is readable: their earlier days are not adjusted.
    auto full = jquantsServer(stocks, 40);
    ASSERT_TRUE(full);
    const auto& days = full->market().tradingDays();
    const sys_days splitDay = days[days.size() - 3];
    sample::JQuantsApi::Options early;
    early.windowFrom = days.front();
    early.windowTo = splitDay - std::chrono::days{1};
    auto before = jquantsServer(stocks, 40, early);
    ASSERT_TRUE(before);

    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    source.days = 30;
    core::FixedClock clock(year_month_day{days.back()});
    auto first
        = marketdata::JQuantsRefresh(dir.path(), source, clientFor(*before), clock).run("", dir / "list.csv");
    ASSERT_TRUE(first.ok) << first.message;
    EXPECT_TRUE(first.listWritten);
    EXPECT_LT(first.tradingDate, core::Clock::dashed(year_month_day{splitDay}));
    EXPECT_EQ(first.stocksRefetched, 0);

    auto second = marketdata::JQuantsRefresh(dir.path(), source, clientFor(*full), clock)
                      .run(first.tradingDate, dir / "list.csv");
    ASSERT_TRUE(second.ok) << second.message;
    EXPECT_EQ(second.tradingDate, core::Clock::dashed(year_month_day{days.back()}));
    EXPECT_EQ(second.daysFetched, 3);
    EXPECT_EQ(second.stocksRefetched, 2); // stocks 21 and 88: one in 67
    // Three new days: their disclosures and results' dates, and the newest day's figures besides
    // the prices; a disclosure day that answered no filing is asked once more.
    EXPECT_LE(second.requests, 8 + 4 + 3 + 3);
    EXPECT_EQ(second.earningsDaysFetched, 3);

    // Every stock's history from the store is the CSV source's, day for day.
    marketdata::PriceStore store(dir.path());
    int compared = 0;
    for (std::size_t s = 0; s < full->market().stocks().size(); ++s) {
        const auto& stock = full->market().stocks()[s];
        const std::string code = marketdata::PriceStore::listCode(sample::JQuantsApi::codeOf(stock, s));
        if (code != stock.code) {
            continue; // a letter code: no CSV file of that name
        }
        auto csv = *core::TextCodec::decodeCp932(*full->market().historyFile(stock.code));
        auto ours = marketdata::StoreDownloader::historyFile(code, store, source.days);
        ASSERT_FALSE(ours.empty()) << code;
        std::vector<std::string> expected;
        for (std::size_t at = csv.find("\r\n", csv.find("\r\n") + 2) + 2; at < csv.size();) {
            const auto end = csv.find("\r\n", at);
            const std::string line = csv.substr(at, end - at);
            at = end + 2;
            if (line.find(",0,0") == std::string::npos) { // a day without a trade
                expected.push_back(line);
            }
        }
        std::vector<std::string> got;
        for (std::size_t at = ours.find("\r\n", ours.find("\r\n") + 2) + 2; at < ours.size();) {
            const auto end = ours.find("\r\n", at);
            got.push_back(ours.substr(at, end - at));
            at = end + 2;
        }
        expected.resize(std::min(expected.size(), got.size()));
        got.resize(expected.size());
        ASSERT_EQ(got, expected) << code;
        ++compared;
    }
    EXPECT_GT(compared, 120);
}

// The copy of the bars beside the store reads as the store does, bit for bit, whatever is asked
// of it; a bar written by anyone makes it unused until it is written again, and a damaged copy
// is never read.
TEST(JQuants, TheCopyOfTheBarsReadsAsTheStoreAndNeverOlder)
{
    using marketdata::BarCopy;
    using marketdata::PriceStore;
    test::TempFolder dir;
    auto server = jquantsServer(140, 40);
    ASSERT_TRUE(server);
    const auto& days = server->market().tradingDays();
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    source.days = 30;
    core::FixedClock clock(year_month_day{days.back()});
    const auto refreshed
        = marketdata::JQuantsRefresh(dir.path(), source, clientFor(*server), clock).run("", dir / "list.csv");
    ASSERT_TRUE(refreshed.ok) << refreshed.message;
    const auto copyFile = dir / BarCopy::kFileName;
    EXPECT_TRUE(std::filesystem::exists(copyFile));
    std::vector<std::string> stored;
    {
        // Rows no sample stock has: no trade, an unusual flag, no open, a split, numbers a float
        // cannot hold.
        PriceStore store(dir.path());
        stored = store.storedDays();
        const auto row = [](const char* code) {
            return nlohmann::json{{"Date", ""}, {"Code", code}, {"O", 101.1}, {"H", 120.0}, {"L", 99.9},
                {"C", 110.3}, {"UL", "1"}, {"LL", "2"}, {"Vo", 3.1e9}, {"Va", 3.41e11}, {"AdjFactor", 0.5},
                {"AdjO", 50.55}, {"AdjH", 60.0}, {"AdjL", 49.95}, {"AdjC", 55.15}, {"AdjVo", 6.2e9}};
        };
        auto rows = nlohmann::json::array({row("99980"), row("99990"), row("99970")});
        rows[1].erase("O");
        rows[1]["UL"] = "0";
        for (const char* field : {"O", "H", "L", "C", "AdjO", "AdjH", "AdjL", "AdjC"}) {
            rows[2][field] = nullptr;
        }
        for (auto& r : rows) {
            r["Date"] = stored.back();
        }
        store.storeDay(stored.back(), rows);
    }

    // Each way of asking, every number of every bar.
    auto readAll = [&] {
        PriceStore store(dir.path());
        std::vector<std::string> out;
        std::vector<std::string> late(stored.end() - 10, stored.end());
        std::vector<std::string> everyOther;
        for (std::size_t i = 0; i < stored.size(); i += 2) {
            everyOther.push_back(stored[i]);
        }
        everyOther.push_back(stored.back());
        for (const std::vector<std::string>* asked : {&stored, &late, &everyOther}) {
            for (const bool closesOnly : {false, true}) {
                for (const PriceStore::BarColumns columns : {PriceStore::BarColumns{true, true},
                         PriceStore::BarColumns{false, false}, PriceStore::BarColumns{true, false}}) {
                    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
                             {"", ""}, {"13050", "14000"}, {"99980", ""}}) {
                        store.eachStockBars(
                            *asked,
                            [&](const std::string& code, const std::vector<PriceStore::DayBar>& bars) {
                                for (const auto& b : bars) {
                                    char line[400];
                                    std::snprintf(line, sizeof line,
                                        "%s %zu %d %a %a %a %a %a %a %a %a %a %d %d", code.c_str(), b.day,
                                        b.traded, b.adjH, b.adjL, b.adjC, b.adjVo, b.va, b.c, b.adjO, b.o,
                                        b.adjFactor, b.ul, b.ll);
                                    out.emplace_back(line);
                                }
                            },
                            closesOnly, from, to, columns);
                        out.emplace_back("--");
                    }
                }
            }
        }
        return out;
    };
    std::filesystem::remove(copyFile);
    const auto fromStore = readAll();
    ASSERT_GT(fromStore.size(), 140u * 30 * 10);
    {
        PriceStore store(dir.path());
        store.keepBarCopy();
        ASSERT_EQ(BarCopy::stampOf(dir.path()), store.barsStamp());
    }
    EXPECT_EQ(readAll(), fromStore);

    // The copy is what is read while its stamp is the store's: a bar changed behind the stamp's
    // back shows its old numbers (the constructor puts the stamp's triggers back).
    const std::string change
        = "UPDATE Table_Bar SET AdjC = AdjC + 1 WHERE BarCode = (SELECT min(BarCode) FROM Table_Bar)";
    {
        auto db = core::Connection::open(dir / PriceStore::kFileName);
        for (const char* t : {"Trigger_BarINSERT", "Trigger_BarUPDATE", "Trigger_BarDELETE"}) {
            db->execute(std::string("DROP TRIGGER ") + t);
        }
        db->execute(change);
    }
    EXPECT_EQ(readAll(), fromStore);
    // Any write of a bar through the triggers: the copy goes unused, the change is read.
    core::Connection::open(dir / PriceStore::kFileName)->execute(change);
    const auto changed = readAll();
    EXPECT_NE(changed, fromStore);
    {
        PriceStore store(dir.path());
        store.keepBarCopy();
    }
    EXPECT_EQ(readAll(), changed);

    // A byte changed in a stock's part, or a copy cut short: read from the store, the same.
    const auto size = std::filesystem::file_size(copyFile);
    {
        std::fstream f(copyFile, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(size / 3));
        f.put('\x5a');
    }
    EXPECT_EQ(readAll(), changed);
    std::filesystem::resize_file(copyFile, size / 2);
    EXPECT_EQ(readAll(), changed);
}

// UL and LL as the exchange sends them: "1" touched, "0" not; anything else says nothing and
// is kept as nothing, never as "not touched". A store made before they were kept gains the
// columns, its old bars without them.
TEST(JQuants, TheLimitFlagsAreKeptAsSentAndAStoreMadeBeforeGainsThem)
{
    using marketdata::PriceStore;
    const nlohmann::json values = {"1", "0", "2", "", " 1", true, false, 1, 0, 0.5, nullptr};
    std::vector<int> flags;
    for (const auto& v : values) {
        flags.push_back(PriceStore::limitFlag(v));
    }
    EXPECT_EQ(flags, (std::vector<int>{1, 0, -1, -1, -1, 1, 0, 1, 0, -1, -1}));

    test::TempFolder dir;
    {
        // The table as it was before the flags.
        core::Connection::Options create;
        create.create = true;
        auto db = core::Connection::open(dir / PriceStore::kFileName, create);
        db->execute(
            "CREATE TABLE Table_Bar (BarCode TEXT NOT NULL, BarDate TEXT NOT NULL, O REAL, H REAL, L REAL,"
            " C REAL, Vo REAL, Va REAL, AdjFactor REAL, AdjO REAL, AdjH REAL, AdjL REAL, AdjC REAL,"
            " AdjVo REAL, PRIMARY KEY (BarCode, BarDate)) WITHOUT ROWID");
        db->execute(
            "INSERT INTO Table_Bar VALUES ('13010', '2026-12-07', 100, 130, 100, 130, 1000, 130000, 1,"
            " 100, 130, 100, 130, 1000)");
    }
    PriceStore store(dir.path());
    EXPECT_FALSE(store.limitFlagsKept("2026-12-07"));
    auto row = [](const char* code, nlohmann::json ul, nlohmann::json ll) {
        return nlohmann::json{{"Date", "2026-12-08"}, {"Code", code}, {"O", 130.0}, {"H", 160.0},
            {"L", 100.0}, {"C", 160.0}, {"UL", ul}, {"LL", ll}, {"Vo", 10.0}, {"Va", 1600.0},
            {"AdjFactor", 1.0}, {"AdjO", 130.0}, {"AdjH", 160.0}, {"AdjL", 100.0}, {"AdjC", 160.0},
            {"AdjVo", 10.0}};
    };
    store.storeDay("2026-12-08",
        nlohmann::json::array({row("13010", "1", "0"), row("13020", "0", "1"), row("13030", "x", nullptr)}));
    EXPECT_TRUE(store.limitFlagsKept("2026-12-08"));
    std::map<std::string, std::vector<std::pair<int, int>>> read;
    store.eachStockBars({"2026-12-07", "2026-12-08"},
        [&](const std::string& code, const std::vector<PriceStore::DayBar>& bars) {
            for (const auto& bar : bars) {
                read[code].emplace_back(bar.ul, bar.ll);
            }
        });
    const std::map<std::string, std::vector<std::pair<int, int>>> want
        = {{"13010", {{-1, -1}, {1, 0}}}, {"13020", {{0, 1}}}, {"13030", {{-1, -1}}}};
    EXPECT_EQ(read, want);
}

TEST(JQuants, FromAnEmptyFolderToAScreenedMarketWithTheKeyNowhere)
{
    test::TempFolder dir;
    auto server = jquantsServer(120, 60);
    ASSERT_TRUE(server);
    const std::string key = "sample-key";
    const std::string env = "HOME=" + (dir / "user").string() + " ";
    const std::string cli = env + test::cliCommand(dir / "home");
    std::string out;
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + server->apiBaseUrl()
                      + " --plan premium --days 40 --bounds 0.9 1.2 2>&1",
                  &out),
        0)
        << out;
    EXPECT_EQ(test::runCommand(cli + " source", &out), 0);
    EXPECT_EQ(out, "jquants " + server->apiBaseUrl() + " plan=premium days=40\n");

    // No key anywhere: said, exit 2.
    EXPECT_EQ(test::runCommand("env -u JQUANTS_API_KEY " + cli + " refresh 2>&1", &out), 2);
    EXPECT_EQ(out, "APIキーが設定されていません。\n");

    // The key through standard input, into the official client's file, readable by its owner alone.
    ASSERT_EQ(
        test::runCommand("echo " + key + " | env -u JQUANTS_API_KEY " + cli + " source set-key 2>/dev/null"),
        0);
    const auto keyFile = dir / "user" / ".jquants-api" / "jquants-api.toml";
    EXPECT_EQ(std::filesystem::status(keyFile).permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    ASSERT_EQ(test::runCommand("env -u JQUANTS_API_KEY " + cli + " refresh", &out), 0);
    const std::string latest = core::Clock::dashed(year_month_day{server->market().latestTradingDay()});
    EXPECT_EQ(out, latest + "\n");
    {
        auto c = core::Connection::open(dir / "home" / "zuvemo.db");
        EXPECT_GT(c->openRecordset(" SELECT * FROM Table_Code")->recordCount(), 100);
        // Letter codes keep their letter; industries are written as JPX prints them.
        EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Code WHERE MgCode LIKE '%A'")->recordCount(), 2);
        EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Code WHERE Mgyosyu LIKE '%･%'")->recordCount(), 0);
        EXPECT_EQ(
            c->openRecordset(" SELECT MgCode FROM Table_Code ORDER BY MgCode")->field(0).toText(), "1300");
    }

    ASSERT_EQ(test::runCommand(
                  env + "JQUANTS_API_KEY=" + key + " " + test::cliCommand(dir / "home") + " screen", &out),
        0)
        << out;
    EXPECT_EQ(out.rfind("stocks ", 0), 0u);
    EXPECT_NE(out.find("取得 "), std::string::npos);
    // The same market screened as a CSV folder: every stock but the letter codes gets the same
    // signals, so the store's histories and the analysis of its rows are the files' own.
    ASSERT_EQ(
        test::runCommand(test::cliCommand(dir / "csvhome") + " init --daily-url " + server->dailyBaseUrl()
            + " --history-url " + server->historyBaseUrl() + " --bounds 0.9 1.2 >/dev/null 2>&1"),
        0);
    ASSERT_EQ(test::runCommand(test::cliCommand(dir / "csvhome") + " refresh >/dev/null 2>&1"), 0);
    ASSERT_EQ(test::runCommand(test::cliCommand(dir / "csvhome") + " screen >/dev/null 2>&1"), 0);
    {
        auto signals = [](const std::filesystem::path& db) {
            std::map<std::string, std::string> out;
            auto c = core::Connection::open(db);
            for (auto rs = c->openRecordset(" SELECT MgCode, Achk, Cchk, Dchk FROM Table_Code"); !rs->isEof();
                 rs->moveNext()) {
                out[rs->field(0).toText()]
                    = rs->field(1).toText() + rs->field(2).toText() + rs->field(3).toText();
            }
            return out;
        };
        const auto ours = signals(dir / "home" / "zuvemo.db");
        const auto csv = signals(dir / "csvhome" / "zuvemo.db");
        int same = 0;
        int signalled = 0;
        for (const auto& [code, marks] : ours) {
            if (code.back() == 'A') {
                continue;
            }
            ASSERT_TRUE(csv.count(code)) << code;
            EXPECT_EQ(marks, csv.at(code)) << code;
            same += marks == csv.at(code);
            signalled += marks.find("売") != std::string::npos || marks.find("買") != std::string::npos;
        }
        EXPECT_GT(same, 100);
        EXPECT_GT(signalled, 5);
    }
    const auto requestsBefore = server->requests();
    ASSERT_EQ(test::runCommand(cli + " export 1300 --out " + (dir / "c.xlsx").string() + " >/dev/null"), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "c.xlsx"));
    EXPECT_EQ(server->requests(), requestsBefore); // from the store, no request per stock

    // The day's work in one go: nothing newer to load, the signals standing are reported.
    const int daily = test::runCommand(
        env + "JQUANTS_API_KEY=" + key + " " + test::cliCommand(dir / "home") + " daily --json 2>/dev/null",
        &out);
    EXPECT_TRUE(daily == 0 || daily == 3) << out;
    EXPECT_NE(out.find("\"tradingDate\":\"" + latest + "\""), std::string::npos) << out;

    // A wrong key: refused with its message, nothing changed.
    EXPECT_EQ(
        test::runCommand(
            env + "JQUANTS_API_KEY=wrong " + test::cliCommand(dir / "home") + " daily --json 2>&1", &out),
        1);
    EXPECT_NE(out.find("APIキーが無効か、契約プランの範囲外です。"), std::string::npos) << out;

    // Nor is it in the process list while a request waits for an answer.
    test::RawHttpServer stalled([](int) { std::this_thread::sleep_for(seconds(2)); });
    ASSERT_EQ(
        test::runCommand(cli + " source set jquants --api-url " + stalled.url("/v2") + " >/dev/null"), 0);
    std::string processes;
    // From this process's environment, so that no command line here names it either. Only the
    // refresh's own line is read: other tests running beside this one name their keys freely.
    ::setenv("JQUANTS_API_KEY", key.c_str(), 1);
    test::runCommand("(" + cli
            + " refresh >/dev/null 2>&1 & p=$!; sleep 0.5; ps -o args= -p $p; kill $p; wait $p; echo rc=$?)",
        &processes);
    ::unsetenv("JQUANTS_API_KEY");
    EXPECT_NE(processes.find("refresh"), std::string::npos);
    EXPECT_EQ(processes.find(key), std::string::npos);
    EXPECT_NE(processes.find("rc=143"), std::string::npos) << processes; // stopped cleanly

    // The key is in neither the database nor the journal, the price store or any output.
    for (const char* file : {"zuvemo.db", "zuvemo-prices.db"}) {
        EXPECT_EQ(test::readFile(dir / "home" / file).find(key), std::string::npos) << file;
    }
    EXPECT_EQ(out.find(key), std::string::npos);
}

// The keyring's Qt application ends with main: a run that asked the session bus for the key
// and found it in the file keeps its own exit status.
TEST(JQuants, ARunThatAskedTheSessionBusForTheKeyEndsWithItsOwnStatus)
{
    test::TempFolder dir;
    const std::string cli = test::cliCommand(dir / "home");
    std::string out;
    ASSERT_EQ(
        test::runCommand(cli + " init --source jquants --api-url http://127.0.0.1:1/v2 >/dev/null 2>&1"), 0);
    // A bus address that leads nowhere, and no key.
    EXPECT_EQ(test::runCommand("env -u JQUANTS_API_KEY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent HOME="
                      + (dir / "nobody").string() + " " + cli + " refresh 2>&1",
                  &out),
        2);
    EXPECT_EQ(out, "APIキーが設定されていません。\n");

    PrivateBus bus;
    if (!bus.running()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    auto server = jquantsServer(30, 30);
    ASSERT_TRUE(server);
    const std::string env = "env -u JQUANTS_API_KEY DBUS_SESSION_BUS_ADDRESS='" + bus.address()
        + "' HOME=" + (dir / "user").string() + " ";
    ASSERT_EQ(test::runCommand(cli + " source set jquants --api-url " + server->apiBaseUrl()
                  + " --plan premium --days 20 >/dev/null 2>&1"),
        0);
    // No Secret Service answers: the key goes to the file.
    EXPECT_EQ(test::runCommand("echo sample-key | " + env + cli + " source set-key 2>&1", &out), 0) << out;
    EXPECT_TRUE(std::filesystem::exists(dir / "user" / ".jquants-api" / "jquants-api.toml"));
    EXPECT_EQ(test::runCommand(env + cli + " refresh 2>&1", &out), 0) << out;
    // No watch list, so no target reached: done is 0.
    EXPECT_EQ(test::runCommand(env + cli + " daily --notify 2>&1", &out), 0) << out;
    // A failed day keeps its 1: a key the server refuses.
    ASSERT_EQ(test::runCommand("echo wrong | " + env + cli + " source set-key 2>/dev/null"), 0);
    EXPECT_EQ(test::runCommand(env + cli + " daily --notify 2>&1", &out), 1) << out;
}
