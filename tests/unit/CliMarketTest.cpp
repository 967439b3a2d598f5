#include "RawHttpServer.h"
#include "SampleServer.h"
#include "TestSupport.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/FileLock.h"
#include "core/Recordset.h"
#include "core/ValueRules.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace zuvemo;
using test::TempFolder;

namespace {

// A program folder made with the command-line tool and pointed at a sample market of today.
class CliMarket : public ::testing::Test
{
protected:
    void start(int stocks, int days, double failRate = 0)
    {
        sample::SampleServer::Options options;
        options.market.stocks = stocks;
        options.market.days = days;
        options.market.today = core::Clock().today();
        options.failRate = failRate;
        m_server = std::make_unique<sample::SampleServer>(options);
        ASSERT_GT(m_server->start(0), 0);
        std::string out;
        ASSERT_EQ(run(" init --daily-url " + m_server->dailyBaseUrl() + " --history-url "
                          + m_server->historyBaseUrl() + " --bounds 0.9 1.2 2>&1",
                      &out),
            0)
            << out;
    }
    int run(const std::string& args, std::string* out) { return test::runCommand(cli() + args, out); }
    std::string cli() const { return test::cliCommand(m_dir / "home"); }
    std::unique_ptr<core::Connection> database()
    {
        return core::Connection::open(m_dir / "home" / "zuvemo.db");
    }

    TempFolder m_dir;
    std::unique_ptr<sample::SampleServer> m_server;
};

} // namespace

TEST_F(CliMarket, RefreshLoadsTheLatestTradingDayAndPrintsIt)
{
    start(200, 20);
    std::string out;
    ASSERT_EQ(run(" refresh", &out), 0);
    std::string latest
        = core::Clock::dashed(std::chrono::year_month_day{m_server->market().latestTradingDay()});
    EXPECT_EQ(out, latest + "\n");
    auto c = database();
    EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Url")->field("kabuHdate").toText(),
        latest.substr(0, 4) + latest.substr(5, 2) + latest.substr(8, 2));
    EXPECT_GT(c->openRecordset(" SELECT * FROM Table_Code")->recordCount(), 150);
}

TEST_F(CliMarket, RefreshFailuresPrintTheJapaneseMessage)
{
    std::string out;
    // No program folder at all: the configuration file is missing.
    EXPECT_EQ(run(" refresh 2>&1", &out), 1);
    EXPECT_NE(out.find("qen_kanrFile.dsa)が見当たりません。"), std::string::npos) << out;

    ASSERT_EQ(run(" init --daily-url ftp://x/ --history-url http://y/ 2>&1", &out), 0);
    EXPECT_EQ(run(" refresh 2>&1", &out), 1);
    EXPECT_EQ(out, "取得するURLが見当たりません。\n");

    test::writeFile(m_dir / "home" / "zuvemo.db", std::string(5000, 'q'));
    EXPECT_EQ(run(" refresh 2>&1", &out), 1);
    EXPECT_NE(out.find("が接続を拒否している。"), std::string::npos) << out;
}

TEST_F(CliMarket, AnalyseAndScreen)
{
    start(120, 300);
    std::string out;
    ASSERT_EQ(run(" refresh", &out), 0);
    ASSERT_EQ(run(" screen --jobs 4 2>/dev/null", &out), 0);
    EXPECT_EQ(out.rfind("stocks ", 0), 0u) << out;
    EXPECT_NE(out.find("取得 "), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);

    // A 300-day history analysed for the chart: every stored day, the newest 250 with indicators.
    auto history = m_server->market().historyFile("1300");
    ASSERT_TRUE(history);
    test::writeFile(m_dir / "h.csv", *history);
    ASSERT_EQ(run(" analyse " + (m_dir / "h.csv").string() + " --chart", &out), 0);
    EXPECT_EQ(out, "00\n");
    auto c = database();
    int stored = c->openRecordset(" SELECT * FROM WorkTemp")->recordCount();
    EXPECT_GE(stored, 280);
    EXPECT_EQ(
        c->openRecordset(" SELECT * FROM WorkTemp WHERE Wcount<=250 AND Wgatai IS NOT NULL")->recordCount(),
        250);
    EXPECT_EQ(c->openRecordset(" SELECT * FROM WorkTemp WHERE Wcount>250 AND Wgatai IS NULL")->recordCount(),
        stored - 250);

    ASSERT_EQ(run(" analyse " + (m_dir / "h.csv").string(), &out), 0);
    EXPECT_EQ(out.size(), 3u);
    EXPECT_NE(run(" analyse " + (m_dir / "none.csv").string() + " 2>&1", &out), 0);
    EXPECT_NE(run(" screen --jobs 0 2>&1", &out), 0);
}

