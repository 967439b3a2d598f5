#include "ExportCommand.h"

#include "CliSession.h"
#include "analysis/CSVMDB.h"
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "export/SingleStockCommand.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/MarketDataRefresh.h"

#include <iostream>

namespace zuvemo::cli {

int runExport(const std::filesystem::path& home, CliArguments& args)
{
    auto out = args.takeOption("--out");
    bool open = args.takeFlag("--open");
    marketdata::CurlDownloader::Options options;
    options.totalTimeoutMs = takeTimeoutMs(args, marketdata::CurlDownloader::kHistoryTimeoutMs);
    options.cancel = &stopRequested();
    std::string code = args.positional(1, 1).front();
    CliSession session(home);
    if (!session.open() || !session.lockCommands()) {
        return 1;
    }
    auto& m = session.module();
    std::string name;
    std::string caption;
    analysis::Indicators::Bounds bounds;
    try {
        auto stock = m.SharedConnection->openRecordset(
            " SELECT * FROM Table_Code WHERE MgCode='" + core::SqlText(code) + "'");
        if (!stock->isEof()) {
            name = core::Utf8::trim(core::TrimOrSpace(stock->field("MgMei")));
        }
        auto url = m.SharedConnection->openRecordset(" SELECT * FROM Table_Url");
        if (!url->isEof()) {
            caption = marketdata::MarketDataRefresh::dateCaption(core::TrimOrSpace(url->field("kabuHdate")));
        }
        bounds = analysis::readBounds(m);
    } catch (const core::DatabaseError& e) {
        printDatabaseError(e);
        return 1;
    }
    auto history = session.historyDownloader(options);
    auto& downloader = *history;
    exporting::DesktopOpener desktop;
    exporting::NoOpener none;
    exporting::SingleStockCommand command(
        m, downloader, open ? static_cast<exporting::SpreadsheetOpener&>(desktop) : none, bounds);
    if (out) {
        command.setOutput(core::Platform::fromUtf8(*out));
    }
    command.setCancel(&stopRequested());
    auto result = command.run(code, name, caption);
    if (result.outcome == exporting::SingleStockCommand::Outcome::Cancelled && stoppedExitStatus()) {
        std::cerr << "zuvemo-cli: 中断しました。" << std::endl;
        return stoppedExitStatus();
    }
    if (!result.label1.empty()) {
        std::cerr << result.label1 << std::endl;
    }
    if (result.outcome != exporting::SingleStockCommand::Outcome::Exported) {
        return 1;
    }
    std::cout << core::Platform::toUtf8(result.workbook) << std::endl;
    return 0;
}

} // namespace zuvemo::cli
