#include "ArrowButton.h"
#include "FakeDownloader.h"
#include "Frm_TouRok.h"
#include "Frm_zuvemo.h"
#include "GridPixels.h"
#include "GridView.h"
#include "ModuleFixture.h"
#include "UiStyle.h"
#include "core/Clock.h"
#include "export/SpreadsheetOpener.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace zuvemo;
using namespace std::chrono;

namespace {

class WatchWindow : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        test::ModuleFixture::SetUp();
        for (int i = 0; i < 4; ++i) {
            std::string code = std::to_string(1301 + i);
            db().execute(
                "INSERT INTO Table_Code(MgCode , Mgmgara, MgMei, Mgyosyu, Wscost, Wucost, Wdcost, Wecost, "
                "Wccost,Wbcost) VALUES ('"
                + code + "','M','銘柄" + code + "','I',1,1,1,1050,1,1)");
        }
        db().execute(" UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
        m_module->CloseDatabase();
        m_window = std::make_unique<ui::Frm_zuvemo>(*m_module, m_clock, m_fake, m_opener);
        m_window->setBeep([this] { ++m_beeps; });
        m_window->setFinishedBox([](const std::string&) {});
        ASSERT_TRUE(m_window->load());
        m_window->show();
    }
    void doubleClick(ui::GridView* grid, int row)
    {
        // A double-click arrives after the press of its first click, as from a mouse.
        QPoint at = test::cellCentre(grid, row - 1, 1);
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }
    void click(ui::GridView* grid, int row)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, test::cellCentre(grid, row - 1, 1));
    }
    template <typename T> T* child(QObject* parent, const char* name)
    {
        auto* w = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString watch(int row, int col) { return test::cellText(m_window->watchGrid(), row - 1, col); }

    core::FixedClock m_clock{year_month_day{2024y, January, 9d}};
    test::FakeDownloader m_fake;
    exporting::NoOpener m_opener;
    std::unique_ptr<ui::Frm_zuvemo> m_window;
    int m_beeps = 0;
};

} // namespace

TEST_F(WatchWindow, StockListToCandidatesToWatchListAndBack)
{
    doubleClick(m_window->stockGrid(), 2);
    doubleClick(m_window->stockGrid(), 1);
    ASSERT_EQ(m_window->candidateGrid()->rowCount(), 2);
    EXPECT_EQ(test::cellText(m_window->candidateGrid(), 0, 0), "1302");
    click(m_window->candidateGrid(), 2);
    QTest::mouseClick(child<ui::ArrowButton>(m_window.get(), "Image1"), Qt::LeftButton);
    ASSERT_EQ(m_window->watchGrid()->rowCount(), 1);
    EXPECT_EQ(watch(1, 0), "1301");
    EXPECT_EQ(m_window->candidateGrid()->rowCount(), 1);
    click(m_window->watchGrid(), 1);
    QTest::mouseClick(child<ui::ArrowButton>(m_window.get(), "Image2"), Qt::LeftButton);
    EXPECT_EQ(m_window->watchGrid()->rowCount(), 0);
    EXPECT_EQ(m_window->candidateGrid()->rowCount(), 2);
}

TEST_F(WatchWindow, PriceDialogInBothModesWithItsMessages)
{
    doubleClick(m_window->stockGrid(), 1);
    click(m_window->candidateGrid(), 1);
    QTest::mouseClick(child<ui::ArrowButton>(m_window.get(), "Image1"), Qt::LeftButton);
    ASSERT_EQ(m_window->watchGrid()->rowCount(), 1);

    std::vector<QString> messages;
    auto runDialog = [&](const char* purchase, bool percent, const char* target) {
        m_window->setDialogRunner([&, purchase, percent, target](ui::Frm_TouRok& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "希望額登録");
            EXPECT_EQ(child<QLineEdit>(&dialog, "Text1_0")->text(), "1301");
            auto* p = child<QLineEdit>(&dialog, "Text1_2");
            // Focus starts where the user types; the read-only boxes are not Tab stops.
            EXPECT_EQ(dialog.focusWidget(), p);
            for (const char* readOnly : {"Text1_0", "Text1_1", "Text1_3"}) {
                EXPECT_EQ(child<QLineEdit>(&dialog, readOnly)->focusPolicy(), Qt::NoFocus) << readOnly;
            }
            p->clear();
            QTest::keyClicks(p, QString::fromUtf8(purchase));
            QTest::mouseClick(child<QRadioButton>(&dialog, percent ? "Option2" : "Option1"), Qt::LeftButton);
            EXPECT_EQ(child<QLabel>(&dialog, "Label2")->text(), percent ? "%" : "");
            auto* t = child<QLineEdit>(&dialog, "Text1_4");
            t->clear();
            QTest::keyClicks(t, QString::fromUtf8(target));
            QTest::mouseClick(child<QPushButton>(&dialog, "Command1"), Qt::LeftButton);
            messages.push_back(child<QLabel>(&dialog, "Label3")->text());
        });
        doubleClick(m_window->watchGrid(), 1);
    };
    runDialog("10.5", false, "1");
    runDialog("1,050", false, "");
    runDialog("1,050", true, "10%");
    EXPECT_EQ(messages,
        (std::vector<QString>{"購入時株価が金額でない", "希望株価額が金額でない", "希望株価額が％でない"}));
    EXPECT_EQ(child<QLineEdit>(m_window.get(), "Text_code")->text(), "1301");
    EXPECT_EQ(child<QLineEdit>(m_window.get(), "Text_Row")->text(), "1");

    runDialog("1,050", false, "1,200");
    EXPECT_EQ(watch(1, 2), "1,050");
    EXPECT_EQ(watch(1, 4), "1,200");
    runDialog("1,050", true, "5");
    EXPECT_EQ(watch(1, 4), "1,103");
    EXPECT_EQ(scalar(" SELECT WzuvemoM FROM Table_KOCYU"), "1103");
}

