// Renders the program's windows offscreen into PNG files, with a sample market loaded, so the
// look can be reviewed without a display.
// usage: zuvemo-screenshots OUTPUT-FOLDER
#include "Frm_Chart.h"
#include "Frm_ConditionSearch.h"
#include "Frm_RuleRange.h"
#include "Frm_RuleTest.h"
#include "Frm_Track.h"
#include "Frm_zuvemo.h"
#include "QtTranslations.h"
#include "SampleServer.h"
#include "UiStyle.h"
#include "analysis/FindReport.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/Schema.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/CurlDownloader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

using namespace zuvemo;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: zuvemo-screenshots OUTPUT-FOLDER" << std::endl;
        return 2;
    }
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ui::UiStyle::installFontSubstitutes();
    ui::QtTranslations::install();
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);

    sample::SampleServer::Options options;
    options.market.stocks = 400;
    options.market.today = core::Clock().today();
    sample::SampleServer server(options);
    if (server.start(0) < 0) {
        std::cerr << "cannot start the sample server" << std::endl;
        return 1;
    }
    auto home = std::filesystem::temp_directory_path() / "zuvemo-screenshots";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    core::Schema::createDatabaseFile(home / "zuvemo.db",
        core::Schema::UrlRow{server.dailyBaseUrl(), server.historyBaseUrl(), ".csv", " "},
        core::Schema::Bounds{0.9, 1.2});
    std::ofstream(home / "qen_kanrFile.dsa") << "[DataBase1]=zuvemo.db\r\n";

    core::Mdl_Start module(home);
    module.ReadConfigFile();
    core::Clock clock;
    marketdata::CurlDownloader downloader;
    exporting::NoOpener opener;
    ui::Frm_zuvemo window(module, clock, downloader, opener);
    window.setFinishedBox([](const std::string&) {});
    window.setBeep([] {});
    window.load();
    window.show();
    auto grab = [&](const char* name) {
        window.render();
        QApplication::processEvents();
        window.grab().save(QString::fromStdString((out / name).string()));
        std::cout << (out / name).string() << std::endl;
    };
    grab("main-empty.png");
    window.model().Command_kensaku_Click();
    grab("main-refreshed.png");
    auto& m = window.model();
    m.setMarket(m.combo2Items.size() > 1 ? m.combo2Items[1] : "");
    m.Combo_Click();
    m.Command_mok_Click();
    m.Grid_Click(1, 3);
    m.Option1_Click(2);
    grab("main-screened.png");

    // "成績" for the market chosen.
    window.setTrackRunner([&](ui::Frm_Track& dialog) {
        dialog.show();
        QApplication::processEvents();
        dialog.grab().save(QString::fromStdString((out / "track.png").string()));
        std::cout << (out / "track.png").string() << std::endl;
    });
    if (auto* track = window.findChild<QPushButton*>(QStringLiteral("Command_track"))) {
        track->click();
    }

    // The chart window of the selected stock, the cross-hair on its newest day, then zoomed in
    // on its last 60 days.
    m.Command_chart_Click();
    if (auto* chart = window.lastChart()) {
        chart->resize(1100, 900);
        QApplication::processEvents();
        auto grabChart = [&](const char* name) {
            QApplication::processEvents();
            chart->grab().save(QString::fromStdString((out / name).string()));
            std::cout << (out / name).string() << std::endl;
        };
        grabChart("chart.png");
        chart->setDayRange(chart->data().days() - 60.5, chart->data().days() - 0.5);
        chart->showDay(chart->data().days() - 20);
        grabChart("chart-zoomed.png");
        chart->close();
    } else {
        std::cerr << "no chart window: " << m.label1 << std::endl;
    }

    // "条件検索" with ten conditions, a range upside down, then after "条件クリア"; the whole screen
    // beside each shows where the window stands by the main one.
    if (auto* find = window.findChild<QPushButton*>(QStringLiteral("Command_find"))) {
        find->click();
    }
    if (auto* search = window.conditionSearch()) {
        auto grabSearch = [&](const std::string& name) {
            QApplication::processEvents();
            search->grab().save(QString::fromStdString((out / name).string()));
            QApplication::primaryScreen()->grabWindow(0).save(
                QString::fromStdString((out / ("screen-" + name)).string()));
            const QRect at = search->frameGeometry();
            std::cout << (out / name).string() << " at " << at.x() << "," << at.y() << " " << at.width()
                      << "x" << at.height() << std::endl;
        };
        auto edit = [search](const std::string& name) {
            return search->findChild<QLineEdit*>(QString::fromStdString(name));
        };
        const auto& defaults = analysis::FindReport::defaultColumns();
        int added = 0;
        for (const auto& box : search->model().boxes) {
            const std::string name = box.figure->name;
            if (added < 10 && search->model().enabled(box)
                && std::find(defaults.begin(), defaults.end(), name) == defaults.end()
                && edit("High_" + name)) {
                edit("High_" + name)->setText(QStringLiteral("999999"));
                ++added;
            }
        }
        grabSearch("condition-search.png");
        search->search();
        grabSearch("condition-search-ten.png");
        if (auto* low = edit("Low_rsi")) {
            low->setText(QStringLiteral("70"));
            edit("High_rsi")->setText(QStringLiteral("30"));
            search->search();
            grabSearch("condition-search-error.png");
        }
        if (auto* clear = search->findChild<QPushButton*>(QStringLiteral("Clear"))) {
            clear->click();
        }
        grabSearch("condition-search-cleared.png");
        search->close();
    }
    // "この条件を検証" for a signal and an RSI, by year, the money held 20 days: while it runs, then
    // with its result.
    {
        analysis::RuleTest::Options options;
        options.conditions.signal = "買";
        options.conditions.ranges["rsi"].max = 50;
        auto ruleModel = std::make_unique<ui::RuleTestDialogModel>(
            home, options, ui::RuleTestDialogModel::describe(options.conditions));
        ruleModel->load();
        ui::Frm_RuleTest rule(std::move(ruleModel));
        rule.show();
        if (auto* byYear = rule.findChild<QCheckBox*>(QStringLiteral("ByYear"))) {
            byYear->setChecked(true);
        }
        rule.runTest();
        auto* run = rule.findChild<QPushButton*>(QStringLiteral("Run"));
        auto grabRule = [&](const char* name) {
            QApplication::processEvents();
            rule.grab().save(QString::fromStdString((out / name).string()));
            std::cout << (out / name).string() << std::endl;
        };
        grabRule("rule-test-running.png");
        while (run && !run->isEnabled()) {
            QApplication::processEvents();
            QThread::msleep(20);
        }
        grabRule("rule-test.png");
        // The same with what a J-Quants store adds: a TOPIX line (here drawn from the market's, the
        // sample folder keeping no TOPIX), dividends and tax, fills at the limits.
        auto report = rule.model().report();
        if (report.simulation && !report.simulation->equity.empty()) {
            auto& sim = *report.simulation;
            const double capital = report.simulationSettings.capital;
            std::vector<double> line;
            for (std::size_t i = 0; i < sim.equity.size(); ++i) {
                auto& p = sim.equity[i];
                p.topix = capital * std::pow(p.market / capital, 0.7)
                    * (1 + 0.02 * std::sin(static_cast<double>(i) / 9));
                line.push_back(*p.topix);
            }
            sim.topixReturn = line.back() / capital - 1;
            sim.topixAnnualReturn = analysis::RuleSimulation::annualised(capital, line.back(), sim.days);
            sim.topixMaxDrawdown = analysis::RuleSimulation::maxDrawdown(capital, line);
            for (auto& year : sim.years) {
                year.topixReturn = year.marketReturn * 0.7;
                year.dividends = capital * 0.012 * year.days / sim.days;
                year.tax = std::max(0.0, year.totalReturn) * capital * analysis::RuleSimulation::kTaxRate;
                sim.dividends += year.dividends;
                sim.tax += year.tax;
            }
            sim.unfilled = 3;
            report.simulationSettings.dividends = report.simulationSettings.tax = true;
            report.dividends = analysis::TrackReport::Dividends::Included;
            report.dividendDaysPending = 5;
            report.taxed = true;
            report.limitsApplied = true;
            rule.showReport(std::move(report));
            grabRule("rule-test-topix.png");
        }
    }
    // "範囲で試す": two bounds of the rule over a range, with a walk-forward: the grid, the heat
    // map with its best cell outlined, the walk-forward line and the odds.
    {
        analysis::RuleTest::Options options;
        options.conditions.signal = "買";
        options.conditions.ranges["rsi"].max = 50;
        options.horizons = {20};
        auto rangeModel = std::make_unique<ui::RuleRangeModel>(home, options);
        ui::Frm_RuleRange range(home, std::move(rangeModel));
        range.show();
        auto edit = [&](const char* name, const char* text) {
            if (auto* box = range.findChild<QLineEdit*>(QString::fromLatin1(name))) {
                box->setText(QString::fromLatin1(text));
            }
        };
        edit("From_rsi.max", "30");
        edit("To_rsi.max", "50");
        edit("Step_rsi.max", "5");
        edit("From_horizon", "5");
        edit("To_horizon", "20");
        edit("Step_horizon", "5");
        if (auto* walk = range.findChild<QComboBox*>(QStringLiteral("WalkForward"))) {
            walk->setCurrentIndex(1);
        }
        range.runTest();
        auto* run = range.findChild<QPushButton*>(QStringLiteral("Run"));
        while (run && !run->isEnabled()) {
            QApplication::processEvents();
            QThread::msleep(20);
        }
        QApplication::processEvents();
        const auto file = out / "rule-range.png";
        range.grab().save(QString::fromStdString(file.string()));
        std::cout << file.string() << std::endl;
    }
    window.close();
    std::filesystem::remove_all(home);
    return 0;
}
