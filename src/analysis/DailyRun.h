#pragma once

#include "ScreeningRun.h"
#include "core/Journal.h"
#include "marketdata/WatchList.h"
#include "marketdata/jquants/JQuantsClient.h"

#include <atomic>
#include <string>
#include <vector>

namespace zuvemo::core {
class Clock;
class Mdl_Start;
} // namespace zuvemo::core

namespace zuvemo::analysis {

// The day's work without a person: the refresh, the screening of the chosen stocks and the
// watch-list judgement against the new closes, recorded as one journal record.
class DailyRun
{
public:
    struct Options
    {
        std::string market;
        std::string industry;
        int jobs = 8;
        marketdata::CurlEasy::Limits aheadLimits = ScreeningRun::defaultAheadLimits();
        const std::atomic<bool>* cancel = nullptr;
    };
    struct Signal
    {
        std::string code;
        std::string name;
        std::string achk; // 売, 買 or one blank
        std::string cchk;
    };
    struct Report
    {
        core::JournalRecord record;
        ScreeningRun::Summary screening;
        std::vector<Signal> signals;
        std::vector<marketdata::WatchList::Reached> reached;
        std::vector<std::string> notes; // what the refresh left out, one line each
        // 0 done, 1 failed, 3 done with a target reached.
        int exitCode() const;
    };

    static constexpr const char* kStoppedMessage = "処理を中断しました。";
    static constexpr const char* kBusyMessage = "日次処理は既に実行中です。終了してから実行してください。";

    DailyRun(core::Mdl_Start& module, marketdata::Downloader& dailyDownloader,
        marketdata::Downloader& historyDownloader, const core::Clock& clock);

    // Runs the steps and appends the journal record; a journal that cannot be written is
    // reported in the record's message and the run counts as failed.
    Report run(const Options& options);
    // See MarketDataRefresh::setJQuantsOptions.
    void setJQuantsOptions(const marketdata::JQuantsClient::Options& options) { m_jquants = options; }

    static std::string reportText(const Report& report);
    static std::string reportJson(const Report& report);
    // The notification for reached targets or a failure; empty title when there is nothing
    // to say.
    static std::pair<std::string, std::string> notification(const Report& report);

private:
    void runSteps(const Options& options, Report& report);
    void collectSignals(Report& report);

    core::Mdl_Start& m_module;
    marketdata::Downloader& m_dailyDownloader;
    marketdata::Downloader& m_historyDownloader;
    const core::Clock& m_clock;
    marketdata::JQuantsClient::Options m_jquants;
};

} // namespace zuvemo::analysis
