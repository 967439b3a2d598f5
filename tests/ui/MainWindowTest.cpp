#include "ArrowButton.h"
#include "CaptionFrame.h"
#include "ElidedLabel.h"
#include "FakeDownloader.h"
#include "Frm_Chart.h"
#include "Frm_ConditionSearch.h"
#include "Frm_Track.h"
#include "Frm_zuvemo.h"
#include "GridPixels.h"
#include "GridView.h"
#include "ModuleFixture.h"
#include "SampleServer.h"
#include "UiStyle.h"
#include "analysis/FigureTable.h"
#include "analysis/FindReport.h"
#include "analysis/TrackRun.h"
#include "core/Clock.h"
#include "core/Journal.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/ExchangeOrder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

using namespace zuvemo;
using namespace std::chrono;

namespace {

// A spreadsheet application that can be made to be missing.
class SwitchOpener : public exporting::SpreadsheetOpener
{
public:
    bool open(const std::filesystem::path&) override { return available; }
    bool available = true;
};

class Window : public test::ModuleFixture
{
protected:
    void fillStocks(int count)
    {
        core::Transaction tx(db());
        for (int i = 0; i < count; ++i) {
            std::string code = std::to_string(1301 + i);
            std::string sql
                = "INSERT INTO Table_Code(MgCode , Mgmgara, MgMei, Mgyosyu, Wscost, Wucost, Wdcost, "
                  "Wecost, Wccost,Wbcost) VALUES ('";
            sql += code;
            sql += "','";
            sql += i % 3 ? "東証プライム" : "名証メイン";
            sql += "','銘柄";
            sql += code;
            sql += "','";
            sql += i % 2 ? "化学" : "鉱業";
            sql += "',100,110,90,100,1000,100000)";
            db().execute(sql);
        }
        db().execute(" UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
        db().execute(" UPDATE Table_Code SET Achk='売' WHERE MgCode='1304'");
        tx.commit();
    }
    ui::Frm_zuvemo& open(marketdata::Downloader& downloader)
    {
        m_module->CloseDatabase();
        m_window = std::make_unique<ui::Frm_zuvemo>(*m_module, m_clock, downloader, m_opener);
        m_window->setFinishedBox([this](const std::string& t) { m_finished.push_back(t); });
        EXPECT_TRUE(m_window->load());
        m_window->show();
        return *m_window;
    }
    template <typename T> T* child(const char* name)
    {
        auto* w = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString cell(int row, int col)
    {
        auto* grid = m_window->stockGrid();
        return row - 1 < grid->rowCount() ? test::cellText(grid, row - 1, col) : QStringLiteral("<none>");
    }
    QColor back(int row) { return test::cellBack(m_window->stockGrid(), row - 1, 0); }
    void click(const char* button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    // A sample market of the fixture's day, the folder's addresses pointed at it.
    std::unique_ptr<sample::SampleServer> sampleMarket()
    {
        sample::SampleServer::Options options;
        options.market.stocks = 60;
        options.market.days = 80;
        options.market.today = m_clock.today();
        auto server = std::make_unique<sample::SampleServer>(options);
        if (server->start(0) <= 0) {
            return nullptr;
        }
        db().execute(" UPDATE Table_Url SET kabuHUrl='" + server->dailyBaseUrl() + "', kabuMUrl='"
            + server->historyBaseUrl() + "'");
        return server;
    }

    core::FixedClock m_clock{year_month_day{2024y, January, 9d}};
    test::FakeDownloader m_fake;
    SwitchOpener m_opener;
    std::unique_ptr<ui::Frm_zuvemo> m_window;
    std::vector<std::string> m_finished;
};

} // namespace

TEST_F(Window, CaptionsAndLayout)
{
    fillStocks(3);
    auto& w = open(m_fake);
    EXPECT_EQ(w.windowTitle(), "Zuvemo");
    EXPECT_EQ(w.size(), QSize(960, 710));
    EXPECT_EQ(child<QPushButton>("Command_kensaku")->text(), "検索開始");
    EXPECT_EQ(child<QPushButton>("Command2")->text(), "終 了");
    EXPECT_EQ(child<QPushButton>("Command_mok")->text(), "注目株検査");
    EXPECT_EQ(child<QPushButton>("Command_hat")->text(), "検索発行");
    EXPECT_EQ(child<QPushButton>("Command_chart")->text(), "画面表示");
    EXPECT_EQ(child<QCheckBox>("Check1")->text(), "注目株絞込");
    EXPECT_EQ(child<QRadioButton>("Option1_0")->text(), "個別売買指定");
    EXPECT_EQ(child<QLabel>("Label2")->text(), "2024-01-04 状況");
    EXPECT_EQ(test::heading(w.stockGrid(), 13), "状態");
    EXPECT_EQ(w.stockGrid()->columnWidth(10), 0);
    EXPECT_EQ(test::heading(w.watchGrid(), 2), "購入額");
    EXPECT_EQ(w.candidateGrid()->columnCount(), 2);
    EXPECT_EQ(w.stockGrid()->toolTip(), "ダブルクリックで確認注目株移動");
    EXPECT_EQ(child<QPushButton>("Command_kensaku")->geometry(), QRect(14, 28, 137, 39));
    EXPECT_FALSE(child<QPushButton>("Command_mok")->isVisible());
    EXPECT_FALSE(child<QProgressBar>("ProgressBar1")->isVisible());
    EXPECT_FALSE(child<QPushButton>("Command_hat")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Command_chart")->isEnabled());
    EXPECT_EQ(cell(1, 0), "1301");
}

TEST_F(Window, TheEarningsLineSitsOnTheWatchListsCaptionAndARowsTipTellsItsDate)
{
    fillStocks(3);
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '1302', 'b')");
    auto& w = open(m_fake);
    auto* line = child<QLabel>("Label_earnings");
    // A CSV folder knows no earnings dates.
    EXPECT_FALSE(line->isVisible());
    marketdata::Fundamentals::Figures f;
    f.earningsIn = 2;
    f.earningsDate = 20240111;
    w.model().earningsLine = ui::MainWindowModel::markEarnings(w.model().grid2, {{"1302", f}});
    w.render();
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text(), "5 営業日以内に決算: 1302");
    EXPECT_EQ(line->parentWidget(), w.watchGrid()->parentWidget());
    EXPECT_FALSE(line->geometry().intersects(w.watchGrid()->geometry()));
    EXPECT_TRUE(line->parentWidget()->rect().contains(line->geometry()));
    const auto* cells = w.watchGrid()->model();
    EXPECT_EQ(
        cells->data(cells->index(0, 1), Qt::ToolTipRole).toString(), "決算予定 2024-01-11（あと 2 営業日）");
}

TEST_F(Window, TabFollowsTheWindowFromTopLeftAndTheFocusedButtonIsMarked)
{
    fillStocks(30);
    open(m_fake);
    child<QCheckBox>("Check1")->setChecked(false);
    // The controls Tab reaches, in the order it reaches them from "検索開始".
    std::vector<std::string> order;
    QWidget* at = child<QPushButton>("Command_kensaku");
    do {
        if (at->isVisible() && at->isEnabled() && (at->focusPolicy() & Qt::TabFocus)) {
            order.push_back(at->objectName().toStdString());
        }
        at = at->nextInFocusChain();
    } while (at != child<QPushButton>("Command_kensaku") && order.size() < 40);
    const std::vector<std::string> expected{"Command_kensaku", "Command_find", "Command_settei", "Command2",
        "Combo2", "Combo3", "Check1", "Command_tugi", "MSFlexGrid1", "MSFlexGrid2", "MSFlexGrid3",
        "Option1_0", "Option1_1", "Option1_2", "Command_track"};
    std::vector<std::string> reached;
    for (const auto& name : order) {
        if (std::find(expected.begin(), expected.end(), name) != expected.end()) {
            reached.push_back(name);
        }
    }
    EXPECT_EQ(reached, expected);
    // The yellow faces get a frame of their own when focused.
    EXPECT_TRUE(
        child<QPushButton>("Command_kensaku")->styleSheet().contains(QStringLiteral("QPushButton:focus")));
}

TEST_F(Window, ClosingUnloadsOnceAndTellsTheProgram)
{
    fillStocks(3);
    auto& w = open(m_fake);
    int closed = 0;
    QObject::connect(&w, &ui::Frm_zuvemo::closed, [&] { ++closed; });
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(m_module->SharedConnection);
}

TEST_F(Window, TheLastUnattendedRunIsShownOnceAndWhole)
{
    fillStocks(3);
    core::JournalRecord run;
    run.startedAt = "2026-12-08 18:00:04";
    run.endedAt = "2026-12-08 18:00:11";
    run.tradingDate = "2026-12-08";
    run.reachedCodes = {"1301", "1302"};
    run.signalCodes = std::vector<std::string>(37, "1304");
    run.outcome = core::Journal::kReached;
    core::Journal::append(db(), run);

    open(m_fake);
    auto* label = child<QLabel>("Label1");
    EXPECT_EQ(label->text(), "自動実行 2026-12-08 18:00: 目標到達 2 銘柄, 注目 37 銘柄");
    // Drawn whole inside the line: the text ends before the label's right edge.
    const QImage image = label->grab().toImage();
    const QColor darkRed = ui::UiStyle::color(ui::GridColor::kDarkRed);
    int rightmost = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - darkRed.red()) < 40 && c.green() < 60 && c.blue() < 60) {
                rightmost = x;
            }
        }
    }
    EXPECT_GT(rightmost, image.width() * 3 / 4);
    EXPECT_LT(rightmost, image.width() - 1);

    // Seen once: the next start shows the line empty, as before.
    m_window->close();
    open(m_fake);
    EXPECT_EQ(child<QLabel>("Label1")->text(), "");
}

