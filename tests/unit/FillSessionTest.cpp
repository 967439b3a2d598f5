// The main window's background fill without the window: its line, its pace, and fills of the
// sample market started, stopped and resumed on a program folder of their own.
#include "model/FillSession.h"

#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "SampleServer.h"
#include "core/Clock.h"
#include "core/CommandLock.h"
#include "marketdata/jquants/BackgroundFill.h"
#include "marketdata/jquants/FillPace.h"
#include "marketdata/jquants/PriceStore.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace zuvemo;
using namespace std::chrono;
using ui::FillSession;

TEST(FillLine, SaysWhatTheFillDoesWaitsForAndEndedInTheUnitsItsBoxNames)
{
    using marketdata::BackgroundFill;
    BackgroundFill::Snapshot state;
    state.step = {26, 300, 0, 130, 40};
    state.minutesLeft = 5;
    EXPECT_EQ(BackgroundFill::progressText(state), "株価 26/300 日 残り約 5 分");
    state.step = {300, 300, 20, 130, 400};
    state.minutesLeft = 3;
    EXPECT_EQ(BackgroundFill::progressText(state), "開示 20/130 日 残り約 3 分");
    // Then the exchange's lists of past days.
    auto lists = state;
    lists.step = {300, 300, 130, 130, 400, 3, 60};
    EXPECT_EQ(BackgroundFill::progressText(lists), "銘柄一覧 3/60 日 残り約 3 分");
    // And on Premium the dividend notices of each day; the lists left keep their line first.
    lists.step.dividendsTotal = 301;
    EXPECT_EQ(BackgroundFill::progressText(lists), "銘柄一覧 3/60 日 残り約 3 分");
    lists.step.listsDone = 60;
    lists.step.dividendsDone = 41;
    EXPECT_EQ(BackgroundFill::progressText(lists), "配当 41/301 日 残り約 3 分");
    // A long wait is said as one, with its seconds left; the plan's limit or a server's error.
    state.waitSecondsLeft = 40;
    EXPECT_EQ(BackgroundFill::progressText(state), "API の回数制限で待っています（あと 40 秒）");
    state.waitSecondsLeft = 8;
    state.rateLimitWait = false;
    EXPECT_EQ(BackgroundFill::progressText(state), "J-Quants API の応答を待って再試行します（あと 8 秒）");
    // The monthly files first: the file under way, its month and the time left as the days
    // say it, then the days again.
    state.waitSecondsLeft = 0;
    state.files = {13, 60, "2024-03", 20, 20};
    EXPECT_EQ(BackgroundFill::progressText(state), "履歴ファイル 14/60 (2024-03) 残り約 3 分");
    state.minutesLeft = 0;
    EXPECT_EQ(BackgroundFill::progressText(state), "履歴ファイル 14/60 (2024-03) 残り約 1 分");
    state.minutesLeft = -1; // not known yet
    EXPECT_EQ(BackgroundFill::progressText(state), "履歴ファイル 14/60 (2024-03)");
    state.minutesLeft = 3;
    state.files.done = 60;
    EXPECT_EQ(BackgroundFill::progressText(state), "開示 20/130 日 残り約 3 分");
    // Between the last file and the days' first step no day is counted yet: no "株価 0/0 日".
    BackgroundFill::Snapshot between;
    between.files = {60, 60, "2024-03", 0, 0};
    EXPECT_EQ(BackgroundFill::progressText(between), "履歴ファイル 60/60 (2024-03)");

    // The closing box: what is stored, then the list's day as a plain fact.
    const std::string stored = FillSession::storedLine(300, 130, 9805, "2026-12-09");
    EXPECT_EQ(stored, "300 日分の株価、130 日分の開示（9,805 件）、指標 2026-12-09 を保存しました。");
    EXPECT_EQ(FillSession::storedLine(30, 0, 0, ""), "30 日分の株価を保存しました。");
    EXPECT_EQ(FillSession::storedLine(0, 0, 0, ""), "");
    EXPECT_EQ(FillSession::completeMessage(stored, "2026-12-08", false),
        "履歴取得が終わりました。\n" + stored + "\n銘柄一覧は 2026-12-08 のものです。");
    EXPECT_EQ(FillSession::completeMessage(stored, "2026-12-08", true),
        "終了しました\n" + stored + "\n銘柄一覧は 2026-12-08 のものです。");
    EXPECT_EQ(FillSession::failedLine(162, 300),
        "履歴取得は 162/300 日で止まりました。「検索開始」で続きを取得します。");
    EXPECT_EQ(FillSession::failedLine(0, 0), "履歴取得が止まりました。「検索開始」でやり直します。");
}

