#include "TestSupport.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Schema.h"
#include "core/ValueRules.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zuvemo;
using zuvemo::test::TempFolder;

namespace {

std::filesystem::path makeDatabase(const TempFolder& dir)
{
    auto path = dir / "zuvemo.db";
    core::Schema::UrlRow url{"http://127.0.0.1:1/d/", "http://127.0.0.1:1/h/", ".csv", "20240105"};
    core::Schema::createDatabaseFile(path, url, core::Schema::Bounds{0.9, 1.2});
    return path;
}

core::Mdl_Start openModule(const TempFolder& dir)
{
    core::Mdl_Start m(dir.path());
    m.DatabasePath = makeDatabase(dir);
    EXPECT_TRUE(m.OpenDatabase());
    return m;
}

} // namespace

TEST(Database, CreatedFileHoldsTablesAndRows)
{
    TempFolder dir;
    auto m = openModule(dir);
    m.SqlBuffer = " SELECT * FROM Table_Url";
    auto& url = m.OpenShared();
    ASSERT_EQ(url.recordCount(), 1);
    EXPECT_EQ(url.field("kabuHUrl").toText(), "http://127.0.0.1:1/d/");
    EXPECT_EQ(url.field("KABUMURL").toText(), "http://127.0.0.1:1/h/");
    EXPECT_EQ(url.field("kabuSi").toText(), ".csv");
    EXPECT_EQ(url.field("kabuHdate").toText(), "20240105");
    m.SqlBuffer = " SELECT * FROM Table_hantei";
    auto& hantei = m.OpenShared();
    EXPECT_DOUBLE_EQ(hantei.field("CFGb3").toDouble(), 0.9);
    EXPECT_DOUBLE_EQ(hantei.field("CFGb4").toDouble(), 1.2);
    EXPECT_THROW(hantei.field("NoSuchColumn"), core::DatabaseError);
}

TEST(Database, RecordsetSavesRowsByKeyAndReadsNumbersAsDigits)
{
    TempFolder dir;
    auto m = openModule(dir);
    auto& c = *m.SharedConnection;
    c.execute("INSERT INTO WorkTemp(Whi , Wst, Wup, Wdn, Wen, Wdk, Wbb, Wcount) VALUES "
              "('2024-01-05',1,2,3,1102.5,5,6,1)");
    c.execute("INSERT INTO WorkTemp(Whi , Wst, Wup, Wdn, Wen, Wdk, Wbb, Wcount) VALUES "
              "('2024-01-04',1,2,3,12345,5,6,2)");
    auto rs = c.openRecordset(
        " SELECT whi,Wen,Wcount,Wpatai,Whatai FROM WorkTemp WHERE Wcount<=250 ORDER BY Wcount DESC");
    ASSERT_TRUE(rs->updatable());
    ASSERT_EQ(rs->recordCount(), 2);
    EXPECT_EQ(rs->field("Whi").toText(), "2024-01-04");
    EXPECT_EQ(rs->field("wen").toText(), "12345");
    EXPECT_TRUE(rs->field("Wpatai").isNull());
    rs->setField("Wpatai", core::Value(0.25));
    rs->setField("Whatai", core::Value("売"));
    rs->update();
    rs->moveNext();
    EXPECT_EQ(rs->field("Wen").toText(), "1102.5");
    rs->setField("Wpatai", core::Value(-1.5));
    rs->update();
    rs->moveNext();
    EXPECT_TRUE(rs->isEof());
    EXPECT_THROW(rs->field("Wen"), core::DatabaseError);

    auto check = c.openRecordset(" SELECT * FROM WorkTemp ORDER BY Whi");
    EXPECT_EQ(check->field("Wpatai").toText(), "0.25");
    EXPECT_EQ(check->field("Whatai").toText(), "売");
    check->moveNext();
    EXPECT_EQ(check->field("Wpatai").toText(), "-1.5");
    EXPECT_TRUE(check->field("Whatai").isNull());
}