TEST_F(Window, TheCloseBoxDuringARefreshStopsItAndThenCloses)
{
    fillStocks(3);
    auto& w = open(m_fake);
    int closed = 0;
    QObject::connect(&w, &ui::Frm_zuvemo::closed, [&] { ++closed; });
    m_fake.fallback = [&](const std::string&) {
        if (m_fake.requested.size() == 2) {
            w.close();
        }
        return std::string("no date line\r\n");
    };
    click("Command_kensaku");
    // The attempt under way ends, no further one starts, and one close does it.
    EXPECT_EQ(m_fake.requested.size(), 2u);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(m_module->SharedConnection);
}

// A server that never answers: a transfer ends only when its stop flag is raised.
class StalledDownloader : public marketdata::Downloader
{
public:
    std::int32_t DownloadToFile(const std::string&, const std::filesystem::path&) override
    {
        ++calls;
        const auto until = steady_clock::now() + seconds(10);
        while (steady_clock::now() < until) {
            if (m_flag && m_flag->load()) {
                return marketdata::CurlDownloader::kCancelled;
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        return 28;
    }
    void setCancelFlag(const std::atomic<bool>* flag) override { m_flag = flag; }
    std::atomic<int> calls{0};

private:
    const std::atomic<bool>* m_flag = nullptr;
};

TEST_F(Window, StopDuringADownloadEndsTheRefreshAtOnceAndTheWindowRepaints)
{
    fillStocks(3);
    StalledDownloader stalled;
    open(stalled);
    auto* stop = child<QPushButton>("Cancel");
    bool shownDuringRun = false;
    int repaintsDuringRun = 0;
    QString lineWhileWaiting;
    QTimer::singleShot(1300, stop, [&] {
        shownDuringRun = stop->isVisible() && stop->isEnabled();
        repaintsDuringRun = stalled.calls.load();
        lineWhileWaiting = child<QLabel>("Label1")->text();
        // Pressed from the keyboard: the button has the focus as it goes.
        stop->setFocus();
        stop->click();
    });
    const auto start = steady_clock::now();
    click("Command_kensaku");
    const auto took = steady_clock::now() - start;
    EXPECT_TRUE(shownDuringRun);
    EXPECT_EQ(repaintsDuringRun, 1); // the timer ran while the first transfer hung
    EXPECT_LT(took, seconds(3));
    EXPECT_EQ(stalled.calls.load(), 1);
    EXPECT_FALSE(stop->isVisible());
    EXPECT_TRUE(child<QPushButton>("Command_kensaku")->isEnabled());
    // The silent server was shown as a wait, and the stop is said.
    EXPECT_EQ(lineWhileWaiting, QString::fromUtf8(ui::Frm_zuvemo::kWaitingMessage));
    EXPECT_EQ(child<QLabel>("Label1")->text(), "中止しました。");
    // The next Enter goes to the list, not to "終 了" beside the button that went.
    EXPECT_EQ(m_window->focusWidget(), m_window->stockGrid());
}

TEST_F(Window, TheStopButtonIsGoneBeforeTheClosingMessage)
{
    fillStocks(3);
    m_fake.fallback = [](const std::string&) {
        return *core::TextCodec::encodeCp932("2024年01月09日\r\n1301,M,a,I,1,1,1,1050,1,1\r\n"
                                             "1302,M,b,I,1,1,1,1050,1,1\r\n1303,M,c,I,1,1,1,1050,1,1\r\n");
    };
    auto& w = open(m_fake);
    std::vector<bool> stopShown;
    w.setFinishedBox(
        [&](const std::string&) { stopShown.push_back(child<QPushButton>("Cancel")->isVisible()); });
    click("Command_kensaku");
    EXPECT_EQ(stopShown, std::vector<bool>{false});
    // So too before a box that says the run failed.
    m_fake.fallback = nullptr;
    db().execute(" UPDATE Table_Url SET kabuHdate=''"); // the whole walk, not the days since
    auto boxes = m_messages.recorder().boxes.size();
    QTimer::singleShot(0, [&] { EXPECT_TRUE(child<QPushButton>("Cancel")->isVisible()); });
    click("Command_kensaku");
    EXPECT_GT(m_messages.recorder().boxes.size(), boxes);
    EXPECT_FALSE(child<QPushButton>("Cancel")->isVisible());
}

TEST_F(Window, PagingWith26And60Stocks)
{
    fillStocks(26);
    open(m_fake);
    EXPECT_TRUE(child<QPushButton>("Command_tugi")->isVisible());
    EXPECT_FALSE(child<QPushButton>("Command_modo")->isVisible());
    click("Command_tugi");
    EXPECT_EQ(cell(1, 0), "1326");
    EXPECT_EQ(cell(2, 0), "");
    EXPECT_EQ(m_window->stockGrid()->rowCount(), 25);
    EXPECT_FALSE(child<QPushButton>("Command_tugi")->isVisible());
    EXPECT_TRUE(child<QPushButton>("Command_modo")->isVisible());
    click("Command_modo");
    EXPECT_EQ(cell(1, 0), "1301");

    // The keyboard: PageDown and PageUp page as the arrows do; after "▼" the arrow keys go on in
    // the grid; Tab leaves it.
    auto* grid = m_window->stockGrid();
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_PageDown);
    EXPECT_EQ(cell(1, 0), "1326");
    QTest::keyClick(grid, Qt::Key_PageDown);
    EXPECT_EQ(cell(1, 0), "1326");
    QTest::keyClick(grid, Qt::Key_PageUp);
    EXPECT_EQ(cell(1, 0), "1301");
    click("Command_tugi");
    EXPECT_TRUE(grid->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(m_window->model().SelRow1, 1);
    EXPECT_EQ(back(1), ui::UiStyle::color(ui::GridColor::kYellow));
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_FALSE(grid->hasFocus());

    fillStocks(0);
    db().execute(" DELETE FROM Table_Code");
    m_module->OpenDatabase();
    fillStocks(60);
    open(m_fake);
    click("Command_tugi");
    click("Command_tugi");
    EXPECT_EQ(cell(1, 0), "1351");
    EXPECT_EQ(cell(10, 0), "1360");
    click("Command_modo");
    EXPECT_EQ(cell(1, 0), "1326");
    click("Command_modo");
    EXPECT_EQ(cell(1, 0), "1301");

    // A "▼" that arrives while the "▲" page is being filled does not run inside that fill.
    click("Command_tugi");
    click("Command_tugi");
    QTimer::singleShot(0, child<QPushButton>("Command_tugi"), &QPushButton::click);
    click("Command_modo");
    EXPECT_EQ(cell(1, 0), "1326");
    EXPECT_TRUE(child<QPushButton>("Command_modo")->isVisible());
    EXPECT_TRUE(child<QPushButton>("Command_tugi")->isVisible());
}

TEST_F(Window, FiltersSignalBoxAndTheExamineButton)
{
    fillStocks(12);
    open(m_fake);
    auto* combo = child<QComboBox>("Combo2");
    ASSERT_EQ(combo->count(), 3);
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_EQ(cell(1, 1), "名証メイン");
    EXPECT_TRUE(child<QPushButton>("Command_mok")->isVisible());
    EXPECT_TRUE(child<QProgressBar>("ProgressBar1")->isVisible());
    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    EXPECT_FALSE(child<QPushButton>("Command_mok")->isVisible());
    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    EXPECT_EQ(cell(1, 0), "1304");
    EXPECT_EQ(cell(1, 11), "売");
    EXPECT_EQ(cell(2, 0), "");
    // The other market has no signalled stock: heading row only.
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(m_window->stockGrid()->rowCount(), 0);
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "情報は存在しません");
}

TEST_F(Window, SelectionColoursOptionsAndTheIssueButton)
{
    fillStocks(30);
    auto& w = open(m_fake);
    auto* grid = w.stockGrid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, 2, 1));
    EXPECT_EQ(back(3), ui::UiStyle::color(ui::GridColor::kYellow));
    QTest::mouseClick(child<QRadioButton>("Option1_2"), Qt::LeftButton);
    EXPECT_EQ(back(3), ui::UiStyle::color(ui::GridColor::kOrange));
    EXPECT_TRUE(child<QPushButton>("Command_hat")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("Command_chart")->isEnabled());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, 4, 1));
    EXPECT_EQ(back(3), ui::UiStyle::color(ui::GridColor::kWhite));
    EXPECT_EQ(back(5), ui::UiStyle::color(ui::GridColor::kYellow));
    EXPECT_FALSE(child<QRadioButton>("Option1_2")->isChecked());
    QTest::mouseClick(child<QRadioButton>("Option1_0"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>("Label1")->text(), "選択されていません");
    EXPECT_FALSE(child<QPushButton>("Command_hat")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Command_chart")->isEnabled());
}

TEST_F(Window, TheClickedRowShowsItsColourInEveryCell)
{
    fillStocks(30);
    auto& w = open(m_fake);
    auto* grid = w.stockGrid();
    const QColor white(255, 255, 255);
    const QColor yellow(255, 255, 0);
    const QColor orange(255, 128, 0);
    auto clickCell = [&](int row, int col) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, row, col));
    };
    clickCell(2, 2);
    test::GridPixels(grid).expectRow(2, yellow);
    QTest::mouseClick(child<QRadioButton>("Option1_2"), Qt::LeftButton);
    test::GridPixels(grid).expectRow(2, orange);
    // Another row: the old one turns white in every cell, the clicked cell included.
    clickCell(4, 0);
    {
        test::GridPixels pixels(grid);
        pixels.expectRow(2, white);
        pixels.expectRow(4, yellow);
    }
    // The arrow keys move the selection itself.
    QTest::keyClick(grid, Qt::Key_Down);
    {
        test::GridPixels pixels(grid);
        pixels.expectRow(4, white);
        pixels.expectRow(5, yellow);
    }
    EXPECT_EQ(w.model().SelRow1, 6);
}

