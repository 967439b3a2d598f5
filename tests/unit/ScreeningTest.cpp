#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "RawHttpServer.h"
#include "SampleServer.h"
#include "analysis/CSVMDB.h"
#include "analysis/ScreeningRun.h"
#include "core/Clock.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"

#include <chrono>
#include <iostream>
#include <set>
#include <thread>

using namespace zuvemo;
using namespace std::chrono;
using test::RawHttpServer;

namespace {

constexpr year_month_day kToday{2024y, January, 12d};

class Screening : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        test::ModuleFixture::SetUp();
        sample::SampleServer::Options options;
        options.market.stocks = 300;
        options.market.days = 40;
        options.market.today = kToday;
        m_server = std::make_unique<sample::SampleServer>(options);
        ASSERT_GT(m_server->start(0), 0);
        db().execute(" UPDATE Table_Url SET kabuHUrl='" + m_server->dailyBaseUrl() + "', kabuMUrl='"
            + m_server->historyBaseUrl() + "'");
        marketdata::CurlDownloader downloader;
        core::FixedClock clock(kToday);
        ASSERT_EQ(marketdata::MarketDataRefresh(*m_module, downloader, clock).run().outcome,
            marketdata::MarketDataRefresh::Outcome::Loaded);
    }

    analysis::ScreeningRun::Summary screen(int jobs, const std::string& market = "",
        const std::string& industry = "", std::function<bool(int, int)> progress = {})
    {
        marketdata::CurlDownloader::Options options;
        options.durable = false;
        marketdata::CurlDownloader downloader(options);
        return screenWith(downloader, jobs, market, industry, std::move(progress));
    }
    analysis::ScreeningRun::Summary screenWith(marketdata::Downloader& downloader, int jobs,
        const std::string& market = "", const std::string& industry = "",
        std::function<bool(int, int)> progress = {})
    {
        analysis::ScreeningRun run(*m_module, downloader, analysis::readBounds(*m_module));
        run.setJobs(jobs);
        analysis::ScreeningHooks hooks;
        hooks.progress = std::move(progress);
        return run.run(market, industry, hooks);
    }
    std::string table(const std::string& sql)
    {
        std::string out;
        for (auto rs = db().openRecordset(sql); !rs->isEof(); rs->moveNext()) {
            for (int i = 0; i < rs->columnCount(); ++i) {
                out += rs->field(i).toText() + "|";
            }
            out += "\n";
        }
        return out;
    }
    std::set<std::string> csvFiles()
    {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir / "csv")) {
            names.insert(e.path().filename().string() + ":" + std::to_string(e.file_size()));
        }
        return names;
    }

    std::unique_ptr<sample::SampleServer> m_server;
};

} // namespace