TEST_F(CliMarket, AFolderMadeByInitAloneExportsAndTwoScreensSideBySideBothServeEveryStock)
{
    start(150, 60);
    std::string out;
    ASSERT_EQ(run(" refresh", &out), 0);
    ASSERT_EQ(run(" export 1300 --out " + (m_dir / "c.xlsx").string() + " 2>&1", &out), 0) << out;
    EXPECT_TRUE(std::filesystem::is_regular_file(m_dir / "c.xlsx"));

    const std::string screen = cli() + " screen --jobs 4 2>&1";
    ASSERT_EQ(test::runCommand("(" + screen + " > " + (m_dir / "a.txt").string() + ") & " + screen + " > "
                  + (m_dir / "b.txt").string() + "; s=$?; wait $! || s=$?; exit $s"),
        0);
    for (const char* name : {"a.txt", "b.txt"}) {
        std::string text = test::readFile(m_dir / name);
        EXPECT_NE(text.find(", failed 0;"), std::string::npos) << name << ": " << text;
    }
    for (const auto& e : std::filesystem::directory_iterator(m_dir / "home" / "csv")) {
        EXPECT_EQ(e.path().string().find(".part-"), std::string::npos) << e.path();
        EXPECT_EQ(e.path().string().find(".ahead"), std::string::npos) << e.path();
    }
}

TEST_F(CliMarket, FailedRunsExitNonZeroAndASignalStopsCleanly)
{
    start(300, 60, 1.0);
    std::string out;
    ASSERT_EQ(run(" refresh", &out), 0);
    // Every history answered with 500: not a success.
    EXPECT_EQ(run(" screen --jobs 4 2>&1", &out), 1);
    EXPECT_NE(out.find("サーバーから取得できません"), std::string::npos) << out;

    // A slow server and a SIGTERM in the middle: exit 143, no temporary file left.
    sample::SampleServer::Options slow;
    slow.market.stocks = 300;
    slow.market.days = 60;
    slow.market.today = core::Clock().today();
    slow.latencyMs = 100;
    auto server = std::make_unique<sample::SampleServer>(slow);
    ASSERT_GT(server->start(0), 0);
    auto c = database();
    c->execute(" UPDATE Table_Url SET kabuMUrl='" + server->historyBaseUrl() + "'");
    c->execute(" UPDATE Table_Code SET Dchk='X'");
    c.reset();
    int status = test::runCommand(
        "(" + cli() + " screen --jobs 8 >/dev/null 2>&1 & p=$!; sleep 1; kill -TERM $p; wait $p; exit $?)");
    EXPECT_EQ(status, 143);
    int left = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_dir / "home" / "csv")) {
        const std::string name = e.path().filename().string();
        left += name.find(".part-") != std::string::npos || name.find(".ahead") != std::string::npos;
    }
    EXPECT_EQ(left, 0);
    auto after = database();
    // Stocks reached before the signal are done; none is marked as a failed download.
    EXPECT_GT(after->openRecordset(" SELECT * FROM Table_Code WHERE Dchk='取得'")->recordCount(), 0);
    EXPECT_GT(after->openRecordset(" SELECT * FROM Table_Code WHERE Dchk='X'")->recordCount(), 0);
    EXPECT_EQ(after->openRecordset(" SELECT * FROM Table_Code WHERE Dchk=' '")->recordCount(), 0);
    after.reset();

    // An export stopped while its history hangs: 130 for SIGINT, nothing written, nothing left.
    test::RawHttpServer stalled([](int) { std::this_thread::sleep_for(std::chrono::seconds(3)); });
    database()->execute(" UPDATE Table_Url SET kabuMUrl='" + stalled.url("/h/") + "'");
    std::filesystem::remove_all(m_dir / "home" / "csv");
    const auto book = m_dir / "out" / "book.xlsx";
    std::filesystem::create_directories(book.parent_path());
    status = test::runCommand("(" + cli() + " export 1300 --out " + book.string()
        + " >/dev/null 2>&1 & p=$!; sleep 0.5; kill -INT $p; wait $p; exit $?)");
    EXPECT_EQ(status, 130);
    EXPECT_TRUE(std::filesystem::is_empty(book.parent_path()));
    EXPECT_TRUE(!std::filesystem::exists(m_dir / "home" / "csv")
        || std::filesystem::is_empty(m_dir / "home" / "csv"));
}

