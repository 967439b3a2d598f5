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

TEST(CliAnalysis, AnalyseAndScreenAgainstTheSampleMarket)
{
    sample::SampleServer::Options options;
    options.market.stocks = 120;
    options.market.days = 300;
    options.market.today = core::Clock().today();
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    TempFolder dir;
    std::string out;
    ASSERT_EQ(test::runCommand(cli(dir) + " init --daily-url " + server.dailyBaseUrl() + " --history-url "
                      + server.historyBaseUrl() + " --bounds 0.9 1.2 2>&1",
                  &out),
        0);
    ASSERT_EQ(test::runCommand(cli(dir) + " refresh", &out), 0);

    ASSERT_EQ(test::runCommand(cli(dir) + " screen --jobs 4 2>/dev/null", &out), 0);
    EXPECT_EQ(out.rfind("stocks ", 0), 0u) << out;
    EXPECT_NE(out.find("取得 "), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);

    // A 300-day history analysed for the chart: 300 rows, the newest 250 with indicators.
    auto history = server.market().historyFile("1300");
    ASSERT_TRUE(history);
    test::writeFile(dir / "h.csv", *history);
    ASSERT_EQ(test::runCommand(cli(dir) + " analyse " + (dir / "h.csv").string() + " --chart", &out), 0);
    EXPECT_EQ(out, "00\n");
    auto c = core::Connection::open(dir / "home" / "zuvemo.db");
    int stored = c->openRecordset(" SELECT * FROM WorkTemp")->recordCount();
    EXPECT_GE(stored, 280);
    EXPECT_EQ(
        c->openRecordset(" SELECT * FROM WorkTemp WHERE Wcount<=250 AND Wgatai IS NOT NULL")->recordCount(),
        250);
    EXPECT_EQ(c->openRecordset(" SELECT * FROM WorkTemp WHERE Wcount>250 AND Wgatai IS NULL")->recordCount(),
        stored - 250);

    ASSERT_EQ(test::runCommand(cli(dir) + " analyse " + (dir / "h.csv").string(), &out), 0);
    EXPECT_EQ(out.size(), 3u);
    EXPECT_NE(test::runCommand(cli(dir) + " analyse " + (dir / "none.csv").string() + " 2>&1", &out), 0);
    EXPECT_NE(test::runCommand(cli(dir) + " screen --jobs 0 2>&1", &out), 0);
}
