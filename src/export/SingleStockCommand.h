#pragma once

#include "analysis/Indicators.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

namespace zuvemo::core {
class Mdl_Start;
}
namespace zuvemo::marketdata {
class Downloader;
}

namespace zuvemo::exporting {

class SpreadsheetOpener;

// "検索発行": analyses one stock in chart mode and exports its workbook. The history is taken
// from the program folder's csv folder when the screening left it there, downloaded otherwise.
class SingleStockCommand
{
public:
    enum class Outcome { Exported, Analysed, NoAddress, DownloadFailed, NotCurrent, ExportFailed, Cancelled };
    struct Result
    {
        Outcome outcome = Outcome::ExportFailed;
        std::string label1; // the main window's message line afterwards
        std::filesystem::path workbook;
        bool chartWanted = false; // the workbook could not be opened; the user asked for the window
    };

    static constexpr const char* kNotCurrentMessage = "停止中で準備が出来ていません";

    SingleStockCommand(core::Mdl_Start& module, marketdata::Downloader& downloader, SpreadsheetOpener& opener,
        analysis::Indicators::Bounds bounds);

    void setOutput(const std::filesystem::path& path) { m_output = path; }
    // The stop of a signal: the download and the workbook end quietly, nothing put in place.
    void setCancel(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    void setBusyPointer(std::function<void(bool)> busy) { m_busy = std::move(busy); }
    // See GrafExcel::setChartOffer.
    void setChartOffer(bool offer) { m_chartOffer = offer; }

    // dateCaption is the caption of the date label: "YYYY-MM-DD 状況".
    Result run(const std::string& code, const std::string& name, const std::string& dateCaption);
    // The same steps without the workbook: WorkTemp holds the analysed stock afterwards
    // (outcome Analysed), for the chart window.
    Result analyse(const std::string& code, const std::string& name, const std::string& dateCaption);

private:
    Result guarded(
        const std::string& code, const std::string& name, const std::string& dateCaption, bool workbook);
    Result runSteps(
        const std::string& code, const std::string& name, const std::string& dateCaption, bool workbook);

    core::Mdl_Start& m_module;
    marketdata::Downloader& m_downloader;
    SpreadsheetOpener& m_opener;
    analysis::Indicators::Bounds m_bounds;
    std::filesystem::path m_output;
    std::function<void(bool)> m_busy;
    bool m_chartOffer = false;
    const std::atomic<bool>* m_cancel = nullptr;
};

} // namespace zuvemo::exporting
