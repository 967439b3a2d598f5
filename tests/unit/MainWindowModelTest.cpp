#include "model/MainWindowModel.h"

#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "core/Clock.h"
#include "core/CommandLock.h"
#include "core/ValueRules.h"
#include "export/SpreadsheetOpener.h"
#include "model/WindowPlacement.h"

using namespace zuvemo;
using namespace std::chrono;
namespace GridColor = ui::GridColor;
using ui::MainWindowModel;

namespace {

class MainWindow : public test::ModuleFixture
{
protected:
    void fillStocks(int count, const std::function<std::string(int)>& market = {})
    {
        core::Transaction tx(db());
        for (int i = 0; i < count; ++i) {
            std::string code = std::to_string(1301 + i);
            std::string m = market ? market(i) : "東証プライム";
            db().execute(
                "INSERT INTO Table_Code(MgCode , Mgmgara, MgMei, Mgyosyu, Wscost, Wucost, Wdcost, Wecost, "
                "Wccost,Wbcost) VALUES ('"
                + code + "','" + core::SqlText(m) + "','銘柄" + code + "','" + (i % 2 ? "化学" : "鉱業")
                + "',100,110,90," + std::to_string(95 + i % 10) + ",1000,100000)");
        }
        db().execute(" UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
        tx.commit();
    }
    MainWindowModel& load()
    {
        m_module->CloseDatabase();
        m_model = std::make_unique<MainWindowModel>(*m_module, m_clock, m_fake, m_opener);
        ui::MainWindowHooks hooks;
        hooks.beep = [this] { ++m_beeps; };
        hooks.finishedBox = [this](const std::string& t) { m_finished.push_back(t); };
        m_model->setHooks(hooks);
        EXPECT_TRUE(m_model->Form_Load());
        return *m_model;
    }
    std::string firstCode() { return m_model->grid1.cell(1, 0).text; }
    std::string lastCode()
    {
        auto& g = m_model->grid1;
        for (int r = g.rows() - 1; r >= 1; --r) {
            if (!g.cell(r, 0).text.empty()) {
                return g.cell(r, 0).text;
            }
        }
        return "";
    }
    int messageCount(const std::string& text)
    {
        int n = 0;
        for (const auto& b : m_messages.recorder().boxes) {
            n += b.text == text;
        }
        return n;
    }

    core::FixedClock m_clock{year_month_day{2024y, January, 9d}};
    test::FakeDownloader m_fake;
    exporting::NoOpener m_opener;
    std::unique_ptr<MainWindowModel> m_model;
    int m_beeps = 0;
    std::vector<std::string> m_finished;
};

} // namespace

TEST_F(MainWindow, LoadShowsTheFirstPageAndTheDate)
{
    fillStocks(3);
    db().execute("INSERT INTO Table_User(UserKeyA,UsernameA,PassWordA,StartdateA,UpdatedateA) VALUES "
                 "(1,'u','p','20240101',' ')");
    db().execute(" INSERT INTO WorkKocyu( Wmgcode,Wmgmei) VALUES ( '1301', 'x')");
    auto& w = load();
    EXPECT_EQ(w.label2, "2024-01-04 状況");
    EXPECT_EQ(w.CFGb3, 0.9);
    EXPECT_EQ(w.CFGb4, 1.2);
    EXPECT_EQ(scalar(" SELECT UpdatedateA FROM Table_User"), "20240109");
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu"), 0);
    EXPECT_EQ(w.grid1.rows(), 26);
    EXPECT_EQ(w.grid1.cols(), 14);
    EXPECT_EQ(w.grid1.cell(0, 0).text, "ｺｰﾄﾞ");
    EXPECT_EQ(w.grid1.column(10).widthTwips, 1);
    EXPECT_EQ(firstCode(), "1301");
    EXPECT_EQ(w.grid1.cell(1, 7).text, "95");
    EXPECT_EQ(w.grid1.cell(1, 10).text, "-5");
    EXPECT_EQ(w.grid1.cell(1, 10).fore, GridColor::kDarkRed);
    EXPECT_EQ(w.grid1.cell(3, 10).text, "-3");
    EXPECT_EQ(w.grid1.cell(1, 11).text, " ");
    EXPECT_FALSE(w.mokVisible);
    EXPECT_FALSE(w.hatEnabled);
    EXPECT_FALSE(w.tugiVisible);
    EXPECT_FALSE(w.modoVisible);
    EXPECT_EQ(w.combo2Items, (std::vector<std::string>{"", "東証プライム"}));
    EXPECT_EQ(w.combo3Items, (std::vector<std::string>{"", "化学", "鉱業"}));
}

TEST_F(MainWindow, EmptyTablesStillLoad)
{
    db().execute(" DELETE FROM Table_Url");
    db().execute(" DELETE FROM Table_hantei");
    auto& w = load();
    EXPECT_EQ(w.label2, "");
    EXPECT_EQ(w.CFGb3, 1.0);
    EXPECT_EQ(w.grid1.rows(), 1);
    // Nothing to fetch from: the window opens the settings rather than a box over an empty list.
    EXPECT_EQ(messageCount("情報は存在しません"), 0);
    db().execute(" INSERT INTO Table_Url(kabuHUrl, kabuMUrl, kabuHdate, kabuSi) VALUES ('http://a/', "
                 "'http://b/', ' ', '.csv')");
    load();
    EXPECT_EQ(messageCount("情報は存在しません"), 1);
    // Under the box, the line says what to do.
    EXPECT_EQ(m_model->label1, MainWindowModel::kFetchListHint);
    EXPECT_TRUE(m_model->fill().line().empty());
}

TEST_F(MainWindow, PagingByTwentyFive)
{
    fillStocks(25);
    auto& w = load();
    EXPECT_FALSE(w.tugiVisible);
    EXPECT_FALSE(w.modoVisible);

    fillStocks(0);
    db().execute("INSERT INTO Table_Code(MgCode,Mgmgara,Achk,Cchk) VALUES ('9999','東証プライム',' ',' ')");
    load();
    EXPECT_TRUE(m_model->tugiVisible);
    m_model->Command_tugi_Click();
    EXPECT_EQ(firstCode(), "9999");
    EXPECT_EQ(m_model->grid1.rows(), 26);
    EXPECT_EQ(m_model->grid1.cell(2, 0).text, "");
    EXPECT_FALSE(m_model->tugiVisible);
    EXPECT_TRUE(m_model->modoVisible);
    m_model->Command_modo_Click();
    EXPECT_EQ(firstCode(), "1301");
    EXPECT_FALSE(m_model->modoVisible);
}

TEST_F(MainWindow, SixtyStocksBothWays)
{
    fillStocks(60);
    auto& w = load();
    EXPECT_EQ(lastCode(), "1325");
    w.Command_tugi_Click();
    EXPECT_EQ(firstCode(), "1326");
    EXPECT_TRUE(w.modoVisible);
    w.Command_tugi_Click();
    EXPECT_EQ(firstCode(), "1351");
    EXPECT_EQ(lastCode(), "1360");
    EXPECT_FALSE(w.tugiVisible);
    w.Command_modo_Click();
    EXPECT_EQ(firstCode(), "1326");
    EXPECT_TRUE(w.modoVisible);
    // Exactly 25 stocks before this top: back to the first page, "▲" hidden.
    w.Command_modo_Click();
    EXPECT_EQ(firstCode(), "1301");
    EXPECT_EQ(w.PageTopCode, "1301");
    EXPECT_FALSE(w.modoVisible);
    EXPECT_TRUE(w.tugiVisible);
}

TEST_F(MainWindow, FiltersAndTheSignalOnlyBox)
{
    fillStocks(40, [](int i) { return i % 4 == 0 ? "名証メイン" : "東証プライム"; });
    db().execute(" UPDATE Table_Code SET Achk='買' WHERE MgCode='1305'");
    auto& w = load();
    w.setMarket("名証メイン");
    w.Combo_Click();
    EXPECT_EQ(firstCode(), "1301");
    EXPECT_EQ(w.grid1.cell(2, 0).text, "1305");
    EXPECT_EQ(lastCode(), "1337");
    EXPECT_TRUE(w.mokVisible);
    w.setIndustry("鉱業");
    w.Combo_Click();
    EXPECT_EQ(lastCode(), "1337");
    EXPECT_EQ(w.grid1.cell(2, 0).text, "1305");

    w.Check1_Click(true);
    EXPECT_FALSE(w.mokVisible);
    EXPECT_EQ(firstCode(), "1305");
    EXPECT_EQ(w.grid1.cell(2, 0).text, "");
    w.setMarket("東証プライム");
    w.Combo_Click();
    EXPECT_FALSE(w.mokVisible);
    EXPECT_EQ(messageCount("情報は存在しません"), 1);
    EXPECT_EQ(w.grid1.rows(), 1);
    w.Check1_Click(false);
    EXPECT_TRUE(w.mokVisible);

    // Both filters emptied, box unticked: the examine command hides; unticking the box with
    // both empty shows it.
    w.setMarket("");
    w.setIndustry("");
    w.Combo_Click();
    EXPECT_FALSE(w.mokVisible);
    w.Check1_Click(true);
    w.Check1_Click(false);
    EXPECT_TRUE(w.mokVisible);
}

TEST_F(MainWindow, QuotesInFilterTextsAreSafe)
{
    fillStocks(2, [](int i) { return i == 0 ? "O'Market" : "M"; });
    auto& w = load();
    w.setMarket("O'Market");
    w.Combo_Click();
    EXPECT_EQ(firstCode(), "1301");
    EXPECT_EQ(w.grid1.cell(2, 0).text, "");
}

TEST_F(MainWindow, SelectionColoursAndTheChartTarget)
{
    fillStocks(30);
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '1301', 'a')");
    auto& w = load();
    w.Grid_Click(1, 3);
    w.Grid_Click(1, 5);
    EXPECT_EQ(w.grid1.rowColor(3), GridColor::kWhite);
    EXPECT_EQ(w.grid1.rowColor(5), GridColor::kYellow);
    EXPECT_EQ(w.SelRow1, 5);
    w.Option1_Click(2);
    EXPECT_EQ(w.grid1.rowColor(5), GridColor::kOrange);
    EXPECT_TRUE(w.hatEnabled);
    w.Grid_Click(1, 7);
    EXPECT_EQ(w.grid1.rowColor(5), GridColor::kWhite);
    EXPECT_EQ(w.grid1.rowColor(7), GridColor::kYellow);
    EXPECT_FALSE(w.option[2]);
    EXPECT_TRUE(w.hatEnabled);

