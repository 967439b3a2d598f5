#include "ElidedLabel.h"
#include "FakeDownloader.h"
#include "Frm_DataSettings.h"
#include "Frm_zuvemo.h"
#include "GridPixels.h"
#include "ModuleFixture.h"
#include "SampleServer.h"
#include "core/Clock.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/DataSource.h"
#include "marketdata/jquants/ApiKey.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/SecretStore.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <cstdlib>
#include <sys/stat.h>

using namespace zuvemo;
using namespace std::chrono;
using Choice = ui::DataSettingsModel::Choice;

namespace {

class NoOpener : public exporting::SpreadsheetOpener
{
public:
    bool open(const std::filesystem::path&) override { return true; }
};

// The desktop's keyring, or none running.
class FakeKeyring : public marketdata::SecretStore
{
public:
    Status read(std::string& secret) override
    {
        if (!running) {
            return Status::Unavailable;
        }
        secret = stored;
        return stored.empty() ? Status::NotFound : Status::Found;
    }
    bool write(const std::string& secret) override
    {
        if (running) {
            stored = secret;
        }
        return running;
    }
    bool remove() override
    {
        stored.clear();
        return running;
    }
    bool running = true;
    std::string stored;
};

class Settings : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        std::filesystem::create_directories(m_dir / "home");
        ::setenv("HOME", (m_dir / "home").c_str(), 1);
        ::unsetenv("JQUANTS_API_KEY");
        marketdata::ApiKey::setKeyring(m_keyring);
        // The Free plan: twelve weeks late.
        m_server = jquantsServer(true);
        ASSERT_TRUE(m_server);
    }
    std::unique_ptr<sample::SampleServer> jquantsServer(bool freePlanWindow)
    {
        sample::SampleServer::Options options;
        options.market.stocks = 12;
        options.market.days = 60;
        options.market.today = m_clock.today();
        options.jquants = true;
        if (freePlanWindow) {
            options.api.windowFrom = sys_days{2024y / September / 11d};
            options.api.windowTo = sys_days{2026y / September / 11d};
        }
        auto server = std::make_unique<sample::SampleServer>(options);
        return server->start(0) > 0 ? std::move(server) : nullptr;
    }
    void TearDown() override { marketdata::ApiKey::setKeyring(nullptr); }

    // A J-Quants folder on a server that serves every day, its key in the keyring.
    void jquantsFolder(const std::string& plan, int days)
    {
        m_open = jquantsServer(false);
        ASSERT_TRUE(m_open);
        jquantsSource(m_open->apiBaseUrl(), plan, days);
        m_keyring->stored = "sample-key";
    }
    ui::Frm_zuvemo& open()
    {
        m_module->CloseDatabase();
        m_window = std::make_unique<ui::Frm_zuvemo>(*m_module, m_clock, m_fake, m_opener);
        m_window->setFinishedBox([this](const std::string& t) { m_finished.push_back(t); });
        EXPECT_TRUE(m_window->load());
        m_window->show();
        return *m_window;
    }
    // Opens the dialog from the window's button and works it with drive.
    void settings(const std::function<void(ui::Frm_DataSettings&)>& drive)
    {
        bool opened = false;
        m_window->setSettingsRunner([&](ui::Frm_DataSettings& dialog) {
            opened = true;
            dialog.show();
            drive(dialog);
        });
        QTest::mouseClick(
            m_window->findChild<QPushButton*>(QStringLiteral("Command_settei")), Qt::LeftButton);
        EXPECT_TRUE(opened);
    }
    static void type(QLineEdit* box, const QString& text)
    {
        box->clear();
        QTest::keyClicks(box, text);
    }
    void fillList()
    {
        db().execute("INSERT INTO Table_Code(MgCode, Mgmgara, MgMei, Mgyosyu, Wecost) VALUES ('1301', "
                     "'東証プライム', '極洋', '水産・農林業', 3000)");
        db().execute("INSERT INTO Table_KOCYU(Wmgcode, Wmgmei, WzuvemoK, WzuvemoG) VALUES ('1301', '極洋', "
                     "2900, 3300)");
        db().execute("INSERT INTO Table_User(UserKeyA, UsernameA, PassWordA) VALUES (1, 'taro', 'x')");
    }
    std::string everythingStored()
    {
        std::string bytes;
        for (const char* name : {"zuvemo.db", "zuvemo.db-wal", "zuvemo.db-journal", "qen_kanrFile.dsa"}) {
            if (std::filesystem::exists(m_dir / name)) {
                bytes += test::readFile(m_dir / name);
            }
        }
        return bytes;
    }
    std::string labelsOf(QWidget* widget)
    {
        std::string all;
        for (auto* label : widget->findChildren<QLabel*>()) {
            all += label->text().toStdString() + "\n";
        }
        for (auto* box : widget->findChildren<QLineEdit*>()) {
            all += box->displayText().toStdString() + "\n";
        }
        return all;
    }

    core::FixedClock m_clock{year_month_day{2026y, December, 8d}};
    test::FakeDownloader m_fake;
    NoOpener m_opener;
    std::shared_ptr<FakeKeyring> m_keyring = std::make_shared<FakeKeyring>();
    std::unique_ptr<sample::SampleServer> m_server;
    std::unique_ptr<sample::SampleServer> m_open;
    std::unique_ptr<ui::Frm_zuvemo> m_window;
    std::vector<std::string> m_finished;
};

} // namespace

