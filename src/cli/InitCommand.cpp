#include "InitCommand.h"

#include "CliSession.h"
#include "SourceCommand.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "core/Schema.h"
#include "marketdata/jquants/StoreDownloader.h"

#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace zuvemo::cli {

namespace {

constexpr const char* kDatabaseFile = "zuvemo.db";

void writeConfig(const std::filesystem::path& home)
{
    const auto path = home / core::Mdl_Start::kConfigFileName;
    std::string error;
    if (!core::Platform::writeWholeFile(
            path, std::string(core::Mdl_Start::kDatabaseKey) + kDatabaseFile + "\r\n", &error)) {
        throw std::runtime_error(
            "ファイル(" + core::Platform::toUtf8(path) + ")を書き込めません。（" + error + "）");
    }
}

// The template keeps export working in the new folder.
void copyTemplate(const std::filesystem::path& home)
{
    const auto own = core::Platform::executableFolder();
    if (!core::ProgramFolder::findTemplate(own)) {
        std::cerr << "zuvemo-cli: 警告: チャートの雛型 " << core::ProgramFolder::kTemplateName
                  << " がプログラムのフォルダにありません。このフォルダでは export を使えません。"
                  << std::endl;
        return;
    }
    if (!core::ProgramFolder::copyTemplate(own, home)) {
        throw std::runtime_error("ファイル("
            + core::Platform::toUtf8(home / core::Platform::fromUtf8(core::ProgramFolder::kTemplateName))
            + ")を書き込めません。");
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
    marketdata::DataSource source;
    if (auto kind = args.takeOption("--source")) {
        if (*kind != marketdata::DataSource::kCsv && *kind != marketdata::DataSource::kJQuants) {
            throw UsageError("--source には csv か jquants を指定してください。");
        }
        source.kind = *kind;
    }
    source = takeSourceOptions(args).over(source);
    if (const auto problem = marketdata::DataSource::daysProblem(source.plan, source.days);
        source.isJQuants() && !problem.empty()) {
        throw UsageError(problem);
    }
    args.positional(0, 0);
    if (!source.isJQuants() && (!daily || !history)) {
        throw UsageError("init には --daily-url と --history-url を指定してください。");
    }
    core::Schema::UrlRow url;
    // A J-Quants folder keeps the row, for its date and suffix; the addresses are the store's.
    url.dailyUrl = daily.value_or(marketdata::StoreDownloader::kHistoryUrl);
    url.historyUrl = history.value_or(marketdata::StoreDownloader::kHistoryUrl);
    if (suffix) {
        url.suffix = *suffix;
    }
    if (date) {
        if (date->size() != 8 || date->find_first_not_of("0123456789") != std::string::npos) {
            throw UsageError("--trading-date には日付を 8 桁の YYYYMMDD で指定してください。");
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
        std::cerr << "zuvemo-cli: フォルダ(" << core::Platform::toUtf8(home) << ")を作成できません。"
                  << std::endl;
        return 1;
    }
    const auto database = home / kDatabaseFile;
    const auto config = home / core::Mdl_Start::kConfigFileName;
    for (const auto& existing : {database, config}) {
        if (std::filesystem::exists(existing, ec) && !force) {
            std::cerr << "zuvemo-cli: ファイル(" << core::Platform::toUtf8(existing)
                      << ")は既にあります。置き換えるには --force を指定してください。" << std::endl;
            return 2;
        }
    }
    try {
        core::Schema::createDatabaseFile(database, url, hantei);
        if (source.isJQuants()) {
            marketdata::DataSource::write(*core::Connection::open(database), source);
        }
        writeConfig(home);
        copyTemplate(home);
    } catch (const core::DatabaseError& e) {
        printDatabaseError(e);
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "zuvemo-cli: フォルダを用意できませんでした: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}

} // namespace zuvemo::cli
