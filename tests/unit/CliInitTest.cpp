#include "TestSupport.h"
#include "core/Connection.h"
#include "core/DailySchedule.h"
#include "core/Journal.h"
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
    EXPECT_NE(out.find("は既にあります。置き換えるには --force を指定してください。"), std::string::npos)
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(test::readFile(home / "zuvemo.db"), bytes);
    // The chart template came along, so the new folder can export.
    EXPECT_EQ(test::readFile(home / "雛型EXCEL.xltx"), test::readFile(test::binFolder() / "雛型EXCEL.xltx"));

    // A folder whose database is elsewhere keeps its configuration file: init would switch it
    // to a new empty database.
    std::filesystem::remove(home / "zuvemo.db");
    test::writeFile(home / "qen_kanrFile.dsa", "[DataBase1]=data/real.db\r\n");
    EXPECT_EQ(test::runCommand(cmd, &out), 2);
    EXPECT_NE(out.find("qen_kanrFile.dsa)は既にあります。"), std::string::npos) << out;
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

TEST(CliInit, StoringTheKeyOfAnInstalledCopyMakesNoFolderAndInitStillWorks)
{
    // An installed copy: the program in bin/, its template in share/zuvemo/, the data folder
    // under XDG_DATA_HOME.
    TempFolder dir;
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "share" / "zuvemo");
    std::filesystem::copy_file(test::binFolder() / "zuvemo-cli", dir / "bin" / "zuvemo-cli");
    test::writeFile(
        dir / "share" / "zuvemo" / "雛型EXCEL.xltx", test::readFile(test::binFolder() / "雛型EXCEL.xltx"));
    const std::string env = "env -u JQUANTS_API_KEY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent HOME="
        + (dir / "user").string() + " XDG_DATA_HOME=" + (dir / "data").string() + " ";
    const std::string cli = env + (dir / "bin" / "zuvemo-cli").string();
    std::string out;
    ASSERT_EQ(test::runCommand("echo sample-key | " + cli + " source set-key 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("APIキーを保存しました"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(dir / "user" / ".jquants-api" / "jquants-api.toml"));
    EXPECT_FALSE(std::filesystem::exists(dir / "data" / "zuvemo"));
    EXPECT_EQ(test::runCommand(cli + " --help 2>&1", &out), 0);
    EXPECT_EQ(out.rfind("使い方: zuvemo-cli [--home DIR] コマンド", 0), 0u) << out;
    EXPECT_FALSE(std::filesystem::exists(dir / "data" / "zuvemo"));

    ASSERT_EQ(test::runCommand(cli + " init --source jquants --plan light 2>&1", &out), 0) << out;
    EXPECT_TRUE(std::filesystem::exists(dir / "data" / "zuvemo" / "zuvemo.db"));
    ASSERT_EQ(test::runCommand(cli + " source 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("jquants"), std::string::npos) << out;
}

TEST(CliInit, UsageErrorsAreOneLineInJapanese)
{
    TempFolder dir;
    const std::string limit = "zuvemo-cli: --limit には 1 から 1000000 までの整数を指定してください";
    for (const auto& [args, said] : std::vector<std::pair<std::string, std::string>>{
             {"init --daily-url http://a/",
                 "zuvemo-cli: init には --daily-url と --history-url を指定してください。"},
             {"init --daily-url http://a/ --history-url http://b/ --bounds 1",
                 "zuvemo-cli: --bounds には値を 2 つ指定してください。"},
             {"init --daily-url http://a/ --history-url http://b/ --bounds 1 0x2",
                 "zuvemo-cli: --bounds には数値を指定してください（0x2）。"},
             {"init --daily-url a --history-url b --trading-date 2024",
                 "zuvemo-cli: --trading-date には日付を 8 桁の YYYYMMDD で指定してください。"},
             {"init --daily-url a --history-url b --suffix", "zuvemo-cli: --suffix の値を指定してください。"},
             {"init --daily-url a --history-url b --force --force",
                 "zuvemo-cli: --force が 2 度指定されています。"},
             {"init --daily-url a --history-url b --frob", "zuvemo-cli: 不明なオプションです: --frob"},
             {"init --daily-url a --history-url b extra", "zuvemo-cli: 余分な引数があります: extra"},
             {"analyse", "zuvemo-cli: 引数が足りません。"},
             {"frobnicate", "zuvemo-cli: 不明なコマンドです: frobnicate（一覧は --help）"},
             {"", "zuvemo-cli: コマンドを指定してください（一覧は --help）。"},
             {"find --limit 0", limit + "（0）。"}, {"find --limit -1", limit + "（-1）。"},
             {"find --limit 1e3", limit + "（1e3）。"}, {"find --limit ' 5'", limit + "（ 5）。"},
             {"find --limit 99999999999999999999", limit + "（99999999999999999999）。"},
             {"find --per 1:2 --per 3:4", "zuvemo-cli: --per が 2 度指定されています。"},
             {"find --json --json", "zuvemo-cli: --json が 2 度指定されています。"},
             {"screen --jobs 2 --jobs 3", "zuvemo-cli: --jobs が 2 度指定されています。"},
             {"schedule install --at 25:00", "zuvemo-cli: --at には時刻を HH:MM の形で指定してください。"},
             {"source frob",
                 "zuvemo-cli: source の後には何も付けないか、set csv|jquants か set-key "
                 "を指定してください。"}}) {
        std::string out;
        int rc = test::runCommand(cli() + " --home " + (dir / "y").string() + " " + args + " 2>&1", &out);
        EXPECT_EQ(rc, 2) << args;
        EXPECT_EQ(out, said + "\n") << args;
        EXPECT_FALSE(std::filesystem::exists(dir / "y" / "zuvemo.db")) << args;
    }
}

TEST(DailySchedule, NextRunIsTheNextWeekdayAtTheTimeAndTimesAreChecked)
{
    using core::DailySchedule;
    const DailySchedule::Time six{18, 0};
    EXPECT_EQ(DailySchedule::nextRun("2026-12-07 17:59:59", six), "2026-12-07 18:00"); // Monday
    EXPECT_EQ(DailySchedule::nextRun("2026-12-07 18:00:00", six), "2026-12-08 18:00");
    EXPECT_EQ(DailySchedule::nextRun("2026-12-11 18:30:00", six), "2026-12-14 18:00"); // Friday evening
    EXPECT_EQ(DailySchedule::nextRun("2026-12-12 09:00:00", six), "2026-12-14 18:00"); // Saturday
    EXPECT_EQ(DailySchedule::nextRun("2026-12-31 23:59:00", DailySchedule::Time{0, 5}), "2027-01-01 00:05");
    for (const char* bad : {"24:00", "18:60", "8:00", "18-00", "18:0a", ""}) {
        EXPECT_FALSE(DailySchedule::parseTime(bad)) << bad;
    }
    EXPECT_EQ(DailySchedule::timeText(*DailySchedule::parseTime("07:05")), "07:05");
    // Awkward folder names stay one word for the shell, cron and systemd.
    EXPECT_EQ(DailySchedule::crontabLine("/opt/z/zuvemo-cli", "/home/a b/it's 100%", six),
        "0 18 * * 1-5 '/opt/z/zuvemo-cli' --home '/home/a b/it'\\''s 100\\%' daily --notify");
    EXPECT_NE(
        DailySchedule::serviceText("/opt/z/zuvemo-cli", "/home/a \"b\"/100%")
            .find("ExecStart=\"/opt/z/zuvemo-cli\" --home \"/home/a \\\"b\\\"/100%%\" daily --notify\n"),
        std::string::npos);
    EXPECT_NE(DailySchedule::unitName("/a"), DailySchedule::unitName("/b"));
    EXPECT_EQ(DailySchedule::unitName("/a").size(), std::string("zuvemo-daily-").size() + 8);
}

namespace {

// A program folder made by init with addresses that answer nothing: enough for a schedule.
bool initFolder(const std::filesystem::path& home, std::string* out)
{
    return test::runCommand(cli() + " --home " + home.string()
                   + " init --daily-url http://127.0.0.1:1/d/ --history-url http://127.0.0.1:1/h/ 2>&1",
               out)
        == 0;
}

} // namespace

TEST(DailySchedule, InstallStatusAndRemoveWriteTheUserUnitsOrPrintTheCrontabLine)
{
    TempFolder dir;
    const auto home = dir / "home";
    std::string out;
    ASSERT_TRUE(initFolder(home, &out)) << out;
    {
        auto c = core::Connection::open(home / "zuvemo.db");
        core::JournalRecord r;
        r.startedAt = "2026-12-04 18:00:02";
        r.endedAt = "2026-12-04 18:00:09";
        r.tradingDate = "2026-12-04";
        r.screened = 3925;
        r.reachedCodes = {"1301", "7203"};
        r.signalCodes = {"1301", "1332", "9984"};
        r.outcome = core::Journal::kReached;
        core::Journal::append(*c, r);
    }
    std::filesystem::create_directories(dir / "fakebin");
    test::writeFile(dir / "fakebin" / "systemctl", "#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/calls\"\n");
    std::filesystem::permissions(dir / "fakebin" / "systemctl", std::filesystem::perms::owner_all);
    const std::string env = "PATH=" + (dir / "fakebin").string()
        + ":$PATH XDG_CONFIG_HOME=" + (dir / "config").string() + " ZUVEMO_SYSTEMD=1 ZUVEMO_WSL=0 ";
    const std::string schedule = env + cli() + " --home " + home.string() + " schedule ";

    ASSERT_EQ(test::runCommand(schedule + "install --at 18:30 2>&1", &out), 0) << out;
    const std::string unit = core::DailySchedule::unitName(std::filesystem::absolute(home));
    const auto units = dir / "config" / "systemd" / "user";
    const std::string timer = test::readFile(units / (unit + ".timer"));
    EXPECT_NE(timer.find("\nOnCalendar=Mon..Fri *-*-* 18:30:00\n"), std::string::npos) << timer;
    EXPECT_NE(timer.find("\nUnit=" + unit + ".service\n"), std::string::npos) << timer;
    EXPECT_NE(timer.find("\nWantedBy=timers.target\n"), std::string::npos) << timer;
    const std::string service = test::readFile(units / (unit + ".service"));
    EXPECT_NE(service.find("\nExecStart=\"" + cli() + "\" --home \""
                  + std::filesystem::absolute(home).string() + "\" daily --notify\n"),
        std::string::npos)
        << service;
    EXPECT_NE(service.find("\nSuccessExitStatus=3\n"), std::string::npos);
    EXPECT_EQ(test::readFile(dir / "fakebin" / "calls"),
        "--user daemon-reload\n--user enable --now " + unit + ".timer\n");

    ASSERT_EQ(test::runCommand(schedule + "status", &out), 0);
    EXPECT_NE(out.find("schedule: 平日 18:30 (" + unit + ".timer)\nnext: "), std::string::npos) << out;
    EXPECT_NE(
        out.find("\nlast: 2026-12-04 18:00:02 - 2026-12-04 18:00:09 reached, 取引日 2026-12-04, stocks 3925, "
                 "目標到達 2, 注目 3\n"),
        std::string::npos)
        << out;

    ASSERT_EQ(test::runCommand(schedule + "remove", &out), 0);
    EXPECT_FALSE(std::filesystem::exists(units / (unit + ".timer")));
    EXPECT_FALSE(std::filesystem::exists(units / (unit + ".service")));
    ASSERT_EQ(test::runCommand(schedule + "status", &out), 0);
    EXPECT_EQ(out.rfind("schedule: none\n", 0), 0u) << out;
    EXPECT_EQ(test::runCommand(schedule + "install --at 25:00 2>&1", &out), 2);

    // Without systemd: the crontab line, and no unit file.
    const std::string noSystemd = "XDG_CONFIG_HOME=" + (dir / "config2").string()
        + " ZUVEMO_SYSTEMD=0 ZUVEMO_WSL=0 " + cli() + " --home " + home.string() + " schedule install";
    ASSERT_EQ(test::runCommand(noSystemd, &out), 0);
    EXPECT_NE(out.find("\n0 18 * * 1-5 '" + cli() + "' --home '" + std::filesystem::absolute(home).string()
                  + "' daily --notify\n"),
        std::string::npos)
        << out;
    EXPECT_FALSE(std::filesystem::exists(dir / "config2"));
}

// Inside Windows' Linux subsystem a timer of the distribution fires only while it runs, so the
// run becomes a task of Windows' scheduler that starts the distribution itself.
TEST(DailySchedule, InsideWslTheRunIsAWindowsTaskThatStartsTheDistribution)
{
    using core::DailySchedule;
    const auto args = DailySchedule::windowsTaskArguments(
        "/usr/bin/zuvemo-cli", "/home/taro/.local/share/zuvemo", DailySchedule::Time{18, 30}, "Debian");
    ASSERT_TRUE(args);
    EXPECT_EQ(DailySchedule::windowsCommandLine(*args),
        "schtasks.exe /Create /F /TN " + DailySchedule::unitName("/home/taro/.local/share/zuvemo")
            + " /SC WEEKLY /D MON,TUE,WED,THU,FRI /ST 18:30 /TR \"wsl.exe -d Debian --exec "
              "/usr/bin/zuvemo-cli "
              "--home /home/taro/.local/share/zuvemo daily --notify\"");
    // Windows would split or reinterpret these inside the quoted command.
    for (const char* folder : {"/home/a b/z", "/home/a\"b", "/home/a&b", "/home/株/z", "/home/a%PATH%"}) {
        EXPECT_FALSE(DailySchedule::windowsTaskArguments("/usr/bin/zuvemo-cli", folder, {}, "Debian"))
            << folder;
    }

    TempFolder dir;
    const auto home = dir / "home";
    std::string out;
    ASSERT_TRUE(initFolder(home, &out)) << out;
    const auto bin = dir / "fakebin";
    std::filesystem::create_directories(bin);
    const auto fake = [&](int status) {
        test::writeFile(bin / "schtasks.exe",
            "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> \"$(dirname \"$0\")/calls\"\necho "
            ">> "
            "\"$(dirname \"$0\")/calls\"\nexit "
                + std::to_string(status) + "\n");
        std::filesystem::permissions(bin / "schtasks.exe", std::filesystem::perms::owner_all);
    };
    fake(0);
    const std::string env = "PATH=" + bin.string() + ":$PATH XDG_CONFIG_HOME=" + (dir / "config").string()
        + " ZUVEMO_SYSTEMD=1 ZUVEMO_WSL=1 WSL_DISTRO_NAME=Debian-12 ";
    const std::string schedule = env + cli() + " --home " + home.string() + " schedule ";
    const auto folder = std::filesystem::absolute(home).string();
    const std::string task = DailySchedule::unitName(std::filesystem::absolute(home));

    ASSERT_EQ(test::runCommand(schedule + "install --at 18:30 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("Windows のタスク スケジューラに登録しました: " + task), std::string::npos) << out;
    EXPECT_EQ(test::readFile(bin / "calls"),
        "[/Create][/F][/TN][" + task
            + "][/SC][WEEKLY][/D][MON,TUE,WED,THU,FRI][/ST][18:30][/TR][wsl.exe -d "
              "Debian-12 --exec "
            + cli() + " --home " + folder + " daily --notify]\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "config")) << "no systemd unit inside WSL";

    ASSERT_EQ(test::runCommand(schedule + "status", &out), 0);
    EXPECT_EQ(out.rfind("schedule: Windows のタスク スケジューラ (" + task, 0), 0u) << out;

    ASSERT_EQ(test::runCommand(schedule + "remove", &out), 0);
    EXPECT_NE(out.find("削除しました: " + task), std::string::npos) << out;
    EXPECT_NE(test::readFile(bin / "calls").find("\n[/Delete][/F][/TN][" + task + "]\n"), std::string::npos);

    // Windows out of reach: the line to run there instead, and still no unit.
    fake(1);
    ASSERT_EQ(test::runCommand(schedule + "install 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("Windows の PowerShell で次の行を実行してください:\nschtasks.exe /Create /F /TN "
                  + task + " /SC WEEKLY /D MON,TUE,WED,THU,FRI /ST 18:00 /TR \"wsl.exe -d Debian-12 --exec "),
        std::string::npos)
        << out;
    EXPECT_FALSE(std::filesystem::exists(dir / "config"));
}