// A grid of thousands of rows, as a search lists them: the view shows what the data holds after
// each change, a repaint keeps the place the user scrolled to, and the view never reads data its
// owner has freed.
TEST(GridViewRows, ThousandsOfRowsFollowTheirDataAndARepaintKeepsThePlace)
{
    QWidget window;
    window.resize(500, 300);
    auto* grid = new ui::GridView(&window); // owned by the window
    grid->setGeometry(0, 0, 500, 300);
    auto data = std::make_unique<ui::GridData>(std::vector<ui::GridData::Column>{
        {"コード", 900, ui::Align::Left}, {"終値", 900, ui::Align::Right}, {"短期", 600, ui::Align::Centre}});
    auto fill = [&](int rows) {
        data->setRows(1);
        data->setRows(rows + 1);
        for (int r = 1; r <= rows; ++r) {
            data->setText(r, 0, std::to_string(1000 + r));
            data->setText(r, 1, std::to_string(r * 3));
        }
    };
    fill(4000);
    window.show();
    grid->show(*data);
    ASSERT_EQ(grid->rowCount(), 4000);
    EXPECT_EQ(test::heading(grid, 1), "終値");
    EXPECT_EQ(test::cellText(grid, 3999, 0), "5000");
    EXPECT_EQ(test::cellAlign(grid, 0, 1) & Qt::AlignRight, Qt::AlignRight);

    grid->scrollTo(grid->model()->index(3000, 0), QAbstractItemView::PositionAtTop);
    QApplication::processEvents();
    const int place = grid->verticalScrollBar()->value();
    ASSERT_GT(place, 0);
    // A row chosen far down: painted where it stands, the view stays there, and the arrow key
    // goes on from that row.
    std::vector<int> clicked;
    QObject::connect(grid, &ui::GridView::rowClicked, grid, [&](int row) { clicked.push_back(row); });
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, 3001, 0));
    ASSERT_EQ(clicked, std::vector<int>{3002});
    data->paintRow(3002, ui::GridColor::kYellow);
    grid->show(*data);
    QApplication::processEvents();
    EXPECT_EQ(grid->verticalScrollBar()->value(), place);
    test::GridPixels(grid).expectRow(3001, QColor(255, 255, 0));
    test::GridPixels(grid).expectRow(3002, QColor(255, 255, 255));
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(clicked, (std::vector<int>{3002, 3003}));

    // Fewer rows, then more again: the new ones as the data has them, none left over.
    fill(12);
    grid->show(*data);
    EXPECT_EQ(grid->rowCount(), 12);
    EXPECT_EQ(test::cellText(grid, 11, 1), "36");
    fill(30);
    data->setText(30, 2, "買");
    grid->show(*data);
    ASSERT_EQ(grid->rowCount(), 30);
    EXPECT_EQ(test::cellText(grid, 29, 2), "買");
    EXPECT_EQ(test::cellText(grid, 3, 2), "");
    EXPECT_EQ(test::cellBack(grid, 20, 0), QColor(255, 255, 255));

    // The owner frees its data before the view: what the view shows stays whole.
    data.reset();
    grid->scrollToBottom();
    EXPECT_FALSE(grid->viewport()->grab().isNull());
    EXPECT_EQ(test::cellText(grid, 29, 0), "1030");
}