// A fill as the store sees it: monthly files, or days of prices, then disclosure days, each of
// some requests of some seconds; the estimate is compared with the time the rest of the run
// really takes.
class FillRun
{
public:
    FillRun(double priceGap, double filingGap)
        : m_pace(priceGap, filingGap)
    {
        m_pace.observe(m_step, 0, 0);
    }
    // A run that begins with the files, where files stands.
    FillRun(double priceGap, double filingGap, const marketdata::JQuantsRefresh::FileStep& files)
        : m_pace(priceGap, filingGap)
        , m_files(files)
    {
        m_pace.observeFiles(m_files, 0, 0);
    }
    void files(int count, double secondsEach)
    {
        for (int i = 0; i < count; ++i) {
            m_clock += secondsEach;
            ++m_files.done;
            m_pace.observeFiles(m_files, m_clock, m_blocked);
        }
    }
    void wait(double seconds) { m_clock += seconds; }
    void days(bool prices, int count, int requests, double secondsEach)
    {
        for (int i = 0; i < count; ++i) {
            m_clock += requests * secondsEach;
            m_step.requests += requests;
            ++(prices ? m_step.pricesDone : m_step.filingsDone);
            m_pace.observe(m_step, m_clock, m_blocked);
        }
    }
    void block(double seconds)
    {
        m_clock += seconds;
        m_blocked += seconds;
    }
    long minutesLeft(double waitLeft = 0) const { return m_pace.minutesLeft(m_clock, m_blocked, waitLeft); }

private:
    marketdata::FillPace m_pace;
    marketdata::JQuantsRefresh::Step m_step{0, 300, 0, 130, 0};
    marketdata::JQuantsRefresh::FileStep m_files;
    double m_clock = 0;
    double m_blocked = 0;
};

TEST(FillLine, TheTimeLeftFollowsTheRequestsLeftAtThePaceTheyGo)
{
    const double light = 61.2 / 60; // a request's share of the plan's minute
    // The Light plan at its pace: 430 days of one request, 7.3 minutes.
    FillRun run(light, light);
    EXPECT_EQ(run.minutesLeft(), 8);
    run.days(true, 60, 1, light);
    EXPECT_EQ(run.minutesLeft(), 7); // 370 days, 6.3 minutes
    // A 429's minute is no part of the pace: the estimate is as before once it is over, and
    // while it lasts it counts what remains of it.
    run.block(30);
    EXPECT_EQ(run.minutesLeft(35), 7); // 6.3 minutes and 35 s
    run.block(35);
    run.days(true, 1, 1, light);
    EXPECT_EQ(run.minutesLeft(), 7);
    // Disclosure days of two pages whose answers take 1.5 s: 110 days are 5.5 minutes, not the
    // two that one request each at the plan's pace would make.
    run.days(true, 239, 1, light);
    run.days(false, 20, 2, 1.5);
    EXPECT_EQ(run.minutesLeft(), 6);
    run.days(false, 100, 2, 1.5);
    EXPECT_EQ(run.minutesLeft(), 1); // 30 s
    run.days(false, 10, 2, 1.5);
    EXPECT_EQ(run.minutesLeft(), 0);

    // Premium: prices at the answers' speed (0.5 s, slower than the plan's 0.12 s), the
    // disclosures at their own limit of 60 a minute.
    FillRun premium(61.2 / 500, light);
    premium.days(true, 100, 1, 0.5);
    EXPECT_EQ(premium.minutesLeft(), 4); // 200 × 0.5 s + 130 × 1.02 s = 3.9 minutes
}

