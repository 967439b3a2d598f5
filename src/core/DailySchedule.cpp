#include "DailySchedule.h"

#include "Platform.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace zuvemo::core {

namespace {

// A word of an Exec line: quoted, with the specifier sign doubled.
std::string systemdWord(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
        if (c == '%') {
            out += '%';
        }
    }
    return out + "\"";
}

// A word of a crontab command: single-quoted for the shell, with cron's % escaped.
std::string cronWord(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else if (c == '%') {
            out += "\\%";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string description(const std::filesystem::path& folder)
{
    std::string out;
    for (char c : Platform::toUtf8(folder)) {
        out += c == '%' ? std::string("%%") : std::string(1, c);
    }
    return "Zuvemo daily run for " + out;
}

std::filesystem::path serviceFile(const std::filesystem::path& folder)
{
    return DailySchedule::unitFolder() / (DailySchedule::unitName(folder) + ".service");
}

std::filesystem::path timerFile(const std::filesystem::path& folder)
{
    return DailySchedule::unitFolder() / (DailySchedule::unitName(folder) + ".timer");
}

bool writeWhole(const std::filesystem::path& path, const std::string& text, std::string* error)
{
    std::string reason;
    if (!Platform::writeWholeFile(path, text, &reason)) {
        *error = "ファイル(" + Platform::toUtf8(path) + ")を書き込めません。（" + reason + "）";
        return false;
    }
    return true;
}

} // namespace

std::optional<DailySchedule::Time> DailySchedule::parseTime(const std::string& text)
{
    if (text.size() != 5 || text[2] != ':') {
        return std::nullopt;
    }
    for (std::size_t i : {0u, 1u, 3u, 4u}) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    Time t{std::stoi(text.substr(0, 2)), std::stoi(text.substr(3, 2))};
    if (t.hour > 23 || t.minute > 59) {
        return std::nullopt;
    }
    return t;
}

std::string DailySchedule::timeText(Time time)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", time.hour, time.minute);
    return text;
}

std::string DailySchedule::unitName(const std::filesystem::path& folder)
{
    // FNV-1a: the same name on every build for the same folder.
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : Platform::toUtf8(folder)) {
        hash = (hash ^ c) * 16777619u;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%08x", hash);
    return std::string("zuvemo-daily-") + text;
}

std::filesystem::path DailySchedule::unitFolder()
{
    auto config = Platform::environment("XDG_CONFIG_HOME");
    if (config && Platform::fromUtf8(*config).is_absolute()) {
        return Platform::fromUtf8(*config) / "systemd" / "user";
    }
    auto home = Platform::environment("HOME");
    return (home ? Platform::fromUtf8(*home) : std::filesystem::temp_directory_path()) / ".config" / "systemd"
        / "user";
}

bool DailySchedule::systemdPresent()
{
    if (auto forced = Platform::environment("ZUVEMO_SYSTEMD")) {
        return *forced == "1";
    }
    std::error_code ec;
    return std::filesystem::is_directory("/run/systemd/system", ec);
}

bool DailySchedule::wslPresent()
{
    if (auto forced = Platform::environment("ZUVEMO_WSL")) {
        return *forced == "1";
    }
    std::error_code ec;
    return Platform::environment("WSL_DISTRO_NAME").has_value()
        || std::filesystem::exists("/proc/sys/fs/binfmt_misc/WSLInterop", ec);
}

std::string DailySchedule::wslDistribution()
{
    return Platform::environment("WSL_DISTRO_NAME").value_or("Debian");
}