    w.Option1_Click(0);
    EXPECT_EQ(w.label1, "選択されていません");
    EXPECT_FALSE(w.hatEnabled);
    w.Grid_Click(2, 1);
    w.Option1_Click(0);
    EXPECT_EQ(w.grid2.rowColor(1), GridColor::kOrange);
    EXPECT_EQ(w.grid1.rowColor(7), GridColor::kYellow);
    EXPECT_TRUE(w.hatEnabled);
    EXPECT_EQ(w.label1, "");
    w.Option1_Click(2);
    EXPECT_EQ(w.grid2.rowColor(1), GridColor::kYellow);
    EXPECT_EQ(w.grid1.rowColor(7), GridColor::kOrange);

    // A click on the heading row deselects without choosing.
    w.Grid_Click(1, 0);
    EXPECT_EQ(w.grid1.rowColor(7), GridColor::kWhite);
    EXPECT_EQ(w.SelRow1, 7);

    // Paging forgets the stock-list selection.
    w.Command_tugi_Click();
    EXPECT_EQ(w.SelRow1, 0);
    w.Option1_Click(2);
    EXPECT_EQ(w.label1, "選択されていません");
    EXPECT_FALSE(w.hatEnabled);

    // A remembered row that no longer exists after a refill counts as no selection.
    db().execute(" DELETE FROM Table_KOCYU");
    w.DSP_KOCYU_Grid(2);
    EXPECT_EQ(w.SelRow2, 1);
    w.Option1_Click(0);
    EXPECT_EQ(w.label1, "選択されていません");
    EXPECT_FALSE(w.hatEnabled);

