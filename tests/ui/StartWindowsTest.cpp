#include "FittedMessageBox.h"
#include "Frm_Start.h"
#include "Frm_zuvemo_pass.h"
#include "ModuleFixture.h"
#include "core/Clock.h"
#include "core/PasswordHash.h"
#include "core/ProgramFolder.h"
#include "frmSplash.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <thread>

using namespace zuvemo;
using namespace std::chrono;

TEST(Splash, VersionKeysClicksAndTheAddress)
{
    EXPECT_EQ(ui::frmSplash::versionText(), "ﾊﾞｰｼﾞｮﾝ:0.1.0");
    ui::frmSplash splash;
    int closed = 0;
    std::vector<QString> opened;
    splash.onClosed = [&] { ++closed; };
    splash.openAddress = [&](const QString& a) { opened.push_back(a); };
    splash.show();
    // It takes the keyboard, so a key press reaches it whichever window has the focus.
    QTest::qWait(20);
    EXPECT_EQ(QWidget::keyboardGrabber(), &splash);
    auto* label5 = splash.findChild<QLabel*>("Label5");
    ASSERT_NE(label5, nullptr);
    // The link opens the manual the programs carry, on the disk: no network, no placeholder.
    const auto manual = core::ProgramFolder::findManual(test::binFolder());
    ASSERT_TRUE(manual);
    EXPECT_EQ(core::ProgramFolder::findManual(test::binFolder() / "no-such-folder"), std::nullopt);
    splash.setManual(manual);
    const QString path = QString::fromStdString(manual->string());
    EXPECT_EQ(label5->text(), "参照HP　" + path);
    EXPECT_EQ(label5->toolTip(), "説明書を開きます");
    EXPECT_EQ(splash.findChild<QLabel*>("lblVersion")->text(), "ﾊﾞｰｼﾞｮﾝ:0.1.0");
    QTest::mouseClick(label5, Qt::LeftButton);
    EXPECT_EQ(opened, (std::vector<QString>{"file://" + path}));
    splash.setManual(std::nullopt);
    QTest::mouseClick(label5, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 1u);
    splash.setManual(manual);
    EXPECT_EQ(closed, 0);
    QTest::mouseClick(splash.findChild<QLabel*>("lblVersion"), Qt::LeftButton);
    EXPECT_EQ(closed, 0);
    QTest::keyClick(&splash, Qt::Key_Escape);
    QTest::keyClick(&splash, Qt::Key_A);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
}

TEST(MessageBox, WideEnoughForItsTitleAndUnwrappedLines)
{
    ui::FittedMessageBox box(QStringLiteral("初期設定判定"), QStringLiteral("情報は存在しません"), nullptr);
    box.show();
    QTest::qWait(20);
    EXPECT_GE(box.width(), box.titleWidth());
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->wordWrap());
    EXPECT_GE(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text()));
    box.close();

    // Two lines of a database message: each shows whole on its own line.
    const QString text
        = QStringLiteral("データベース書込みに失敗しました。\r\n3 行目: コードが重複しています");
    ui::FittedMessageBox two(QStringLiteral("初期設定判定"), text, nullptr);
    two.show();
    QTest::qWait(20);
    auto* twoLabel = two.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    EXPECT_GE(twoLabel->width(),
        QFontMetrics(twoLabel->font())
            .horizontalAdvance(QStringLiteral("データベース書込みに失敗しました。")));
    EXPECT_LT(twoLabel->height(), 4 * QFontMetrics(twoLabel->font()).height());
    two.close();

    // A question with a path wider than the box's usual 500 pixels: still two whole lines.
    const QString first = QStringLiteral(
        "表計算ソフトでファイル(/tmp/株価チャート_1416_20261208-025925414.xlsx)を開けません。");
    ui::FittedMessageBox ask(QStringLiteral("初期設定判定"),
        first + QStringLiteral("\r\n画面で表示しますか?"), nullptr, QMessageBox::Yes | QMessageBox::No);
    ask.show();
    QTest::qWait(20);
    auto* askLabel = ask.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    EXPECT_GT(QFontMetrics(askLabel->font()).horizontalAdvance(first), 500);
    EXPECT_GE(askLabel->width(), QFontMetrics(askLabel->font()).horizontalAdvance(first));
    EXPECT_LT(askLabel->height(), 3 * QFontMetrics(askLabel->font()).height());
    ask.close();
}

TEST(Splash, ClosesByItselfAfterFiveSeconds)
{
    ui::frmSplash splash;
    int closed = 0;
    splash.onClosed = [&] { ++closed; };
    splash.show();
    QTest::qWait(4500);
    EXPECT_EQ(closed, 0);
    // Its timer is due at five seconds; a loaded machine may run it a little late.
    for (int waited = 0; closed == 0 && waited < 3000; waited += 50) {
        QTest::qWait(50);
    }
    EXPECT_EQ(closed, 1);
}