TEST(FillLine, TheFilesTimeLeftIsAtThisRunsPaceWithTheDaysTheyLeaveAfter)
{
    const double light = 61.2 / 60;
    // A five-year fill that goes on at file 51 of 120; after the files, 10 days of prices and 11
    // of disclosures. Before a file is read, a request each at the plan's pace: 91 × 1.02 s.
    FillRun run(light, light, {50, 120, "2022-11", 10, 11});
    EXPECT_EQ(run.minutesLeft(), 2);
    // A slow file host, 5 s a file: 68 files and the days are 6.02 minutes. The 50 files stored
    // before took none of this run's time; counted in, they made it 2 minutes.
    run.files(2, 5.0);
    EXPECT_EQ(run.minutesLeft(), 7);
    // The file under way has taken some of its time.
    run.wait(4.9);
    EXPECT_EQ(run.minutesLeft(), 6);
    // A 429's minute is no part of the pace: while it lasts what remains of it counts, and the
    // file it held up took 5 s, not 65.
    run.block(60);
    EXPECT_EQ(run.minutesLeft(30), 7);
    run.files(1, 0.1);
    EXPECT_EQ(run.minutesLeft(), 6);
    // The last file read: the days alone, 21 s.
    run.files(67, 5.0);
    EXPECT_EQ(run.minutesLeft(), 1);
}

namespace {

constexpr year_month_day kToday{2026y, December, 8d};

// A plan's minute as long as ms for the fills started meanwhile (the tests count it as 600).
struct Pace
{
    explicit Pace(int ms) { ::setenv("ZUVEMO_PACE_WINDOW_MS", std::to_string(ms).c_str(), 1); }
    ~Pace() { ::setenv("ZUVEMO_PACE_WINDOW_MS", "600", 1); }
    Pace(const Pace&) = delete;
    Pace& operator=(const Pace&) = delete;
};

// A J-Quants folder on the sample market, its key in the environment.
class Fill : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        ::setenv("JQUANTS_API_KEY", "sample-key", 1);
    }
    void TearDown() override { ::unsetenv("JQUANTS_API_KEY"); }
    void folder(const std::string& plan, int days, int marketDays)
    {
        sample::SampleServer::Options options;
        options.market.stocks = 12;
        options.market.days = marketDays;
        options.market.today = kToday;
        options.jquants = true;
        m_server = std::make_unique<sample::SampleServer>(options);
        ASSERT_GT(m_server->start(0), 0);
        jquantsSource(m_server->apiBaseUrl(), plan, days);
    }
    std::shared_ptr<core::FileLock> lock()
    {
        std::string message;
        return core::CommandLock::acquire(m_dir.path(), &message, 0);
    }
    // Polls as the window does until done says so; false when the fill ended first.
    bool pollUntil(FillSession& fill, const std::function<bool()>& done)
    {
        const auto until = steady_clock::now() + seconds(30);
        while (steady_clock::now() < until && fill.running()) {
            if (done()) {
                return true;
            }
            if (fill.poll(m_hooks)) {
                return false;
            }
            std::this_thread::sleep_for(milliseconds(2));
        }
        return false;
    }
    // Polls as the window does until the fill ends.
    FillSession::Ending pollToEnd(FillSession& fill)
    {
        const auto until = steady_clock::now() + seconds(30);
        while (steady_clock::now() < until) {
            if (auto ending = fill.poll(m_hooks)) {
                return *ending;
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        ADD_FAILURE() << "the fill did not end: " << fill.line();
        return {};
    }

    core::FixedClock m_clock{kToday};
    test::FakeDownloader m_fake;
    std::unique_ptr<sample::SampleServer> m_server;
    marketdata::RefreshHooks m_hooks;
};

} // namespace

