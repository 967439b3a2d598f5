#include "ModuleFixture.h"
#include "SyntheticMarket.h"
#include "analysis/CSVMDB.h"
#include "analysis/TrackRun.h"
#include "core/CommandLock.h"
#include "core/ValueRules.h"
#include "export/ChartData.h"
#include "marketdata/DataSource.h"
#include "model/ChartSignals.h"
#include "model/TrackDialogModel.h"

using namespace zuvemo;
using namespace std::chrono;
using analysis::Indicators::Mark;
using ui::ChartSignals;
using ui::TrackDialogModel;

namespace {

// Stocks of two markets whose histories the screening of 2024-01-04 left in csv/ (the fixture's
// trading day and suffix).
class TrackWindow : public test::ModuleFixture
{
protected:
    void fillMarket(int stocks, bool files)
    {
        sample::SyntheticMarket::Options options;
        options.stocks = stocks;
        options.days = 120;
        options.today = year_month_day{2024y, January, 4d};
        sample::SyntheticMarket market(options);
        std::filesystem::create_directories(m_dir / "csv");
        core::Transaction tx(db());
        for (const auto& stock : market.stocks()) {
            const std::string place = m_markets[static_cast<std::size_t>(stock.code.back()) % 2];
            m_byMarket[place] += files;
            db().execute("INSERT INTO Table_Code(MgCode, Mgmgara, MgMei, Mgyosyu) VALUES ('" + stock.code
                + "','" + place + "','" + core::SqlText(stock.name) + "','" + core::SqlText(stock.industry)
                + "')");
            if (files) {
                test::writeFile(
                    m_dir / "csv" / ("20240104-" + stock.code + ".csv"), *market.historyFile(stock.code));
            }
        }
        tx.commit();
    }

    const std::array<std::string, 2> m_markets{"東証プライム", "名証メイン"};
    std::map<std::string, int> m_byMarket;
};

// Flat at 1000 for 70 days but for a drop to 900 on day 40 on five times the volume and a jump
// to 1100 on day 60 on three times the volume, each undone the next day; a close of 0 on day 69.
ChartSignals handMade(int chartDays)
{
    std::vector<double> close(70, 1000.0);
    std::vector<double> volume(70, 1000.0);
    close[40] = 900;
    volume[40] = 5000;
    close[60] = 1100;
    volume[60] = 3000;
    close[69] = 0;
    return ChartSignals(close, volume, chartDays);
}

} // namespace

TEST_F(TrackWindow, TheDialogShowsTheRecordOfTheChosenMarketOneRowPerSignalAndHorizon)
{
    fillMarket(40, true);
    TrackDialogModel model(*m_module, m_markets[1], "");
    EXPECT_EQ(model.caption, "成績  市場: 名証メイン  業種: すべて");
    ASSERT_TRUE(model.load()) << model.message;
    EXPECT_EQ(model.message, "");
    EXPECT_EQ(model.report().stocks, m_byMarket[m_markets[1]]);
    EXPECT_EQ(
        model.heading.rfind("基準日 2024-01-04  銘柄 " + std::to_string(m_byMarket[m_markets[1]]), 0), 0u)
        << model.heading;
    ASSERT_EQ(model.grid.rows(), 1 + 5 * 3);
    EXPECT_EQ(model.grid.cell(0, 5).text, "95%区間");
    EXPECT_EQ(model.grid.cell(1, 0).text, "短期買");
    EXPECT_EQ(model.grid.cell(1, 1).text, "1");
    EXPECT_EQ(model.grid.cell(15, 0).text, "全日");
    EXPECT_EQ(model.grid.cell(15, 1).text, "20");
    // The volume-confirmed signal under the main list's name for it.
    EXPECT_EQ(model.grid.cell(7, 0).text, "中期買");
    // Each row as the report has it; the base line and the rows set apart from it painted.
    const auto& rows = model.report().groups.front().rows;
    for (int line = 1; line < model.grid.rows(); ++line) {
        const auto& row = rows[static_cast<std::size_t>(line - 1)];
        // Counts with their thousands grouped, as the chart and the condition search show them.
        EXPECT_EQ(model.grid.cell(line, 2).text, core::FormatNumber(row.count, "#,##0"));
        EXPECT_EQ(model.grid.cell(line, 3).text, core::FormatNumber(row.hits, "#,##0"));
        if (row.count >= 1000) {
            EXPECT_NE(model.grid.cell(line, 2).text.find(','), std::string::npos);
        }
        EXPECT_EQ(model.grid.cell(line, 8).text, analysis::TrackReport::verdict(row));
        // Above the base line and below it in two colours; chance and empty rows plain.
        const std::string verdict = analysis::TrackReport::verdict(row);
        const auto expected = row.signal == analysis::TrackRecord::Signal::AllDays
            ? ui::GridColor::kLightOrange
            : verdict == "基準より高い" ? TrackDialogModel::kHigherColour
            : verdict == "基準より低い" ? TrackDialogModel::kLowerColour
                                        : ui::GridColor::kWhite;
        EXPECT_EQ(model.grid.rowColor(line), expected) << line << " " << verdict;
    }
    EXPECT_NE(TrackDialogModel::kHigherColour, TrackDialogModel::kLowerColour);

    // Every market: more stocks than one market alone.
    TrackDialogModel all(*m_module, " ", "");
    ASSERT_TRUE(all.load());
    EXPECT_EQ(all.caption, "成績  市場: すべて  業種: すべて");
    EXPECT_EQ(all.report().stocks, m_byMarket[m_markets[0]] + m_byMarket[m_markets[1]]);
}