TEST(Database, GroupedQueriesAreReadOnlyAndTextOrderIgnoresCase)
{
    TempFolder dir;
    auto m = openModule(dir);
    auto& c = *m.SharedConnection;
    c.execute("INSERT INTO WorkKocyu(Wmgcode,Wmgmei) VALUES ('b1','x')");
    c.execute("INSERT INTO WorkKocyu(Wmgcode,Wmgmei) VALUES ('A2','y')");
    c.execute("INSERT INTO WorkKocyu(Wmgcode,Wmgmei) VALUES ('a1','z')");
    auto rs = c.openRecordset("SELECT Wmgcode as code FROM WorkKocyu GROUP BY Wmgcode ORDER BY Wmgcode");
    EXPECT_FALSE(rs->updatable());
    std::vector<std::string> order;
    for (; !rs->isEof(); rs->moveNext()) {
        order.push_back(rs->field("CODE").toText());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"a1", "A2", "b1"}));
    rs = c.openRecordset("SELECT Wmgcode as code FROM WorkKocyu GROUP BY Wmgcode");
    EXPECT_THROW(rs->setField("code", core::Value("q")), core::DatabaseError);
    EXPECT_EQ(c.openRecordset(" SELECT * FROM WorkKocyu WHERE Wmgcode='B1'")->recordCount(), 1);
}

TEST(Database, OneStatementPerTextAndSpliceHelperKeepsQuotes)
{
    TempFolder dir;
    auto m = openModule(dir);
    auto& c = *m.SharedConnection;
    std::string name = "O'Neil'; DELETE FROM Table_Url; --";
    c.execute(" INSERT INTO WorkKocyu( Wmgcode,Wmgmei) VALUES ( '1301', '" + core::SqlText(name) + "')");
    auto rs = c.openRecordset(" SELECT * FROM WorkKocyu WHERE Wmgmei='" + core::SqlText(name) + "'");
    ASSERT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(rs->field("Wmgmei").toText(), name);
    EXPECT_THROW(c.execute("DELETE FROM WorkKocyu; DELETE FROM Table_Url"), core::DatabaseError);
    EXPECT_EQ(c.openRecordset(" SELECT * FROM Table_Url")->recordCount(), 1);
}

TEST(Database, BadFilesAreRefusedWithoutChangingThem)
{
    TempFolder dir;
    core::Mdl_Start m(dir.path());
    EXPECT_FALSE(m.OpenDatabase()); // no path yet

    m.DatabasePath = dir / "missing.db";
    EXPECT_FALSE(m.OpenDatabase());
    EXPECT_FALSE(std::filesystem::exists(m.DatabasePath));

    std::string garbage;
    for (int i = 0; i < 8192; ++i) {
        garbage.push_back(static_cast<char>((i * 7919 + 13) % 251));
    }
    m.DatabasePath = dir / "garbage.db";
    test::writeFile(m.DatabasePath, garbage);
    EXPECT_FALSE(m.OpenDatabase());
    EXPECT_EQ(test::readFile(m.DatabasePath), garbage);
    EXPECT_FALSE(m.SharedConnection);
}

TEST(Database, ReadOnlyFileIsRefused)
{
    TempFolder dir;
    auto path = makeDatabase(dir);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all, std::filesystem::perm_options::add);
    std::filesystem::permissions(path,
        std::filesystem::perms::owner_read | std::filesystem::perms::group_read
            | std::filesystem::perms::others_read);
    // Root writes through file permissions: check as an ordinary user in a child process.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        core::Mdl_Start m(dir.path());
        m.DatabasePath = path;
        _exit(m.OpenDatabase() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) {
        GTEST_SKIP() << "cannot drop privileges here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Database, LockHeldPastTheTimeOutIsRefused)
{
    TempFolder dir;
    auto path = makeDatabase(dir);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
        SQLITE_OK);
    core::Mdl_Start m(dir.path());
    m.DatabasePath = path;
    m.setBusyTimeoutMs(200);
    EXPECT_FALSE(m.OpenDatabase());
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(m.OpenDatabase());
}

