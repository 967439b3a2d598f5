#pragma once

#include "FillPace.h"
#include "marketdata/MarketDataRefresh.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zuvemo::core {
class Clock;
}

namespace zuvemo::marketdata {

// A J-Quants refresh on a thread of its own, so a window stays usable through a fill that
// takes up to an hour on the Free plan. The thread touches only the price store, the list's
// file and the network; the window loads the list and reads the store from its own thread.
class BackgroundFill
{
public:
    struct Snapshot
    {
        int done = 0; // days stored: the depth's price days and the disclosure days
        int total = 0; // days wanted; 0 before the fill has begun
        JQuantsRefresh::Step step; // the same by kind
        bool hadWork = false; // some day, of prices or disclosures, was missing when it began
        std::optional<std::string> listDate; // the newest list is written, for this day
        bool finished = false;
        JQuantsRefresh::Result result; // once finished
        long minutesLeft = -1; // -1: not known yet
        // A wait of the client's longer than kShownWaitSeconds that is under way: the seconds it
        // still takes, and whether it is the plan's limit (or a server's error).
        long waitSecondsLeft = 0;
        bool rateLimitWait = true;
        // While the monthly files are read, before the days.
        JQuantsRefresh::FileStep files;
    };
    // Waits shorter than this are part of the pace and not shown.
    static constexpr long kShownWaitSeconds = 3;

    // afterFill runs on the fill's thread once it has stored every day, with the newest one,
    // before the fill says it is finished: work that belongs to the new days and must not
    // hold up the window.
    BackgroundFill(const std::filesystem::path& programFolder, const MarketDataRefresh::JQuantsJob& job,
        const core::Clock& clock, std::function<void(const std::string& day)> afterFill = {});
    // Stops the fetch and waits for its thread: what is stored stays.
    ~BackgroundFill();
    BackgroundFill(const BackgroundFill&) = delete;
    BackgroundFill& operator=(const BackgroundFill&) = delete;

    void stop() { m_cancel = true; }
    bool stopRequested() const { return m_cancel.load(); }
    Snapshot snapshot() const;

    // "株価 120/300 日 残り約 36 分", then "開示 20/130 日 残り約 3 分", "銘柄一覧 3/15 日" and (Premium)
    // "配当 40/300 日", and before them while the
    // monthly files are read "履歴ファイル 14/60 (2024-03) 残り約 3 分"; during a wait
    // "API の回数制限で待っています（あと 40 秒）".
    static std::string progressText(const Snapshot& snapshot);
    // "残り約 36 分": a minute at the least, for a wait that is not over.
    static std::string timeLeftText(long minutesLeft);

private:
    void run(const std::filesystem::path& programFolder, const MarketDataRefresh::JQuantsJob& job,
        const core::Clock& clock);

    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_mutex;
    Snapshot m_state;
    // The seconds spent in blocks, the one under way included.
    double blockedSeconds(std::chrono::steady_clock::time_point now) const;

    // For the time left, estimated anew at each look from the pace seen so far.
    FillPace m_pace;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_waitStarted;
    std::chrono::milliseconds m_wait{0};
    bool m_waitBlocks = false;
    double m_blocked = 0;
    std::function<void(const std::string& day)> m_afterFill;
    std::thread m_thread;
};

} // namespace zuvemo::marketdata
