#include "BackgroundFill.h"

#include "core/DatabaseError.h"

#include <cmath>

namespace zuvemo::marketdata {

BackgroundFill::BackgroundFill(const std::filesystem::path& programFolder,
    const MarketDataRefresh::JQuantsJob& job, const core::Clock& clock)
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
    return m_state;
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
    JQuantsRefresh::Result result;
    const auto started = std::chrono::steady_clock::now();
    int firstDone = -1;
    try {
        JQuantsRefresh refresh(programFolder, job.source, options, clock);
        result = refresh.run(
            job.heldDashed, job.listFile,
            [&](int done, int total) {
                if (firstDone < 0) {
                    firstDone = done;
                }
                const double seconds
                    = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                const std::lock_guard<std::mutex> guard(m_mutex);
                m_state.done = done;
                m_state.total = total;
                m_state.minutesLeft = minutesLeft(job.source.plan, done - firstDone, total - done, seconds);
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
    const std::lock_guard<std::mutex> guard(m_mutex);
    m_state.result = result;
    m_state.finished = true;
}

} // namespace zuvemo::marketdata