TEST_F(Settings, TheButtonCoversNothingOfTheWindow)
{
    auto& w = open();
    auto* button = w.findChild<QPushButton*>(QStringLiteral("Command_settei"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "データ設定");
    EXPECT_TRUE(button->isVisible());
    for (auto* sibling : button->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (sibling != button) {
            EXPECT_FALSE(sibling->geometry().intersects(button->geometry()))
                << sibling->objectName().toStdString();
        }
    }
}

TEST_F(Settings, AGoodKeyIsCheckedAndKeptInTheKeyringNeverInTheDatabaseNorOnScreen)
{
    fillList();
    open();
    settings([&](ui::Frm_DataSettings& d) {
        EXPECT_EQ(d.windowTitle(), "データ設定");
        EXPECT_TRUE(d.choiceButton(Choice::Csv)->isChecked());
        d.choiceButton(Choice::JQuants)->click();
        EXPECT_TRUE(d.keyBox()->isEnabled());
        EXPECT_FALSE(d.dailyBox()->isEnabled());
        type(d.apiUrlBox(), QString::fromStdString(m_server->apiBaseUrl()));
        type(d.keyBox(), QStringLiteral("sample-key"));
        EXPECT_EQ(d.keyBox()->echoMode(), QLineEdit::Password);
        // What the plan reaches and how long a first fill of the days takes, as they change.
        d.planBox()->setCurrentIndex(1);
        EXPECT_EQ(d.planNoteLabel()->text(),
            "Light プラン: 最長 1225 日（5 年）。初回の取得は約 7 分（月ごとの履歴ファイル）。信用残は "
            "Standard プラン以上");
        d.daysBox()->setValue(1300);
        EXPECT_EQ(d.planNoteLabel()->text(), "Light プランの取得日数は 20〜1225 日（5 年）です。");
        d.daysBox()->setValue(300);
        d.planBox()->setCurrentIndex(0);
        EXPECT_EQ(d.planNoteLabel()->text(),
            "Free プラン: 最長 490 日（2 年、12 週遅れ）。初回の取得は約 113 分（1 日ずつ）。対TOPIX は "
            "Light、信用残は Standard プラン以上");
        QTest::mouseClick(d.checkButton(), Qt::LeftButton);
        EXPECT_EQ(
            d.checkLabel()->text(), "接続できました。取得できる最新日: 2026-09-11（Free プラン: 12 週遅れ）");
        EXPECT_EQ(labelsOf(&d).find("sample-key"), std::string::npos);
        // The answer is for that plan: another plan, key or address takes it away.
        d.planBox()->setCurrentIndex(1);
        EXPECT_TRUE(d.checkLabel()->text().isEmpty());
        d.planBox()->setCurrentIndex(0);
        EXPECT_TRUE(d.checkLabel()->text().isEmpty());
        QTest::mouseClick(d.checkButton(), Qt::LeftButton);
        EXPECT_FALSE(d.checkLabel()->text().isEmpty());
        type(d.keyBox(), QStringLiteral("x"));
        EXPECT_TRUE(d.checkLabel()->text().isEmpty());
        d.keyBox()->clear();
        type(d.keyBox(), QStringLiteral("sample-key"));
        QTest::mouseClick(d.checkButton(), Qt::LeftButton);
        EXPECT_FALSE(d.checkLabel()->text().isEmpty());
        QTest::keyClick(d.apiUrlBox(), Qt::Key_Backspace);
        EXPECT_TRUE(d.checkLabel()->text().isEmpty());
        QTest::keyClicks(d.apiUrlBox(), QString::fromStdString(m_server->apiBaseUrl()).right(1));
        // Enter in the key's field saves; it does not ask the server again.
        d.checkLabel()->clear();
        QTest::keyClick(d.keyBox(), Qt::Key_Return);
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_TRUE(d.checkLabel()->text().isEmpty());
        EXPECT_TRUE(d.keyBox()->text().isEmpty());
    });
    EXPECT_EQ(m_keyring->stored, "sample-key");
    EXPECT_FALSE(std::filesystem::exists(marketdata::ApiKey::file()));
    auto source = marketdata::DataSource::read(db());
    EXPECT_TRUE(source.isJQuants());
    EXPECT_EQ(source.apiUrl, m_server->apiBaseUrl());
    EXPECT_EQ(source.plan, "free");
    EXPECT_EQ(everythingStored().find("sample-key"), std::string::npos);
    // A change of source: the old list and its signals go, the watch list and the user stay.
    EXPECT_EQ(count("SELECT * FROM Table_Code"), 0);
    EXPECT_EQ(count("SELECT * FROM Table_KOCYU"), 1);
    EXPECT_EQ(scalar("SELECT UsernameA FROM Table_User"), "taro");
    EXPECT_EQ(scalar("SELECT kabuHdate FROM Table_Url"), " ");
    EXPECT_EQ(m_window->model().label1, ui::MainWindowModel::kSettingsChanged);
    EXPECT_TRUE(m_messages.recorder().boxes.empty());
    EXPECT_EQ(m_window->stockGrid()->rowCount(), 0);

    // Opened again: the key is known to be stored, and not shown.
    settings([&](ui::Frm_DataSettings& d) {
        EXPECT_TRUE(d.choiceButton(Choice::JQuants)->isChecked());
        EXPECT_TRUE(d.keyBox()->text().isEmpty());
        EXPECT_NE(labelsOf(&d).find("保存済み（デスクトップのキーリング）"), std::string::npos);
        EXPECT_EQ(labelsOf(&d).find("sample-key"), std::string::npos);
        // The stored key serves the check when none is typed.
        QTest::mouseClick(d.checkButton(), Qt::LeftButton);
        EXPECT_TRUE(d.checkLabel()->text().startsWith(QStringLiteral("接続できました。")));
        QTest::mouseClick(d.cancelButton(), Qt::LeftButton);
    });
}

TEST_F(Settings, TheBoxKeepsItsWidthAndForgetsWhatItSaidOfAnotherChoice)
{
    open();
    settings([&](ui::Frm_DataSettings& d) {
        QApplication::processEvents();
        const int width = d.width();
        // A key file's long path is cut in the middle; the tip holds it whole.
        const QString path = QStringLiteral("保存済み（/home/") + QString(120, QLatin1Char('x'))
            + QStringLiteral("/.config/zuvemo/jquants-key）");
        d.keyStatusLabel()->setFullText(path);
        QApplication::processEvents();
        EXPECT_EQ(d.width(), width);
        EXPECT_LE(d.sizeHint().width(), width);
        EXPECT_EQ(d.keyStatusLabel()->toolTip(), path);
        EXPECT_TRUE(d.keyStatusLabel()->text().contains(QStringLiteral("…")));
        // Nor do the red lines under the key and over the buttons widen it.
        const QString warning = QStringLiteral("APIキーのファイル（/home/hanako-yamada/.jquants-api/"
                                               "jquants-api.toml）は他のユーザーも読めます。chmod 600 "
                                               "で本人だけが読めるようにしてください。");
        d.keyWarningLabel()->setText(warning);
        d.keyWarningLabel()->show();
        d.errorLabel()->setText(warning);
        QApplication::processEvents();
        EXPECT_EQ(d.width(), width);
        EXPECT_LE(d.sizeHint().width(), width);
        // "接続確認" is a button like the others.
        EXPECT_LE(d.checkButton()->height(), d.okButton()->height() + 4);
        EXPECT_GE(d.checkButton()->width(), d.okButton()->width() - 4);

        // An error under one choice goes when another is chosen.
        d.choiceButton(Choice::Csv)->click();
        type(d.dailyBox(), QString());
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        ASSERT_FALSE(d.errorLabel()->text().isEmpty());
        EXPECT_NE(d.result(), QDialog::Accepted);
        d.choiceButton(Choice::JQuants)->click();
        EXPECT_TRUE(d.errorLabel()->text().isEmpty());
        d.reject();
    });
}

TEST_F(Settings, ABadKeySaysWhyAndCancelLeavesEverythingAsItWas)
{
    fillList();
    open();
    const std::string before = scalar("SELECT kabuHUrl FROM Table_Url");
    settings([&](ui::Frm_DataSettings& d) {
        d.choiceButton(Choice::JQuants)->click();
        type(d.apiUrlBox(), QString::fromStdString(m_server->apiBaseUrl()));
        type(d.keyBox(), QStringLiteral("not-the-key"));
        QTest::mouseClick(d.checkButton(), Qt::LeftButton);
        EXPECT_EQ(d.checkLabel()->text(), "APIキーが無効か、契約プランの範囲外です。");
        // No server at all: said in Japanese, and the dialog answers again.
        type(d.apiUrlBox(), QStringLiteral("http://127.0.0.1:1/v2"));
        QTest::mouseClick(d.checkButton(), Qt::LeftButton);
        EXPECT_TRUE(d.checkLabel()->text().startsWith(QStringLiteral("J-Quants API に接続できません。")));
        EXPECT_TRUE(d.isEnabled());
        d.planBox()->setCurrentIndex(2);
        d.daysBox()->setValue(120);
        QTest::mouseClick(d.cancelButton(), Qt::LeftButton);
        EXPECT_EQ(d.result(), QDialog::Rejected);
    });
    EXPECT_TRUE(m_keyring->stored.empty());
    EXPECT_FALSE(marketdata::DataSource::read(db()).isJQuants());
    EXPECT_EQ(scalar("SELECT kabuHUrl FROM Table_Url"), before);
    EXPECT_EQ(count("SELECT * FROM Table_Code"), 1);
    EXPECT_EQ(scalar("SELECT kabuHdate FROM Table_Url"), "20240104");
}

TEST_F(Settings, CsvAddressesAreCheckedAndAnUnchangedSourceKeepsItsList)
{
    fillList();
    open();
    settings([&](ui::Frm_DataSettings& d) {
        EXPECT_EQ(d.dailyBox()->text(), "http://127.0.0.1:1/d/");
        type(d.dailyBox(), QStringLiteral("ftp://example.jp/d/"));
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        EXPECT_EQ(d.errorLabel()->text(), "アドレスは http:// または https:// で始めてください。");
        EXPECT_NE(d.result(), QDialog::Accepted);
        type(d.dailyBox(), QStringLiteral("http://127.0.0.1:1/d/"));
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        EXPECT_EQ(d.result(), QDialog::Accepted);
    });
    EXPECT_EQ(count("SELECT * FROM Table_Code"), 1);
    EXPECT_EQ(m_window->model().label1, ui::MainWindowModel::kSettingsSaved);
    settings([&](ui::Frm_DataSettings& d) {
        type(d.historyBox(), QStringLiteral("https://example.jp/h/"));
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        EXPECT_EQ(d.result(), QDialog::Accepted);
    });
    EXPECT_EQ(scalar("SELECT kabuMUrl FROM Table_Url"), "https://example.jp/h/");
    EXPECT_EQ(count("SELECT * FROM Table_Code"), 0);
    EXPECT_EQ(count("SELECT * FROM Table_KOCYU"), 1);
}

TEST_F(Settings, WithoutAKeyringTheKeyGoesToTheClientFileForTheOwnerOnly)
{
    m_keyring->running = false;
    open();
    settings([&](ui::Frm_DataSettings& d) {
        d.choiceButton(Choice::JQuants)->click();
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        EXPECT_EQ(d.errorLabel()->text(), "APIキーを入力してください。");
        type(d.keyBox(), QStringLiteral("file-key"));
        d.planBox()->setCurrentIndex(1);
        d.daysBox()->setValue(250);
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        EXPECT_EQ(d.result(), QDialog::Accepted);
    });
    const auto file = marketdata::ApiKey::file();
    ASSERT_TRUE(std::filesystem::exists(file));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    auto place = marketdata::ApiKey::Place::None;
    EXPECT_EQ(marketdata::ApiKey::read(&place), "file-key");
    EXPECT_EQ(place, marketdata::ApiKey::Place::File);
    const auto source = marketdata::DataSource::read(db());
    EXPECT_EQ(source.plan, "light");
    EXPECT_EQ(source.days, 250);
    // A file others may read is said under the key, and the key still serves.
    std::filesystem::permissions(file, std::filesystem::perms(0644));
    settings([&](ui::Frm_DataSettings& d) {
        EXPECT_FALSE(d.keyWarningLabel()->isHidden());
        EXPECT_TRUE(d.keyWarningLabel()->text().contains(QStringLiteral("は他のユーザーも読めます")));
        EXPECT_TRUE(d.keyWarningLabel()->text().contains(QString::fromStdString(file.string())));
        d.reject();
    });
    EXPECT_EQ(marketdata::ApiKey::read(), "file-key");
    std::filesystem::permissions(file, std::filesystem::perms(0600));
    settings([&](ui::Frm_DataSettings& d) {
        EXPECT_TRUE(d.keyWarningLabel()->isHidden());
        d.reject();
    });
    // The environment still wins, then the keyring, then the file.
    ::setenv("JQUANTS_API_KEY", "env-key", 1);
    EXPECT_EQ(marketdata::ApiKey::read(&place), "env-key");
    EXPECT_EQ(place, marketdata::ApiKey::Place::Environment);
    ::unsetenv("JQUANTS_API_KEY");
    m_keyring->running = true;
    m_keyring->stored = "ring-key";
    EXPECT_EQ(marketdata::ApiKey::read(&place), "ring-key");
    EXPECT_EQ(place, marketdata::ApiKey::Place::Keyring);
}

TEST_F(Settings, AFolderThatCannotFetchOpensTheSettingsWithItsReason)
{
    createDatabase(core::Schema::UrlRow{});
    std::string reason;
    m_module->CloseDatabase();
    m_window = std::make_unique<ui::Frm_zuvemo>(*m_module, m_clock, m_fake, m_opener);
    m_window->setSettingsRunner([&](ui::Frm_DataSettings& d) {
        reason = d.findChild<QLabel*>(QStringLiteral("Label_reason"))->text().toStdString();
    });
    ASSERT_TRUE(m_window->load());
    m_window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !reason.empty(); }, 5000));
    EXPECT_EQ(reason, ui::DataSettingsModel::kNoAddressReason);
    EXPECT_EQ(m_window->model().label1, ui::DataSettingsModel::kNoAddressReason);
    EXPECT_TRUE(m_messages.recorder().boxes.empty());

    // A J-Quants folder without a key; with one, the window opens as usual and its date says
    // how late the plan's data is.
    m_window.reset();
    m_module->CloseDatabase();
    ASSERT_TRUE(m_module->OpenDatabase());
    marketdata::DataSource source;
    source.kind = marketdata::DataSource::kJQuants;
    marketdata::DataSource::write(db(), source);
    db().execute("UPDATE Table_Url SET kabuHdate = '20260911'");
    reason.clear();
    m_window = std::make_unique<ui::Frm_zuvemo>(*m_module, m_clock, m_fake, m_opener);
    m_window->setSettingsRunner([&](ui::Frm_DataSettings& d) {
        reason = d.findChild<QLabel*>(QStringLiteral("Label_reason"))->text().toStdString();
    });
    m_module->CloseDatabase();
    ASSERT_TRUE(m_window->load());
    m_window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !reason.empty(); }, 5000));
    EXPECT_EQ(reason, ui::DataSettingsModel::kNoKeyReason);
    EXPECT_EQ(m_window->findChild<QLabel*>(QStringLiteral("Label2"))->text(), "2026-09-11 状況（12 週遅れ）");

    m_window.reset();
    m_keyring->stored = "sample-key";
    reason.clear();
    m_window = std::make_unique<ui::Frm_zuvemo>(*m_module, m_clock, m_fake, m_opener);
    m_window->setSettingsRunner([&](ui::Frm_DataSettings&) { reason = "opened"; });
    m_module->CloseDatabase();
    ASSERT_TRUE(m_window->load());
    m_window->show();
    QTest::qWait(50);
    EXPECT_EQ(reason, "");
    // The whole caption fits its label.
    auto* label2 = m_window->findChild<QLabel*>(QStringLiteral("Label2"));
    EXPECT_LE(QFontMetrics(label2->font()).horizontalAdvance(label2->text()), label2->contentsRect().width());
}