class StartWindows : public test::ModuleFixture
{
protected:
    core::FixedClock m_clock{year_month_day{2024y, January, 9d}};
};

TEST_F(StartWindows, LoginDialogLayoutAndSignIn)
{
    db().execute("INSERT INTO Table_User(UserKeyA,UsernameA,PassWordA) VALUES (1,'Taro','"
        + *core::PasswordHash::hash("pw") + "')");
    m_module->CloseDatabase();
    ui::Frm_zuvemo_pass login(*m_module);
    int signedIn = 0;
    login.onSignedIn = [&] { ++signedIn; };
    ASSERT_TRUE(login.load(false));
    login.show();
    EXPECT_EQ(login.windowTitle(), "パスワード(Zuvemo)");
    EXPECT_EQ(login.size(), QSize(335, 188));
    EXPECT_EQ(login.userBox()->maxLength(), 50);
    EXPECT_EQ(login.passwordBox()->maxLength(), 20);
    EXPECT_EQ(login.passwordBox()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(login.confirmButton()->text(), "確認");
    QTest::keyClicks(login.userBox(), "Taro");
    QTest::keyClicks(login.passwordBox(), "bad");
    EXPECT_EQ(login.passwordBox()->displayText(), "***");
    QTest::mouseClick(login.confirmButton(), Qt::LeftButton);
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "パスワードが違います。");
    EXPECT_EQ(signedIn, 0);
    login.passwordBox()->clear();
    QTest::keyClicks(login.passwordBox(), "pw");
    // Enter confirms from the user box as well as from the password box.
    QTest::keyClick(login.userBox(), Qt::Key_Return);
    EXPECT_EQ(signedIn, 1);
}

TEST_F(StartWindows, LauncherFirstUseForm)
{
    m_module->CloseDatabase();
    ui::LauncherModel model(*m_module, m_clock);
    ASSERT_EQ(model.Form_Load(false), ui::LauncherModel::Start::ShowForm);
    ui::Frm_Start form(model);
    int saved = 0;
    form.onSaved = [&] { ++saved; };
    form.show();
    EXPECT_EQ(form.windowTitle(), "初期設定(Zuvemo)");
    EXPECT_EQ(form.executeButton()->text(), "実行");
    EXPECT_EQ(form.cancelButton()->text(), "キャンセル");
    QTest::keyClicks(form.box(0), "Hanako");
    QTest::keyClicks(form.box(1), "abc");
    QTest::keyClicks(form.box(2), "abc ");
    QTest::mouseClick(form.executeButton(), Qt::LeftButton);
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "パスワードが違います。");
    form.box(2)->clear();
    QTest::keyClicks(form.box(2), "abc");
    // Enter runs "実行".
    QTest::keyClick(form.box(2), Qt::Key_Return);
    EXPECT_EQ(saved, 1);

    // Escape in any box is "キャンセル": the form goes and says it was cancelled.
    ui::LauncherModel again(*m_module, m_clock);
    ui::Frm_Start second(again);
    int cancelled = 0;
    second.onCancelled = [&] { ++cancelled; };
    second.show();
    QTest::keyClicks(second.box(0), "Jiro");
    QTest::keyClick(second.box(0), Qt::Key_Escape);
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(second.isVisible());
}

TEST_F(StartWindows, LauncherReallyStartsTheMainProgram)
{
    db().execute("INSERT INTO Table_User(UserKeyA,UsernameA,PassWordA) VALUES (1,'u','p')");
    m_module->CloseDatabase();
    std::filesystem::copy_file(test::binFolder() / "pro_melbat", m_dir / "pro_melbat");
    // A stand-in main program that only leaves a mark.
    test::writeFile(m_dir / "Pro_zuvemo", "#!/bin/sh\necho started > \"$(dirname \"$0\")/started\"\n");
    std::filesystem::permissions(m_dir / "Pro_zuvemo", std::filesystem::perms::owner_all);
    std::string out;
    auto start = steady_clock::now();
    int rc = test::runCommand("QT_QPA_PLATFORM=offscreen " + (m_dir / "pro_melbat").string() + " 2>&1", &out);
    EXPECT_EQ(rc, 0) << out;
    // The launcher does not wait for the main program.
    while (!std::filesystem::exists(m_dir / "started") && steady_clock::now() - start < seconds(10)) {
        std::this_thread::sleep_for(milliseconds(50));
    }
    EXPECT_TRUE(std::filesystem::exists(m_dir / "started"));
}
