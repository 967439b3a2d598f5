#include "InitCommand.h"

#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"
#include "core/Schema.h"
#include "export/GrafExcel.h"

#include <fstream>
#include <iostream>
#include <optional>
#include <system_error>

namespace zuvemo::cli {

namespace {

constexpr const char* kDatabaseFile = "zuvemo.db";

void writeConfig(const std::filesystem::path& home)
{
    const auto path = home / core::Mdl_Start::kConfigFileName;
    auto temp = path;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << core::Mdl_Start::kDatabaseKey << kDatabaseFile << "\r\n";
        out.flush();
        if (!out) {
            throw std::runtime_error("cannot write " + core::Platform::toUtf8(temp));
        }
    }
    std::string error;
    if (!core::Platform::replaceFile(temp, path, &error)) {
        throw std::runtime_error("cannot write " + core::Platform::toUtf8(path) + ": " + error);
    }
}

// The chart template of the program's own folder, or of the installed data folder.
std::optional<std::filesystem::path> findTemplate()
{
    const auto name = core::Platform::fromUtf8(exporting::GrafExcel::kTemplateName);
    const auto own = core::Platform::executableFolder();
    std::error_code ec;
    for (const auto& folder : {own, own.parent_path() / "share" / "zuvemo"}) {
        if (std::filesystem::is_regular_file(folder / name, ec)) {
            return folder / name;
        }
    }
    return std::nullopt;
}

// Copies the template into the new folder, through a temporary name so a half copy never
// stands under the template's name.
void copyTemplate(const std::filesystem::path& home)
{
    const auto target = home / core::Platform::fromUtf8(exporting::GrafExcel::kTemplateName);
    auto source = findTemplate();
    if (!source) {
        std::cerr << "zuvemo-cli: warning: no chart template " << exporting::GrafExcel::kTemplateName
                  << " found beside the program; export will not work in this folder" << std::endl;
        return;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(*source, target, ec)) {
        return;
    }
    auto temp = target;
    temp += ".new";
    std::filesystem::copy_file(*source, temp, std::filesystem::copy_options::overwrite_existing, ec);
    std::string error;
    if (ec || !core::Platform::replaceFile(temp, target, &error)) {
        std::filesystem::remove(temp, ec);
        throw std::runtime_error("cannot copy the chart template to " + core::Platform::toUtf8(target));
    }
}

} // namespace

int runInit(const std::filesystem::path& home, CliArguments& args)
{
    auto daily = args.takeOption("--daily-url");
    auto history = args.takeOption("--history-url");
    auto suffix = args.takeOption("--suffix");
    auto date = args.takeOption("--trading-date");
    auto bounds = args.takeOption("--bounds", 2);
    bool force = args.takeFlag("--force");
    args.positional(0, 0);
    if (!daily || !history) {
        throw UsageError("init needs --daily-url and --history-url");
    }
    core::Schema::UrlRow url;
    url.dailyUrl = *daily;
    url.historyUrl = *history;
    if (suffix) {
        url.suffix = *suffix;
    }
    if (date) {
        if (date->size() != 8 || date->find_first_not_of("0123456789") != std::string::npos) {
            throw UsageError("--trading-date takes eight digits YYYYMMDD");
        }
        url.tradingDate = *date;
    }
    std::optional<core::Schema::Bounds> hantei;
    if (bounds) {
        hantei = core::Schema::Bounds{
            parseDouble((*bounds)[0], "--bounds"), parseDouble((*bounds)[1], "--bounds")};
    }

    std::error_code ec;
    std::filesystem::create_directories(home, ec);
    if (!std::filesystem::is_directory(home)) {
        std::cerr << "zuvemo-cli: cannot create folder " << core::Platform::toUtf8(home) << std::endl;
        return 1;
    }
    const auto database = home / kDatabaseFile;
    const auto config = home / core::Mdl_Start::kConfigFileName;
    for (const auto& existing : {database, config}) {
        if (std::filesystem::exists(existing, ec) && !force) {
            std::cerr << "zuvemo-cli: " << core::Platform::toUtf8(existing)
                      << " exists; use --force to replace it" << std::endl;
            return 2;
        }
    }
    try {
        core::Schema::createDatabaseFile(database, url, hantei);
        writeConfig(home);
        copyTemplate(home);
    } catch (const std::exception& e) {
        std::cerr << "zuvemo-cli: init failed: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}

} // namespace zuvemo::cli
