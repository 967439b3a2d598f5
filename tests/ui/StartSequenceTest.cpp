#include "StartSequence.h"

#include "FakeDownloader.h"
#include "Frm_zuvemo.h"
#include "Frm_zuvemo_pass.h"
#include "ModuleFixture.h"
#include "core/Clock.h"
#include "core/PasswordHash.h"
#include "export/SpreadsheetOpener.h"
#include "frmSplash.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace zuvemo;
using namespace std::chrono;

namespace {

class Sequence : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        test::ModuleFixture::SetUp();
        db().execute("INSERT INTO Table_User(UserKeyA,UsernameA,PassWordA) VALUES (1,'Taro','"
            + *core::PasswordHash::hash("pw") + "')");
        m_module->CloseDatabase();
    }
    core::FixedClock m_clock{year_month_day{2024y, January, 9d}};
    test::FakeDownloader m_fake;
    exporting::NoOpener m_opener;
};

} // namespace

TEST_F(Sequence, SplashSignInMainWindowAndTheEnd)
{
    ui::StartSequence sequence(*m_module, m_clock, m_fake, m_opener, false);
    QSignalSpy finished(&sequence, &ui::StartSequence::finished);
    sequence.start();
    ASSERT_TRUE(sequence.splash()->isVisible());
    EXPECT_EQ(sequence.login(), nullptr);
    QTest::keyClick(sequence.splash(), Qt::Key_Return);
    ASSERT_NE(sequence.login(), nullptr);
    EXPECT_TRUE(sequence.login()->isVisible());
    QTest::keyClicks(sequence.login()->userBox(), "Taro");
    QTest::keyClicks(sequence.login()->passwordBox(), "pw");
    QTest::mouseClick(sequence.login()->confirmButton(), Qt::LeftButton);
    // The empty stock list shows its message box while the main window loads; that box closing
    // does not end the program.
    ASSERT_NE(sequence.mainWindow(), nullptr);
    EXPECT_TRUE(sequence.mainWindow()->isVisible());
    EXPECT_FALSE(sequence.login()->isVisible());
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "情報は存在しません");
    EXPECT_EQ(finished.count(), 0);
    sequence.mainWindow()->close();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), 0);
}

TEST_F(Sequence, SecondCopyEndsAfterTheSplashWithItsMessage)
{
    ui::StartSequence sequence(*m_module, m_clock, m_fake, m_opener, true);
    QSignalSpy finished(&sequence, &ui::StartSequence::finished);
    sequence.start();
    QTest::keyClick(sequence.splash(), Qt::Key_Escape);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), 1);
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "既に画面が開かれています。無視します。");
}

TEST_F(Sequence, ClosingTheSignInEndsTheProgram)
{
    ui::StartSequence sequence(*m_module, m_clock, m_fake, m_opener, false);
    QSignalSpy finished(&sequence, &ui::StartSequence::finished);
    sequence.start();
    QTest::keyClick(sequence.splash(), Qt::Key_Space);
    sequence.login()->close();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), 0);
    EXPECT_EQ(sequence.mainWindow(), nullptr);
}
