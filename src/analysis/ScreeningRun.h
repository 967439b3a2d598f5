#pragma once

#include "Indicators.h"
#include "marketdata/CurlEasy.h"

#include <functional>
#include <string>

namespace zuvemo::core {
class Connection;
class Mdl_Start;
} // namespace zuvemo::core

namespace zuvemo::marketdata {
class Downloader;
}

namespace zuvemo::analysis {

struct ScreeningHooks
{
    std::function<void(bool busy)> busyPointer;
    // After each stock: stocks handled and the total; returning false stops the run there.
    std::function<bool(int done, int total)> progress;
};

// The screening run: downloads the price history of every selected stock, checks that it
// reaches the latest trading day, computes the newest day's signals and saves them into the
// stock's row at once. With more than one job, downloads run ahead of the analysis; the stocks
// are still analysed and saved strictly in code order, with the same rows and files as one
// transfer at a time.
class ScreeningRun
{
public:
    struct Summary
    {
        bool started = false; // false when Table_Url has no row
        bool cancelled = false;
        bool unreachable = false; // stopped after kTransportFailuresInARow
        int stocks = 0;
        int obtained = 0; // 取得
        int suspended = 0; // 停止中
        int failed = 0; // download failed
        int localErrors = 0; // of those, the file could not be written here
        bool diskFull = false; // among them, for want of space
        bool fromStore = false; // a J-Quants folder's histories: nothing was downloaded
        int achkSell = 0, achkBuy = 0, cchkSell = 0, cchkBuy = 0;
    };

    // Time-outs and refused connections in a row after which the server counts as gone: a
    // stalled server would otherwise cost every stock its whole time-out.
    static constexpr int kTransportFailuresInARow = 10;
    static constexpr const char* kUnreachableMessage = "サーバーが応答しません。";

    ScreeningRun(core::Mdl_Start& module, marketdata::Downloader& downloader, Indicators::Bounds bounds);

    // Transfers in flight at once; 1 fetches one history at a time through the downloader.
    void setJobs(int jobs) { m_jobs = jobs < 1 ? 1 : jobs; }
    // Limits of the transfers that run ahead (jobs above 1).
    void setAheadLimits(const marketdata::CurlEasy::Limits& limits) { m_aheadLimits = limits; }
    static marketdata::CurlEasy::Limits defaultAheadLimits();

    Summary run(const std::string& market, const std::string& industry, const ScreeningHooks& hooks = {});

    static std::string summaryLine(const Summary& summary);
    // Why a run failed as a whole: a history could not be saved here, or the server gave none
    // of the stocks. Empty when the run did its work.
    static std::string failureMessage(const Summary& summary);
    // The list's day (YYYY-MM-DD) the screening last gave marks for; empty when none is kept.
    // A refresh blanks the marks but not this day.
    static std::string lastDay(core::Connection& connection);
    static void keepDay(core::Connection& connection, const std::string& day);

private:
    Summary runSteps(const std::string& market, const std::string& industry, const ScreeningHooks& hooks);

    core::Mdl_Start& m_module;
    marketdata::Downloader& m_downloader;
    Indicators::Bounds m_bounds;
    int m_jobs = 8;
    marketdata::CurlEasy::Limits m_aheadLimits = defaultAheadLimits();
};

} // namespace zuvemo::analysis