namespace {

// Letters, digits and the few signs a path of a Linux home holds; anything else would need
// Windows' quoting rules inside the quoted /TR argument.
bool plainWord(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    for (unsigned char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '/' || c == '.' || c == '_' || c == '-' || c == '+';
        if (!plain) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::vector<std::string>> DailySchedule::windowsTaskArguments(
    const std::filesystem::path& program, const std::filesystem::path& folder, Time time,
    const std::string& distribution)
{
    const std::string programText = Platform::toUtf8(program);
    const std::string folderText = Platform::toUtf8(folder);
    if (!plainWord(programText) || !plainWord(folderText) || !plainWord(distribution)) {
        return std::nullopt;
    }
    return std::vector<std::string>{"/Create", "/F", "/TN", unitName(folder), "/SC", "WEEKLY", "/D",
        "MON,TUE,WED,THU,FRI", "/ST", timeText(time), "/TR",
        "wsl.exe -d " + distribution + " --exec " + programText + " --home " + folderText
            + " daily --notify"};
}

std::vector<std::string> DailySchedule::windowsTaskRemoval(const std::filesystem::path& folder)
{
    return {"/Delete", "/F", "/TN", unitName(folder)};
}

std::string DailySchedule::windowsCommandLine(const std::vector<std::string>& arguments)
{
    std::string line = "schtasks.exe";
    for (const auto& a : arguments) {
        line += a.find(' ') == std::string::npos ? " " + a : " \"" + a + "\"";
    }
    return line;
}

std::string DailySchedule::serviceText(
    const std::filesystem::path& program, const std::filesystem::path& folder)
{
    return "[Unit]\n"
           "Description="
        + description(folder)
        + "\n"
          "Wants=network-online.target\n"
          "After=network-online.target\n"
          "\n"
          "[Service]\n"
          "Type=oneshot\n"
          "ExecStart="
        + systemdWord(Platform::toUtf8(program)) + " --home " + systemdWord(Platform::toUtf8(folder))
        + " daily --notify\n"
          "# 3: done, and a watched stock reached its target.\n"
          "SuccessExitStatus=3\n";
}

std::string DailySchedule::timerText(const std::filesystem::path& folder, Time time)
{
    return "[Unit]\n"
           "Description="
        + description(folder)
        + "\n"
          "\n"
          "[Timer]\n"
          "OnCalendar=Mon..Fri *-*-* "
        + timeText(time)
        + ":00\n"
          "Persistent=true\n"
          "Unit="
        + unitName(folder)
        + ".service\n"
          "\n"
          "[Install]\n"
          "WantedBy=timers.target\n";
}

std::string DailySchedule::crontabLine(
    const std::filesystem::path& program, const std::filesystem::path& folder, Time time)
{
    return std::to_string(time.minute) + " " + std::to_string(time.hour) + " * * 1-5 "
        + cronWord(Platform::toUtf8(program)) + " --home " + cronWord(Platform::toUtf8(folder))
        + " daily --notify";
}

std::optional<DailySchedule::Time> DailySchedule::installedTime(const std::filesystem::path& folder)
{
    std::ifstream in(timerFile(folder));
    std::string line;
    const std::string key = "OnCalendar=Mon..Fri *-*-* ";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return parseTime(line.substr(key.size(), 5));
        }
    }
    return std::nullopt;
}

std::string DailySchedule::nextRun(const std::string& now, Time time)
{
    using namespace std::chrono;
    const int y = std::stoi(now.substr(0, 4));
    const unsigned m = static_cast<unsigned>(std::stoi(now.substr(5, 2)));
    const unsigned d = static_cast<unsigned>(std::stoi(now.substr(8, 2)));
    const int minutesNow = std::stoi(now.substr(11, 2)) * 60 + std::stoi(now.substr(14, 2));
    sys_days day{year_month_day{year{y}, month{m}, std::chrono::day{d}}};
    if (minutesNow >= time.hour * 60 + time.minute) {
        day += days{1};
    }
    while (weekday{day} == Saturday || weekday{day} == Sunday) {
        day += days{1};
    }
    const year_month_day ymd{day};
    char text[24];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %s", static_cast<int>(ymd.year()),
        static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), timeText(time).c_str());
    return text;
}

bool DailySchedule::writeUnits(
    const std::filesystem::path& program, const std::filesystem::path& folder, Time time, std::string* error)
{
    std::error_code ec;
    std::filesystem::create_directories(unitFolder(), ec);
    // The service first: a timer never stands without the service it starts.
    return writeWhole(serviceFile(folder), serviceText(program, folder), error)
        && writeWhole(timerFile(folder), timerText(folder, time), error);
}

bool DailySchedule::removeUnits(const std::filesystem::path& folder)
{
    std::error_code ec;
    const bool timer = std::filesystem::remove(timerFile(folder), ec);
    const bool service = std::filesystem::remove(serviceFile(folder), ec);
    return timer || service;
}

} // namespace zuvemo::core