TEST_F(Window, APageOf25FitsTheGridAndStartsAtItsFirstRow)
{
    fillStocks(60);
    auto& w = open(m_fake);
    auto* grid = w.stockGrid();
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
    // The last row and the last column ("状態") lie wholly inside the viewport.
    const QRect last = grid->visualRect(grid->model()->index(24, 13));
    EXPECT_LE(last.bottom(), grid->viewport()->height() - 1);
    EXPECT_LE(last.right(), grid->viewport()->width() - 1);
    EXPECT_EQ(grid->rowAt(last.center().y()), 24);
    grid->scrollToBottom();
    click("Command_tugi");
    EXPECT_EQ(grid->verticalScrollBar()->value(), 0);
    EXPECT_EQ(grid->rowAt(grid->visualRect(grid->model()->index(0, 0)).center().y()), 0);

    // No strip of another colour beside the rows: the last column reaches the right edge.
    const QImage image = grid->viewport()->grab().toImage();
    const int y = grid->visualRect(grid->model()->index(3, 0)).center().y();
    EXPECT_EQ(image.pixelColor(image.width() - 2, y), QColor(255, 255, 255));
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());

    // A name its column cuts shows whole as the cell's tip; one that fits has none.
    db().execute(" UPDATE Table_Code SET MgMei='東邦ホールディングス株式会社' WHERE MgCode='1326'");
    click("Command_modo");
    click("Command_tugi");
    EXPECT_EQ(test::cellTip(grid, 0, 2), "東邦ホールディングス株式会社");
    EXPECT_TRUE(test::cellTip(grid, 1, 2).isEmpty());
}

