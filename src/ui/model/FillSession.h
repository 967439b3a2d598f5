#pragma once

#include "marketdata/MarketDataRefresh.h"

#include <memory>
#include <optional>
#include <string>

namespace zuvemo::core {
class Clock;
class FileLock;
class Mdl_Start;
} // namespace zuvemo::core
namespace zuvemo::marketdata {
class BackgroundFill;
class Downloader;
} // namespace zuvemo::marketdata

namespace zuvemo::ui {

// A J-Quants folder's fetch as the main window runs it: in the background, on the folder's lock
// of long commands, which it holds until the fill ends. The window looks at it from its own
// thread: the newest list is loaded there once the fill has written it, and the fill's line and
// closing texts are made there.
class FillSession
{
public:
    static constexpr const char* kStarted = "株価を取得しています…";
    static constexpr const char* kResumed = "前回中断した履歴取得を再開します…";
    static constexpr const char* kDone = "履歴取得が終わりました。";
    // Also the words of the window's own commands.
    static constexpr const char* kFinished = "終了しました";
    static constexpr const char* kStopped = "中止しました。";

    // What the window says once the fill has ended.
    struct Ending
    {
        std::string note; // for the message line; empty: the line stays as it is
        std::string box; // the closing box; empty: none
    };

    FillSession(core::Mdl_Start& module, const core::Clock& clock, marketdata::Downloader& downloader);
    ~FillSession();
    FillSession(const FillSession&) = delete;
    FillSession& operator=(const FillSession&) = delete;

    bool running() const { return static_cast<bool>(m_fill); }
    // The fill's progress; empty while no fill runs.
    const std::string& line() const { return m_line; }
    // The lock the fill holds, for the window's commands while it runs; empty otherwise.
    const std::shared_ptr<core::FileLock>& lock() const { return m_lock; }
    // A fill of the folder stopped before its end, to go on at start.
    bool pending() const;

    // Starts the fill under lock; false (after the message) without a key or an address row.
    bool start(std::shared_ptr<core::FileLock> lock, bool resumed);
    // "中 止"; with wait, returns once the fill's thread has ended.
    void stop(bool wait);
    // Brings the line up to date and, once the fill has written it, loads the newest list with
    // hooks. Once the fill has ended: what the window says of it.
    std::optional<Ending> poll(const marketdata::RefreshHooks& hooks);

    // "300 日分の株価、130 日分の開示（9,805 件）、指標 2026-12-09 を保存しました。", each part only
    // when the store holds it.
    static std::string storedLine(
        int priceDays, int filingDays, long filings, const std::string& valuationDay);
    // The box at the end of a fill: what it stored and the list's day, newList when the fill
    // loaded a new list ("終了しました"), otherwise "履歴取得が終わりました".
    static std::string completeMessage(const std::string& stored, const std::string& listDate, bool newList);
    // "履歴取得は 162/300 日で止まりました。「検索開始」で続きを取得します。"
    static std::string failedLine(int done, int total);

private:
    // What the store holds up to day, as the closing box says it.
    std::string storedText(const std::string& day) const;
    void end();

    core::Mdl_Start& m_module;
    const core::Clock& m_clock;
    marketdata::Downloader& m_downloader;
    std::unique_ptr<marketdata::BackgroundFill> m_fill;
    std::shared_ptr<core::FileLock> m_lock;
    std::unique_ptr<marketdata::MarketDataRefresh::JQuantsJob> m_job;
    bool m_listLoaded = false;
    std::string m_line;
};

} // namespace zuvemo::ui
