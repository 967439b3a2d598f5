#include "SampleServer.h"
#include "TestSupport.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Recordset.h"
#include "core/Schema.h"
#include "core/TextCodec.h"
#include "core/ValueRules.h"
#include "marketdata/CsvFields.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace zuvemo;
using namespace std::chrono;

namespace {

std::string table(core::Connection& c, const std::string& sql)
{
    std::string out;
    for (auto rs = c.openRecordset(sql); !rs->isEof(); rs->moveNext()) {
        for (int i = 0; i < rs->columnCount(); ++i) {
            out += rs->field(i).toText() + "|";
        }
        out += "\n";
    }
    return out;
}

// The stock list a refresh from this server loads: code and close of every complete line.
std::string expectedList(sample::SampleServer& server)
{
    auto latest = year_month_day{server.market().latestTradingDay()};
    auto file = *core::TextCodec::decodeCp932(*server.market().dailyFile(latest));
    std::vector<std::pair<std::string, std::string>> rows;
    std::size_t pos = file.find("\r\n") + 2;
    while (pos < file.size()) {
        std::size_t end = file.find("\r\n", pos);
        auto f = marketdata::splitFields(file.substr(pos, end - pos), 10);
        pos = end + 2;
        if (f[4] != "-" && f[7] != "-" && f[8] != "-" && f[9] != "-") {
            rows.emplace_back(f[0], f[7]);
        }
    }
    std::sort(rows.begin(), rows.end());
    std::string out;
    for (auto& [code, close] : rows) {
        out += code + "|" + close + "|\n";
    }
    return out;
}

pid_t spawnChild(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

} // namespace

TEST(KillTest, KilledAtRandomMomentsLosesNothing)
{
    // Two markets, so a list loaded whole can be told from the other.
    auto serverFor = [](year_month_day today, std::uint64_t seed) {
        sample::SampleServer::Options options;
        options.market.stocks = 150;
        options.market.days = 60;
        options.market.today = today;
        options.market.seed = seed;
        return std::make_unique<sample::SampleServer>(options);
    };
    auto a = serverFor(year_month_day{2024y, February, 8d}, 1);
    auto b = serverFor(year_month_day{2024y, February, 9d}, 2);
    ASSERT_GT(a->start(0), 0);
    ASSERT_GT(b->start(0), 0);
    const std::string listA = expectedList(*a);
    const std::string listB = expectedList(*b);
    ASSERT_NE(listA, listB);

    test::TempFolder dir;
    core::Schema::createDatabaseFile(dir / "zuvemo.db", {a->dailyBaseUrl(), a->historyBaseUrl(), ".csv", " "},
        core::Schema::Bounds{0.9, 1.2});
    test::writeFile(dir / "qen_kanrFile.dsa", "[DataBase1]=zuvemo.db\r\n");
    const std::string watchSql
        = " SELECT Wmgcode,Wmgmei,WzuvemoK,WzuvemoM,WzuvemoP,WzuvemoPc FROM Table_KOCYU ORDER BY Wmgcode";
    std::string watchSnapshot;
    {
        auto c = core::Connection::open(dir / "zuvemo.db");
        c->execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '1300', 'x')");
        c->execute(" INSERT INTO Table_KOCYU( Wmgcode,Wmgmei) VALUES ( '9999', 'y')");
        c->execute(" UPDATE Table_KOCYU SET WzuvemoK=1050, WzuvemoP=1, WzuvemoM=1103, WzuvemoPc=5");
        c->execute(
            " UPDATE Table_KOCYU SET WzuvemoK=7, WzuvemoM=9, WzuvemoP=0, WzuvemoPc=0 WHERE Wmgcode='9999'");
        watchSnapshot = table(*c, watchSql);
    }
    const std::string child = (test::binFolder() / ".." / "tests" / "zuvemo-killchild").string();
    // One whole round first: the work itself succeeds.
    pid_t first = spawnChild({child, dir.path().string(), a->dailyBaseUrl(), b->dailyBaseUrl(), "2"});
    ASSERT_GT(first, 0);
    int status = 0;
    waitpid(first, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::mt19937 rng(20241207);
    const int kills = 200;
    int completedOld = 0;
    int completedNew = 0;
    auto deadline = steady_clock::now() + minutes(10);
    for (int k = 0; k < kills && steady_clock::now() < deadline; ++k) {
        pid_t pid = spawnChild({child, dir.path().string(), a->dailyBaseUrl(), b->dailyBaseUrl(), "0"});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(milliseconds(5 + rng() % 600));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);

        auto c = core::Connection::open(dir / "zuvemo.db");
        ASSERT_EQ(table(*c, "PRAGMA integrity_check"), "ok|\n") << "kill " << k;
        ASSERT_EQ(table(*c, watchSql), watchSnapshot) << "kill " << k;
        std::string list = table(*c, " SELECT MgCode,Wecost FROM Table_Code ORDER BY MgCode");
        ASSERT_TRUE(list == listA || list == listB || list.empty()) << "kill " << k;
        completedOld += list == listA;
        completedNew += list == listB;
    }
    std::cout << "kills survived: " << completedOld + completedNew << " (day A list " << completedOld
              << ", day B list " << completedNew << ")" << std::endl;
    // The next run needs no manual step.
    pid_t last = spawnChild({child, dir.path().string(), a->dailyBaseUrl(), b->dailyBaseUrl(), "1"});
    waitpid(last, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(completedOld + completedNew, kills);
}

TEST(KillTest, DailyKilledAtAnyMomentLeavesOnlyWholeJournalRecords)
{
    sample::SampleServer::Options options;
    options.market.stocks = 150;
    options.market.days = 60;
    options.market.today = core::Clock().today(); // the program's own clock looks for it
    options.latencyMs = 10;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    test::TempFolder dir;
    core::Schema::createDatabaseFile(dir / "zuvemo.db",
        {server.dailyBaseUrl(), server.historyBaseUrl(), ".csv", " "}, core::Schema::Bounds{0.9, 1.2});
    test::writeFile(dir / "qen_kanrFile.dsa", "[DataBase1]=zuvemo.db\r\n");
    const std::string cli = (test::binFolder() / "zuvemo-cli").string();
    const std::vector<std::string> daily{cli, "--home", dir.path().string(), "daily", "--jobs", "4"};

    auto records = [&](core::Connection& c) {
        auto rs = c.openRecordset(
            "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='Table_Journal'");
        if (rs->field(0).toDouble() == 0) {
            return std::string();
        }
        return table(c, "SELECT JournalId, TradingDate, Screened, Outcome, EndedAt <> '' FROM Table_Journal");
    };
    // One whole run first gives the record every finished run adds.
    pid_t first = spawnChild(daily);
    int firstStatus = 0;
    waitpid(first, &firstStatus, 0);
    ASSERT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0);
    std::string expected = records(*core::Connection::open(dir / "zuvemo.db"));
    const std::string latest = core::Clock::dashed(year_month_day{server.market().latestTradingDay()});
    ASSERT_EQ(expected.rfind("1|" + latest + "|", 0), 0u) << expected;
    core::Connection::open(dir / "zuvemo.db")->execute(" UPDATE Table_Url SET kabuHdate=''");
    const std::string wholeRecord = expected.substr(1);
    std::mt19937 rng(20261207);
    int whole = 1;
    for (int k = 0; k < 25; ++k) {
        pid_t pid = spawnChild(daily);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(milliseconds(5 + rng() % 1500));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        auto c = core::Connection::open(dir / "zuvemo.db");
        ASSERT_EQ(table(*c, "PRAGMA integrity_check"), "ok|\n") << "kill " << k;
        // Each record is the whole of a run that finished; a killed run adds none.
        const std::string now = records(*c);
        const std::string added = now.substr(std::min(expected.size(), now.size()));
        ASSERT_EQ(now.substr(0, expected.size()), expected) << "kill " << k;
        if (!added.empty()) {
            ++whole;
            ASSERT_EQ(added, std::to_string(whole) + wholeRecord) << "kill " << k;
        }
        expected = now;
        // Each run loads the day again, so every finished one screens.
        c->execute(" UPDATE Table_Url SET kabuHdate=''");
    }
    // The lock went with the killed process: the next run is not refused.
    pid_t last = spawnChild(daily);
    int status = 0;
    waitpid(last, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::cout << "daily runs finished before their kill: " << whole - 1 << " of 25" << std::endl;
}

TEST(KillTest, AJQuantsFillOrASplitsRefetchKilledAtAnyMomentEndsRightAtTheNextRefresh)
{
    // Before the split day is readable, the split stocks' earlier days are stored unadjusted;
    // the refresh that reads it must fetch them again, however often it is killed.
    auto serverWith = [](std::optional<sys_days> windowTo, sys_days windowFrom) {
        sample::SampleServer::Options options;
        options.market.stocks = 150;
        options.market.days = 60;
        options.market.today = core::Clock().today(); // the tool's own clock looks for it
        options.jquants = true;
        options.latencyMs = 15;
        options.api.windowTo = windowTo;
        if (windowTo) {
            options.api.windowFrom = windowFrom;
        }
        return std::make_unique<sample::SampleServer>(options);
    };
    auto full = serverWith(std::nullopt, {});
    ASSERT_GT(full->start(0), 0);
    const auto& days = full->market().tradingDays();
    auto before = serverWith(days[days.size() - 4], days.front());
    ASSERT_GT(before->start(0), 0);

    ::setenv("JQUANTS_API_KEY", "sample-key", 1);
    test::TempFolder dir;
    const std::string cli = (test::binFolder() / "zuvemo-cli").string();
    auto run = [&cli](const std::filesystem::path& home, std::vector<std::string> args) {
        args.insert(args.begin(), {cli, "--home", home.string()});
        pid_t pid = spawnChild(args);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto init = [&](const std::filesystem::path& home, const std::string& url) {
        return run(
            home, {"init", "--source", "jquants", "--api-url", url, "--plan", "premium", "--days", "30"});
    };
    // What a folder that never met a kill holds.
    ASSERT_EQ(init(dir / "clean", full->apiBaseUrl()), 0);
    ASSERT_EQ(run(dir / "clean", {"refresh"}), 0);
    auto bars = [](const std::filesystem::path& home, const std::string& from) {
        auto c = core::Connection::open(home / "zuvemo-prices.db");
        return table(*c, "SELECT * FROM Table_Bar WHERE BarDate >= '" + from + "' ORDER BY BarCode, BarDate");
    };
    const std::string oldest = core::Clock::dashed(year_month_day{days[days.size() - 30]});
    const std::string expected = bars(dir / "clean", oldest);
    // A folder filled before the split was readable.
    ASSERT_EQ(init(dir / "early", before->apiBaseUrl()), 0);
    ASSERT_EQ(run(dir / "early", {"refresh"}), 0);
    ASSERT_NE(bars(dir / "early", oldest), expected);

    auto copyFolder = [](const std::filesystem::path& from, const std::filesystem::path& to) {
        std::filesystem::remove_all(to);
        std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    };
    const auto home = dir / "home";
    // How long a whole run takes, so the kills fall anywhere in it.
    copyFolder(dir / "early", home);
    ASSERT_EQ(run(home, {"source", "set", "jquants", "--api-url", full->apiBaseUrl()}), 0);
    const auto started = steady_clock::now();
    ASSERT_EQ(run(home, {"refresh"}), 0);
    const auto whole = duration_cast<milliseconds>(steady_clock::now() - started).count();
    ASSERT_EQ(bars(home, oldest), expected);

    std::mt19937 rng(20261208);
    int killedMidway = 0;
    for (int k = 0; k < 30; ++k) {
        // Even rounds: the refresh after the split; odd ones: a first fill from nothing.
        if (k % 2 == 0) {
            copyFolder(dir / "early", home);
        } else {
            std::filesystem::remove_all(home);
            ASSERT_EQ(init(home, full->apiBaseUrl()), 0);
        }
        ASSERT_EQ(run(home, {"source", "set", "jquants", "--api-url", full->apiBaseUrl()}), 0);
        pid_t pid = spawnChild({cli, "--home", home.string(), "refresh"});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(milliseconds(rng() % (whole + 1)));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        killedMidway += WIFSIGNALED(status);
        for (const char* file : {"zuvemo.db", "zuvemo-prices.db"}) {
            if (!std::filesystem::exists(home / file)) {
                continue; // killed before the first fill made its store
            }
            auto c = core::Connection::open(home / file);
            ASSERT_EQ(table(*c, "PRAGMA integrity_check"), "ok|\n") << "kill " << k << " " << file;
        }
        // The next refresh, left alone, ends where a folder that never met a kill stands.
        ASSERT_EQ(run(home, {"refresh"}), 0) << "kill " << k;
        ASSERT_EQ(bars(home, oldest), expected) << "kill " << k;
        ASSERT_TRUE(
            table(*core::Connection::open(home / "zuvemo-prices.db"), "SELECT * FROM Table_Refetch").empty());
    }
    ::unsetenv("JQUANTS_API_KEY");
    std::cout << "J-Quants refreshes killed midway: " << killedMidway << " of 30" << std::endl;
    EXPECT_GT(killedMidway, 10);
}

TEST(KillTest, AFillFromTheMonthlyFilesKilledAtAnyMomentKeepsWholeDaysAndEndsRightAtTheNextRefresh)
{
    // Two years of 30 stocks: about 23 months of bars and of disclosures from their files.
    sample::SampleServer::Options options;
    options.market.stocks = 30;
    options.market.days = 500;
    options.market.today = core::Clock().today(); // the tool's own clock looks for it
    options.jquants = true;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);

    ::setenv("JQUANTS_API_KEY", "sample-key", 1);
    test::TempFolder dir;
    const std::string cli = (test::binFolder() / "zuvemo-cli").string();
    auto run = [&cli](const std::filesystem::path& home, std::vector<std::string> args) {
        args.insert(args.begin(), {cli, "--home", home.string()});
        pid_t pid = spawnChild(args);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto init = [&](const std::filesystem::path& home) {
        return run(home,
            {"init", "--source", "jquants", "--api-url", server.apiBaseUrl(), "--plan", "light", "--days",
                "480"});
    };
    auto stored = [](const std::filesystem::path& home) {
        auto c = core::Connection::open(home / "zuvemo-prices.db");
        return table(*c, "SELECT * FROM Table_Bar ORDER BY BarCode, BarDate")
            + table(*c, "SELECT * FROM Table_StoredDay ORDER BY DayDate")
            + table(*c, "SELECT * FROM Table_Filing ORDER BY 1, 2, 3")
            + table(*c, "SELECT * FROM Table_FilingDay ORDER BY DayDate");
    };
    ASSERT_EQ(init(dir / "clean"), 0);
    const auto started = steady_clock::now();
    ASSERT_EQ(run(dir / "clean", {"refresh"}), 0);
    const auto whole = duration_cast<milliseconds>(steady_clock::now() - started).count();
    const std::string expected = stored(dir / "clean");
    ASSERT_GE(server.api()->fileHeads().size(), 44u); // 22 or 23 months of each, by today's date

    const auto home = dir / "home";
    ASSERT_EQ(init(home), 0);
    std::mt19937 rng(20261209);
    int killedMidway = 0;
    for (int k = 0; k < 12; ++k) {
        pid_t pid = spawnChild({cli, "--home", home.string(), "refresh"});
        ASSERT_GT(pid, 0);
        // Each run goes on from where the last was killed: the kills fall within the rest.
        std::this_thread::sleep_for(milliseconds(5 + rng() % (whole / 4 + 1)));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        killedMidway += WIFSIGNALED(status);
        if (!std::filesystem::exists(home / "zuvemo-prices.db")) {
            continue; // killed before the fill made its store
        }
        auto c = core::Connection::open(home / "zuvemo-prices.db");
        ASSERT_EQ(table(*c, "PRAGMA integrity_check"), "ok|\n") << "kill " << k;
        // Every day marked is whole: as many bars as its mark says.
        EXPECT_EQ(
            table(*c,
                "SELECT DayDate FROM Table_StoredDay WHERE Rows <> (SELECT count(*) FROM Table_Bar WHERE "
                "BarDate = DayDate)"),
            "")
            << "kill " << k;
    }
    ASSERT_EQ(run(home, {"refresh"}), 0);
    EXPECT_EQ(stored(home), expected);
    ::unsetenv("JQUANTS_API_KEY");
    std::cout << "file fills killed midway: " << killedMidway << " of 12 (a whole fill " << whole << " ms)"
              << std::endl;
    EXPECT_GT(killedMidway, 4);
}

TEST(KillTest, AFillKilledWhileStoringEarningsDatesOrMarginBalancesEndsAtTheSameStore)
{
    // The earnings dates ask one request a publication day and the balances more again: most
    // kills of a Standard plan's first fill fall among them.
    sample::SampleServer::Options options;
    options.market.stocks = 60;
    options.market.days = 60;
    options.market.today = core::Clock().today(); // the tool's own clock looks for it
    options.jquants = true;
    options.latencyMs = 10;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);

    ::setenv("JQUANTS_API_KEY", "sample-key", 1);
    test::TempFolder dir;
    const std::string cli = (test::binFolder() / "zuvemo-cli").string();
    auto run = [&cli](const std::filesystem::path& home, std::vector<std::string> args) {
        args.insert(args.begin(), {cli, "--home", home.string()});
        pid_t pid = spawnChild(args);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto init = [&](const std::filesystem::path& home) {
        return run(home,
            {"init", "--source", "jquants", "--api-url", server.apiBaseUrl(), "--plan", "standard", "--days",
                "40"});
    };
    auto stored = [](const std::filesystem::path& home) {
        auto c = core::Connection::open(home / "zuvemo-prices.db");
        return table(*c, "SELECT * FROM Table_Earnings ORDER BY 1, 2, 3, 4")
            + table(*c, "SELECT * FROM Table_EarningsDay ORDER BY DayDate")
            + table(*c, "SELECT * FROM Table_Margin ORDER BY 1, 2")
            + table(*c, "SELECT * FROM Table_MarginDay ORDER BY DayDate")
            + table(*c, "SELECT * FROM Table_Bar ORDER BY BarCode, BarDate");
    };
    ASSERT_EQ(init(dir / "clean"), 0);
    const auto started = steady_clock::now();
    ASSERT_EQ(run(dir / "clean", {"refresh"}), 0);
    const auto whole = duration_cast<milliseconds>(steady_clock::now() - started).count();
    const std::string expected = stored(dir / "clean");
    {
        auto c = core::Connection::open(dir / "clean" / "zuvemo-prices.db");
        ASSERT_NE(table(*c, "SELECT count(*) FROM Table_Earnings"), "0|\n");
        ASSERT_NE(table(*c, "SELECT count(*) FROM Table_Margin"), "0|\n");
    }

    // A kill just after the store was made can leave it without these tables yet: no days.
    auto days = [](core::Connection& c, const std::string& name) {
        return table(c, "SELECT count(*) FROM sqlite_master WHERE name = '" + name + "'") == "1|\n"
            ? std::stoi(table(c, "SELECT count(*) FROM " + name))
            : 0;
    };
    int earningsDays = 0;
    int marginDays = 0;
    {
        auto c = core::Connection::open(dir / "clean" / "zuvemo-prices.db");
        earningsDays = days(*c, "Table_EarningsDay");
        marginDays = days(*c, "Table_MarginDay");
    }

    const auto home = dir / "home";
    ASSERT_EQ(init(home), 0);
    auto partly = [&](const std::filesystem::path& folder) {
        if (!std::filesystem::exists(folder / "zuvemo-prices.db")) {
            return false;
        }
        try {
            auto c = core::Connection::open(folder / "zuvemo-prices.db");
            const int e = days(*c, "Table_EarningsDay");
            const int m = days(*c, "Table_MarginDay");
            return (e > 0 && e < earningsDays) || (m > 0 && m < marginDays);
        } catch (const std::exception&) {
            return false; // the store busy or being made: asked again
        }
    };
    std::mt19937 rng(20261210);
    int killedMidway = 0;
    int killedAmongThem = 0; // with some of the earnings or the balances' days stored, not all
    for (int k = 0; k < 20; ++k) {
        pid_t pid = spawnChild({cli, "--home", home.string(), "refresh"});
        ASSERT_GT(pid, 0);
        // Each run goes on from where the last was killed: the kills fall within the rest. Every
        // other one waits for those days to be partly stored, however loaded the machine.
        if (k % 2 == 1) {
            const auto until = steady_clock::now() + milliseconds(2 * whole + 1000);
            while (steady_clock::now() < until && !partly(home)) {
                std::this_thread::sleep_for(milliseconds(2));
            }
        } else {
            std::this_thread::sleep_for(milliseconds(5 + rng() % (whole / 5 + 1)));
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        killedMidway += WIFSIGNALED(status);
        if (!std::filesystem::exists(home / "zuvemo-prices.db")) {
            continue; // killed before the fill made its store
        }
        auto c = core::Connection::open(home / "zuvemo-prices.db");
        ASSERT_EQ(table(*c, "PRAGMA integrity_check"), "ok|\n") << "kill " << k;
        const int e = days(*c, "Table_EarningsDay");
        const int m = days(*c, "Table_MarginDay");
        killedAmongThem += (e > 0 && e < earningsDays) || (m > 0 && m < marginDays);
    }
    ASSERT_EQ(run(home, {"refresh"}), 0);
    EXPECT_EQ(stored(home), expected);
    EXPECT_GT(killedAmongThem, 0);
    ::unsetenv("JQUANTS_API_KEY");
    std::cout << "fills of earnings and balances killed midway: " << killedMidway << " of 20, "
              << killedAmongThem << " among their days (a whole fill " << whole << " ms)" << std::endl;
    EXPECT_GT(killedMidway, 6);
}
