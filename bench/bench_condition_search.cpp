// The "条件検索" dialog over a J-Quants folder of 4,000 stocks: a search with the grid filled, and a
// sort of every row, each timed to the grid shown.
// usage: bench_condition_search [folder]  (a J-Quants folder, made and filled there when missing and
// kept; without one, a folder is made for the run and removed after it)
#include "BenchSupport.h"
#include "Frm_ConditionSearch.h"
#include "GridView.h"
#include "QtTranslations.h"
#include "SampleServer.h"
#include "UiStyle.h"
#include "analysis/StockFinder.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace zuvemo;

namespace {

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::UiStyle::installFontSubstitutes();
    ui::QtTranslations::install();
    std::filesystem::path home;
    std::unique_ptr<sample::SampleServer> server;
    const auto work = std::filesystem::temp_directory_path() / "zuvemo-bench-find";
    const bool kept = argc > 1;
    home = kept ? std::filesystem::path(argv[1]) : work / "home";
    if (!kept || !std::filesystem::exists(home / "zuvemo.db")) {
        if (!kept) {
            std::filesystem::remove_all(work);
        }
        sample::SampleServer::Options options;
        options.market.stocks = 4000;
        options.market.days = 40;
        options.market.today = core::Clock().today();
        options.jquants = true;
        server = std::make_unique<sample::SampleServer>(options);
        if (server->start(0) <= 0) {
            std::fprintf(stderr, "the sample server did not start\n");
            return 1;
        }
        const auto cli = "JQUANTS_API_KEY=sample-key ZUVEMO_PACE_WINDOW_MS=60 "
            + (std::filesystem::path(argv[0]).parent_path().parent_path() / "bin" / "zuvemo-cli").string()
            + " --home " + home.string();
        if (!run(cli + " init --source jquants --api-url " + server->apiBaseUrl()
                + " --plan premium --days 20 --bounds 0.9 1.2 >/dev/null 2>&1")
            || !run(cli + " refresh >/dev/null 2>&1") || !run(cli + " screen >/dev/null 2>&1")) {
            std::fprintf(stderr, "the J-Quants folder could not be filled\n");
            return 1;
        }
    }
    core::Mdl_Start module(home);
    module.ReadConfigFile();
    module.OpenDatabase();
    ui::Frm_ConditionSearch dialog(module, {}, {}, {});
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    dialog.show();
    QApplication::processEvents();
    auto& model = dialog.model();

    // The boxes too: the search reads them, and a kept folder brings back its last conditions.
    model.clear();
    dialog.showConditions();
    auto all = bench::timeRuns(21, [&] {
        dialog.search();
        QApplication::processEvents();
    });
    std::printf("rows: %d (%s)\n", dialog.grid()->rowCount(), model.countLine.c_str());
    bench::report("search, no conditions, grid filled", all);

    model.box("fwd-per").high = "15";
    model.box("yield").low = "2";
    dialog.showConditions();
    auto some = bench::timeRuns(21, [&] {
        dialog.search();
        QApplication::processEvents();
    });
    std::printf("rows: %d\n", dialog.grid()->rowCount());
    bench::report("search, fwd PER <= 15, yield >= 2%, grid", some);
    // Price conditions over every stored day: the first search computes the figures and keeps
    // them, the next ones read what it kept.
    model.clear();
    model.box("dev25").high = "-5";
    model.box("rsi").high = "30";
    model.box("vol-ratio").low = "2";
    dialog.showConditions();
    auto priced = bench::timeRuns(21, [&] {
        dialog.search();
        QApplication::processEvents();
    });
    std::printf("rows: %d\n", dialog.grid()->rowCount());
    bench::report("search, 25-day deviation <= -5%, RSI <= 30, volume ratio >= 2, grid", priced);
    model.clear();
    dialog.showConditions();
    dialog.search();

    auto sorts = bench::timeRuns(21, [&] {
        model.sortBy(model.columnOf("yield"));
        dialog.render();
        QApplication::processEvents();
    });
    bench::report("sort by yield, every row", sorts);
    auto names = bench::timeRuns(21, [&] {
        model.sortBy(ui::ConditionSearchModel::kNameColumn);
        dialog.render();
        QApplication::processEvents();
    });
    bench::report("sort by name, every row", names);

    auto sortOnly = bench::timeRuns(21, [&] { model.sortBy(model.columnOf("yield")); });
    bench::report("sort by yield (model only)", sortOnly);
    auto findOnly = bench::timeRuns(21, [&] { model.search(); });
    bench::report("search without the grid shown (model only)", findOnly);
    std::vector<double> shownOnly;
    for (int i = 0; i < 21; ++i) {
        model.search();
        shownOnly.push_back(bench::timeRuns(1, [&] {
            dialog.render();
            QApplication::processEvents();
        })[0]);
    }
    bench::report("the grid shown after a search", shownOnly);
    const auto conditions = model.conditions();
    auto queryOnly = bench::timeRuns(21, [&] { analysis::StockFinder(module).find(*conditions); });
    bench::report("find's query alone", queryOnly);
    auto keepOnly = bench::timeRuns(21, [&] { model.save(); });
    bench::report("conditions kept (one transaction)", keepOnly);
    module.CloseDatabase();
    if (!kept) {
        std::filesystem::remove_all(work);
    }
    return 0;
}
