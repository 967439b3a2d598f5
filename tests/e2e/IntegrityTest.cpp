// Hostile servers, a second process on the database, signals: nothing stored is lost or
// half-loaded, and no failure is reported as success.
#include "ModuleFixture.h"
#include "RawHttpServer.h"
#include "SampleServer.h"
#include "analysis/CSVMDB.h"
#include "analysis/ScreeningRun.h"
#include "core/Clock.h"
#include "core/Recordset.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/DailyQuoteImport.h"
#include "marketdata/MarketDataRefresh.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <mutex>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zuvemo;
using test::RawHttpServer;

namespace {

using namespace std::chrono;

constexpr year_month_day kToday{year{2024}, month{1}, day{5}};
constexpr year_month_day kYesterday{year{2024}, month{1}, day{4}};

std::string dailyFile(const char* date, int stocks, int base)
{
    std::string text = std::string(date) + " 全銘柄\r\n";
    for (int i = 0; i < stocks; ++i) {
        text += std::to_string(1000 + i) + ",東証プライム,銘柄" + std::to_string(i) + ",情報・通信業,"
            + std::to_string(base + i) + ",2,3,4,409874400,6\r\n";
    }
    return *core::TextCodec::encodeCp932(text);
}

// A cut that the data can show: anywhere but just after a line break, where a shorter file
// looks like a whole one to anyone who does not know its size.
std::size_t cutPosition(const std::string& body, std::mt19937& random)
{
    std::uniform_int_distribution<std::size_t> pick(1, body.size() - 1);
    for (;;) {
        std::size_t at = pick(random);
        if (body[at - 1] != '\n') {
            return at;
        }
    }
}

std::string reply(const std::string& body, std::size_t cut, bool withLength)
{
    if (withLength) {
        // The length says less than the body holds: HTTP sees a whole reply.
        return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(cut) + "\r\n\r\n"
            + body;
    }
    return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body.substr(0, cut);
}

class Integrity : public test::ModuleFixture
{
protected:
    void pointAt(const std::string& daily, const std::string& history)
    {
        db().execute(" UPDATE Table_Url SET kabuHUrl='" + daily + "', kabuMUrl='" + history + "'");
    }
    std::string listSignature()
    {
        std::string s;
        auto rs = db().openRecordset(" SELECT MgCode,Wscost,Wccost FROM Table_Code ORDER BY MgCode");
        for (; !rs->isEof(); rs->moveNext()) {
            s += rs->field(0).toText() + ":" + rs->field(1).toText() + ":" + rs->field(2).toText() + ";";
        }
        return s;
    }
};

} // namespace

