#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zuvemo::core {

// Where the configuration file, the database, zip/ and csv/ live. A development build or a
// copied program folder keeps them beside the executables; an installed copy, whose own folder
// is not ours to write, keeps them in the user's data folder.
class ProgramFolder
{
public:
    static constexpr const char* kTemplateName = "雛型EXCEL.xltx";

    struct Environment
    {
        std::filesystem::path executableFolder;
        std::optional<std::string> xdgDataHome;
        std::optional<std::string> home;
    };
    static Environment current();

    // True when the executables lie in an installed layout (bin/ beside share/zuvemo/) or in a
    // folder this user cannot write.
    static bool isInstalledCopy(const std::filesystem::path& executableFolder);

    // $XDG_DATA_HOME/zuvemo, by default ~/.local/share/zuvemo.
    static std::filesystem::path userDataFolder(const Environment& environment);

    // The program folder for these executables, without touching the disk.
    static std::filesystem::path locate(const Environment& environment);

    // The program folder, made with the chart template copied in when it is the user's data
    // folder; with complete, also the configuration file and the database it names when they are
    // missing (as init makes them, without addresses): an installed copy has nobody to deliver
    // them. Files that exist are kept. The folder is returned even when it could not be made, so
    // the programs report the missing files in their usual way.
    static std::filesystem::path prepare(const Environment& environment, bool complete = true);
    static std::filesystem::path prepare(bool complete = true) { return prepare(current(), complete); }

    static constexpr const char* kDatabaseFileName = "zuvemo.db";

    // The shipped chart template: beside the executables or in the installed share folder.
    static std::optional<std::filesystem::path> findTemplate(const std::filesystem::path& executableFolder);

    // The manual (the README): beside the executables of a development build, or where an
    // installed copy keeps its documentation (share/doc/zuvemo).
    static std::optional<std::filesystem::path> findManual(const std::filesystem::path& executableFolder);

    // Copies the template into folder through a temporary name, so a half copy never stands
    // under the template's name. False when the copy failed; true when no copy was needed.
    static bool copyTemplate(
        const std::filesystem::path& executableFolder, const std::filesystem::path& folder);
};

} // namespace zuvemo::core
