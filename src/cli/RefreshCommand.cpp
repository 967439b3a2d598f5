#include "RefreshCommand.h"

#include "CliSession.h"
#include "analysis/TechnicalFigures.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Platform.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"
#include "marketdata/jquants/BackgroundFill.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace zuvemo::cli {

int runRefresh(const std::filesystem::path& home, CliArguments& args)
{
    marketdata::CurlDownloader::Options options;
    options.totalTimeoutMs = takeTimeoutMs(args, marketdata::CurlDownloader::kDailyTimeoutMs);
    options.cancel = &stopRequested();
    const bool acceptSmaller = args.takeFlag("--accept-smaller");
    args.positional(0, 0);
    CliSession session(home);
    if (!session.open() || !session.lockCommands()) {
        return 1;
    }
    marketdata::CurlDownloader downloader(options);
    core::Clock clock;
    marketdata::MarketDataRefresh refresh(session.module(), downloader, clock);
    refresh.setJQuantsOptions(CliSession::jquantsOptions(options.totalTimeoutMs));
    if (marketdata::DataSource::read(*session.module().SharedConnection).isJQuants()) {
        warnOfKeyFile();
    }
    marketdata::RefreshHooks hooks;
    hooks.progress = [](int, int) { return !stopRequested().load(); };
    if (core::Platform::stderrIsTerminal()) {
        const auto started = std::chrono::steady_clock::now();
        auto client = CliSession::jquantsOptions(options.totalTimeoutMs);
        client.requestsPerMinute = marketdata::DataSource::requestsPerMinute(
            marketdata::DataSource::read(*session.module().SharedConnection).plan);
        auto pace = std::make_shared<marketdata::FillPace>(marketdata::FillPace::of(client));
        auto elapsed = [started] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        };
        auto show = [](const marketdata::BackgroundFill::Snapshot& state, bool last) {
            std::fprintf(stderr, "\r%s ", marketdata::BackgroundFill::progressText(state).c_str());
            if (last) {
                std::fprintf(stderr, "\n");
            }
            return !stopRequested().load();
        };
        hooks.fillProgress = [elapsed, show, pace](const marketdata::JQuantsRefresh::Step& step) {
            const double seconds = elapsed();
            pace->observe(step, seconds, 0);
            marketdata::BackgroundFill::Snapshot state;
            state.step = step;
            state.done = step.done();
            state.total = step.total();
            state.minutesLeft = pace->minutesLeft(seconds, 0);
            return show(state, step.done() == step.total());
        };
        hooks.fileProgress = [elapsed, show, pace](const marketdata::JQuantsRefresh::FileStep& step) {
            const double seconds = elapsed();
            pace->observeFiles(step, seconds, 0);
            marketdata::BackgroundFill::Snapshot state;
            state.files = step;
            state.minutesLeft = pace->minutesLeft(seconds, 0);
            return show(state, step.done == step.total);
        };
    }
    if (acceptSmaller) {
        hooks.acceptSmaller = [](const std::string& question) {
            std::cerr << "zuvemo-cli: " << question << std::endl;
            return true;
        };
    }
    auto result = refresh.run(hooks);
    if (result.requests > 0) {
        std::cerr << "J-Quants API へのリクエスト: " << result.requests << " 回" << std::endl;
    }
    if (result.filesRead > 0) {
        std::cerr << "履歴ファイル: " << result.filesRead << " 件（" << result.fileBytes << " バイト）"
                  << std::endl;
    }
    for (const auto& note : result.notes) {
        std::cerr << note << std::endl;
    }
    if (result.outcome == marketdata::MarketDataRefresh::Outcome::Cancelled && stoppedExitStatus()) {
        std::cerr << "zuvemo-cli: 中断しました。" << std::endl;
        return stoppedExitStatus();
    }
    if (result.outcome == marketdata::MarketDataRefresh::Outcome::NoKey) {
        return 2;
    }
    if (result.outcome != marketdata::MarketDataRefresh::Outcome::Loaded
        && result.outcome != marketdata::MarketDataRefresh::Outcome::UpToDate) {
        return 1;
    }
    // The first search after the refresh reads the day's price figures instead of every bar.
    analysis::TechnicalFigures::prepare(session.module());
    std::cout << result.tradingDate << std::endl;
    return 0;
}

} // namespace zuvemo::cli
