// The main window's background fill without the window: its line, its pace, and fills of the
// sample market started, stopped and resumed on a program folder of their own.
#include "model/FillSession.h"

#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "SampleServer.h"
#include "core/Clock.h"
#include "core/CommandLock.h"
#include "marketdata/DataSource.h"
#include "marketdata/jquants/BackgroundFill.h"
#include "marketdata/jquants/FillPace.h"
#include "marketdata/jquants/PriceStore.h"

#include <cstdlib>
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
    // A long wait is said as one, with its seconds left; the plan's limit or a server's error.
    state.waitSecondsLeft = 40;
    EXPECT_EQ(BackgroundFill::progressText(state), "API の回数制限で待っています（あと 40 秒）");
    state.waitSecondsLeft = 8;
    state.rateLimitWait = false;
    EXPECT_EQ(BackgroundFill::progressText(state), "J-Quants API の応答を待って再試行します（あと 8 秒）");
    // The monthly files first: the file under way and its month, then the days again.
    state.waitSecondsLeft = 0;
    state.filesDone = 13;
    state.filesTotal = 60;
    state.fileMonth = "2024-03";
    EXPECT_EQ(BackgroundFill::progressText(state), "履歴ファイル 14/60 (2024-03)");
    state.filesDone = 60;
    EXPECT_EQ(BackgroundFill::progressText(state), "開示 20/130 日 残り約 3 分");

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

// A fill as the store sees it: days of prices, then disclosure days, each of some requests of
// some seconds; the estimate is compared with the time the rest of the run really takes.
class FillRun
{
public:
    FillRun(double priceGap, double filingGap)
        : m_pace(priceGap, filingGap)
    {
        m_pace.observe(m_step, 0, 0);
    }
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
        marketdata::DataSource source;
        source.kind = marketdata::DataSource::kJQuants;
        source.apiUrl = m_server->apiBaseUrl();
        source.plan = plan;
        source.days = days;
        marketdata::DataSource::write(db(), source);
        db().execute("UPDATE Table_Url SET kabuHdate = ' '");
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
    // Polls as the window does until the fill ends; every line it showed on the way.
    FillSession::Ending pollToEnd(FillSession& fill, std::vector<std::string>* lines = nullptr)
    {
        const auto until = steady_clock::now() + seconds(30);
        while (steady_clock::now() < until) {
            if (auto ending = fill.poll(m_hooks)) {
                return *ending;
            }
            if (lines && (lines->empty() || lines->back() != fill.line())) {
                lines->push_back(fill.line());
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

TEST_F(Fill, AStopEndsWithItsNoteAndTheNextStartGoesOnToTheHistorysEnd)
{
    folder("premium", 40, 60);
    {
        // Slow enough to be stopped among the older days.
        Pace pace(20000);
        FillSession fill(*m_module, m_clock, m_fake);
        ASSERT_TRUE(fill.start(lock(), false));
        ASSERT_TRUE(pollUntil(fill, [&fill] { return fill.line().rfind("株価 ", 0) == 0; })) << fill.line();
        fill.stop(false);
        EXPECT_TRUE(fill.running()); // until its thread has seen the stop
        const auto ending = pollToEnd(fill);
        EXPECT_EQ(ending.note, FillSession::kStopped);
        EXPECT_TRUE(ending.box.empty());
        EXPECT_FALSE(fill.lock());
    }
    FillSession again(*m_module, m_clock, m_fake);
    EXPECT_TRUE(again.pending());
    ASSERT_TRUE(again.start(lock(), true));
    EXPECT_EQ(again.line(), FillSession::kResumed);
    const auto ending = pollToEnd(again);
    // No newer list: the box is the history's, with the list held.
    EXPECT_EQ(ending.note, FillSession::kDone);
    EXPECT_EQ(ending.box.rfind(std::string(FillSession::kDone) + "\n40 日分の株価、", 0), 0u) << ending.box;
    EXPECT_NE(ending.box.find("\n銘柄一覧は 2026-12-08 のものです。"), std::string::npos) << ending.box;
    EXPECT_FALSE(again.pending());
}