TEST_F(CliMarket, DailyReportsTargetsAndSignalsJournalsEachRunAndExitsByOutcome)
{
    start(200, 300);
    std::string out;
    // An empty watch list: done, exit 0.
    ASSERT_EQ(run(" daily --jobs 4", &out), 0) << out;
    const std::string latest
        = core::Clock::dashed(std::chrono::year_month_day{m_server->market().latestTradingDay()});
    EXPECT_EQ(out.rfind("取引日 " + latest + "\nstocks ", 0), 0u) << out;
    EXPECT_NE(out.find("目標到達 0 銘柄\n"), std::string::npos);
    EXPECT_NE(out.find("\n結果 ok\n"), std::string::npos) << out;

    // The signals the report names are those the table holds after the run.
    auto c = database();
    std::vector<std::string> signalled;
    for (auto rs = c->openRecordset(" SELECT MgCode FROM Table_Code WHERE Achk IN ('売','買') OR Cchk IN "
                                    "('売','買') ORDER BY MgCode");
         !rs->isEof(); rs->moveNext()) {
        signalled.push_back(rs->field(0).toText());
    }
    ASSERT_FALSE(signalled.empty());
    EXPECT_NE(out.find("注目 " + std::to_string(signalled.size()) + " 銘柄\n  " + signalled.front() + " "),
        std::string::npos);

    // Three watched stocks: one reached exactly, one not yet, one without a target.
    auto close = [&](const std::string& code) {
        return c->openRecordset(" SELECT Wecost FROM Table_Code WHERE MgCode='" + code + "'")
            ->field(0)
            .toDouble();
    };
    auto codes = c->openRecordset(" SELECT MgCode, MgMei FROM Table_Code ORDER BY MgCode");
    std::vector<std::pair<std::string, std::string>> stocks;
    for (int i = 0; i < 3; ++i, codes->moveNext()) {
        stocks.emplace_back(codes->field(0).toText(), codes->field(1).toText());
    }
    const double reachedClose = close(stocks[0].first);
    c->execute(" INSERT INTO Table_KOCYU (Wmgcode, Wmgmei, WzuvemoK, WzuvemoM) VALUES ('" + stocks[0].first
        + "', '" + stocks[0].second + "', 1, " + std::to_string(static_cast<long>(reachedClose)) + ")");
    c->execute(" INSERT INTO Table_KOCYU (Wmgcode, Wmgmei, WzuvemoK, WzuvemoM) VALUES ('" + stocks[1].first
        + "', 'b', 1, " + std::to_string(static_cast<long>(close(stocks[1].first)) + 1) + ")");
    c->execute(" INSERT INTO Table_KOCYU (Wmgcode, Wmgmei, WzuvemoK, WzuvemoM) VALUES ('" + stocks[2].first
        + "', 'c', 1, 0)");
    c.reset();

    const auto jsonFile = m_dir / "daily.json";
    ASSERT_EQ(run(" daily --jobs 4 --json > " + jsonFile.string(), &out), 3);
    // Valid JSON, read back by a JSON parser.
    ASSERT_EQ(test::runCommand(
                  "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                  "print(d[\"exitCode\"], d[\"outcome\"], d[\"tradingDate\"], len(d[\"signals\"]), "
                  "[(r[\"code\"], r[\"name\"], r[\"today\"], r[\"target\"]) for r in d[\"reached\"]])' "
                      + jsonFile.string(),
                  &out),
        0);
    const std::string amount = std::to_string(static_cast<long>(reachedClose));
    EXPECT_EQ(out,
        "3 reached " + latest + " " + std::to_string(signalled.size()) + " [('" + stocks[0].first + "', '"
            + stocks[0].second + "', " + amount + ", " + amount + ")]\n");

    ASSERT_EQ(run(" daily --jobs 4", &out), 3);
    EXPECT_NE(out.find("目標到達 1 銘柄\n  " + stocks[0].first + " " + stocks[0].second + " 本日額 "
                  + core::FormatNumber(reachedClose, "#,###") + " 希望額 "
                  + core::FormatNumber(reachedClose, "#,###") + "\n"),
        std::string::npos)
        << out;

    // One whole record per run, newest last.
    auto after = database();
    auto rs = after->openRecordset(" SELECT * FROM Table_Journal ORDER BY JournalId");
    ASSERT_EQ(rs->recordCount(), 3);
    EXPECT_EQ(rs->field("Outcome").toText(), "ok");
    EXPECT_EQ(rs->field("TradingDate").toText(), latest);
    EXPECT_GT(rs->field("Screened").toDouble(), 150);
    EXPECT_EQ(rs->field("Screened").toDouble(),
        rs->field("Obtained").toDouble() + rs->field("Suspended").toDouble()
            + rs->field("Failed").toDouble());
    rs->moveNext();
    EXPECT_EQ(rs->field("Outcome").toText(), "reached");
    EXPECT_EQ(rs->field("ReachedCodes").toText(), stocks[0].first);
    const std::string signalCodes = rs->field("SignalCodes").toText();
    EXPECT_EQ(
        std::count(signalCodes.begin(), signalCodes.end(), ' ') + 1, static_cast<long>(signalled.size()));
    EXPECT_EQ(rs->field("Seen").toDouble(), 0);
}

TEST_F(CliMarket, DailyNotifiesTheTargetsJournalsAFailureAndRefusesASecondRun)
{
    start(150, 60);
    std::string out;
    {
        auto c = database();
        c->execute(" INSERT INTO Table_KOCYU (Wmgcode, Wmgmei, WzuvemoM) VALUES ('1300', '東邦', 1)");
    }
    // A reached target with a notifier on the path: it names the stock; without one, nothing fails.
    std::filesystem::create_directories(m_dir / "fakebin");
    test::writeFile(
        m_dir / "fakebin" / "notify-send", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/sent\"\n");
    std::filesystem::permissions(m_dir / "fakebin" / "notify-send", std::filesystem::perms::owner_all);
    EXPECT_EQ(test::runCommand("PATH=" + (m_dir / "fakebin").string() + ":$PATH " + cli()
                  + " daily --notify >/dev/null 2>&1"),
        3);
    const std::string sent = test::readFile(m_dir / "fakebin" / "sent");
    EXPECT_NE(sent.find("Zuvemo 目標到達 1 銘柄|1300 東邦 本日額 "), std::string::npos) << sent;
    EXPECT_EQ(test::runCommand("PATH=/usr/bin:/bin DBUS_SESSION_BUS_ADDRESS= " + cli()
                  + " daily --notify >/dev/null 2>&1"),
        3);

    // No daily list to be had: exit 1, and the failure is journalled with the refresh's message.
    database()->execute(" UPDATE Table_Url SET kabuHUrl='http://127.0.0.1:1/d/', kabuHdate='20000103'");
    EXPECT_EQ(run(" daily --json 2>/dev/null", &out), 1);
    EXPECT_NE(out.find("\"outcome\":\"failed\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"tradingDate\":null"), std::string::npos) << out;
    {
        auto c = database();
        auto rs = c->openRecordset(" SELECT * FROM Table_Journal ORDER BY JournalId DESC");
        ASSERT_EQ(rs->recordCount(), 3);
        EXPECT_EQ(rs->field("Outcome").toText(), "failed");
        EXPECT_EQ(rs->field("Message").toText(), "読込してファイルダウンロードできませんでした。");
        EXPECT_FALSE(rs->field("EndedAt").toText().empty());
    }

    // Another process holding the run's lock: refused with a message, nothing journalled.
    auto lock = core::FileLock::acquire(m_dir / "home" / ".daily.lock", core::FileLock::Mode::Exclusive, 0);
    ASSERT_TRUE(lock);
    EXPECT_EQ(run(" daily 2>&1", &out), 1);
    EXPECT_NE(out.find("日次処理は既に実行中です。"), std::string::npos) << out;
    EXPECT_EQ(database()->openRecordset(" SELECT * FROM Table_Journal")->recordCount(), 3);

    // A lock file that cannot be opened is no lock: refused, not run beside another.
    lock.reset();
    std::filesystem::remove(m_dir / "home" / ".daily.lock");
    std::filesystem::create_directory(m_dir / "home" / ".daily.lock");
    EXPECT_EQ(run(" daily 2>&1", &out), 1);
    EXPECT_NE(out.find(".daily.lock"), std::string::npos) << out;
    EXPECT_EQ(database()->openRecordset(" SELECT * FROM Table_Journal")->recordCount(), 3);
}

TEST_F(CliMarket, RefreshNeverGoesBackNorLoadsAListCutAtALineBreak)
{
    start(200, 20);
    std::string out;
    ASSERT_EQ(run(" refresh", &out), 0);
    const std::chrono::year_month_day latestDay{m_server->market().latestTradingDay()};
    const std::string latest = core::Clock::dashed(latestDay);
    const std::string latestDigits = latest.substr(0, 4) + latest.substr(5, 2) + latest.substr(8, 2);
    const auto held = database()->openRecordset(" SELECT * FROM Table_Code")->recordCount();
    database()->execute(" UPDATE Table_Code SET Achk='買'");

    // In front of the sample market: the latest day's list fails, or arrives cut after a line.
    std::mutex lock;
    bool failLatest = true;
    int keepLines = 0;
    test::RawHttpServer front([&](int sock, const std::string& head) {
        const auto at = head.find("/d/");
        const std::string date = at == std::string::npos ? std::string() : head.substr(at + 3, 10);
        std::lock_guard guard(lock);
        if (date == latest && failLatest) {
            test::RawHttpServer::sendAll(sock, "HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        std::optional<std::string> body;
        if (date.size() == 10) {
            body = m_server->market().dailyFile(
                std::chrono::year_month_day{std::chrono::year{std::stoi(date.substr(0, 4))},
                    std::chrono::month{static_cast<unsigned>(std::stoi(date.substr(5, 2)))},
                    std::chrono::day{static_cast<unsigned>(std::stoi(date.substr(8, 2)))}});
        }
        if (!body) {
            test::RawHttpServer::sendAll(sock, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        std::size_t end = 0;
        for (int line = 0; keepLines > 0 && line <= keepLines && end != std::string::npos; ++line) {
            end = body->find("\r\n", end) + 2;
        }
        // No length, and the connection closed right after a line break.
        test::RawHttpServer::sendAll(sock,
            "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + (keepLines > 0 ? body->substr(0, end) : *body));
    });
    database()->execute(" UPDATE Table_Url SET kabuHUrl='" + front.url("/d/") + "'");
    auto unchanged = [&] {
        auto c = database();
        return c->openRecordset(" SELECT * FROM Table_Code WHERE Achk='買'")->recordCount() == held
            && c->openRecordset(" SELECT kabuHdate FROM Table_Url")->field(0).toText() == latestDigits;
    };

    // The latest list failing once: the walk stops at the day held.
    EXPECT_EQ(run(" refresh 2>&1", &out), 0);
    EXPECT_EQ(out, "新しい銘柄一覧はまだありません（読み込み済み: " + latest + "）。\n" + latest + "\n");
    EXPECT_TRUE(unchanged());

    // Held a day older, the latest list arrives cut after 60 stocks.
    database()->execute(" UPDATE Table_Url SET kabuHdate='20000103'");
    {
        std::lock_guard guard(lock);
        failLatest = false;
        keepLines = 60;
    }
    std::string refused;
    EXPECT_EQ(run(" refresh 2>&1", &refused), 1);
    EXPECT_EQ(database()->openRecordset(" SELECT * FROM Table_Code WHERE Achk='買'")->recordCount(), held);

    EXPECT_EQ(run(" refresh --accept-smaller 2>/dev/null", &out), 0);
    EXPECT_EQ(out, latest + "\n");
    // 60 lines, less the stocks not traded that day.
    const auto loaded = database()->openRecordset(" SELECT * FROM Table_Code")->recordCount();
    EXPECT_GT(loaded, 50);
    EXPECT_LE(loaded, 60);
    EXPECT_EQ(refused,
        "銘柄一覧が途中で切れている可能性があります（" + std::to_string(loaded) + " 銘柄、前回 "
            + std::to_string(held) + " 銘柄）。\n");
}

TEST_F(CliMarket, TwoLongCommandsOnOneFolderNeverRunTogether)
{
    start(150, 60);
    std::string out;
    ASSERT_EQ(run(" refresh", &out), 0);
    auto c = database();
    const auto stocks = c->openRecordset(" SELECT * FROM Table_Code")->recordCount();
    const std::string code
        = c->openRecordset(" SELECT MgCode FROM Table_Code ORDER BY MgCode")->field(0).toText();
    c.reset();
    const std::vector<std::pair<std::string, std::string>> pairs{{"refresh", "screen --jobs 2"},
        {"screen --jobs 2", "refresh"}, {"screen --jobs 2", "screen --jobs 2"}, {"refresh", "refresh"},
        {"screen --jobs 2", "daily --jobs 2"},
        {"export " + code + " --out " + (m_dir / "a.xlsx").string(), "refresh"}};
    const std::chrono::sys_days latest = m_server->market().latestTradingDay();
    std::string dayBefore = core::Clock::dashed(std::chrono::year_month_day{latest - std::chrono::days{1}});
    dayBefore.erase(std::remove(dayBefore.begin(), dayBefore.end(), '-'), dayBefore.end());
    int ran = 0;
    int broken = 0;
    for (int round = 0; round < 24; ++round) {
        const auto& [first, second] = pairs[round % pairs.size()];
        // Every refresh has a newer list to load: the day before the latest is held.
        database()->execute(" UPDATE Table_Url SET kabuHdate='" + dayBefore + "'");
        const std::string script = "(" + cli() + " " + first + " >/dev/null 2>" + (m_dir / "1.err").string()
            + "; echo $? > " + (m_dir / "1.rc").string() + ") & (" + cli() + " " + second + " >/dev/null 2>"
            + (m_dir / "2.err").string() + "; echo $? > " + (m_dir / "2.rc").string() + ") & wait";
        ASSERT_EQ(test::runCommand("sh -c '" + script + "'"), 0);
        for (const char* n : {"1", "2"}) {
            const int rc = std::stoi(test::readFile(m_dir / (std::string(n) + ".rc")));
            const std::string err = test::readFile(m_dir / (std::string(n) + ".err"));
            // Done, or refused whole with the one message. An export run before the refresh
            // finds its stock's history newer than the day held.
            const bool ok = rc == 0
                || (rc == 1
                    && (err == "他の処理が実行中です。終了してから実行してください。\n"
                        || err == "停止中で準備が出来ていません\n"));
            EXPECT_TRUE(ok) << "round " << round << " command " << n << ": " << rc << " " << err;
            broken += ok ? 0 : 1;
        }
        // The histories the table says were obtained are there: no refresh deleted them under a
        // screening.
        c = database();
        EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Code")->recordCount(), stocks) << round;
        const std::string held = c->openRecordset(" SELECT kabuHdate FROM Table_Url")->field(0).toText();
        int missing = 0;
        for (auto rs = c->openRecordset(" SELECT MgCode FROM Table_Code WHERE Dchk='取得'"); !rs->isEof();
             rs->moveNext()) {
            missing += !std::filesystem::exists(
                m_dir / "home" / "csv" / (held + "-" + rs->field(0).toText() + ".csv"));
        }
        EXPECT_EQ(missing, 0) << round;
        broken += missing == 0 ? 0 : 1;
        c.reset();
        ++ran;
    }
    std::cout << "command pairs: " << ran << " run, " << broken << " broken" << std::endl;
}

TEST_F(CliMarket, DatabaseErrorsSayWhatFailedInJapaneseWithTheStatementOnALineOfItsOwn)
{
    start(50, 30);
    std::string out;
    ASSERT_EQ(run(" refresh", &out), 0);
    // Something else took the journal's name: the run is done, its record cannot be written.
    database()->execute("CREATE INDEX Table_Journal ON Table_Url(kabuHUrl)");
    EXPECT_EQ(run(" daily --json 2>/dev/null", &out), 1);
    EXPECT_NE(out.find("記録を書き込めません: データベースの処理に失敗しました。\""), std::string::npos)
        << out;
    EXPECT_EQ(out.find("CREATE"), std::string::npos) << out;

    database()->execute("DROP TABLE Table_Code");
    EXPECT_EQ(run(" screen 2>&1", &out), 1);
    const auto lines = out.find('\n');
    ASSERT_NE(lines, std::string::npos) << out;
    EXPECT_EQ(out.substr(0, lines), "(ｴﾗｰ番号:1) データベースの処理に失敗しました。");
    EXPECT_EQ(out.rfind("  (database error 1: no such table: Table_Code [", lines + 1), lines + 1) << out;
}