    // The chart export leaves the message line alone when the history cannot be downloaded
    // (the fake answers 404) or Table_Url has no row.
    w.Grid_Click(1, 2);
    w.Option1_Click(2);
    w.label1 = "前のメッセージ";
    w.Command_hat_Click();
    EXPECT_EQ(w.label1, "前のメッセージ");
    db().execute(" DELETE FROM Table_Url");
    w.Command_hat_Click();
    EXPECT_EQ(w.label1, "前のメッセージ");
}

TEST_F(MainWindow, RefreshFromTheFakeServerRefillsEverything)
{
    fillStocks(3);
    auto& w = load();
    w.setMarket("東証プライム");
    w.Combo_Click();
    w.Check1_Click(true);
    w.progress = 40; // a screening stopped part-way
    m_fake.bodies["http://127.0.0.1:1/d/2024-01-09?download=csv"] = *core::TextCodec::encodeCp932(
        "2024年01月09日\r\n2001,札証,新,水産,1,2,3,4,5,6\r\n2002,札証,新2,水産,1,2,3,4,5,6\r\n");
    // Two stocks where three were held may be a list cut short: the user is asked.
    w.Command_kensaku_Click();
    ASSERT_FALSE(m_messages.recorder().boxes.empty());
    EXPECT_EQ(m_messages.recorder().boxes.back().text,
        "銘柄一覧が途中で切れている可能性があります（2 銘柄、前回 3 銘柄）。読み込みますか?");
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 3);
    EXPECT_TRUE(m_finished.empty());
    m_messages.recorder().answer = true;
    w.Command_kensaku_Click();
    EXPECT_EQ(w.label2, "2024-01-09 状況");
    EXPECT_EQ(w.progress, 0);
    EXPECT_EQ(firstCode(), "2001");
    EXPECT_FALSE(w.check1);
    EXPECT_EQ(w.combo2Text, "");
    EXPECT_EQ(w.combo2Items, (std::vector<std::string>{"", "札証"}));
    EXPECT_EQ(m_finished, (std::vector<std::string>{"終了しました"}));

    // A Null, an empty and a blank market or industry add no second empty entry.
    db().execute("INSERT INTO Table_Code(MgCode, Mgmgara, Mgyosyu) VALUES ('3001', NULL, ' ')");
    db().execute("INSERT INTO Table_Code(MgCode, Mgmgara, Mgyosyu) VALUES ('3002', '', NULL)");
    db().execute("INSERT INTO Table_Code(MgCode, Mgmgara, Mgyosyu) VALUES ('3003', ' ', '')");
    w.DSP_COMBOX();
    EXPECT_EQ(w.combo2Items, (std::vector<std::string>{"", "札証"}));
    EXPECT_EQ(w.combo3Items, (std::vector<std::string>{"", "水産"}));
}