TEST_F(Integrity, DailyListsCutShortAtRandomBytesNeverReplaceTheList)
{
    const std::string previous = dailyFile("2024年01月04日", 300, 100);
    const std::string next = dailyFile("2024年01月05日", 300, 500);
    ASSERT_TRUE(marketdata::CreateMDB(
        *m_module, (test::writeFile(m_dir / "p.csv", previous), m_dir / "p.csv"), "2024-01-04"));
    const std::string whole = listSignature();

    std::mt19937 random(20240105);
    std::atomic<std::size_t> cut{0};
    std::atomic<bool> withLength{false};
    RawHttpServer server([&](int sock, const std::string& head) {
        if (head.find("2024-01-05") != std::string::npos) {
            RawHttpServer::sendAll(sock, reply(next, cut, withLength));
        } else if (head.find("2024-01-04") != std::string::npos) {
            RawHttpServer::sendAll(sock,
                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(previous.size()) + "\r\n\r\n"
                    + previous);
        } else {
            RawHttpServer::sendAll(sock, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    });
    pointAt(server.url("/d/"), server.url("/h/"));
    const int trials = 120;
    int losses = 0;
    for (int trial = 0; trial < trials; ++trial) {
        withLength = trial % 2 == 1;
        cut = cutPosition(next, random);
        marketdata::CurlDownloader downloader;
        core::FixedClock clock(kToday);
        auto result = marketdata::MarketDataRefresh(*m_module, downloader, clock).run();
        // The cut list is a failed download, said as such; the list held stands whole.
        bool ok = result.outcome == marketdata::MarketDataRefresh::Outcome::Failed
            && result.message.rfind("最新の銘柄一覧を取得できませんでした（2024-01-05: ", 0) == 0
            && result.tradingDate == "2024-01-04" && listSignature() == whole
            && scalar(" SELECT kabuHdate FROM Table_Url") == "20240104";
        losses += ok ? 0 : 1;
        ASSERT_TRUE(ok) << "trial " << trial << ", cut at " << cut
                        << (withLength ? " by length" : " by close");
    }
    RecordProperty("truncated_daily_trials", trials);
    RecordProperty("truncated_daily_losses", losses);

    // Cut right after a line break without a length, the list looks whole: its size gives it
    // away while it holds under 90 % of the stocks, down to the date line alone.
    std::vector<std::size_t> lineEnds;
    for (std::size_t at = next.find("\r\n"); at != std::string::npos; at = next.find("\r\n", at + 2)) {
        lineEnds.push_back(at + 2);
    }
    ASSERT_EQ(lineEnds.size(), 301u);
    withLength = false;
    const int lineTrials = 60;
    int lineLosses = 0;
    std::uniform_int_distribution<std::size_t> keep(0, 269);
    for (int trial = 0; trial < lineTrials; ++trial) {
        const std::size_t stocksKept = trial == 0 ? 0 : keep(random);
        cut = lineEnds[stocksKept];
        marketdata::CurlDownloader downloader;
        core::FixedClock clock(kToday);
        auto result = marketdata::MarketDataRefresh(*m_module, downloader, clock).run();
        bool ok = result.outcome == marketdata::MarketDataRefresh::Outcome::Incomplete
            && result.tradingDate == "2024-01-04" && listSignature() == whole
            && scalar(" SELECT kabuHdate FROM Table_Url") == "20240104";
        lineLosses += ok ? 0 : 1;
        ASSERT_TRUE(ok) << "line trial " << trial << ", " << stocksKept << " stocks kept";
    }
    std::cout << "cut at a line break: " << lineTrials << " trials, " << lineLosses << " losses" << std::endl;
    RecordProperty("line_break_cut_trials", lineTrials);
    RecordProperty("line_break_cut_losses", lineLosses);
}

TEST_F(Integrity, HistoriesCutShortAreFailedDownloadsNotObtained)
{
    ASSERT_TRUE(marketdata::CreateMDB(*m_module,
        (test::writeFile(m_dir / "p.csv", dailyFile("2024年01月04日", 12, 100)), m_dir / "p.csv"),
        "2024-01-04"));
    std::string history = "コード,銘柄\r\n日付,始値\r\n";
    for (int i = 0; i < 40; ++i) {
        history += "2024-01-" + std::string(i < 6 ? "0" : "") + std::to_string(4 - i < 1 ? 1 : 4 - i)
            + ",100,110,90,105,409874400,1000\r\n";
    }
    history = *core::TextCodec::encodeCp932(history);
    std::mt19937 random(7);
    std::atomic<int> served{0};
    RawHttpServer server([&](int sock, const std::string&) {
        static std::mutex m;
        std::size_t at = 0;
        {
            std::lock_guard lock(m);
            at = cutPosition(history, random);
        }
        // Past the third line, so the date check alone would pass the file.
        at = std::max<std::size_t>(at, history.find("\r\n", history.find("2024-01-04")) + 5);
        RawHttpServer::sendAll(sock, reply(history, at, served++ % 2 == 0));
    });
    pointAt(server.url("/d/"), server.url("/h/"));
    for (int jobs : {1, 4}) {
        marketdata::CurlDownloader downloader;
        analysis::ScreeningRun run(*m_module, downloader, analysis::readBounds(*m_module));
        run.setJobs(jobs);
        auto summary = run.run("", "");
        EXPECT_EQ(summary.stocks, 12);
        EXPECT_EQ(summary.obtained, 0) << jobs;
        EXPECT_EQ(summary.failed, 12) << jobs;
        EXPECT_EQ(summary.localErrors, 0);
        EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Dchk='取得'"), 0);
        EXPECT_NE(analysis::ScreeningRun::failureMessage(summary).find("サーバーから取得できません"),
            std::string::npos);
    }
}

TEST_F(Integrity, ALocalFileErrorFailsTheRunWithItsOwnMessage)
{
    ASSERT_TRUE(marketdata::CreateMDB(*m_module,
        (test::writeFile(m_dir / "p.csv", dailyFile("2024年01月04日", 5, 100)), m_dir / "p.csv"),
        "2024-01-04"));
    struct Unwritable : marketdata::Downloader
    {
        std::int32_t DownloadToFile(const std::string&, const std::filesystem::path&) override
        {
            return marketdata::CurlDownloader::kFileError;
        }
    } downloader;
    analysis::ScreeningRun run(*m_module, downloader, analysis::readBounds(*m_module));
    run.setJobs(1);
    auto summary = run.run("", "");
    EXPECT_EQ(summary.localErrors, 5);
    EXPECT_NE(
        analysis::ScreeningRun::failureMessage(summary).find("保存できませんでした"), std::string::npos);
    summary.localErrors = 0;
    summary.failed = 2;
    summary.obtained = 3;
    EXPECT_TRUE(analysis::ScreeningRun::failureMessage(summary).empty());
}

TEST_F(Integrity, AStalledOrAbsentServerEndsTheWalkAfterThreeAttempts)
{
    db().execute(" UPDATE Table_Url SET kabuHdate=''");
    std::atomic<int> connections{0};
    RawHttpServer stalled([&](int sock, const std::string&) {
        ++connections;
        std::this_thread::sleep_for(milliseconds(3000));
        (void)sock;
    });
    pointAt(stalled.url("/d/"), stalled.url("/h/"));
    marketdata::CurlDownloader::Options options;
    options.totalTimeoutMs = 700;
    marketdata::CurlDownloader downloader(options);
    core::FixedClock clock(kToday);
    auto start = steady_clock::now();
    auto result = marketdata::MarketDataRefresh(*m_module, downloader, clock).run();
    auto took = steady_clock::now() - start;
    EXPECT_EQ(result.outcome, marketdata::MarketDataRefresh::Outcome::NotFound);
    EXPECT_EQ(connections.load(), 3);
    EXPECT_LT(took, seconds(4));
    RecordProperty("stalled_refresh_ms", static_cast<int>(duration_cast<milliseconds>(took).count()));
    ASSERT_FALSE(m_messages.recorder().boxes.empty());
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "読込してファイルダウンロードできませんでした。");

    // Nobody listening at all: three refusals, at once.
    int port = 0;
    {
        RawHttpServer gone([](int) {});
        port = gone.port();
    }
    pointAt("http://127.0.0.1:" + std::to_string(port) + "/d/", "http://127.0.0.1:1/h/");
    struct Counting : marketdata::CurlDownloader
    {
        std::int32_t DownloadToFile(const std::string& url, const std::filesystem::path& path) override
        {
            ++calls;
            return marketdata::CurlDownloader::DownloadToFile(url, path);
        }
        int calls = 0;
    } counting;
    result = marketdata::MarketDataRefresh(*m_module, counting, clock).run();
    EXPECT_EQ(result.outcome, marketdata::MarketDataRefresh::Outcome::NotFound);
    EXPECT_EQ(counting.calls, 3);

    // Error pages are answers: the walk still visits all 101 days.
    RawHttpServer errors(
        [](int sock) { RawHttpServer::sendAll(sock, "HTTP/1.1 500 Error\r\nContent-Length: 0\r\n\r\n"); });
    pointAt(errors.url("/d/"), errors.url("/h/"));
    counting.calls = 0;
    result = marketdata::MarketDataRefresh(*m_module, counting, clock).run();
    EXPECT_EQ(counting.calls, 101);
}

TEST_F(Integrity, CompactionNeverLosesTheWritesOfAnotherProcess)
{
    db().execute("CREATE TABLE Probe (n INTEGER)");
    m_module->CloseDatabase();
    const auto path = m_dir / "zuvemo.db";
    const int rows = 200;
    int compacted = 0;
    int skipped = 0;
    int base = 0;
    // One connection held through the whole run (a screening run beside the window), then short
    // connections opened before, during and after the compactions.
    for (int perConnection : {rows, 5}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                for (int r = 0; r < rows / perConnection; ++r) {
                    auto c = core::Connection::open(path);
                    for (int i = 0; i < perConnection; ++i) {
                        c->execute("INSERT INTO Probe (n) VALUES ("
                            + std::to_string(base + r * perConnection + i) + ")");
                        std::this_thread::sleep_for(microseconds(100));
                    }
                    c.reset();
                    std::this_thread::sleep_for(microseconds(300 + (r % 7) * 200));
                }
            } catch (const std::exception& e) {
                std::cerr << "writer: " << e.what() << std::endl;
                _exit(2);
            }
            _exit(0);
        }
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            (core::CompactDatabaseFile(path) ? compacted : skipped)++;
            std::this_thread::sleep_for(microseconds(500));
        }
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
        base += rows;
        auto c = core::Connection::open(path);
        EXPECT_EQ(c->openRecordset("PRAGMA integrity_check")->field(0).toText(), "ok");
        EXPECT_EQ(c->openRecordset("SELECT DISTINCT n FROM Probe")->recordCount(), base)
            << compacted << " compacted, " << skipped << " skipped";
    }
    EXPECT_GT(compacted, 0);
    EXPECT_GT(skipped, 0);
    RecordProperty("compactions", compacted);
    RecordProperty("compactions_skipped", skipped);
    std::cout << "compaction beside a writer: " << compacted << " compacted, " << skipped << " skipped, "
              << base << " rows written, all kept" << std::endl;
}
