#include "ModuleFixture.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/PasswordHash.h"
#include "core/ProgramFolder.h"
#include "core/SingleInstance.h"
#include "model/LauncherModel.h"
#include "model/LoginModel.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace zuvemo;
using namespace std::chrono;
using ui::LauncherModel;
using ui::LoginModel;

namespace {

class Startup : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        test::ModuleFixture::SetUp();
        m_module->CloseDatabase();
    }
    std::vector<std::string> messages()
    {
        std::vector<std::string> out;
        for (const auto& b : m_messages.recorder().boxes) {
            out.push_back(b.text);
        }
        m_messages.recorder().boxes.clear();
        return out;
    }
    void userRow(const std::string& name, const std::string& password)
    {
        m_module->OpenDatabase();
        db().execute("INSERT INTO Table_User(UserKeyA,UsernameA,PassWordA,StartdateA,UpdatedateA) VALUES (1,'"
            + name + "','" + password + "','20240101',' ')");
        m_module->CloseDatabase();
    }
    core::FixedClock m_clock{year_month_day{2024y, January, 9d}};
};

} // namespace

TEST_F(Startup, LoginStartFailures)
{
    LoginModel login(*m_module);
    EXPECT_FALSE(login.Form_Load(true));
    EXPECT_EQ(messages(), (std::vector<std::string>{"既に画面が開かれています。無視します。"}));

    // No user row.
    EXPECT_FALSE(login.Form_Load(false));
    EXPECT_EQ(messages(), (std::vector<std::string>{"起動できません。"}));
    EXPECT_FALSE(m_module->SharedConnection);

    std::filesystem::rename(m_dir / "zuvemo.db", m_dir / "kept.db");
    core::Mdl_Start fresh(m_dir.path());
    LoginModel noDb(fresh);
    EXPECT_FALSE(noDb.Form_Load(false));
    EXPECT_EQ(
        messages(), (std::vector<std::string>{core::Mdl_Start::FileMissingMessage(m_dir / "zuvemo.db")}));

    test::writeFile(m_dir / "zuvemo.db", std::string(3000, 'x'));
    core::Mdl_Start garbage(m_dir.path());
    LoginModel refused(garbage);
    EXPECT_FALSE(refused.Form_Load(false));
    EXPECT_EQ(messages(),
        (std::vector<std::string>{core::Mdl_Start::ConnectionRefusedMessage(m_dir / "zuvemo.db")}));

    test::writeFile(m_dir / "qen_kanrFile.dsa", "# no key\r\n");
    core::Mdl_Start noKey(m_dir.path());
    LoginModel empty(noKey);
    EXPECT_FALSE(empty.Form_Load(false));
    EXPECT_EQ(messages(),
        (std::vector<std::string>{"ファイル()が見当たりません。\r\n管理元にお問い合わせください"}));

    std::filesystem::remove(m_dir / "qen_kanrFile.dsa");
    core::Mdl_Start noConfig(m_dir.path());
    LoginModel none(noConfig);
    EXPECT_FALSE(none.Form_Load(false));
    EXPECT_EQ(messages(),
        (std::vector<std::string>{core::Mdl_Start::FileMissingMessage(m_dir / "qen_kanrFile.dsa")}));
}

TEST_F(Startup, LoginComparisonRules)
{
    auto hashed = core::PasswordHash::hash("secret");
    ASSERT_TRUE(hashed);
    userRow("Taro", *hashed);
    LoginModel login(*m_module);
    ASSERT_TRUE(login.Form_Load(false));
    EXPECT_EQ(login.Command1_Click("   ", "x"), LoginModel::Result::Stay);
    EXPECT_EQ(login.Command1_Click("taro", "secret"), LoginModel::Result::Stay);
    EXPECT_EQ(login.Command1_Click("Jiro", "wrong"), LoginModel::Result::Stay);
    EXPECT_EQ(login.Command1_Click("Taro", "Secret"), LoginModel::Result::Stay);
    EXPECT_EQ(messages(),
        (std::vector<std::string>{"ユーザー名が未入力です。", "ユーザー名が違います。",
            "ユーザー名が違います。", "パスワードが違います。"}));
    EXPECT_EQ(login.Command1_Click("  Taro  ", "  secret "), LoginModel::Result::SignedIn);
    EXPECT_TRUE(messages().empty());
    EXPECT_FALSE(m_module->SharedConnection);
}

TEST_F(Startup, ClearTextPasswordOfAnOlderDatabaseIsReplacedByItsHash)
{
    userRow("Taro", "pass");
    LoginModel login(*m_module);
    ASSERT_TRUE(login.Form_Load(false));
    EXPECT_EQ(login.Command1_Click("Taro", "pass"), LoginModel::Result::SignedIn);
    m_module->OpenDatabase();
    std::string stored = scalar(" SELECT PassWordA FROM Table_User");
    EXPECT_TRUE(core::PasswordHash::isHash(stored));
    EXPECT_TRUE(core::PasswordHash::verify(stored, "pass"));
    m_module->CloseDatabase();
    ASSERT_TRUE(login.Form_Load(false));
    EXPECT_EQ(login.Command1_Click("Taro", "pass"), LoginModel::Result::SignedIn);
}