TEST_F(Settings, TheBoxShowsAJQuantsSourceAsStoredWhateverItsPlanAndOkKeepsIt)
{
    // A plan other than the list's first: setting the plan's list must not read the other
    // boxes before they hold the folder's values.
    jquantsFolder("light", 60);
    auto& w = open();
    w.model().fill().stop(true);
    settings([&](ui::Frm_DataSettings& d) {
        EXPECT_TRUE(d.choiceButton(Choice::JQuants)->isChecked());
        EXPECT_EQ(d.planBox()->currentData().toString(), "light");
        EXPECT_EQ(d.daysBox()->value(), 60);
        EXPECT_EQ(d.apiUrlBox()->text().toStdString(), m_open->apiBaseUrl());
        EXPECT_TRUE(d.dailyBox()->text().isEmpty());
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        EXPECT_EQ(d.result(), QDialog::Accepted);
    });
    const auto source = marketdata::DataSource::read(db());
    EXPECT_TRUE(source.isJQuants());
    EXPECT_EQ(source.plan, "light");
    EXPECT_EQ(source.days, 60);
    EXPECT_EQ(source.apiUrl, m_open->apiBaseUrl());
    EXPECT_EQ(w.model().label1, ui::MainWindowModel::kSettingsSaved);
}

TEST_F(Settings, AFillRunsInTheBackgroundWhileTheWindowStaysUsable)
{
    jquantsFolder("premium", 40);
    auto& w = open();
    auto* kensaku = w.findChild<QPushButton*>(QStringLiteral("Command_kensaku"));
    auto* stop = w.findChild<QPushButton*>(QStringLiteral("Cancel"));
    QTest::mouseClick(kensaku, Qt::LeftButton);
    EXPECT_TRUE(w.model().fill().running());
    // The click has returned at once: the window takes input while the fetch runs.
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(kensaku->isEnabled());
    EXPECT_FALSE(w.findChild<QPushButton*>(QStringLiteral("Command_settei"))->isEnabled());
    EXPECT_TRUE(stop->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.model().fill().running(); }, 20000));
    EXPECT_EQ(w.model().label1, ui::FillSession::kDone);
    // The box says what the fill stored, in the units its line counted, and the list's day.
    const auto held = marketdata::PriceStore(m_dir.path()).contents("2026-12-08");
    EXPECT_EQ(m_finished,
        std::vector<std::string>{ui::FillSession::completeMessage(
            ui::FillSession::storedLine(40, held.filingDays, held.filings, held.valuationDay), "2026-12-08",
            true)});
    EXPECT_EQ(m_finished.front().rfind("終了しました\n40 日分の株価、", 0), 0u) << m_finished.front();
    EXPECT_TRUE(w.model().fill().line().empty());
    EXPECT_TRUE(w.findChild<QLabel*>(QStringLiteral("Label_fill"))->text().isEmpty());
    EXPECT_EQ(count("SELECT * FROM Table_Code"), 12);
    EXPECT_EQ(scalar("SELECT kabuHdate FROM Table_Url"), "20261208");
    EXPECT_TRUE(kensaku->isEnabled());
    EXPECT_FALSE(stop->isVisible());
    marketdata::PriceStore store(m_dir.path());
    EXPECT_EQ(store.storedDays().size(), 41u);
    EXPECT_FALSE(store.fillPending());
    // The day's price figures were worked out on the fill's thread, for the first search.
    EXPECT_TRUE(store.keptPriceFigures("2026-12-08"));
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("Label2"))->text(), "2026-12-08 状況");
}