TEST_F(TrackWindow, WithoutHistoriesOrWhileAnotherCommandRunsTheDialogSaysWhy)
{
    TrackDialogModel empty(*m_module, "", "");
    EXPECT_FALSE(empty.load());
    EXPECT_EQ(empty.message, analysis::TrackRun::kNoStocksMessage);
    EXPECT_EQ(empty.grid.rows(), 1);

    fillMarket(10, false);
    TrackDialogModel noFiles(*m_module, "", "");
    EXPECT_FALSE(noFiles.load());
    EXPECT_EQ(noFiles.message, analysis::TrackRun::kNoHistoriesMessage);

    std::string message;
    auto held = core::CommandLock::acquire(m_dir.path(), &message);
    ASSERT_TRUE(held);
    TrackDialogModel busy(*m_module, "", "");
    int waits = 0;
    EXPECT_FALSE(busy.load([&] { ++waits; }));
    EXPECT_EQ(busy.message, core::CommandLock::kBusyMessage);
    EXPECT_GT(waits, 0);

    // A J-Quants folder's store is read beside the fill that holds the lock: no wait, and
    // before the fill has stored anything the dialog says that it runs.
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    marketdata::DataSource::write(db(), source);
    TrackDialogModel beside(*m_module, "", "");
    waits = 0;
    EXPECT_FALSE(beside.load([&] { ++waits; }));
    EXPECT_EQ(waits, 0);
    EXPECT_EQ(beside.message, analysis::TrackRun::kNoStoreMessage);
    TrackDialogModel filling(*m_module, "", "");
    filling.fillRunning = true;
    EXPECT_FALSE(filling.load());
    EXPECT_EQ(filling.message, TrackDialogModel::kFillRunningMessage);
}

TEST(ChartSignals, TheChartsDaysGetTheirMarksAndTheReturnsThatFollowed)
{
    // The chart shows the newest 30 of 70 stored days: its day 0 is stored day 40.
    const auto marks = handMade(30);
    EXPECT_EQ(marks.days(), 30);
    EXPECT_EQ(marks.shortMark(0), Mark::Buy);
    EXPECT_EQ(marks.volumeMark(0), Mark::Buy);
    EXPECT_EQ(marks.shortMark(1), Mark::None);
    EXPECT_EQ(marks.shortMark(20), Mark::Sell);
    EXPECT_EQ(marks.volumeMark(20), Mark::Sell);
    EXPECT_EQ(marks.shortMark(30), Mark::None);
    double r = 0;
    ASSERT_TRUE(marks.returnAfter(0, 20, &r));
    EXPECT_DOUBLE_EQ(r, 200.0 / 900);
    EXPECT_EQ(marks.returnsLine(0), "その後 1日 +11.11% 5日 +11.11% 20日 +22.22%");
    EXPECT_EQ(marks.returnsLine(20), "その後 1日 -9.09% 5日 -9.09% 20日 -");
    // Day 28 would end on the close of 0, day 29 has nothing after it.
    EXPECT_EQ(marks.returnsLine(28), "その後 1日 - 5日 - 20日 -");
    EXPECT_EQ(marks.returnsLine(29), "その後 1日 - 5日 - 20日 -");
    EXPECT_FALSE(marks.returnAfter(-1, 1, &r));
}

TEST_F(TrackWindow, TheChartsMarksAreTheScreeningsOfEachCutAndItsOwnWhereItsWindowHasThePast)
{
    sample::SyntheticMarket::Options options;
    options.stocks = 10;
    options.days = 300;
    options.today = year_month_day{2024y, January, 9d};
    sample::SyntheticMarket market(options);
    int marked = 0;
    for (const auto& stock : market.stocks()) {
        const auto file = m_dir / "history.csv";
        test::writeFile(file, *market.historyFile(stock.code));
        analysis::CSVMDB(*m_module, file, 1, analysis::Indicators::Bounds{0.9, 1.2});
        const auto data = exporting::ChartData::read(*m_module, stock.code, stock.name);
        const auto marks = ChartSignals::read(*m_module, data.days());
        ASSERT_EQ(marks.days(), data.days());
        const auto rows = *analysis::readHistoryFile(file);
        for (int day = 0; day < data.days(); ++day) {
            const auto i = static_cast<std::size_t>(day);
            // The history the screening of that day would have read.
            const std::vector<analysis::HistoryRow> cut(rows.begin() + (data.days() - 1 - day), rows.end());
            const std::string code = analysis::signalCodeOf(cut, {0.9, 1.2});
            ASSERT_EQ(code,
                std::string({analysis::Indicators::markDigit(marks.shortMark(day)),
                    analysis::Indicators::markDigit(marks.volumeMark(day))}))
                << stock.code << " day " << day;
            // The workbook's marks are of its newest 250 days.
            if (day >= data.days() - 250 + 20) {
                EXPECT_EQ(analysis::Indicators::markText(marks.shortMark(day)), data.shortSignal[i]) << day;
                EXPECT_EQ(analysis::Indicators::markText(marks.volumeMark(day)), data.volumeSignal[i]) << day;
            }
            marked += code != "00";
        }
    }
    EXPECT_GT(marked, 30);
}
