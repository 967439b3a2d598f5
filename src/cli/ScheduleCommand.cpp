#include "ScheduleCommand.h"

#include "core/Clock.h"
#include "core/Connection.h"
#include "core/DailySchedule.h"
#include "core/Journal.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"

#include <iostream>

namespace zuvemo::cli {

namespace {

using core::DailySchedule;

std::filesystem::path program()
{
#ifdef _WIN32
    return core::Platform::executableFolder() / "zuvemo-cli.exe";
#else
    return core::Platform::executableFolder() / "zuvemo-cli";
#endif
}

bool systemctl(const std::vector<std::string>& words)
{
    std::vector<std::string> arguments{"--user"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    return core::Platform::runProgram("systemctl", arguments) == 0;
}

int installWindowsTask(const std::filesystem::path& folder, DailySchedule::Time time)
{
    const std::string task = DailySchedule::unitName(folder);
    auto arguments
        = DailySchedule::windowsTaskArguments(program(), folder, time, DailySchedule::wslDistribution());
    if (!arguments) {
        std::cerr
            << "zuvemo-cli: プログラムかフォルダのパスに英数字と / . _ - + 以外の文字があるため、Windows "
               "のタスクを作れません。英数字だけのフォルダを --home に指定してください。"
            << std::endl;
        return 1;
    }
    if (core::Platform::runProgram("schtasks.exe", *arguments) != 0) {
        std::cout
            << "Windows のタスクを登録できませんでした。Windows の PowerShell で次の行を実行してください:\n"
            << DailySchedule::windowsCommandLine(*arguments) << std::endl;
        return 0;
    }
    std::cout << "Windows のタスク スケジューラに登録しました: " << task << std::endl;
    std::cout << "平日 " << DailySchedule::timeText(time) << " (Windows の時刻), 次回 "
              << DailySchedule::nextRun(core::Clock().timestamp(), time) << std::endl;
    return 0;
}

int installSchedule(const std::filesystem::path& folder, DailySchedule::Time time)
{
    if (DailySchedule::wslPresent()) {
        return installWindowsTask(folder, time);
    }
    if (!DailySchedule::systemdPresent()) {
        std::cout << "systemd が見当たりません。crontab -e で次の行を加えてください:\n"
                  << DailySchedule::crontabLine(program(), folder, time) << std::endl;
        return 0;
    }
    std::string error;
    if (!DailySchedule::writeUnits(program(), folder, time, &error)) {
        std::cerr << "zuvemo-cli: " << error << std::endl;
        return 1;
    }
    const std::string timer = DailySchedule::unitName(folder) + ".timer";
    std::cout << "登録しました: " << core::Platform::toUtf8(DailySchedule::unitFolder() / timer) << std::endl;
    if (!systemctl({"daemon-reload"}) || !systemctl({"enable", "--now", timer})) {
        std::cout << "次のコマンドで有効にしてください: systemctl --user daemon-reload && systemctl --user "
                     "enable --now "
                  << timer << std::endl;
    }
    std::cout << "平日 " << DailySchedule::timeText(time) << ", 次回 "
              << DailySchedule::nextRun(core::Clock().timestamp(), time) << std::endl;
    return 0;
}

int removeSchedule(const std::filesystem::path& folder)
{
    if (DailySchedule::wslPresent()) {
        const auto arguments = DailySchedule::windowsTaskRemoval(folder);
        if (core::Platform::runProgram("schtasks.exe", arguments) != 0) {
            std::cout << "Windows のタスクを削除できませんでした（登録がないか、Windows "
                         "に届きません）。削除するには Windows の PowerShell で次の行を実行してください:\n"
                      << DailySchedule::windowsCommandLine(arguments) << std::endl;
            return 0;
        }
        std::cout << "削除しました: " << DailySchedule::unitName(folder) << std::endl;
        return 0;
    }
    if (!DailySchedule::systemdPresent()) {
        std::cout << "systemd が見当たりません。crontab -e で --home " << core::Platform::toUtf8(folder)
                  << " daily の行を削除してください。" << std::endl;
        return 0;
    }
    const std::string timer = DailySchedule::unitName(folder) + ".timer";
    systemctl({"disable", "--now", timer});
    if (!DailySchedule::removeUnits(folder)) {
        std::cout << "このフォルダの自動実行は登録されていません。" << std::endl;
        return 0;
    }
    systemctl({"daemon-reload"});
    std::cout << "削除しました: " << timer << std::endl;
    return 0;
}

std::string lastRecord(const std::filesystem::path& folder)
{
    core::Mdl_Start module(folder);
    if (!module.ReadConfigFile() || !std::filesystem::is_regular_file(module.DatabasePath)) {
        return "-";
    }
    try {
        auto connection = core::Connection::open(module.DatabasePath);
        auto r = core::Journal::latest(*connection);
        if (!r) {
            return "-";
        }
        return r->startedAt + " - " + r->endedAt + " " + r->outcome + ", 取引日 "
            + (r->tradingDate.empty() ? std::string("-") : r->tradingDate) + ", stocks "
            + std::to_string(r->screened) + ", 目標到達 " + std::to_string(r->reachedCodes.size()) + ", 注目 "
            + std::to_string(r->signalCodes.size()) + (r->message.empty() ? "" : ", " + r->message);
    } catch (const std::exception& e) {
        return std::string("- (") + e.what() + ")";
    }
}

int showStatus(const std::filesystem::path& folder)
{
    if (DailySchedule::wslPresent()) {
        const std::string task = DailySchedule::unitName(folder);
        std::cout << "schedule: Windows のタスク スケジューラ (" << task << "; 確認: schtasks.exe /Query /TN "
                  << task << ")" << std::endl;
    } else if (!DailySchedule::systemdPresent()) {
        std::cout << "schedule: crontab (systemd が見当たりません)" << std::endl;
    } else if (auto time = DailySchedule::installedTime(folder)) {
        std::cout << "schedule: 平日 " << DailySchedule::timeText(*time) << " ("
                  << DailySchedule::unitName(folder) << ".timer)\n"
                  << "next: " << DailySchedule::nextRun(core::Clock().timestamp(), *time) << std::endl;
    } else {
        std::cout << "schedule: none" << std::endl;
    }
    std::cout << "last: " << lastRecord(folder) << std::endl;
    return 0;
}

} // namespace

int runSchedule(const std::filesystem::path& home, CliArguments& args)
{
    auto at = args.takeOption("--at");
    auto words = args.positional(1, 1);
    const auto folder = std::filesystem::absolute(home);
    const std::string& action = words.front();
    if (action == "install") {
        auto time = DailySchedule::parseTime(at.value_or("18:00"));
        if (!time) {
            throw UsageError("--at には時刻を HH:MM の形で指定してください。");
        }
        return installSchedule(folder, *time);
    }
    if (at) {
        throw UsageError("--at は schedule install にだけ指定できます。");
    }
    if (action == "remove") {
        return removeSchedule(folder);
    }
    if (action == "status") {
        return showStatus(folder);
    }
    throw UsageError("schedule には install, remove, status のどれかを指定してください。");
}

} // namespace zuvemo::cli