TEST_F(Screening, EightJobsGiveTheSameRowsFilesAndWorkTableAsOne)
{
    auto one = screen(1);
    ASSERT_TRUE(one.started);
    EXPECT_GT(one.obtained, 250);
    auto codes = table(" SELECT * FROM Table_Code ORDER BY MgCode");
    auto files = csvFiles();
    auto work = table(" SELECT * FROM WorkTemp ORDER BY Wcount");
    EXPECT_FALSE(work.empty());

    db().execute(" UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
    db().execute(" DELETE FROM WorkTemp");
    std::filesystem::remove_all(m_dir / "csv");
    auto eight = screen(8);
    EXPECT_EQ(table(" SELECT * FROM Table_Code ORDER BY MgCode"), codes);
    EXPECT_EQ(csvFiles(), files);
    EXPECT_EQ(table(" SELECT * FROM WorkTemp ORDER BY Wcount"), work);
    EXPECT_EQ(analysis::ScreeningRun::summaryLine(one), analysis::ScreeningRun::summaryLine(eight));

    // Over files that already exist (stale ones here), each is written anew and no staging file stays.
    for (const auto& e : std::filesystem::directory_iterator(m_dir / "csv")) {
        test::writeFile(e.path(), "stale\r\n");
    }
    db().execute(" UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
    auto again = screen(8);
    EXPECT_EQ(table(" SELECT * FROM Table_Code ORDER BY MgCode"), codes);
    EXPECT_EQ(csvFiles(), files);
    EXPECT_EQ(analysis::ScreeningRun::summaryLine(again), analysis::ScreeningRun::summaryLine(one));

    // The last analysed stock's file gives the code the table holds for it.
    std::string last = scalar(" SELECT MgCode FROM Table_Code WHERE Dchk='取得' ORDER BY MgCode DESC");
    auto file = m_dir / "csv" / ("20240112-" + last + ".csv");
    std::string expected = analysis::CSVMDB(*m_module, file, 0, analysis::readBounds(*m_module));
    EXPECT_EQ(analysis::Indicators::markFromDigit(expected[0]),
        scalar(" SELECT Achk FROM Table_Code WHERE MgCode='" + last + "'"));
}

TEST_F(Screening, FailedDownloadKeepsEarlierSignals)
{
    screen(1);
    std::string code = scalar(" SELECT MgCode FROM Table_Code WHERE Achk<>' ' ORDER BY MgCode");
    ASSERT_NE(code, "<none>");
    std::string achk = scalar(" SELECT Achk FROM Table_Code WHERE MgCode='" + code + "'");

    sample::SampleServer::Options options;
    options.market.stocks = 300;
    options.market.days = 40;
    options.market.today = kToday;
    options.failRate = 1.0;
    sample::SampleServer failing(options);
    ASSERT_GT(failing.start(0), 0);
    db().execute(" UPDATE Table_Url SET kabuMUrl='" + failing.historyBaseUrl() + "'");
    for (int jobs : {1, 8}) {
        auto summary = screen(jobs);
        EXPECT_EQ(summary.failed, summary.stocks);
        EXPECT_EQ(scalar(" SELECT Dchk FROM Table_Code WHERE MgCode='" + code + "'"), " ");
        EXPECT_EQ(scalar(" SELECT Achk FROM Table_Code WHERE MgCode='" + code + "'"), achk);
    }
}

TEST_F(Screening, SuspendedAndShortHistories)
{
    // A stock whose history ends before the latest trading day, put back into the list.
    std::string suspended;
    for (const auto& s : m_server->market().stocks()) {
        if (s.lastDay < static_cast<int>(m_server->market().tradingDays().size()) - 1) {
            suspended = s.code;
            break;
        }
    }
    ASSERT_FALSE(suspended.empty());
    db().execute(" DELETE FROM Table_Code WHERE MgCode='" + suspended + "'");
    db().execute(" INSERT INTO Table_Code(MgCode,Mgmgara,MgMei,Mgyosyu,Achk,Cchk,Dchk) VALUES ('" + suspended
        + "','M','N','I','売','売',' ')");
    auto summary = screen(4);
    EXPECT_GE(summary.suspended, 1);
    EXPECT_EQ(scalar(" SELECT Dchk FROM Table_Code WHERE MgCode='" + suspended + "'"), "停止中");
    EXPECT_EQ(scalar(" SELECT Achk FROM Table_Code WHERE MgCode='" + suspended + "'"), "売");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "csv" / ("20240112-" + suspended + ".csv")));

    // A history of three stored days gives "買" in Achk.
    test::FakeDownloader fake;
    fake.fallback = [](const std::string&) {
        return std::string("h\r\nh\r\n2024-01-12,1,1,1,100,10,1000\r\n2024-01-11,1,1,1,99,10,1000\r\n"
                           "2024-01-10,1,1,1,98,10,1000\r\n");
    };
    db().execute(" DELETE FROM Table_Code WHERE MgCode<>'1300'");
    auto s2 = screenWith(fake, 1);
    EXPECT_EQ(s2.obtained, 1);
    EXPECT_EQ(scalar(" SELECT Achk FROM Table_Code WHERE MgCode='1300'"), "買");
    EXPECT_EQ(scalar(" SELECT Cchk FROM Table_Code WHERE MgCode='1300'"), " ");
    EXPECT_EQ(fake.requested, (std::vector<std::string>{m_server->historyBaseUrl() + "1300?download=csv"}));
}

TEST_F(Screening, FiltersSelectTheStocks)
{
    std::string market = scalar(" SELECT Mgmgara FROM Table_Code ORDER BY MgCode");
    int inMarket = count(" SELECT * FROM Table_Code WHERE Mgmgara='" + market + "'");
    test::FakeDownloader fake;
    EXPECT_EQ(screenWith(fake, 1, market, "   ").stocks, inMarket);
    EXPECT_EQ(static_cast<int>(fake.requested.size()), inMarket);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Dchk=' ' AND Mgmgara='" + market + "'"), inMarket);

    std::string industry = scalar(" SELECT Mgyosyu FROM Table_Code ORDER BY MgCode");
    int both
        = count(" SELECT * FROM Table_Code WHERE Mgmgara='" + market + "' AND Mgyosyu='" + industry + "'");
    EXPECT_EQ(screenWith(fake, 1, market, industry).stocks, both);

    test::FakeDownloader none;
    int calls = 0;
    auto empty = screenWith(none, 8, "存在しない市場", "", [&](int, int) { return ++calls > 0; });
    EXPECT_EQ(empty.stocks, 0);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(none.requested.empty());
}

