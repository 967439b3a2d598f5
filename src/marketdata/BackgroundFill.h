#pragma once

#include "MarketDataRefresh.h"

#include <atomic>
#include <chrono>
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
        int done = 0; // days of the history depth stored
        int total = 0; // days of the depth; 0 before the fill has begun
        std::optional<std::string> listDate; // the newest list is written, for this day
        bool finished = false;
        JQuantsRefresh::Result result; // once finished
        long minutesLeft = -1; // -1: not known yet
    };

    BackgroundFill(const std::filesystem::path& programFolder, const MarketDataRefresh::JQuantsJob& job,
        const core::Clock& clock);
    // Stops the fetch and waits for its thread: what is stored stays.
    ~BackgroundFill();
    BackgroundFill(const BackgroundFill&) = delete;
    BackgroundFill& operator=(const BackgroundFill&) = delete;

    void stop() { m_cancel = true; }
    bool stopRequested() const { return m_cancel.load(); }
    Snapshot snapshot() const;

    // The time a fill still takes: the plan's pace, or the pace seen so far when slower.
    static long minutesLeft(const std::string& plan, int doneThisRun, int left, double secondsSoFar);
    // "履歴取得 120/300 日 残り約 36 分".
    static std::string progressText(const Snapshot& snapshot);

private:
    void run(const std::filesystem::path& programFolder, const MarketDataRefresh::JQuantsJob& job,
        const core::Clock& clock);

    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_mutex;
    Snapshot m_state;
    std::thread m_thread;
};

} // namespace zuvemo::marketdata
