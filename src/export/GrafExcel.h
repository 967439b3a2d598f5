#pragma once

#include "core/ProgramFolder.h"

#include <atomic>
#include <filesystem>
#include <string>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::exporting {

class SpreadsheetOpener;

// Writes the stock's history and indicators, as WorkTemp holds them, into a new workbook made
// from the template "雛型EXCEL.xltx" of the program folder, and hands it to the opener.
class GrafExcel
{
public:
    static constexpr const char* kTemplateName = core::ProgramFolder::kTemplateName;
    static constexpr const char* kSheetName = "チャート";
    static constexpr int kLastRow = 252;
    static constexpr int kRows = 250;
    static constexpr int kFullColumnsFrom = 33;
    static constexpr const char* kChartQuestion = "画面で表示しますか?";

    GrafExcel(core::Mdl_Start& module, SpreadsheetOpener& opener);

    // Where the workbook goes; empty: a new file in the system's temporary folder named after
    // the code and the time.
    void setOutput(const std::filesystem::path& path) { m_output = path; }
    // Set while writing, the workbook is not put in place and run returns nothing, quietly.
    void setCancel(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    // When the spreadsheet application cannot be opened, ask whether to show the chart window
    // instead of only saying so; chartWanted() gives the answer.
    void setChartOffer(bool offer) { m_chartOffer = offer; }
    bool chartWanted() const { return m_chartWanted; }

    // Writes and opens the workbook. On failure the user gets a message through ShowMessage
    // and the result is empty.
    std::filesystem::path run(const std::string& code, const std::string& name);

    static std::filesystem::path defaultOutput(const std::string& code);

private:
    core::Mdl_Start& m_module;
    SpreadsheetOpener& m_opener;
    std::filesystem::path m_output;
    bool m_chartOffer = false;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_chartWanted = false;
};

// The number a cell shows after the original runtime formats value with pattern and the
// spreadsheet reads the text back ("#,##0", "#,##0.00" or "0.00%").
double formattedNumber(double value, const std::string& pattern);

} // namespace zuvemo::exporting
