#include "AnalysisCommands.h"

#include "CliSession.h"
#include "analysis/CSVMDB.h"
#include "analysis/ScreeningRun.h"
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "marketdata/CurlDownloader.h"

#include <cstdio>
#include <iostream>

namespace zuvemo::cli {

int runAnalyse(const std::filesystem::path& home, CliArguments& args)
{
    bool chart = args.takeFlag("--chart");
    auto file = args.positional(1, 1).front();
    CliSession session(home);
    if (!session.open()) {
        return 1;
    }
    auto path = core::Platform::fromUtf8(file);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        std::cerr << "zuvemo-cli: ファイル(" << file << ")が見当たりません。" << std::endl;
        return 1;
    }
    try {
        auto bounds = analysis::readBounds(session.module());
        std::cout << analysis::CSVMDB(session.module(), path, chart ? 1 : 0, bounds) << std::endl;
    } catch (const core::DatabaseError& e) {
        printDatabaseError(e);
        return 1;
    }
    return 0;
}

int runScreen(const std::filesystem::path& home, CliArguments& args)
{
    std::string market = args.takeOption("--market").value_or("");
    std::string industry = args.takeOption("--industry").value_or("");
    auto jobsText = args.takeOption("--jobs");
    int jobs = jobsText ? parseInt(*jobsText, "--jobs", 1, 64) : 8;
    const long timeoutMs = takeTimeoutMs(args, marketdata::CurlDownloader::kHistoryTimeoutMs);
    args.positional(0, 0);
    CliSession session(home);
    if (!session.open() || !session.lockCommands()) {
        return 1;
    }
    analysis::Indicators::Bounds bounds;
    try {
        bounds = analysis::readBounds(session.module());
    } catch (const core::DatabaseError& e) {
        printDatabaseError(e);
        return 1;
    }
    marketdata::CurlDownloader::Options options;
    options.durable = false;
    options.totalTimeoutMs = timeoutMs;
    options.cancel = &stopRequested();
    auto downloader = session.historyDownloader(options);
    analysis::ScreeningRun run(session.module(), *downloader, bounds);
    run.setJobs(jobs);
    auto limits = analysis::ScreeningRun::defaultAheadLimits();
    limits.totalTimeoutMs = timeoutMs;
    limits.cancel = &stopRequested();
    run.setAheadLimits(limits);
    analysis::ScreeningHooks hooks;
    const bool terminal = core::Platform::stderrIsTerminal();
    int lastPercent = -1;
    hooks.progress = [&](int done, int total) {
        if (terminal && total > 0) {
            int percent = static_cast<int>(static_cast<float>(done) / static_cast<float>(total) * 100);
            if (percent != lastPercent) {
                lastPercent = percent;
                int width = percent / 2;
                std::fprintf(stderr, "\r[%-50s] %3d%% %d/%d",
                    std::string(static_cast<std::size_t>(width), '#').c_str(), percent, done, total);
                std::fflush(stderr);
            }
        }
        return !stopRequested().load();
    };
    auto summary = run.run(market, industry, hooks);
    if (terminal && lastPercent >= 0) {
        std::fprintf(stderr, "\n");
    }
    if (!summary.started) {
        return 1;
    }
    std::cout << analysis::ScreeningRun::summaryLine(summary) << std::endl;
    if (summary.cancelled && stoppedExitStatus()) {
        std::cerr << "zuvemo-cli: 中断しました。" << std::endl;
        return stoppedExitStatus();
    }
    std::string failure = analysis::ScreeningRun::failureMessage(summary);
    if (!failure.empty()) {
        std::cerr << failure << std::endl;
        return 1;
    }
    return summary.cancelled ? 1 : 0;
}

} // namespace zuvemo::cli
