// The work the kill test interrupts: refresh, screening, a watch-list registration and a
// compaction, over and over, against the sample market servers named on the command line.
// usage: zuvemo-killchild HOME DAILY_URL_A DAILY_URL_B LOOPS   (LOOPS 0: until killed)
#include "analysis/CSVMDB.h"
#include "analysis/ScreeningRun.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/ValueRules.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"
#include "model/PriceDialogModel.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace zuvemo;
using namespace std::chrono;

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: zuvemo-killchild HOME DAILY_URL_A DAILY_URL_B LOOPS" << std::endl;
        return 2;
    }
    const std::filesystem::path home = argv[1];
    const std::string urls[2] = {argv[2], argv[3]};
    const int loops = std::atoi(argv[4]);
    core::FixedClock clock(year_month_day{2024y, February, 9d});
    for (int i = 0; loops == 0 || i < loops; ++i) {
        core::Mdl_Start m(home);
        if (!m.ReadConfigFile() || !m.OpenDatabase()) {
            std::cerr << "cannot open the program folder" << std::endl;
            return 1;
        }
        // Day A after day B too: with no day held, each round loads the other market whole.
        m.SharedConnection->execute(
            " UPDATE Table_Url SET kabuHUrl='" + core::SqlText(urls[i % 2]) + "', kabuHdate=''");
        marketdata::CurlDownloader downloader;
        auto refreshed = marketdata::MarketDataRefresh(m, downloader, clock).run();
        if (refreshed.outcome != marketdata::MarketDataRefresh::Outcome::Loaded) {
            std::cerr << "refresh failed" << std::endl;
            return 1;
        }
        analysis::ScreeningRun screening(m, downloader, analysis::readBounds(m));
        screening.setJobs(4);
        screening.run("", "");
        ui::PriceDialogModel dialog(m);
        if (dialog.load("1300")) {
            dialog.text1[2] = "1,050";
            dialog.choosePercent();
            dialog.text1[4] = "5";
            dialog.registerPrices();
        }
        m.CloseDatabase();
        core::CompactDatabaseFile(m.DatabasePath);
    }
    return 0;
}