TEST(Database, TwoConnectionsShareTheFile)
{
    TempFolder dir;
    auto m = openModule(dir);
    core::Mdl_Start launcher(dir.path());
    launcher.DatabasePath = m.DatabasePath;
    ASSERT_TRUE(launcher.OpenDatabase());
    launcher.SharedConnection->execute(
        "INSERT INTO Table_User(UserKeyA,UsernameA,PassWordA,StartdateA,UpdatedateA) VALUES "
        "(1,'u','p','20240105',' ')");
    m.SqlBuffer = " SELECT * FROM Table_User WHERE UserKeyA=1";
    EXPECT_EQ(m.OpenShared().recordCount(), 1);
    EXPECT_EQ(m.SharedRecordset->field("UpdatedateA").toText(), " ");
}

TEST(ShowMessage, BothFormsOfTheText)
{
    test::PresenterScope scope;
    core::ClearErr();
    core::ShowMessage("取得するURLが見当たりません。");
    core::ShowMessage("");
    core::SetErr(-2147467259, "接続エラー");
    core::ShowMessage("");
    auto& boxes = scope.recorder().boxes;
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].title, "初期設定判定");
    EXPECT_EQ(boxes[0].text, "取得するURLが見当たりません。");
    EXPECT_EQ(boxes[1].title, "判定");
    EXPECT_EQ(boxes[1].text, "(ｴﾗｰ番号:0)\t\r");
    EXPECT_EQ(boxes[2].text, "(ｴﾗｰ番号:-2147467259)\t\r接続エラー");

    // A refused statement: its number, the Japanese text a user can act on, and neither the
    // engine's English nor the statement.
    core::SetErr(core::DatabaseError(SQLITE_BUSY, "database is locked [ INSERT INTO WorkKocyu( …)]"));
    core::ShowMessage("");
    EXPECT_EQ(boxes[3].text,
        "(ｴﾗｰ番号:5)\t\rデータベースは他のプログラムが使用中です。しばらくしてからやり直してください。");
    std::set<std::string> texts;
    for (int code : {SQLITE_BUSY, SQLITE_READONLY, SQLITE_FULL, SQLITE_IOERR_WRITE, SQLITE_CORRUPT,
             SQLITE_NOTADB, SQLITE_CANTOPEN, SQLITE_ERROR}) {
        const auto text = core::DatabaseError::userText(code);
        EXPECT_EQ(text.find_first_of("abcdefghijklmnopqrstuvwxyz["), std::string::npos) << text;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 8u);
    EXPECT_EQ(
        core::DatabaseError::userText(SQLITE_BUSY_SNAPSHOT), core::DatabaseError::userText(SQLITE_BUSY));
}

TEST(Database, AWaitForAnotherProgramsLockEndsInTimeAndLetsTheCallerWork)
{
    TempFolder dir;
    auto path = makeDatabase(dir);
    core::Mdl_Start m(dir.path());
    m.DatabasePath = path;
    int calls = 0;
    m.setBusyWait(300, [&] { ++calls; });
    ASSERT_TRUE(m.OpenDatabase());
    auto other = core::Connection::open(path);
    other->execute("BEGIN IMMEDIATE");
    const auto start = std::chrono::steady_clock::now();
    try {
        m.SharedConnection->execute(" UPDATE Table_User SET StartdateA='y'");
        FAIL() << "wrote beside another writer";
    } catch (const core::DatabaseError& e) {
        EXPECT_EQ(e.code() & 0xff, SQLITE_BUSY);
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(280));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
    EXPECT_GE(calls, 5);
    other->execute("ROLLBACK");
    m.SharedConnection->execute(" UPDATE Table_User SET StartdateA='y'");
}