TEST_F(Window, FramesOptionsArrowsAndDisabledButtonsAsDrawn)
{
    fillStocks(30);
    auto& w = open(m_fake);
    const QColor lightOrange(255, 192, 128);
    // No child covers a frame's caption.
    for (auto* frame : w.findChildren<ui::CaptionFrame*>()) {
        const QRect caption(
            0, 0, QFontMetrics(frame->font()).horizontalAdvance(frame->title()) + 10, frame->captionBottom());
        for (auto* c : frame->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            EXPECT_FALSE(c->isVisible() && c->geometry().intersects(caption))
                << frame->title().toStdString() << " / " << c->objectName().toStdString();
        }
        EXPECT_LT(frame->borderY(), frame->captionBottom());
    }
    // The options and the check box stand on the window's light orange.
    for (const char* name : {"Option1_0", "Option1_1", "Option1_2"}) {
        auto* option = child<QRadioButton>(name);
        const QImage image = option->grab().toImage();
        EXPECT_EQ(image.pixelColor(image.width() - 2, 2).name(), lightOrange.name()) << name;
    }
    const QImage check = child<QCheckBox>("Check1")->grab().toImage();
    EXPECT_EQ(check.pixelColor(check.width() - 2, 1).name(), lightOrange.name());
    // Image1 points left, to the watch list; Image2 right, to the candidates.
    const QSize size(75, 47);
    const QImage left = ui::ArrowButton::arrow(ui::ArrowButton::Direction::Left, size).toImage();
    const QImage right = ui::ArrowButton::arrow(ui::ArrowButton::Direction::Right, size).toImage();
    const QColor blue(0x2E, 0x75, 0xB6);
    const QColor brown(0xC5, 0x5A, 0x11);
    EXPECT_EQ(left.pixelColor(16, 23).name(), blue.name());
    EXPECT_NE(left.pixelColor(66, 23).name(), blue.name());
    EXPECT_EQ(right.pixelColor(58, 23).name(), brown.name());
    EXPECT_NE(right.pixelColor(8, 23).name(), brown.name());
    // A disabled paging button no longer shows its green.
    auto* next = child<QPushButton>("Command_tugi");
    const QColor green(0, 192, 0);
    QImage face = next->grab().toImage();
    EXPECT_EQ(face.pixelColor(4, 4).name(), green.name());
    next->setEnabled(false);
    face = next->grab().toImage();
    EXPECT_EQ(face.pixelColor(4, 4).name(), ui::UiStyle::disabledFace(green).name());
}

