// "画面表示" from the click to the chart window's first paint, of the whole stored history (ten
// years in a deep J-Quants folder): as the window opens by default (日足 with the workbook's
// view), with every overlay and panel on, and 週足 with them all; beside "検索発行" (the
// workbook export) of the same stock.
// usage: bench_chart [bin-dir] [program-folder]
#include "BenchSupport.h"
#include "Frm_Chart.h"
#include "Frm_DataSettings.h"
#include "Frm_zuvemo.h"
#include "QtTranslations.h"
#include "SampleServer.h"
#include "UiStyle.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/Schema.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"
#include "model/ChartChoice.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace zuvemo;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ui::UiStyle::installFontSubstitutes();
    ui::QtTranslations::install();
    const std::filesystem::path bin = argc > 1 ? argv[1] : "build/bin";
    // A folder given (a kept J-Quants folder, say ten years deep) is charted as it is; without
    // one, a sample market of 40 stocks is made and screened.
    const bool given = argc > 2;
    auto dir = given ? std::filesystem::path(argv[2])
                     : std::filesystem::temp_directory_path() / "zuvemo-bench-chart";
    sample::SampleServer::Options options;
    options.market.stocks = 40;
    options.market.days = 300;
    options.market.today = core::Clock().today();
    sample::SampleServer server(options);
    if (!given) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(bin / "雛型EXCEL.xltx", dir / "雛型EXCEL.xltx");
        server.start(0);
        core::Schema::createDatabaseFile(dir / "zuvemo.db",
            {server.dailyBaseUrl(), server.historyBaseUrl(), ".csv", " "}, core::Schema::Bounds{0.9, 1.2});
        std::ofstream(dir / "qen_kanrFile.dsa") << "[DataBase1]=zuvemo.db\r\n";
    }
    core::Mdl_Start module(dir);
    module.ReadConfigFile();
    marketdata::CurlDownloader downloader;
    core::Clock clock;
    exporting::NoOpener opener;
    ui::Frm_zuvemo window(module, clock, downloader, opener);
    window.setFinishedBox([](const std::string&) {});
    // A folder whose source wants its key (JQUANTS_API_KEY) charts what is stored without it.
    window.setSettingsRunner([](ui::Frm_DataSettings&) {});
    window.load();
    window.show();
    if (!given) {
        window.model().Command_kensaku_Click();
    }
    window.model().Grid_Click(1, 1);
    window.model().Option1_Click(2);
    window.render();
    auto* chartButton = window.findChild<QPushButton*>(QStringLiteral("Command_chart"));
    auto* exportButton = window.findChild<QPushButton*>(QStringLiteral("Command_hat"));

    // Once untimed: the history is downloaded into csv/ as a screening would have left it.
    ui::ChartChoice{}.write(*module.SharedConnection);
    chartButton->click();
    QApplication::processEvents();
    if (!window.lastChart() || window.lastChart()->data().storedDays() < 250) {
        std::fprintf(stderr, "no chart window of 250 days or more\n");
        return 1;
    }
    const int days = window.lastChart()->data().days();
    window.lastChart()->close();
    QApplication::processEvents();

    auto timeChart = [&](const ui::ChartChoice& choice, const std::string& label) {
        choice.write(*module.SharedConnection);
        std::vector<double> toPaint;
        for (int i = 0; i < 11; ++i) {
            const auto start = Clock::now();
            chartButton->click();
            auto* chart = window.lastChart();
            bool painted = false;
            QObject::connect(chart, &ui::Frm_Chart::firstPainted, [&] { painted = true; });
            while (!painted) {
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            toPaint.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            chart->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        bench::report("画面表示, click to the chart window's first paint (" + std::to_string(days) + " days, "
                + label + ")",
            toPaint);
    };
    const ui::ChartChoice today;
    timeChart(today, "日足 as it opens");
    ui::ChartChoice all;
    all.bollinger = all.ichimoku = all.macd = all.rsi = all.stochastics = true;
    timeChart(all, "日足, every overlay and panel");
    all.period = ui::ChartChoice::Period::Week;
    timeChart(all, "週足, every overlay and panel");
    today.write(*module.SharedConnection);

    std::vector<double> exports;
    for (int i = 0; i < 11; ++i) {
        const auto start = Clock::now();
        exportButton->click();
        QApplication::processEvents();
        exports.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::filesystem::remove(window.model().lastWorkbook);
    }
    bench::report("検索発行, click to the workbook written (same stock)", exports);
    window.close();
    if (!given) {
        std::filesystem::remove_all(dir);
    }
    return 0;
}
