#include "ProgramFolder.h"

#include "DatabaseError.h"
#include "Mdl_Start.h"
#include "Platform.h"
#include "Schema.h"

#include <system_error>

namespace zuvemo::core {

namespace {

std::filesystem::path templatePath(const std::filesystem::path& folder)
{
    return folder / Platform::fromUtf8(ProgramFolder::kTemplateName);
}

std::filesystem::path sharedFolder(const std::filesystem::path& executableFolder)
{
    return executableFolder.parent_path() / "share" / "zuvemo";
}

} // namespace

ProgramFolder::Environment ProgramFolder::current()
{
    return Environment{Platform::executableFolder(), Platform::environment("XDG_DATA_HOME"),
#ifdef _WIN32
        Platform::environment("USERPROFILE")
#else
        Platform::environment("HOME")
#endif
    };
}

bool ProgramFolder::isInstalledCopy(const std::filesystem::path& executableFolder)
{
    std::error_code ec;
    if (!Platform::folderWritable(executableFolder)) {
        return true;
    }
    // An administrator may write the installed folder too: the layout decides, unless the
    // folder already is a program folder of its own.
    const bool ownTemplate = std::filesystem::is_regular_file(templatePath(executableFolder), ec);
    const bool ownConfig = std::filesystem::exists(executableFolder / Mdl_Start::kConfigFileName, ec);
    return !ownTemplate && !ownConfig
        && std::filesystem::is_regular_file(templatePath(sharedFolder(executableFolder)), ec);
}

std::filesystem::path ProgramFolder::userDataFolder(const Environment& environment)
{
    // A relative XDG_DATA_HOME is ignored, as the desktop's other programs ignore it.
    if (environment.xdgDataHome && Platform::fromUtf8(*environment.xdgDataHome).is_absolute()) {
        return Platform::fromUtf8(*environment.xdgDataHome) / "zuvemo";
    }
    if (environment.home) {
        return Platform::fromUtf8(*environment.home) / ".local" / "share" / "zuvemo";
    }
    return std::filesystem::temp_directory_path() / "zuvemo";
}

std::filesystem::path ProgramFolder::locate(const Environment& environment)
{
    return isInstalledCopy(environment.executableFolder) ? userDataFolder(environment)
                                                         : environment.executableFolder;
}

std::filesystem::path ProgramFolder::prepare(const Environment& environment, bool complete)
{
    auto folder = locate(environment);
    if (folder == environment.executableFolder) {
        return folder;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::exists(templatePath(folder), ec)) {
        copyTemplate(environment.executableFolder, folder);
    }
    if (!complete) {
        return folder;
    }
    const auto config = folder / Mdl_Start::kConfigFileName;
    if (!std::filesystem::exists(config, ec)) {
        if (!Platform::writeWholeFile(
                config, std::string(Mdl_Start::kDatabaseKey) + kDatabaseFileName + "\r\n")) {
            return folder;
        }
    }
    Mdl_Start module(folder);
    if (module.ReadConfigFile() && !module.DatabasePath.empty()
        && !std::filesystem::exists(module.DatabasePath, ec)) {
        try {
            Schema::createDatabaseFile(module.DatabasePath, Schema::UrlRow{}, std::nullopt);
        } catch (const DatabaseError&) {
            // The programs say that the database is missing.
        }
    }
    return folder;
}

std::optional<std::filesystem::path> ProgramFolder::findTemplate(
    const std::filesystem::path& executableFolder)
{
    std::error_code ec;
    for (const auto& folder : {executableFolder, sharedFolder(executableFolder)}) {
        if (std::filesystem::is_regular_file(templatePath(folder), ec)) {
            return templatePath(folder);
        }
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> ProgramFolder::findManual(const std::filesystem::path& executableFolder)
{
    std::error_code ec;
    for (const auto& file : {executableFolder / "README.md",
             executableFolder.parent_path() / "share" / "doc" / "zuvemo" / "README.md"}) {
        if (std::filesystem::is_regular_file(file, ec)) {
            return file;
        }
    }
    return std::nullopt;
}

bool ProgramFolder::copyTemplate(
    const std::filesystem::path& executableFolder, const std::filesystem::path& folder)
{
    auto source = findTemplate(executableFolder);
    if (!source) {
        return false;
    }
    const auto target = templatePath(folder);
    std::error_code ec;
    if (std::filesystem::equivalent(*source, target, ec)) {
        return true;
    }
    auto temp = target;
    temp += ".new";
    std::filesystem::copy_file(*source, temp, std::filesystem::copy_options::overwrite_existing, ec);
    std::string error;
    if (ec || !Platform::replaceFile(temp, target, &error)) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace zuvemo::core
