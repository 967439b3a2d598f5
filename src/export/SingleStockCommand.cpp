#include "SingleStockCommand.h"

#include "GrafExcel.h"
#include "analysis/CSVMDB.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/DailyQuoteImport.h"
#include "marketdata/Downloader.h"
#include "marketdata/UrlSettings.h"

#include <system_error>

namespace zuvemo::exporting {

SingleStockCommand::SingleStockCommand(core::Mdl_Start& module, marketdata::Downloader& downloader,
    SpreadsheetOpener& opener, analysis::Indicators::Bounds bounds)
    : m_module(module)
    , m_downloader(downloader)
    , m_opener(opener)
    , m_bounds(bounds)
{
}

SingleStockCommand::Result SingleStockCommand::run(
    const std::string& code, const std::string& name, const std::string& dateCaption)
{
    return guarded(code, name, dateCaption, true);
}

SingleStockCommand::Result SingleStockCommand::analyse(
    const std::string& code, const std::string& name, const std::string& dateCaption)
{
    return guarded(code, name, dateCaption, false);
}

SingleStockCommand::Result SingleStockCommand::guarded(
    const std::string& code, const std::string& name, const std::string& dateCaption, bool workbook)
{
    if (m_busy) {
        m_busy(true);
    }
    Result result;
    try {
        result = runSteps(code, name, dateCaption, workbook);
    } catch (const core::DatabaseError& e) {
        core::SetErr(e);
        core::ShowMessage("");
        result.outcome = Outcome::ExportFailed;
    } catch (const std::exception& e) {
        core::SetErr(-1, e.what());
        core::ShowMessage("");
        result.outcome = Outcome::ExportFailed;
    }
    if (m_busy) {
        m_busy(false);
    }
    return result;
}

SingleStockCommand::Result SingleStockCommand::runSteps(
    const std::string& code, const std::string& name, const std::string& caption, bool workbook)
{
    Result result;
    auto& m = m_module;
    const std::string eight
        = core::Utf8::mid(caption, 1, 4) + core::Utf8::mid(caption, 6, 2) + core::Utf8::mid(caption, 9, 2);
    const auto csvFolder = m.programFolder() / "csv";
    const auto file = csvFolder / core::Platform::fromUtf8(eight + "-" + code + ".csv");
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        auto settings = marketdata::UrlSettings::read(m);
        if (!settings) {
            result.outcome = Outcome::NoAddress;
            return result;
        }
        const std::string& historyUrl = settings->historyUrl;
        std::filesystem::create_directories(csvFolder);
        const auto status = m_downloader.DownloadToFile(historyUrl + code + "?download=csv", file);
        if (status == marketdata::CurlDownloader::kCancelled || (m_cancel && m_cancel->load())) {
            result.outcome = Outcome::Cancelled;
            return result;
        }
        if (status == marketdata::CurlDownloader::kDiskFull) {
            core::ShowMessage(marketdata::CurlDownloader::kDiskFullMessage);
            result.outcome = Outcome::DownloadFailed;
            return result;
        }
        if (status != 0) {
            core::ShowMessage("読込してファイルダウンロードできませんでした。");
            result.outcome = Outcome::DownloadFailed;
            return result;
        }
        std::string dateText = core::Utf8::mid(caption, 1, 4) + "-" + core::Utf8::mid(caption, 6, 2) + "-"
            + core::Utf8::mid(caption, 9, 2);
        if (!marketdata::CheckCSV("M", file, dateText)) {
            result.label1 = kNotCurrentMessage;
            result.outcome = Outcome::NotCurrent;
            return result;
        }
    }
    result.label1.clear();
    analysis::CSVMDB(m, file, 1, m_bounds);
    if (!workbook) {
        result.outcome = Outcome::Analysed;
        return result;
    }
    GrafExcel export_(m, m_opener);
    export_.setOutput(m_output);
    export_.setChartOffer(m_chartOffer);
    export_.setCancel(m_cancel);
    result.workbook = export_.run(code, name);
    result.chartWanted = export_.chartWanted();
    result.outcome = result.workbook.empty() ? Outcome::ExportFailed : Outcome::Exported;
    if (result.workbook.empty() && m_cancel && m_cancel->load()) {
        result.outcome = Outcome::Cancelled;
    }
    return result;
}

} // namespace zuvemo::exporting