TEST_F(Screening, StoppedRunLeavesExactlyTheStocksBefore)
{
    auto before = table(" SELECT MgCode,Achk,Cchk,Dchk FROM Table_Code ORDER BY MgCode LIMIT -1 OFFSET 10");
    auto summary = screen(8, "", "", [](int done, int) { return done < 10; });
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Dchk<>' '"), 10);
    EXPECT_EQ(
        table(" SELECT MgCode,Achk,Cchk,Dchk FROM Table_Code ORDER BY MgCode LIMIT -1 OFFSET 10"), before);
    for (const auto& e : std::filesystem::directory_iterator(m_dir / "csv")) {
        EXPECT_EQ(e.path().extension(), ".csv") << e.path();
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir / "csv"), {}), 10);
}

TEST_F(Screening, NoAddressRowStopsBeforeAnything)
{
    db().execute(" DELETE FROM Table_Url");
    test::FakeDownloader fake;
    auto summary = screenWith(fake, 1);
    EXPECT_FALSE(summary.started);
    ASSERT_EQ(m_messages.recorder().boxes.size(), 1u);
    EXPECT_EQ(m_messages.recorder().boxes[0].text, "取得するURLが見当たりません。");
    EXPECT_TRUE(fake.requested.empty());
}

TEST_F(Screening, APageThatIsNoHistoryIsAFailedDownloadNotASuspension)
{
    db().execute(" UPDATE Table_Code SET Dchk='X'");
    const auto stocks = count(" SELECT * FROM Table_Code");
    // A maintenance page for every address, fetched one at a time and ahead.
    test::FakeDownloader maintenance;
    maintenance.fallback = [](const std::string&) {
        return std::string("<html>\r\n<body>\r\nただいまメンテナンス中です\r\n");
    };
    auto summary = screenWith(maintenance, 1);
    EXPECT_EQ(summary.failed, stocks);
    EXPECT_EQ(summary.suspended, 0);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Dchk=' '"), stocks);
    EXPECT_FALSE(analysis::ScreeningRun::failureMessage(summary).empty());
    EXPECT_TRUE(csvFiles().empty());

    // The same through the transfers that run ahead: a real server answering 200 with a page.
    RawHttpServer html([](int sock) {
        RawHttpServer::sendAll(
            sock, "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\n<html>\r\n<p>\r\n2024-1-12 maint\r\n");
    });
    db().execute(" UPDATE Table_Url SET kabuMUrl='" + html.url("/h/") + "'");
    db().execute(" UPDATE Table_Code SET Dchk='X'");
    summary = screen(4);
    EXPECT_EQ(summary.failed, stocks);
    EXPECT_EQ(summary.suspended, 0);

    // A history of an older day is a suspension, as before.
    test::FakeDownloader older;
    older.fallback
        = [](const std::string&) { return std::string("h\r\nh\r\n2024-01-11,1,1,1,99,10,1000\r\n"); };
    summary = screenWith(older, 1);
    EXPECT_EQ(summary.suspended, stocks);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Dchk='停止中'"), stocks);
}

TEST_F(Screening, TenTransportFailuresInARowEndTheRunAndLeaveTheRestAlone)
{
    db().execute(" UPDATE Table_Code SET Dchk='X'");
    const auto stocks = count(" SELECT * FROM Table_Code");
    struct Unreachable : marketdata::Downloader
    {
        std::int32_t DownloadToFile(const std::string&, const std::filesystem::path&) override
        {
            ++calls;
            // Nine time-outs, then an answer, and from then on nothing.
            return calls == 10 ? 404 : 28;
        }
        int calls = 0;
    } server;
    auto summary = screenWith(server, 1);
    EXPECT_TRUE(summary.unreachable);
    EXPECT_EQ(server.calls, 20);
    EXPECT_EQ(summary.failed, 20);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Dchk=' '"), 20);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE Dchk='X'"), stocks - 20);
    EXPECT_EQ(analysis::ScreeningRun::failureMessage(summary), "サーバーが応答しません。");

    // A stalled server with transfers ahead: ended within about two rounds of time-outs.
    RawHttpServer stalled([](int) { std::this_thread::sleep_for(std::chrono::seconds(3)); });
    db().execute(" UPDATE Table_Url SET kabuMUrl='" + stalled.url("/h/") + "'");
    marketdata::CurlDownloader::Options options;
    options.totalTimeoutMs = 300;
    marketdata::CurlDownloader downloader(options);
    analysis::ScreeningRun run(*m_module, downloader, analysis::readBounds(*m_module));
    run.setJobs(4);
    auto limits = analysis::ScreeningRun::defaultAheadLimits();
    limits.totalTimeoutMs = 300;
    run.setAheadLimits(limits);
    const auto start = std::chrono::steady_clock::now();
    summary = run.run("", "");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(summary.unreachable);
    EXPECT_LT(summary.failed, 20);
    std::cout << "screening of " << stocks << " stocks against a stalled server: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms" << std::endl;
}