TEST_F(MainWindow, WatchListJudgementPaintsReachedTargets)
{
    fillStocks(3);
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '1301', 'a')");
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '1302', 'b')");
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '1303', 'c')");
    db().execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '0001', 'gone')");
    db().execute(
        " UPDATE Table_KOCYU SET WzuvemoK=1050, WzuvemoM=95 WHERE Wmgcode='1301'"); // close 95: equal
    db().execute(" UPDATE Table_KOCYU SET WzuvemoM=90 WHERE Wmgcode='1302'"); // 96 >= 90
    db().execute(" UPDATE Table_KOCYU SET WzuvemoM=0 WHERE Wmgcode='1303'"); // never
    db().execute(" UPDATE Table_KOCYU SET WzuvemoG=500, WzuvemoM=1102.5 WHERE Wmgcode='0001'"); // typed: 0
    auto& w = load();
    EXPECT_EQ(w.grid2.rows(), 5);
    EXPECT_EQ(w.grid2.cell(2, 2).text, "1,050");
    EXPECT_EQ(w.grid2.cell(1, 4).text, ""); // 1102.5 reads as 0 and shows empty
    w.DSP_KobuHante();
    EXPECT_EQ(m_beeps, 6);
    EXPECT_EQ(w.grid2.rowColor(2), GridColor::kRed);
    EXPECT_EQ(w.grid2.rowColor(3), GridColor::kRed);
    EXPECT_EQ(w.grid2.rowColor(4), GridColor::kWhite);
    EXPECT_EQ(w.grid2.rowColor(1), GridColor::kWhite);
    EXPECT_EQ(w.grid2.cell(1, 3).text, "500");
    EXPECT_EQ(w.grid2.cell(2, 3).text, "95");
    db().execute(" UPDATE Table_Code SET Wecost=50");
    m_beeps = 0;
    w.DSP_KobuHante();
    EXPECT_EQ(m_beeps, 0);
    EXPECT_EQ(w.grid2.rowColor(2), GridColor::kWhite);

    // A decimal close: shown as the list has it, in the watch list through "#,###", and judged by
    // its value against the target.
    db().execute(" UPDATE Table_Code SET Wecost=2465.5, Wscost=2460.5 WHERE MgCode='1301'");
    db().execute(" UPDATE Table_KOCYU SET WzuvemoM=2465 WHERE Wmgcode='1301'");
    w.DSP_Grid(MainWindowModel::kFromStart, "A", "", "", 0);
    EXPECT_EQ(w.grid1.cell(1, 7).text, "2465.5");
    EXPECT_EQ(w.grid1.cell(1, 4).text, "2460.5");
    w.DSP_KobuHante();
    EXPECT_EQ(w.grid2.cell(2, 3).text, "2,466");
    EXPECT_EQ(w.grid2.rowColor(2), GridColor::kRed);
    EXPECT_EQ(m_beeps, 3);
}

