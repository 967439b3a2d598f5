#include "TestSupport.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"

#include <gtest/gtest.h>

using namespace zuvemo;
using zuvemo::test::TempFolder;

namespace {

std::string cli()
{
    return (test::binFolder() / "zuvemo-cli").string();
}

} // namespace

TEST(CliInit, CreatesFolderConfigAndDatabase)
{
    TempFolder dir;
    auto home = dir / "x";
    std::string cmd = cli() + " --home " + home.string()
        + " init --daily-url http://127.0.0.1:1/d/ --history-url http://127.0.0.1:1/h/ --bounds 0.9 1.2 2>&1";
    std::string out;
    ASSERT_EQ(test::runCommand(cmd, &out), 0) << out;
    EXPECT_EQ(test::readFile(home / "qen_kanrFile.dsa"), "[DataBase1]=zuvemo.db\r\n");
    // Nothing of the new database's making is left beside it.
    for (const auto& e : std::filesystem::directory_iterator(home)) {
        EXPECT_EQ(e.path().filename().string().find(".new"), std::string::npos) << e.path();
    }

    core::Mdl_Start m(home);
    ASSERT_TRUE(m.ReadConfigFile());
    ASSERT_TRUE(m.OpenDatabase());
    auto tables = m.SharedConnection->openRecordset(
        "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
    std::vector<std::string> names;
    for (; !tables->isEof(); tables->moveNext()) {
        names.push_back(tables->field("name").toText());
    }
    EXPECT_EQ(names,
        (std::vector<std::string>{"Table_Code", "Table_KOCYU", "Table_Url", "Table_User", "Table_hantei",
            "WorkKocyu", "WorkTemp"}));
    auto url = m.SharedConnection->openRecordset(" SELECT * FROM Table_Url");
    EXPECT_EQ(url->field("kabuHdate").toText(), " ");
    EXPECT_EQ(url->field("kabuSi").toText(), ".csv");
    EXPECT_EQ(
        m.SharedConnection->openRecordset(" SELECT * FROM Table_hantei")->field("CFGb4").toText(), "1.2");
    m.CloseDatabase();

    // A second init is refused and changes nothing.
    std::string bytes = test::readFile(home / "zuvemo.db");
    EXPECT_EQ(test::runCommand(cmd, &out), 2);
    EXPECT_NE(out.find("exists"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(test::readFile(home / "zuvemo.db"), bytes);
    // The chart template came along, so the new folder can export.
    EXPECT_EQ(test::readFile(home / "雛型EXCEL.xltx"), test::readFile(test::binFolder() / "雛型EXCEL.xltx"));

    // A folder whose database is elsewhere keeps its configuration file: init would switch it
    // to a new empty database.
    std::filesystem::remove(home / "zuvemo.db");
    test::writeFile(home / "qen_kanrFile.dsa", "[DataBase1]=data/real.db\r\n");
    EXPECT_EQ(test::runCommand(cmd, &out), 2);
    EXPECT_NE(out.find("qen_kanrFile.dsa exists"), std::string::npos) << out;
    EXPECT_EQ(test::readFile(home / "qen_kanrFile.dsa"), "[DataBase1]=data/real.db\r\n");
    EXPECT_FALSE(std::filesystem::exists(home / "zuvemo.db"));

    // --force replaces it whole, with the new settings.
    ASSERT_EQ(test::runCommand(cli() + " --home " + home.string()
                      + " init --daily-url http://a/ --history-url http://b/ --suffix .txt"
                        " --trading-date 20240105 --force 2>&1",
                  &out),
        0)
        << out;
    auto c = core::Connection::open(home / "zuvemo.db");
    auto url2 = c->openRecordset(" SELECT * FROM Table_Url");
    EXPECT_EQ(url2->field("kabuHUrl").toText(), "http://a/");
    EXPECT_EQ(url2->field("kabuHdate").toText(), "20240105");
    EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_hantei")->recordCount(), 0);
}

TEST(CliInit, UsageErrorsAreOneLine)
{
    TempFolder dir;
    for (const std::string args :
        {"init --daily-url http://a/", "init --daily-url http://a/ --history-url http://b/ --bounds 1",
            "init --daily-url a --history-url b --trading-date 2024", "frobnicate", ""}) {
        std::string out;
        int rc = test::runCommand(cli() + " --home " + (dir / "y").string() + " " + args + " 2>&1", &out);
        EXPECT_NE(rc, 0) << args;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << args << ": " << out;
        EXPECT_FALSE(std::filesystem::exists(dir / "y" / "zuvemo.db")) << args;
    }
}