TEST_F(Window, ScreeningAndExportAgainstTheSampleMarket)
{
    const auto server = sampleMarket();
    ASSERT_TRUE(server);
    std::filesystem::copy_file(test::binFolder() / "雛型EXCEL.xltx", m_dir / "雛型EXCEL.xltx");
    marketdata::CurlDownloader downloader;
    auto& w = open(downloader);
    click("Command_kensaku");
    EXPECT_EQ(m_finished, (std::vector<std::string>{"終了しました"}));
    EXPECT_EQ(child<QLabel>("Label2")->text(), "2024-01-09 状況");
    auto* combo = child<QComboBox>("Combo2");
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    std::vector<int> seen;
    auto* bar = child<QProgressBar>("ProgressBar1");
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { seen.push_back(v); });
    click("Command_mok");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_GT(seen.size(), 2u);
    EXPECT_EQ(cell(1, 13), "取得");

    auto* grid = w.stockGrid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, 0, 1));
    QTest::mouseClick(child<QRadioButton>("Option1_2"), Qt::LeftButton);
    click("Command_hat");
    ASSERT_FALSE(w.model().lastWorkbook.empty());
    EXPECT_TRUE(std::filesystem::exists(w.model().lastWorkbook));
    std::filesystem::remove(w.model().lastWorkbook);
    EXPECT_EQ(w.lastChart(), nullptr);

    // "画面表示": the same stock in the program's own chart window.
    const std::string code = cell(1, 0).toStdString();
    click("Command_chart");
    ASSERT_NE(w.lastChart(), nullptr);
    EXPECT_EQ(w.lastChart()->data().code, code);
    EXPECT_GT(w.lastChart()->data().days(), 50);
    EXPECT_TRUE(
        w.lastChart()->windowTitle().startsWith(QString::fromStdString("株価チャート " + code + " ")));
    w.lastChart()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // No spreadsheet application: the message offers the chart window instead of ending there.
    m_opener.available = false;
    auto& boxes = m_messages.recorder().boxes;
    boxes.clear();
    m_messages.recorder().answer = false;
    click("Command_hat");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
        "表計算ソフトでファイル(" + w.model().lastWorkbook + ")を開けません。\r\n画面で表示しますか?");
    EXPECT_EQ(w.lastChart(), nullptr);
    std::filesystem::remove(w.model().lastWorkbook);
    m_messages.recorder().answer = true;
    click("Command_hat");
    ASSERT_NE(w.lastChart(), nullptr);
    EXPECT_EQ(w.lastChart()->data().code, code);
    std::filesystem::remove(w.model().lastWorkbook);
}

TEST_F(Window, TheTrackButtonShowsTheRecordOfTheChosenMarketAndTheChartItsSignals)
{
    const auto server = sampleMarket();
    ASSERT_TRUE(server);
    marketdata::CurlDownloader downloader;
    auto& w = open(downloader);

    // Beside the chart buttons' frame, over nothing else of the window.
    auto* track = child<QPushButton>("Command_track");
    EXPECT_EQ(track->text(), "成績");
    EXPECT_EQ(track->geometry(), QRect(884, 613, 69, 35));
    for (auto* other : w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != track && other->isVisible()) {
            EXPECT_FALSE(other->geometry().intersects(track->geometry()))
                << other->objectName().toStdString();
        }
    }
    EXPECT_TRUE(QRect(QPoint(0, 0), w.size()).contains(track->geometry()));

    std::vector<std::string> shown;
    w.setTrackRunner([&](ui::Frm_Track& dialog) {
        shown.push_back(dialog.windowTitle().toStdString());
        shown.push_back(dialog.heading()->text().toStdString());
        shown.push_back(std::to_string(dialog.grid()->rowCount()));
    });
    // Before any list: said in the dialog.
    click("Command_track");
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1], analysis::TrackRun::kNoStocksMessage);

    click("Command_kensaku");
    auto* combo = child<QComboBox>("Combo2");
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    click("Command_mok");
    shown.clear();
    click("Command_track");
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "成績  市場: " + combo->currentText().toStdString() + "  業種: すべて");
    EXPECT_EQ(shown[1].rfind("基準日 2024-01-09  銘柄 ", 0), 0u) << shown[1];
    EXPECT_EQ(shown[2], "15");

    // The chart window marks the signals of the same histories and says what followed each day.
    auto* grid = w.stockGrid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, 0, 1));
    QTest::mouseClick(child<QRadioButton>("Option1_2"), Qt::LeftButton);
    click("Command_chart");
    auto* chart = w.lastChart();
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->signalMarks().days(), chart->data().days());
    EXPECT_NE(chart->dayLabel()->fullText().indexOf(QStringLiteral("その後 1日 - 5日 - 20日 -")), -1)
        << chart->dayLabel()->fullText().toStdString();
    chart->close();
}

