#pragma once

#include "analysis/Indicators.h"

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
    enum class Outcome { Exported, NoAddress, DownloadFailed, NotCurrent, ExportFailed };
    struct Result
    {
        Outcome outcome = Outcome::ExportFailed;
        std::string label1; // the main window's message line afterwards
        std::filesystem::path workbook;
    };

    static constexpr const char* kNotCurrentMessage = "停止中で準備が出来ていません";

    SingleStockCommand(core::Mdl_Start& module, marketdata::Downloader& downloader, SpreadsheetOpener& opener,
        analysis::Indicators::Bounds bounds);

    void setOutput(const std::filesystem::path& path) { m_output = path; }
    void setBusyPointer(std::function<void(bool)> busy) { m_busy = std::move(busy); }

    // dateCaption is the caption of the date label: "YYYY-MM-DD 状況".
    Result run(const std::string& code, const std::string& name, const std::string& dateCaption);

private:
    Result runSteps(const std::string& code, const std::string& name, const std::string& dateCaption);

    core::Mdl_Start& m_module;
    marketdata::Downloader& m_downloader;
    SpreadsheetOpener& m_opener;
    analysis::Indicators::Bounds m_bounds;
    std::filesystem::path m_output;
    std::function<void(bool)> m_busy;
};

} // namespace zuvemo::exporting
