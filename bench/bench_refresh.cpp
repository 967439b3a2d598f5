// Daily import and whole refresh, beside the sqlite3 shell importing the same rows.
#include "BenchSupport.h"
#include "SampleServer.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Schema.h"
#include "core/TextCodec.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/DailyQuoteImport.h"
#include "marketdata/MarketDataRefresh.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace zuvemo;
using namespace std::chrono;

int main(int argc, char** argv)
{
    int stocks = argc > 1 ? std::atoi(argv[1]) : 4000;
    auto dir = std::filesystem::temp_directory_path() / "zuvemo-bench-refresh";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "qen_kanrFile.dsa") << "[DataBase1]=zuvemo.db\r\n";

    // A Monday holiday: the refresh fails for it and the weekend before finding Friday.
    const year_month_day today{2024y, January, 8d};
    sample::SampleServer::Options options;
    options.market.stocks = stocks;
    options.market.today = today;
    sample::SampleServer server(options);
    server.start(0);
    core::Schema::createDatabaseFile(dir / "zuvemo.db",
        core::Schema::UrlRow{server.dailyBaseUrl(), server.historyBaseUrl(), ".csv", " "},
        core::Schema::Bounds{0.9, 1.2});
    core::Mdl_Start m(dir);
    m.ReadConfigFile();
    if (!m.OpenDatabase()) {
        std::fprintf(stderr, "cannot open the database\n");
        return 1;
    }

    auto dailyBytes = *server.market().dailyFile(year_month_day{2024y, January, 5d});
    std::ofstream(dir / "daily.csv", std::ios::binary) << dailyBytes;
    std::printf("daily file: %d stocks, %zu bytes\n", stocks, dailyBytes.size());

    auto createMdb = bench::timeRuns(21, [&] {
        if (!marketdata::CreateMDB(m, dir / "daily.csv", "2024-01-05")) {
            std::fprintf(stderr, "CreateMDB failed\n");
        }
    });
    bench::report("CreateMDB", createMdb);

    // The same rows for the sqlite3 shell: UTF-8, without the date line, into a table of the same shape.
    auto text = *core::TextCodec::decodeCp932(dailyBytes);
    text = text.substr(text.find("\r\n") + 2);
    std::string rows;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line.find('-') == std::string::npos) {
            rows += line + "\n";
        }
    }
    std::ofstream(dir / "rows.csv", std::ios::binary) << rows;
    std::string schema
        = "CREATE TABLE T(MgCode TEXT COLLATE NOCASE NOT NULL, Mgmgara TEXT, MgMei TEXT, Mgyosyu TEXT,"
          " Wscost REAL, Wucost REAL, Wdcost REAL, Wecost REAL, Wccost REAL, Wbcost REAL,"
          " Achk TEXT, Cchk TEXT, Dchk TEXT); CREATE UNIQUE INDEX TI ON T(MgCode);";
    auto shellDb = dir / "shell.db";
    std::vector<double> shell;
    std::vector<double> shellEmpty;
    for (int i = 0; i < 21; ++i) {
        std::filesystem::remove(shellDb);
        std::system(("sqlite3 " + shellDb.string() + " \"" + schema + "\"").c_str());
        shellEmpty.push_back(
            bench::timeCommand("sqlite3 " + shellDb.string() + " 'PRAGMA journal_mode=WAL;' > /dev/null"));
        shell.push_back(bench::timeCommand("sqlite3 " + shellDb.string() + " -cmd '.mode csv' '.import "
            + (dir / "rows.csv").string() + " T' 2>/dev/null"));
    }
    bench::report("sqlite3 shell .import (process)", shell);
    bench::report("sqlite3 shell start-up only", shellEmpty);
    double net = bench::median(shell) - bench::median(shellEmpty);
    std::printf(
        "ratio CreateMDB / shell import (start-up subtracted): %.2f\n", bench::median(createMdb) / net);

    core::FixedClock clock(today);
    auto refreshRuns = bench::timeRuns(11, [&] {
        marketdata::CurlDownloader downloader;
        marketdata::MarketDataRefresh refresh(m, downloader, clock);
        auto r = refresh.run();
        if (r.outcome != marketdata::MarketDataRefresh::Outcome::Loaded) {
            std::fprintf(stderr, "refresh failed\n");
        }
    });
    bench::report("whole refresh (3 failed days, then Friday)", refreshRuns);
    m.CloseDatabase();
    std::filesystem::remove_all(dir);
    return 0;
}