TEST_F(Fill, RunsUnderTheWindowsLockLoadsTheListOnceWrittenAndEndsWithWhatItStored)
{
    folder("premium", 40, 60);
    int refills = 0;
    m_hooks.refillStockLists = [&refills] { ++refills; };
    FillSession fill(*m_module, m_clock, m_fake);
    EXPECT_FALSE(fill.pending());
    auto held = lock();
    ASSERT_TRUE(held);
    ASSERT_TRUE(fill.start(held, false));
    EXPECT_TRUE(fill.running());
    EXPECT_EQ(fill.line(), FillSession::kStarted);
    // The window's commands run on the fill's lock meanwhile; no other program gets one.
    EXPECT_EQ(fill.lock(), held);
    held.reset();
    EXPECT_FALSE(lock());

    const auto ending = pollToEnd(fill);
    EXPECT_EQ(refills, 1);
    EXPECT_EQ(count("SELECT * FROM Table_Code"), 12);
    EXPECT_EQ(ending.note, FillSession::kDone);
    const auto stored = marketdata::PriceStore(m_dir.path()).contents("2026-12-08");
    EXPECT_EQ(ending.box,
        FillSession::completeMessage(
            FillSession::storedLine(40, stored.filingDays, stored.filings, stored.valuationDay), "2026-12-08",
            true));
    EXPECT_FALSE(fill.running());
    EXPECT_TRUE(fill.line().empty());
    EXPECT_FALSE(fill.lock());
    EXPECT_TRUE(lock());
    EXPECT_FALSE(fill.pending());
    // Nothing left to look at.
    EXPECT_FALSE(fill.poll(m_hooks));
}

namespace {

// "履歴ファイル 14/60 (2024-03) 残り約 2 分" → {14, 60}; {0, 0} for any other line.
std::pair<int, int> fileCount(const std::string& line)
{
    int done = 0;
    int total = 0;
    return std::sscanf(line.c_str(), "履歴ファイル %d/%d", &done, &total) == 2 ? std::pair{done, total}
                                                                               : std::pair{0, 0};
}

} // namespace

TEST_F(Fill, AStoppedFillGoesOnAtTheNextStartCountingItsFilesAndDaysOverTheWholeDepthWithTheTimeLeft)
{
    // The Light plan's files over 300 days, a request every 100 ms; stopped at the fifth file.
    folder("light", 300, 330);
    Pace pace(6000);
    int total = 0;
    {
        FillSession fill(*m_module, m_clock, m_fake);
        ASSERT_TRUE(fill.start(lock(), false));
        ASSERT_TRUE(pollUntil(fill, [&] { return fileCount(fill.line()).first == 5; })) << fill.line();
        total = fileCount(fill.line()).second;
        EXPECT_NE(fill.line().find(" 残り約 "), std::string::npos) << fill.line();
        fill.stop(false);
        EXPECT_TRUE(fill.running()); // until its thread has seen the stop
        const auto ending = pollToEnd(fill);
        EXPECT_EQ(ending.note, FillSession::kStopped);
        EXPECT_TRUE(ending.box.empty());
        EXPECT_FALSE(fill.lock());
    }
    EXPECT_GT(total, 20);

    // Resumed, up to the first of the days after the files.
    FillSession again(*m_module, m_clock, m_fake);
    EXPECT_TRUE(again.pending());
    ASSERT_TRUE(again.start(lock(), true));
    EXPECT_EQ(again.line(), FillSession::kResumed);
    std::vector<std::string> files;
    ASSERT_TRUE(pollUntil(again, [&] {
        if (fileCount(again.line()).first > 0 && (files.empty() || files.back() != again.line())) {
            files.push_back(again.line());
        }
        return again.line().rfind("株価 ", 0) == 0;
    })) << again.line();
    const std::string days = again.line();
    again.stop(true);
    ASSERT_FALSE(files.empty());
    // The files stored before count as read: the line goes on from the stop (the file under way
    // then may have been stored or not), over the same whole.
    const auto first = fileCount(files.front());
    EXPECT_GE(first.first, 5) << files.front();
    EXPECT_LE(first.first, 6) << files.front();
    EXPECT_EQ(first.second, total) << files.front();
    EXPECT_EQ(fileCount(files.back()).first, total) << files.back();
    for (const auto& line : files) {
        EXPECT_NE(line.find(" 残り約 "), std::string::npos) << line;
    }
    // The days after the files count over the whole depth too.
    int stored = 0;
    int depth = 0;
    ASSERT_EQ(std::sscanf(days.c_str(), "株価 %d/%d", &stored, &depth), 2) << days;
    EXPECT_EQ(depth, 300);
    EXPECT_GT(stored, 280) << days;
    EXPECT_NE(days.find(" 日 残り約 "), std::string::npos) << days;
}
