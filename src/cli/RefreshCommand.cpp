#include "RefreshCommand.h"

#include "CliSession.h"
#include "core/Clock.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"

#include <iostream>

namespace zuvemo::cli {

int runRefresh(const std::filesystem::path& home, CliArguments& args)
{
    args.positional(0, 0);
    CliSession session(home);
    if (!session.open()) {
        return 1;
    }
    marketdata::CurlDownloader downloader;
    core::Clock clock;
    marketdata::MarketDataRefresh refresh(session.module(), downloader, clock);
    auto result = refresh.run();
    if (result.outcome != marketdata::MarketDataRefresh::Outcome::Loaded) {
        return 1;
    }
    std::cout << result.tradingDate << std::endl;
    return 0;
}

} // namespace zuvemo::cli
