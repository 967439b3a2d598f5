#include "BackgroundFill.h"

#include "core/DatabaseError.h"

#include <algorithm>
#include <cmath>

namespace zuvemo::marketdata {

BackgroundFill::BackgroundFill(const std::filesystem::path& programFolder,
    const MarketDataRefresh::JQuantsJob& job, const core::Clock& clock,
    std::function<void(const std::string& day)> afterFill)
    : m_pace(FillPace::of(job.client))
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

double BackgroundFill::blockedSeconds(std::chrono::steady_clock::time_point now) const
{
    double blocked = m_blocked;
    if (m_waitBlocks && m_wait.count() > 0) {
        blocked += std::chrono::duration<double>(now - m_waitStarted).count();
    }
    return blocked;
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
    double waitLeft = 0;
    if (m_wait >= std::chrono::seconds(kShownWaitSeconds)) {
        waitLeft = std::chrono::duration<double>(m_waitStarted + m_wait - now).count();
        state.waitSecondsLeft = std::max<long>(1, static_cast<long>(std::ceil(waitLeft)));
    }
    if (state.total > 0 || state.files.total > 0) {
        const double seconds = std::chrono::duration<double>(now - m_started).count();
        state.minutesLeft = m_pace.minutesLeft(seconds, blockedSeconds(now), m_waitBlocks ? waitLeft : 0);
    }
    return state;
}

namespace {

std::string timeLeft(long minutes)
{
    return minutes >= 0 ? " " + BackgroundFill::timeLeftText(minutes) : std::string();
}

} // namespace

std::string BackgroundFill::progressText(const Snapshot& snapshot)
{
    if (snapshot.waitSecondsLeft > 0) {
        const std::string left = "（あと " + std::to_string(snapshot.waitSecondsLeft) + " 秒）";
        return snapshot.rateLimitWait ? "API の回数制限で待っています" + left
                                      : "J-Quants API の応答を待って再試行します" + left;
    }
    // The files' line stays at their last until the days' first step counts the days.
    const auto& files = snapshot.files;
    if (files.total > 0 && (files.done < files.total || snapshot.step.total() == 0)) {
        return "履歴ファイル " + std::to_string(std::min(files.done + 1, files.total)) + "/"
            + std::to_string(files.total) + " (" + files.month + ")" + timeLeft(snapshot.minutesLeft);
    }
    const auto& step = snapshot.step;
    const bool prices = step.pricesDone < step.pricesTotal || step.filingsTotal == 0;
    const bool lists = !prices && step.filingsDone >= step.filingsTotal && step.listsDone < step.listsTotal;
    const bool dividends = !prices && !lists && step.filingsDone >= step.filingsTotal
        && step.dividendsDone < step.dividendsTotal;
    std::string text = dividends
        ? "配当 " + std::to_string(step.dividendsDone) + "/" + std::to_string(step.dividendsTotal)
        : lists  ? "銘柄一覧 " + std::to_string(step.listsDone) + "/" + std::to_string(step.listsTotal)
        : prices ? "株価 " + std::to_string(step.pricesDone) + "/" + std::to_string(step.pricesTotal)
                 : "開示 " + std::to_string(step.filingsDone) + "/" + std::to_string(step.filingsTotal);
    text += " 日";
    if (step.done() < step.total()) {
        text += timeLeft(snapshot.minutesLeft);
    }
    return text;
}

std::string BackgroundFill::timeLeftText(long minutesLeft)
{
    return "残り約 " + std::to_string(std::max(1L, minutesLeft)) + " 分";
}

void BackgroundFill::run(const std::filesystem::path& programFolder, const MarketDataRefresh::JQuantsJob& job,
    const core::Clock& clock)
{
    auto options = job.client;
    options.cancel = &m_cancel;
    options.onWait = [this](std::chrono::milliseconds wait, bool rateLimit) {
        const std::lock_guard<std::mutex> guard(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (wait.count() == 0) {
            m_blocked = blockedSeconds(now);
            m_waitBlocks = false;
        } else {
            m_waitBlocks = m_pace.isBlock(std::chrono::duration<double>(wait).count(), rateLimit);
        }
        m_waitStarted = now;
        m_wait = wait;
        m_state.rateLimitWait = rateLimit;
    };
    JQuantsRefresh::Result result;
    try {
        JQuantsRefresh refresh(programFolder, job.source, options, clock);
        refresh.setFileProgress([this](const JQuantsRefresh::FileStep& step) {
            const std::lock_guard<std::mutex> guard(m_mutex);
            const auto now = std::chrono::steady_clock::now();
            m_pace.observeFiles(
                step, std::chrono::duration<double>(now - m_started).count(), blockedSeconds(now));
            m_state.files = step;
            return !m_cancel.load();
        });
        result = refresh.run(
            job.heldDashed, job.listFile,
            [&](const JQuantsRefresh::Step& step) {
                const std::lock_guard<std::mutex> guard(m_mutex);
                const auto now = std::chrono::steady_clock::now();
                m_pace.observe(
                    step, std::chrono::duration<double>(now - m_started).count(), blockedSeconds(now));
                m_state.step = step;
                m_state.hadWork = m_state.hadWork || step.done() < step.total();
                m_state.done = step.done();
                m_state.total = step.total();
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