TEST_F(Window, TheConditionSearchFindsStocksOpensTheirChartsAndAddsCandidates)
{
    const auto server = sampleMarket();
    ASSERT_TRUE(server);
    marketdata::CurlDownloader downloader;
    auto& w = open(downloader);
    click("Command_kensaku");
    click("Command_mok");

    // In the top line's free stretch, over nothing of its frame, the caption whole.
    auto* find = child<QPushButton>("Command_find");
    EXPECT_EQ(find->text(), "条件検索");
    for (auto* other : find->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != find && (other->isVisible() || other->objectName() == "Cancel")) {
            EXPECT_FALSE(other->geometry().intersects(find->geometry())) << other->objectName().toStdString();
        }
    }
    EXPECT_LE(find->fontMetrics().horizontalAdvance(find->text()) + 8, find->width());
    click("Command_find");
    auto* dialog = w.conditionSearch();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isModal());
    // A window of its own, not a dialog kept above the main window.
    EXPECT_EQ(dialog->windowType(), Qt::Window);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(w.isEnabled());
    auto in = [dialog](const char* name) { return dialog->findChild<QWidget*>(QString::fromLatin1(name)); };

    // A box pair for every condition of the table: JPX's are off in a CSV folder and say why,
    // the price figures' stay on; the flags and the cross beside them.
    for (const auto& figure : analysis::FigureTable::figures()) {
        const std::string name = figure.name;
        if (!figure.condition) {
            EXPECT_EQ(in(("Low_" + name).c_str()), nullptr) << name;
            continue;
        }
        ASSERT_NE(in(("Low_" + name).c_str()), nullptr) << name;
        ASSERT_NE(in(("High_" + name).c_str()), nullptr) << name;
        const bool jpx = figure.source == analysis::FigureTable::Source::JQuants;
        EXPECT_EQ(in(("Low_" + name).c_str())->isEnabled(), !jpx) << name;
    }
    for (const auto& flag : analysis::FigureTable::flags()) {
        auto* check = static_cast<QCheckBox*>(in((std::string("Flag_") + flag.name).c_str()));
        ASSERT_NE(check, nullptr) << flag.name;
        EXPECT_EQ(check->text().toStdString(), flag.heading);
    }
    EXPECT_EQ(static_cast<QComboBox*>(in("Cross"))->count(), 3);
    for (const auto& cross : analysis::FigureTable::crosses()) {
        auto* box = static_cast<QComboBox*>(in((std::string("Cross_") + cross.name).c_str()));
        ASSERT_NE(box, nullptr) << cross.name;
        EXPECT_EQ(box->itemText(1).toStdString().find(cross.golden), 0u) << cross.name;
    }
    {
        // The technical tab shown, each of its widgets whole inside it and under its own text.
        auto* tabs = static_cast<QTabWidget*>(in("ConditionTabs"));
        const int shownTab = tabs->currentIndex();
        tabs->setCurrentIndex(1);
        QApplication::processEvents();
        auto* page = tabs->currentWidget();
        for (auto* widget : page->findChildren<QWidget*>()) {
            if (!widget->isVisible()) {
                continue;
            }
            const QRect at(widget->mapTo(page, QPoint(0, 0)), widget->size());
            EXPECT_TRUE(page->rect().contains(at)) << widget->objectName().toStdString();
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                    << label->text().toStdString();
            }
            if (auto* check = qobject_cast<QCheckBox*>(widget)) {
                EXPECT_LE(check->sizeHint().width(), check->width()) << check->text().toStdString();
            }
        }
        tabs->setCurrentIndex(shownTab);
    }
    // Within a 1280 × 1024 screen, with room for the title bar and a panel.
    for (const QSize size : {dialog->sizeHint(), dialog->size()}) {
        EXPECT_LE(size.width(), 1280);
        EXPECT_LE(size.height(), 1024 - 80);
    }
    // Enter in a box searches.
    EXPECT_EQ(
        static_cast<QLabel*>(in("FiguresNote"))->text(), "PER などの指標は J-Quants のフォルダで使えます。");
    static_cast<QComboBox*>(in("Signal"))->setCurrentIndex(1);
    QTest::keyClick(in("Market"), Qt::Key_Return);
    auto& model = dialog->model();
    for (int r = 1; r < model.grid.rows(); ++r) {
        EXPECT_TRUE(model.row(r)->achk == "買" || model.row(r)->cchk == "買");
    }
    auto* market = static_cast<QComboBox*>(in("Market"));
    EXPECT_EQ(market->itemText(0), "すべて");
    // In the exchange's order, not the characters'.
    QStringList markets;
    for (int i = 1; i < market->count(); ++i) {
        markets << market->itemText(i);
    }
    std::vector<std::string> listed;
    for (const auto& m : markets) {
        listed.push_back(m.toStdString());
    }
    EXPECT_EQ(marketdata::ExchangeOrder::markets(listed), listed);
    EXPECT_TRUE(markets.indexOf("東証プライム") < markets.indexOf("東証スタンダード"))
        << markets.join(",").toStdString();
    EXPECT_EQ(static_cast<QCheckBox*>(in("ConfirmedOnly"))->text(), "中期シグナルのみ");
    market->setCurrentIndex(1);
    static_cast<QComboBox*>(in("Signal"))->setCurrentIndex(0);
    QTest::keyClick(in("Market"), Qt::Key_Return);
    ASSERT_GT(model.grid.rows(), 2) << model.countLine;
    for (int r = 1; r < model.grid.rows(); ++r) {
        EXPECT_EQ(QString::fromStdString(model.row(r)->market), market->currentText());
    }
    EXPECT_EQ(static_cast<QLabel*>(in("Count"))->text().toStdString(), model.countLine);
    EXPECT_EQ(dialog->grid()->rowCount(), model.grid.rows() - 1);
    EXPECT_EQ(test::cellAlign(dialog->grid(), 0, 4) & Qt::AlignRight, Qt::AlignRight);

    // A bad bound leaves no result standing and says what is wrong, on its own tab.
    const int before = model.grid.rows();
    ASSERT_GT(before, 2);
    static_cast<QLineEdit*>(in("Low_rsi"))->setText(QStringLiteral("７０"));
    static_cast<QLineEdit*>(in("High_rsi"))->setText(QStringLiteral("30"));
    QTest::keyClick(in("Low_rsi"), Qt::Key_Return);
    EXPECT_EQ(dialog->grid()->rowCount(), 0);
    EXPECT_EQ(static_cast<QLabel*>(in("Errors"))->text(), "RSI: 上限が下限より小さいです。");
    // The bound said to be smaller is tinted, not its pair; the hidden tab would still count it.
    EXPECT_NE(
        in("High_rsi")->palette().color(QPalette::Base), in("Low_rsi")->palette().color(QPalette::Base));
    EXPECT_EQ(in("Low_rsi")->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    auto* tabs = static_cast<QTabWidget*>(in("ConditionTabs"));
    EXPECT_EQ(tabs->tabText(1), "テクニカル (1)");
    EXPECT_EQ(tabs->tabText(0), "指標");
    EXPECT_EQ(static_cast<QLabel*>(in("Count"))->text().toStdString(), ui::ConditionSearchModel::kBadInput);
    EXPECT_TRUE(in("Count")->isEnabled());
    EXPECT_TRUE(in("Low_rsi")->isVisible());
    static_cast<QLineEdit*>(in("Low_rsi"))->clear();
    static_cast<QLineEdit*>(in("High_rsi"))->clear();
    QTest::keyClick(in("Market"), Qt::Key_Return);
    EXPECT_EQ(model.grid.rows(), before);
    EXPECT_TRUE(static_cast<QLabel*>(in("Errors"))->text().isEmpty());
    // A box left in error, before any search: said at once, and the result under it greys.
    static_cast<QLineEdit*>(in("Low_dev25"))->setText(QStringLiteral("5x"));
    emit static_cast<QLineEdit*>(in("Low_dev25"))->editingFinished();
    EXPECT_EQ(static_cast<QLabel*>(in("Errors"))->text(), "25日乖離: 数字を入力してください。");
    EXPECT_FALSE(dialog->grid()->isEnabled());
    EXPECT_FALSE(in("Count")->isEnabled());
    EXPECT_EQ(model.grid.rows(), before);
    static_cast<QLineEdit*>(in("Low_dev25"))->clear();
    emit static_cast<QLineEdit*>(in("Low_dev25"))->editingFinished();
    EXPECT_TRUE(dialog->grid()->isEnabled());
    EXPECT_TRUE(static_cast<QLabel*>(in("Errors"))->text().isEmpty());

    // A heading click sorts, a second the other way.
    auto* header = dialog->grid()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(model.sortColumn(), 0);
    EXPECT_TRUE(model.descending());
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_GT(test::cellText(dialog->grid(), 0, 0), test::cellText(dialog->grid(), 1, 0));

    // A double-click opens the row's chart as "画面表示" does.
    auto* grid = dialog->grid();
    const std::string code = test::cellText(grid, 0, 0).toStdString();
    // A double-click arrives after the press of its first click, as from a mouse.
    const QPoint at = test::cellCentre(grid, 0, 1);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    ASSERT_NE(w.lastChart(), nullptr) << code;
    EXPECT_EQ(w.lastChart()->data().code, code);
    w.lastChart()->close();

    // Two rows chosen go among the candidates, once.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, 0, 1));
    if (grid->rowCount() > 1) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, test::cellCentre(grid, 1, 1));
    }
    const int chosen = std::min(2, grid->rowCount());
    EXPECT_EQ(static_cast<int>(model.selected().size()), chosen);
    QTest::mouseClick(static_cast<QPushButton*>(in("AddCandidates")), Qt::LeftButton);
    EXPECT_EQ(w.candidateGrid()->rowCount(), chosen);
    QTest::mouseClick(static_cast<QPushButton*>(in("AddCandidates")), Qt::LeftButton);
    EXPECT_EQ(w.candidateGrid()->rowCount(), chosen);

    // Ten conditions bring ten columns, which scroll within the grid: the window stays where and
    // as large as the user left it. 条件クリア takes them away with the result and the messages.
    dialog->setGeometry(dialog->geometry().adjusted(0, 0, -40, 0));
    const QRect placed = dialog->geometry();
    const auto& defaults = analysis::FindReport::defaultColumns();
    int added = 0;
    for (const auto& box : model.boxes) {
        if (added < 10 && model.enabled(box)
            && std::find(defaults.begin(), defaults.end(), box.figure->name) == defaults.end()) {
            static_cast<QLineEdit*>(in((std::string("High_") + box.figure->name).c_str()))
                ->setText(QStringLiteral("999999"));
            ++added;
        }
    }
    ASSERT_EQ(added, 10);
    QTest::mouseClick(static_cast<QPushButton*>(in("Search")), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(model.grid.cols(), static_cast<int>(defaults.size()) + 12) << model.message;
    EXPECT_EQ(dialog->geometry(), placed);
    EXPECT_GT(dialog->grid()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(tabs->tabText(1), "テクニカル (10)");
    static_cast<QLineEdit*>(in("Low_rsi"))->setText(QStringLiteral("x"));
    QTest::mouseClick(static_cast<QPushButton*>(in("Search")), Qt::LeftButton);
    EXPECT_EQ(static_cast<QLabel*>(in("Count"))->text().toStdString(), ui::ConditionSearchModel::kBadInput);
    QTest::mouseClick(static_cast<QPushButton*>(in("Clear")), Qt::LeftButton);
    EXPECT_TRUE(in("Errors")->isHidden());
    EXPECT_TRUE(static_cast<QLabel*>(in("Count"))->text().isEmpty());
    EXPECT_EQ(dialog->grid()->rowCount(), 0);
    EXPECT_EQ(dialog->grid()->model()->columnCount(), static_cast<int>(defaults.size()) + 2);
    EXPECT_EQ(in("Low_rsi")->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(tabs->tabText(1), "テクニカル");
    EXPECT_EQ(dialog->geometry(), placed);

    // Escape closes; the conditions come back with the dialog, and so do its place and size.
    const QString chosenMarket = market->currentText();
    dialog->setGeometry(dialog->geometry().translated(-20, 10));
    const QRect closedAt = dialog->geometry();
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w.conditionSearch(), nullptr);
    click("Command_find");
    ASSERT_NE(w.conditionSearch(), nullptr);
    EXPECT_EQ(static_cast<QComboBox*>(w.conditionSearch()->findChild<QWidget*>("Market"))->currentText(),
        chosenMarket);
    const QRect area = w.conditionSearch()->screen()->availableGeometry();
    if (area.contains(closedAt)) {
        EXPECT_EQ(w.conditionSearch()->geometry(), closedAt);
    } else {
        EXPECT_TRUE(area.contains(w.conditionSearch()->geometry().topLeft()));
    }
    w.conditionSearch()->close();
}
