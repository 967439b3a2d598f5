#include "SampleServer.h"
#include "TestSupport.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Recordset.h"

#include <gtest/gtest.h>

using namespace zuvemo;
using test::TempFolder;

namespace {

std::string cli(const TempFolder& dir)
{
    return test::cliCommand(dir / "home");
}

} // namespace

TEST(CliRefresh, LoadsTheLatestTradingDayAndPrintsIt)
{
    sample::SampleServer::Options options;
    options.market.stocks = 200;
    options.market.days = 20;
    options.market.today = core::Clock().today();
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    TempFolder dir;
    std::string out;
    ASSERT_EQ(test::runCommand(cli(dir) + " init --daily-url " + server.dailyBaseUrl() + " --history-url "
                      + server.historyBaseUrl() + " 2>&1",
                  &out),
        0)
        << out;
    ASSERT_EQ(test::runCommand(cli(dir) + " refresh", &out), 0);
    std::string latest = core::Clock::dashed(std::chrono::year_month_day{server.market().latestTradingDay()});
    EXPECT_EQ(out, latest + "\n");
    auto c = core::Connection::open(dir / "home" / "zuvemo.db");
    EXPECT_EQ(c->openRecordset(" SELECT * FROM Table_Url")->field("kabuHdate").toText(),
        latest.substr(0, 4) + latest.substr(5, 2) + latest.substr(8, 2));
    EXPECT_GT(c->openRecordset(" SELECT * FROM Table_Code")->recordCount(), 150);
}

TEST(CliRefresh, FailuresPrintTheJapaneseMessage)
{
    TempFolder dir;
    std::string out;
    // No program folder at all: the configuration file is missing.
    EXPECT_EQ(test::runCommand(cli(dir) + " refresh 2>&1", &out), 1);
    EXPECT_NE(out.find("qen_kanrFile.dsa)が見当たりません。"), std::string::npos) << out;

    ASSERT_EQ(
        test::runCommand(cli(dir) + " init --daily-url ftp://x/ --history-url http://y/ 2>&1", &out), 0);
    EXPECT_EQ(test::runCommand(cli(dir) + " refresh 2>&1", &out), 1);
    EXPECT_EQ(out, "取得するURLが見当たりません。\n");

    test::writeFile(dir / "home" / "zuvemo.db", std::string(5000, 'q'));
    EXPECT_EQ(test::runCommand(cli(dir) + " refresh 2>&1", &out), 1);
    EXPECT_NE(out.find("が接続を拒否している。"), std::string::npos) << out;
}