TEST_F(Startup, EmptyPasswordMatchesAnEmptyOrNullStoredOne)
{
    m_module->OpenDatabase();
    db().execute("INSERT INTO Table_User(UserKeyA,UsernameA) VALUES (1,'Taro')");
    m_module->CloseDatabase();
    LoginModel login(*m_module);
    ASSERT_TRUE(login.Form_Load(false));
    EXPECT_EQ(login.Command1_Click("Taro", ""), LoginModel::Result::SignedIn);
}

TEST_F(Startup, LauncherFirstUseStoresNoClearText)
{
    LauncherModel launcher(*m_module, m_clock);
    ASSERT_EQ(launcher.Form_Load(false), LauncherModel::Start::ShowForm);
    struct Case
    {
        const char* user;
        const char* p1;
        const char* p2;
        const char* message;
    };
    for (const Case& c : {Case{"   ", "a", "a", "ユーザー名が入力されていません。"},
             Case{"u", "  ", "  ", "パスワードが入力されていません。"},
             Case{"u", "abc", "abc ", "パスワードが違います。"},
             Case{"u", "abc", "ABC", "パスワードが違います。"}}) {
        launcher.text1 = {c.user, c.p1, c.p2};
        EXPECT_FALSE(launcher.Command1_Click());
        EXPECT_EQ(messages(), (std::vector<std::string>{c.message}));
    }
    launcher.text1 = {" O'Neil ", " pa'ss ", " pa'ss "};
    EXPECT_TRUE(launcher.Command1_Click());
    EXPECT_FALSE(m_module->SharedConnection);
    m_module->OpenDatabase();
    auto rs = db().openRecordset(" SELECT * FROM Table_User WHERE UserKeyA=1");
    EXPECT_EQ(rs->field("UsernameA").toText(), "O'Neil");
    std::string stored = rs->field("PassWordA").toText();
    EXPECT_EQ(stored.find("pa'ss"), std::string::npos);
    EXPECT_TRUE(core::PasswordHash::verify(stored, "pa'ss"));
    EXPECT_EQ(rs->field("StartdateA").toText(), "20240109");
    EXPECT_EQ(rs->field("UpdatedateA").toText(), " ");
    rs.reset();
    m_module->CloseDatabase();

    // The next start goes straight to the main program, and the login accepts the pair.
    EXPECT_EQ(launcher.Form_Load(false), LauncherModel::Start::StartMain);
    LoginModel login(*m_module);
    ASSERT_TRUE(login.Form_Load(false));
    EXPECT_EQ(login.Command1_Click("O'Neil", "pa'ss"), LoginModel::Result::SignedIn);
}

TEST_F(Startup, LauncherStartFailuresNameTheSupplier)
{
    LauncherModel launcher(*m_module, m_clock);
    EXPECT_EQ(launcher.Form_Load(true), LauncherModel::Start::End);
    EXPECT_EQ(messages(), (std::vector<std::string>{"既に画面が開かれています。無視します。"}));
    std::filesystem::remove(m_dir / "zuvemo.db");
    EXPECT_EQ(launcher.Form_Load(false), LauncherModel::Start::End);
    EXPECT_EQ(messages(),
        (std::vector<std::string>{"ファイル(" + (m_dir / "zuvemo.db").string()
            + ")が見当たりません。\r\n提供元にお問い合わせください"}));
    test::writeFile(m_dir / "zuvemo.db", "not a database at all, not at all, no.");
    EXPECT_EQ(launcher.Form_Load(false), LauncherModel::Start::End);
    EXPECT_EQ(messages(),
        (std::vector<std::string>{"データベースファイル(" + (m_dir / "zuvemo.db").string()
            + ")が接続を拒否している。\r\n提供元にお問い合わせください"}));
}

TEST(SingleInstance, SecondCopyIsRefusedAndACrashedCopyDoesNotBlock)
{
    core::SingleInstance first("zuvemo-test-lock");
    ASSERT_TRUE(first.acquire());
    core::SingleInstance second("zuvemo-test-lock");
    EXPECT_FALSE(second.acquire());
    first.release();
    EXPECT_TRUE(second.acquire());
    second.release();

    int pipeFd[2];
    ASSERT_EQ(pipe(pipeFd), 0);
    pid_t pid = fork();
    if (pid == 0) {
        core::SingleInstance child("zuvemo-test-lock");
        char ok = child.acquire() ? '1' : '0';
        (void)!write(pipeFd[1], &ok, 1);
        pause();
        _exit(0);
    }
    char got = 0;
    ASSERT_EQ(read(pipeFd[0], &got, 1), 1);
    EXPECT_EQ(got, '1');
    core::SingleInstance parent("zuvemo-test-lock");
    EXPECT_FALSE(parent.acquire());
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(parent.acquire());
    close(pipeFd[0]);
    close(pipeFd[1]);
}

