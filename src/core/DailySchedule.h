#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::core {

// The unattended daily run of one program folder as a systemd user timer (weekdays, after the
// day's list is published), or as a crontab line where there is no systemd. Inside Windows' Linux
// subsystem the distribution runs only while something uses it, so there the run is a task of
// Windows' own scheduler that starts it.
class DailySchedule
{
public:
    struct Time
    {
        int hour = 18;
        int minute = 0;
    };

    // "HH:MM", 00:00 to 23:59.
    static std::optional<Time> parseTime(const std::string& text);
    static std::string timeText(Time time);

    // "zuvemo-daily-" and eight hex digits of the folder, so each folder has its own units.
    static std::string unitName(const std::filesystem::path& folder);
    // $XDG_CONFIG_HOME/systemd/user, by default ~/.config/systemd/user.
    static std::filesystem::path unitFolder();
    // A user manager is running (or ZUVEMO_SYSTEMD says so: "1" or "0").
    static bool systemdPresent();

    // Running inside Windows' Linux subsystem (or ZUVEMO_WSL says so: "1" or "0").
    static bool wslPresent();
    // The distribution Windows starts for the task: WSL_DISTRO_NAME, else "Debian".
    static std::string wslDistribution();
    // The arguments of schtasks.exe that create (or replace) the weekday task; nothing when a
    // path holds a character Windows' command line would need quoting for.
    static std::optional<std::vector<std::string>> windowsTaskArguments(const std::filesystem::path& program,
        const std::filesystem::path& folder, Time time, const std::string& distribution);
    static std::vector<std::string> windowsTaskRemoval(const std::filesystem::path& folder);
    // The same as a line to paste into PowerShell.
    static std::string windowsCommandLine(const std::vector<std::string>& arguments);

    static std::string serviceText(const std::filesystem::path& program, const std::filesystem::path& folder);
    static std::string timerText(const std::filesystem::path& folder, Time time);
    static std::string crontabLine(
        const std::filesystem::path& program, const std::filesystem::path& folder, Time time);

    // The time of the timer installed for folder, if any.
    static std::optional<Time> installedTime(const std::filesystem::path& folder);

    // The first weekday run strictly after now ("YYYY-MM-DD HH:MM:SS"), as "YYYY-MM-DD HH:MM".
    static std::string nextRun(const std::string& now, Time time);

    // Writes both unit files, each whole or not at all. False with error when they could not be.
    static bool writeUnits(const std::filesystem::path& program, const std::filesystem::path& folder,
        Time time, std::string* error);
    // Removes both unit files; false when there were none.
    static bool removeUnits(const std::filesystem::path& folder);
};

} // namespace zuvemo::core