TEST_F(Settings, AStoppedFillScreensWithTheDaysStoredAndGoesOnAtTheNextStart)
{
    // The Free plan's pace, its minute counted as 20 s: a request every 4 s, each gap a wait
    // long enough for the line to show.
    struct Pace
    {
        Pace() { ::setenv("ZUVEMO_PACE_WINDOW_MS", "20000", 1); }
        ~Pace() { ::setenv("ZUVEMO_PACE_WINDOW_MS", "600", 1); }
    } pace;
    jquantsFolder("free", 30);
    auto& w = open();
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Command_kensaku")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count("SELECT * FROM Table_Code") == 12; }, 20000));
    // Between two requests the fill's line says the fill waits, and for how long.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.model().fill().line().rfind("API の回数制限で待っています（あと ", 0) == 0; }, 20000))
        << w.model().fill().line();
    EXPECT_EQ(w.model().fill().line().substr(w.model().fill().line().size() - std::string(" 秒）").size()),
        " 秒）");
    EXPECT_TRUE(w.model().fill().running());
    // Under the message line, which it leaves to the commands; both readable.
    auto* label1 = w.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* fillLabel = w.findChild<QLabel*>(QStringLiteral("Label_fill"));
    EXPECT_FALSE(label1->geometry().intersects(fillLabel->geometry()));
    EXPECT_GE(fillLabel->geometry().top(), label1->geometry().bottom());
    for (auto* other : w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != fillLabel && other->isVisible()) {
            EXPECT_FALSE(other->geometry().intersects(fillLabel->geometry()))
                << other->objectName().toStdString();
        }
    }

    // The screening uses what is stored, and says so.
    auto* combo = w.findChild<QComboBox*>(QStringLiteral("Combo2"));
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    auto* mok = w.findChild<QPushButton*>(QStringLiteral("Command_mok"));
    ASSERT_TRUE(mok->isVisible());
    QTest::mouseClick(mok, Qt::LeftButton);
    const std::string note = w.model().label1;
    EXPECT_NE(note.find("日分で検査しました（履歴取得中）。"), std::string::npos) << note;
    EXPECT_TRUE(w.model().fill().running());
    // The note stays while the fill goes on, and the fill's line keeps moving under it: a day
    // stored, or a wait's seconds counting down.
    const std::string progressBefore = w.model().fill().line();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.model().fill().line() != progressBefore; }, 6000))
        << progressBefore;
    EXPECT_EQ(w.model().label1, note);
    EXPECT_EQ(label1->text().toStdString(), note);
    EXPECT_EQ(fillLabel->text().toStdString(), w.model().fill().line());
    // The focus was on the list; "中 止" stops the fill and leaves it there, not on "終 了".
    w.stockGrid()->setFocus();

    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Cancel")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.model().fill().running(); }, 5000));
    EXPECT_EQ(w.model().label1, ui::MainWindowModel::kStopped);
    EXPECT_EQ(w.focusWidget(), w.stockGrid());
    EXPECT_TRUE(w.model().fill().line().empty());
    EXPECT_TRUE(marketdata::PriceStore(m_dir.path()).fillPending());
    const auto stored = marketdata::PriceStore(m_dir.path()).storedDays().size();
    EXPECT_LT(stored, 31u);

    // The window closes at once, and the next start goes on where the fill stopped.
    const auto before = steady_clock::now();
    w.close();
    EXPECT_LT(steady_clock::now() - before, seconds(3));
    m_window.reset();
    m_module->CloseDatabase();
    ASSERT_TRUE(m_module->OpenDatabase());
    auto& again = open();
    EXPECT_TRUE(again.model().fill().running());
    EXPECT_EQ(again.model().fill().line(), ui::FillSession::kResumed);
    const auto closing = steady_clock::now();
    again.close();
    EXPECT_LT(steady_clock::now() - closing, seconds(3));
    EXPECT_TRUE(marketdata::PriceStore(m_dir.path()).fillPending());
    ASSERT_TRUE(m_module->OpenDatabase());
    EXPECT_EQ(count("SELECT * FROM Table_Code"), 12);

    // On a faster plan the resumed fill ends: its box says the history is complete, and comes
    // without "中 止".
    auto source = marketdata::DataSource::read(db());
    source.plan = "premium";
    marketdata::DataSource::write(db(), source);
    m_window.reset();
    auto& last = open();
    bool stopShown = true;
    QString lineBehind;
    m_window->setFinishedBox([&](const std::string& t) {
        m_finished.push_back(t);
        stopShown = last.findChild<QPushButton*>(QStringLiteral("Cancel"))->isVisible();
        lineBehind = last.findChild<QLabel*>(QStringLiteral("Label1"))->text();
    });
    m_finished.clear();
    m_messages.recorder().boxes.clear();
    // The disclosures and the results' dates both at the disclosures' own 60 a (20 s) minute.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !last.model().fill().running(); }, 40000));
    ASSERT_EQ(m_finished.size(), 1u);
    EXPECT_EQ(m_finished.front().rfind("履歴取得が終わりました。\n30 日分の株価、", 0), 0u)
        << m_finished.front();
    EXPECT_NE(m_finished.front().find("\n銘柄一覧は 2026-12-08 のものです。"), std::string::npos);
    EXPECT_FALSE(stopShown);
    EXPECT_EQ(lineBehind, QString::fromUtf8(ui::FillSession::kDone));
    EXPECT_EQ(last.model().label1, ui::FillSession::kDone);
    for (const auto& box : m_messages.recorder().boxes) {
        ADD_FAILURE() << box.text;
    }
    EXPECT_FALSE(marketdata::PriceStore(m_dir.path()).fillPending());
}