TEST(SingleInstance, LockIsPerProgramFolder)
{
    test::TempFolder a, b;
    core::SingleInstance first("zuvemo-test-folder-lock", a.path());
    ASSERT_TRUE(first.acquire());
    core::SingleInstance sameFolder("zuvemo-test-folder-lock", a.path());
    EXPECT_FALSE(sameFolder.acquire());
    core::SingleInstance otherFolder("zuvemo-test-folder-lock", b.path());
    EXPECT_TRUE(otherFolder.acquire());
}

TEST(ProgramFolder, DevelopmentAndCopiedFoldersKeepTheirDataBesideThePrograms)
{
    test::TempFolder root;
    const auto templateName = std::string(core::ProgramFolder::kTemplateName);
    core::ProgramFolder::Environment env{
        root / "bin", std::string((root / "xdg").string()), root.path().string()};
    std::filesystem::create_directories(env.executableFolder);

    // A folder with the template beside the programs, even in an installed-looking layout.
    test::writeFile(env.executableFolder / templateName, "template");
    std::filesystem::create_directories(root / "share" / "zuvemo");
    test::writeFile(root / "share" / "zuvemo" / templateName, "shared");
    EXPECT_EQ(core::ProgramFolder::prepare(env), env.executableFolder);
    EXPECT_FALSE(std::filesystem::exists(root / "xdg"));

    // A folder with its own configuration file and no template stays a program folder too.
    std::filesystem::remove(env.executableFolder / templateName);
    test::writeFile(env.executableFolder / core::Mdl_Start::kConfigFileName, "[DataBase1]=zuvemo.db\r\n");
    EXPECT_EQ(core::ProgramFolder::locate(env), env.executableFolder);
}

TEST(ProgramFolder, InstalledCopyUsesTheUserDataFolderWithTheTemplateCopiedIn)
{
    test::TempFolder root;
    const auto templateName = std::string(core::ProgramFolder::kTemplateName);
    core::ProgramFolder::Environment env{root / "usr" / "bin", std::nullopt, (root / "home").string()};
    std::filesystem::create_directories(env.executableFolder);
    std::filesystem::create_directories(root / "usr" / "share" / "zuvemo");
    test::writeFile(root / "usr" / "share" / "zuvemo" / templateName, "shared template");

    EXPECT_TRUE(core::ProgramFolder::isInstalledCopy(env.executableFolder));
    // The manual the splash links to, where the package puts it.
    EXPECT_EQ(core::ProgramFolder::findManual(env.executableFolder), std::nullopt);
    std::filesystem::create_directories(root / "usr" / "share" / "doc" / "zuvemo");
    test::writeFile(root / "usr" / "share" / "doc" / "zuvemo" / "README.md", "# Zuvemo");
    EXPECT_EQ(core::ProgramFolder::findManual(env.executableFolder),
        root / "usr" / "share" / "doc" / "zuvemo" / "README.md");
    const auto expected = root / "home" / ".local" / "share" / "zuvemo";
    EXPECT_EQ(core::ProgramFolder::prepare(env), expected);
    EXPECT_EQ(test::readFile(expected / templateName), "shared template");
    EXPECT_FALSE(std::filesystem::exists(expected / (templateName + ".new")));

    // The first start makes the folder whole, as init would without addresses.
    EXPECT_EQ(test::readFile(expected / "qen_kanrFile.dsa"), "[DataBase1]=zuvemo.db\r\n");
    {
        auto c = core::Connection::open(expected / "zuvemo.db");
        EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Url")->recordCount(), 1);
        EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Code")->recordCount(), 0);
        c->execute(" INSERT INTO Table_Code(MgCode) VALUES ('1301')");
    }

    // A template, a configuration and a database the user has there already are left as they are;
    // a database the configuration names but lacks is made.
    test::writeFile(expected / templateName, "user's own");
    test::writeFile(expected / "qen_kanrFile.dsa", "[DataBase1]=other.db\r\n");
    core::ProgramFolder::prepare(env);
    EXPECT_EQ(test::readFile(expected / templateName), "user's own");
    EXPECT_EQ(test::readFile(expected / "qen_kanrFile.dsa"), "[DataBase1]=other.db\r\n");
    EXPECT_EQ(core::Connection::open(expected / "zuvemo.db")
                  ->openRecordset(" SELECT * FROM Table_Code")
                  ->recordCount(),
        1);
    EXPECT_TRUE(std::filesystem::exists(expected / "other.db"));
    // Without completing (init makes its own files), nothing but the folder and the template.
    std::filesystem::remove_all(expected);
    core::ProgramFolder::prepare(env, false);
    EXPECT_FALSE(std::filesystem::exists(expected / "qen_kanrFile.dsa"));
    EXPECT_TRUE(std::filesystem::exists(expected / templateName));

    env.xdgDataHome = (root / "data").string();
    EXPECT_EQ(core::ProgramFolder::locate(env), root / "data" / "zuvemo");
    env.xdgDataHome = "relative/data"; // ignored, as the base directory rules say
    EXPECT_EQ(core::ProgramFolder::locate(env), expected);
}
