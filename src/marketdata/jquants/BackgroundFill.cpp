#include "BackgroundFill.h"

#include "core/DatabaseError.h"

#include <cmath>

namespace zuvemo::marketdata {

BackgroundFill::BackgroundFill(const std::filesystem::path& programFolder,
    const MarketDataRefresh::JQuantsJob& job, const core::Clock& clock,
    std::function<void(const std::string& day)> afterFill)
    : m_plan(job.source.plan)
    , m_started(std::chrono::steady_clock::now())
    , m_afterFill(std::move(afterFill))
{
    m_thread = std::thread([this, programFolder, job, &clock] { run(programFolder, job, clock); });
}

BackgroundFill::~BackgroundFill()
{
    m_cancel = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

BackgroundFill::Snapshot BackgroundFill::snapshot() const
{
    const std::lock_guard<std::mutex> guard(m_mutex);
    Snapshot state = m_state;
    if (state.finished) {
        return state;
    }
    // The time left follows the time that passes, also while no day is done.
    const auto now = std::chrono::steady_clock::now();
    if (state.total > 0 && m_firstDone >= 0) {
        const double seconds = std::chrono::duration<double>(now - m_started).count();
        state.minutesLeft = minutesLeft(m_plan, state.done - m_firstDone, state.total - state.done, seconds);
    }
    if (m_wait >= std::chrono::seconds(kShownWaitSeconds)) {
        const auto left = m_waitStarted + m_wait - now;
        state.waitSecondsLeft
            = std::max<long>(1, static_cast<long>(std::ceil(std::chrono::duration<double>(left).count())));
    }
    return state;
}

long BackgroundFill::minutesLeft(const std::string& plan, int doneThisRun, int left, double secondsSoFar)
{
    if (left <= 0) {
        return 0;
    }
    long minutes = DataSource::fillMinutes(plan, left);
    if (doneThisRun > 0) {
        minutes = std::max(minutes, std::lround(secondsSoFar / doneThisRun * left / 60));
    }
    return minutes;
}

std::string BackgroundFill::progressText(const Snapshot& snapshot)
{
    if (snapshot.waitSecondsLeft > 0) {
        const std::string left = "（あと " + std::to_string(snapshot.waitSecondsLeft) + " 秒）";
        return snapshot.rateLimitWait ? "API の回数制限で待っています" + left
                                      : "J-Quants API の応答を待って再試行します" + left;
    }
    if (snapshot.filesTotal > 0 && snapshot.filesDone < snapshot.filesTotal) {
        return "履歴ファイル " + std::to_string(snapshot.filesDone + 1) + "/"
            + std::to_string(snapshot.filesTotal) + " (" + snapshot.fileMonth + ")";
    }
    std::string text
        = "履歴取得 " + std::to_string(snapshot.done) + "/" + std::to_string(snapshot.total) + " 日";
    if (snapshot.minutesLeft >= 0 && snapshot.done < snapshot.total) {
        text += " 残り約 " + std::to_string(std::max(1L, snapshot.minutesLeft)) + " 分";
    }
    return text;
}

void BackgroundFill::run(const std::filesystem::path& programFolder, const MarketDataRefresh::JQuantsJob& job,
    const core::Clock& clock)
{
    auto options = job.client;
    options.cancel = &m_cancel;
    options.onWait = [this](std::chrono::milliseconds wait, bool rateLimit) {
        const std::lock_guard<std::mutex> guard(m_mutex);
        m_waitStarted = std::chrono::steady_clock::now();
        m_wait = wait;
        m_state.rateLimitWait = rateLimit;
    };
    JQuantsRefresh::Result result;
    try {
        JQuantsRefresh refresh(programFolder, job.source, options, clock);
        refresh.setFileProgress([this](int done, int total, const std::string& month) {
            const std::lock_guard<std::mutex> guard(m_mutex);
            m_state.filesDone = done;
            m_state.filesTotal = total;
            m_state.fileMonth = month;
            return !m_cancel.load();
        });
        result = refresh.run(
            job.heldDashed, job.listFile,
            [&](int done, int total) {
                const std::lock_guard<std::mutex> guard(m_mutex);
                if (m_firstDone < 0) {
                    // The pace is measured from the first day this run reports.
                    m_firstDone = done;
                    m_started = std::chrono::steady_clock::now();
                }
                const double seconds
                    = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
                m_state.done = done;
                m_state.total = total;
                m_state.minutesLeft = minutesLeft(m_plan, done - m_firstDone, total - done, seconds);
                return !m_cancel.load();
            },
            [&](const std::string& date) {
                const std::lock_guard<std::mutex> guard(m_mutex);
                m_state.listDate = date;
            });
    } catch (const core::DatabaseError& e) {
        result.ok = false;
        result.message = e.userText();
    } catch (const std::exception& e) {
        result.ok = false;
        result.message = std::string("履歴を保存できません: ") + e.what();
    }
    if (m_cancel.load() && !result.ok) {
        result.cancelled = true;
    }
    if (result.ok && m_afterFill) {
        m_afterFill(result.tradingDate);
    }
    const std::lock_guard<std::mutex> guard(m_mutex);
    m_state.result = result;
    m_state.finished = true;
}

} // namespace zuvemo::marketdata