TEST_F(MainWindow, TheWatchListTellsWhichStocksAnnounceWithinFiveTradingDays)
{
    fillStocks(6);
    for (const char* code : {"1301", "1302", "1303", "1304", "1305", "1306"}) {
        db().execute(std::string(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '") + code + "', 'x')");
    }
    auto& w = load();
    // A CSV folder has no such figures: nothing is marked.
    EXPECT_EQ(w.earningsLine, "");
    EXPECT_EQ(w.grid2.rowTip(1), "");

    using F = marketdata::Fundamentals::Figures;
    auto due = [](double in, double date) {
        F f;
        f.earningsIn = in;
        f.earningsDate = date;
        return f;
    };
    F undecided;
    undecided.earningsDate = 20261215; // no trading-day count: not known to be near
    std::map<std::string, F> byCode{{"1301", due(0, 20261210)}, {"1302", due(3, 20261215)},
        {"1303", due(5, 20261217)}, {"1304", due(6, 20261218)}, {"1305", undecided}};
    const auto columns = w.grid2.cols();
    const auto colour = w.grid2.rowColor(2);
    EXPECT_EQ(MainWindowModel::markEarnings(w.grid2, byCode), "5 営業日以内に決算: 1301, 1302, 1303");
    EXPECT_EQ(w.grid2.rowTip(1), "決算予定 2026-12-10（本日）");
    EXPECT_EQ(w.grid2.rowTip(2), "決算予定 2026-12-15（あと 3 営業日）");
    EXPECT_EQ(w.grid2.rowTip(3), "決算予定 2026-12-17（あと 5 営業日）");
    for (int row : {4, 5, 6}) {
        EXPECT_EQ(w.grid2.rowTip(row), "") << row;
    }
    EXPECT_EQ(w.grid2.cols(), columns);
    EXPECT_EQ(w.grid2.rowColor(2), colour);

    // Rows that stay through a refill lose the tip of the stock they held.
    byCode.erase("1301");
    EXPECT_EQ(MainWindowModel::markEarnings(w.grid2, byCode), "5 営業日以内に決算: 1302, 1303");
    EXPECT_EQ(w.grid2.rowTip(1), "");
    EXPECT_EQ(MainWindowModel::markEarnings(w.grid2, {}), "");
    EXPECT_EQ(w.grid2.rowTip(2), "");
    w.grid2.setRowTip(2, "x");
    w.DSP_KOCYU_Grid(2);
    EXPECT_EQ(w.grid2.rowTip(2), "");
}

TEST_F(MainWindow, UnloadCompactsAndKeepsTheData)
{
    fillStocks(5);
    auto& w = load();
    EXPECT_TRUE(w.Form_Unload());
    EXPECT_FALSE(m_module->SharedConnection);
    EXPECT_TRUE(m_module->OpenDatabase());
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 5);
}