TEST_F(WatchWindow, RefreshTurnsReachedRowsRedWithThreeBeepsEach)
{
    for (int row : {1, 2}) {
        doubleClick(m_window->stockGrid(), row);
    }
    for (int i = 0; i < 2; ++i) {
        click(m_window->candidateGrid(), 1);
        QTest::mouseClick(child<ui::ArrowButton>(m_window.get(), "Image1"), Qt::LeftButton);
    }
    db().execute(" UPDATE Table_KOCYU SET WzuvemoM=1050");
    // The row the user last clicked turns red like the others, in every cell.
    click(m_window->watchGrid(), 2);
    m_fake.fallback = [](const std::string&) {
        return *core::TextCodec::encodeCp932(
            "2024年01月09日\r\n1301,M,a,I,1,1,1,1050,1,1\r\n1302,M,b,I,1,1,1,1051,1,1\r\n"
            "1303,M,c,I,1,1,1,1,1,1\r\n1304,M,d,I,1,1,1,1,1,1\r\n");
    };
    QTest::mouseClick(child<QPushButton>(m_window.get(), "Command_kensaku"), Qt::LeftButton);
    EXPECT_EQ(m_beeps, 6);
    auto red = ui::UiStyle::color(ui::GridColor::kRed);
    EXPECT_EQ(test::cellBack(m_window->watchGrid(), 0, 0), red);
    EXPECT_EQ(test::cellBack(m_window->watchGrid(), 1, 4), red);
    test::GridPixels(m_window->watchGrid()).expectRow(0, red);
    test::GridPixels(m_window->watchGrid()).expectRow(1, red);

    // The same day once more, as if it were a new one.
    db().execute(" UPDATE Table_Url SET kabuHdate='20240105'");
    m_fake.fallback = [](const std::string&) {
        return *core::TextCodec::encodeCp932(
            "2024年01月09日\r\n1301,M,a,I,1,1,1,1049,1,1\r\n1302,M,b,I,1,1,1,1051,1,1\r\n"
            "1303,M,c,I,1,1,1,1,1,1\r\n1304,M,d,I,1,1,1,1,1,1\r\n");
    };
    m_beeps = 0;
    QTest::mouseClick(child<QPushButton>(m_window.get(), "Command_kensaku"), Qt::LeftButton);
    EXPECT_EQ(m_beeps, 3);
    EXPECT_EQ(test::cellBack(m_window->watchGrid(), 0, 0), ui::UiStyle::color(ui::GridColor::kWhite));
}

// Counts the paint events a widget receives.
namespace {

class PaintCounter : public QObject
{
public:
    PaintCounter(QWidget* widget, int& count)
        : m_count(count)
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        m_count += event->type() == QEvent::Paint;
        return false;
    }

private:
    int& m_count;
};

} // namespace

TEST_F(WatchWindow, ALockedOrDamagedDatabaseIsShownAndTheWindowStaysUsable)
{
    // Another process holds the write lock: the double-click into the candidates cannot write.
    // The window waits a few seconds, painting meanwhile, then says so in Japanese.
    auto other = core::Connection::open(m_dir / "zuvemo.db");
    other->execute("BEGIN IMMEDIATE");
    other->execute(" UPDATE Table_User SET StartdateA='x'");
    const auto before = m_messages.recorder().boxes.size();
    int paints = 0;
    PaintCounter counter(m_window->stockGrid()->viewport(), paints);
    QTimer ticker;
    ticker.setInterval(100);
    QObject::connect(&ticker, &QTimer::timeout, [&] { m_window->stockGrid()->viewport()->update(); });
    ticker.start();
    const auto start = steady_clock::now();
    doubleClick(m_window->stockGrid(), 1);
    const auto waited = duration_cast<milliseconds>(steady_clock::now() - start).count();
    ticker.stop();
    EXPECT_GE(waited, 4500);
    EXPECT_LT(waited, 9000);
    EXPECT_GE(paints, 10) << "the window stood still while it waited";
    ASSERT_EQ(m_messages.recorder().boxes.size(), before + 1);
    EXPECT_EQ(m_messages.recorder().boxes.back().text,
        "(ｴﾗｰ番号:5)\t\rデータベースは他のプログラムが使用中です。しばらくしてからやり直してください。");
    other->execute("ROLLBACK");
    // Once the lock is gone the same double-click works.
    doubleClick(m_window->stockGrid(), 1);
    ASSERT_EQ(m_window->candidateGrid()->rowCount(), 1);
    EXPECT_EQ(test::cellText(m_window->candidateGrid(), 0, 0), "1301");

    // A damaged database: the table the handlers read is gone.
    other->execute("ALTER TABLE Table_Code RENAME TO Table_Gone");
    const auto damaged = m_messages.recorder().boxes.size();
    click(m_window->stockGrid(), 2);
    doubleClick(m_window->stockGrid(), 2);
    emit child<QComboBox>(m_window.get(), "Combo2")->activated(0);
    EXPECT_GE(m_messages.recorder().boxes.size(), damaged + 1);
    other->execute("ALTER TABLE Table_Gone RENAME TO Table_Code");
    emit child<QComboBox>(m_window.get(), "Combo2")->activated(0);
    EXPECT_EQ(test::cellText(m_window->stockGrid(), 0, 0), "1301");
}
