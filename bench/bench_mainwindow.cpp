// The stock list page fill and the main window's start-up with 4,000 stocks.
#include "BenchSupport.h"
#include "Frm_zuvemo.h"
#include "QtTranslations.h"
#include "SampleServer.h"
#include "UiStyle.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/Schema.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace zuvemo;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::UiStyle::installFontSubstitutes();
    ui::QtTranslations::install();
    auto dir = std::filesystem::temp_directory_path() / "zuvemo-bench-window";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    sample::SampleServer::Options options;
    options.market.stocks = 4000;
    options.market.today = core::Clock().today();
    sample::SampleServer server(options);
    server.start(0);
    core::Schema::createDatabaseFile(dir / "zuvemo.db",
        {server.dailyBaseUrl(), server.historyBaseUrl(), ".csv", " "}, core::Schema::Bounds{0.9, 1.2});
    std::ofstream(dir / "qen_kanrFile.dsa") << "[DataBase1]=zuvemo.db\r\n";
    core::Mdl_Start module(dir);
    module.ReadConfigFile();
    module.OpenDatabase();
    marketdata::CurlDownloader downloader;
    core::Clock clock;
    marketdata::MarketDataRefresh(module, downloader, clock).run();
    module.CloseDatabase();

    exporting::NoOpener opener;
    std::vector<double> loads;
    for (int i = 0; i < 7; ++i) {
        core::Mdl_Start m(dir);
        m.ReadConfigFile();
        auto start = std::chrono::steady_clock::now();
        ui::Frm_zuvemo window(m, clock, downloader, opener);
        window.load();
        window.show();
        QApplication::processEvents();
        loads.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        m.CloseDatabase();
    }
    bench::report("Form_Load to the first page shown", loads);

    core::Mdl_Start m(dir);
    m.ReadConfigFile();
    ui::Frm_zuvemo window(m, clock, downloader, opener);
    window.load();
    window.show();
    auto& model = window.model();
    auto fills = bench::timeRuns(41, [&] {
        model.DSP_Grid(model.NextPageCode.empty() ? ui::MainWindowModel::kFromStart : model.NextPageCode, "A",
            "", "", 0);
        window.render();
    });
    bench::report("page fill, next page (queries and grid)", fills);
    auto back = bench::timeRuns(41, [&] {
        model.Command_modo_Click();
        window.render();
    });
    bench::report("page fill, previous page", back);
    m.CloseDatabase();
    std::filesystem::remove_all(dir);
    return 0;
}