TEST_F(MainWindow, AStoppedRunSaysSoInTheMessageLine)
{
    fillStocks(3);
    auto& w = load();
    ui::MainWindowHooks hooks;
    hooks.cancelRequested = [] { return true; };
    w.setHooks(hooks);
    w.Command_kensaku_Click();
    EXPECT_EQ(w.label1, MainWindowModel::kStopped);
    EXPECT_EQ(firstCode(), "1301"); // the list held is kept
    w.label1.clear();
    w.Command_mok_Click();
    EXPECT_EQ(w.label1, MainWindowModel::kStopped);
    EXPECT_TRUE(m_fake.requested.empty());
}

TEST_F(MainWindow, LongCommandsWaitForAnotherProgramOnTheFolderAndThenSaySo)
{
    fillStocks(3);
    auto& w = load();
    int pumped = 0;
    ui::MainWindowHooks hooks;
    hooks.pumpEvents = [&] { ++pumped; };
    w.setHooks(hooks);
    std::string message;
    auto other = core::CommandLock::acquire(m_dir.path(), &message, 0);
    ASSERT_TRUE(other);
    w.Grid_Click(1, 1);
    w.Option1_Click(2);
    for (auto command : {&MainWindowModel::Command_kensaku_Click, &MainWindowModel::Command_mok_Click,
             &MainWindowModel::Command_hat_Click}) {
        m_messages.recorder().boxes.clear();
        (w.*command)();
        ASSERT_EQ(m_messages.recorder().boxes.size(), 1u);
        EXPECT_EQ(
            m_messages.recorder().boxes[0].text, "他の処理が実行中です。終了してから実行してください。");
    }
    EXPECT_TRUE(m_fake.requested.empty());
    EXPECT_GT(pumped, 30); // the window kept painting while it waited
    EXPECT_EQ(firstCode(), "1301");
}

TEST(WindowPlacement, AWindowAndItsFrameStayWithinTheScreensArea)
{
    using ui::WindowPlacement;
    using Rect = WindowPlacement::Rect;
    const Rect area{0, 0, 1280, 1024};
    const WindowPlacement::Margins frame{1, 24, 1, 1};
    // The chart window as it opened: 900 px tall from y = 139 went off the bottom of the screen.
    EXPECT_EQ(WindowPlacement::within({90, 139, 1100, 900}, frame, area), (Rect{90, 123, 1100, 900}));
    // Too big for the screen: shrunk to it, but not below the window's minimum.
    EXPECT_EQ(WindowPlacement::within({0, 0, 1400, 1100}, frame, area), (Rect{1, 24, 1278, 999}));
    EXPECT_EQ(WindowPlacement::within({0, 0, 1400, 1100}, frame, {0, 0, 800, 600}, 900, 500),
        (Rect{1, 24, 900, 575}));
    // Left of or above the area (a screen at an offset, a panel at the top): moved in, the title
    // bar first.
    EXPECT_EQ(
        WindowPlacement::within({-50, 10, 400, 300}, frame, {0, 30, 1280, 994}), (Rect{1, 54, 400, 300}));
    // Beside the main window where the screen has room, else against the screen's right edge.
    const Rect mainFrame{0, 0, 962, 735};
    EXPECT_EQ(WindowPlacement::beside(mainFrame, 300, 400, frame, area), (Rect{971, 24, 300, 400}));
    EXPECT_EQ(WindowPlacement::beside(mainFrame, 900, 700, frame, area), (Rect{379, 24, 900, 700}));
    // Over the middle of the main window.
    EXPECT_EQ(WindowPlacement::centredOn(mainFrame, 400, 300, frame, area), (Rect{281, 229, 400, 300}));
    // Kept between starts as text; other text is no place.
    EXPECT_EQ(WindowPlacement::text({-5, 20, 900, 700}), "-5,20,900,700");
    EXPECT_EQ(WindowPlacement::parse("-5,20,900,700"), (Rect{-5, 20, 900, 700}));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,0,4", "a,2,3,4", "1,2,3,4x"}) {
        EXPECT_FALSE(WindowPlacement::parse(bad)) << bad;
    }
}
