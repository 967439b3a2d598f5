#include "DailyCommand.h"

#include "CliSession.h"
#include "analysis/DailyRun.h"
#include "core/Clock.h"
#include "core/DesktopNotifier.h"
#include "core/FileLock.h"
#include "core/Platform.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/DataSource.h"
#include "marketdata/jquants/ApiKey.h"

#include <iostream>

namespace zuvemo::cli {

int runDaily(const std::filesystem::path& home, CliArguments& args)
{
    std::string market = args.takeOption("--market").value_or("");
    std::string industry = args.takeOption("--industry").value_or("");
    auto jobsText = args.takeOption("--jobs");
    const int jobs = jobsText ? parseInt(*jobsText, "--jobs", 1, 64) : 8;
    const auto timeoutText = args.takeOption("--timeout");
    const bool json = args.takeFlag("--json");
    const bool notify = args.takeFlag("--notify");
    args.positional(0, 0);
    const long timeoutSeconds = timeoutText ? parseInt(*timeoutText, "--timeout", 1, 86400) : 0;

    // One day's work at a time per folder; the lock goes with the process, however it ends.
    auto lock = core::FileLock::acquire(home / ".daily.lock", core::FileLock::Mode::Exclusive, 0);
    if (!lock) {
        std::cerr << analysis::DailyRun::kBusyMessage << " (" << core::Platform::toUtf8(home) << ")"
                  << std::endl;
        return 1;
    }
    if (!lock->held()) {
        // A lock that cannot be taken is not held: two runs would write two records.
        std::cerr << "ファイル(" << core::Platform::toUtf8(home / ".daily.lock") << ")を書き込めません。"
                  << std::endl;
        return 1;
    }
    CliSession session(home);
    if (!session.open() || !session.lockCommands()) {
        return 1;
    }
    if (marketdata::DataSource::read(*session.module().SharedConnection).isJQuants()) {
        std::string problem;
        if (!marketdata::ApiKey::read(nullptr, &problem)) {
            std::cerr << problem << std::endl;
            return 2;
        }
        warnOfKeyFile();
    }

    marketdata::CurlDownloader::Options dailyOptions;
    dailyOptions.totalTimeoutMs
        = timeoutSeconds ? timeoutSeconds * 1000 : marketdata::CurlDownloader::kDailyTimeoutMs;
    dailyOptions.cancel = &stopRequested();
    marketdata::CurlDownloader dailyDownloader(dailyOptions);
    marketdata::CurlDownloader::Options historyOptions;
    historyOptions.durable = false;
    historyOptions.totalTimeoutMs
        = timeoutSeconds ? timeoutSeconds * 1000 : marketdata::CurlDownloader::kHistoryTimeoutMs;
    historyOptions.cancel = &stopRequested();
    auto historyDownloader = session.historyDownloader(historyOptions);

    analysis::DailyRun::Options options;
    options.market = market;
    options.industry = industry;
    options.jobs = jobs;
    options.aheadLimits.totalTimeoutMs = historyOptions.totalTimeoutMs;
    options.aheadLimits.cancel = &stopRequested();
    options.cancel = &stopRequested();

    core::Clock clock;
    analysis::DailyRun daily(session.module(), dailyDownloader, *historyDownloader, clock);
    daily.setJQuantsOptions(CliSession::jquantsOptions(timeoutSeconds * 1000));
    auto report = daily.run(options);
    if (json) {
        std::cout << analysis::DailyRun::reportJson(report) << std::endl;
    } else {
        std::cout << analysis::DailyRun::reportText(report) << std::flush;
    }
    if (notify) {
        auto [title, body] = analysis::DailyRun::notification(report);
        if (!title.empty()) {
            core::DesktopNotifier notifier;
            notifier.notify(title, body);
        }
    }
    if (stoppedExitStatus()) {
        return stoppedExitStatus();
    }
    return report.exitCode();
}

} // namespace zuvemo::cli
