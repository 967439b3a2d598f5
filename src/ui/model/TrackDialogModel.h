#pragma once

#include "GridData.h"
#include "analysis/TrackReport.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::ui {

// The "成績" dialog without widgets: the track record of the main window's current market and
// industry, one grid row per signal and horizon with the base line last.
class TrackDialogModel
{
public:
    // The rows set apart from the base line, above it and below it (colour values with red in
    // the low byte); rows within chance stay white.
    static constexpr std::uint32_t kHigherColour = 0xCEEFC6; // pale green
    static constexpr std::uint32_t kLowerColour = 0xCEC7FF; // pale pink

    static constexpr const char* kFillRunningMessage
        = "履歴取得中です。銘柄一覧と株価が保存されてから、もう一度「成績」を押してください。";

    TrackDialogModel(core::Mdl_Start& module, std::string market, std::string industry);

    // Reads the record; a CSV folder's under the folder's lock of long commands (whileWaiting is
    // called while another command holds it). False when there is nothing to show; message then
    // says why.
    bool load(const std::function<void()>& whileWaiting = {});

    const analysis::TrackReport& report() const { return m_report; }
    std::string caption; // "成績  市場: 東証プライム  業種: すべて"
    std::string heading; // "基準日 2026-12-08  銘柄 1,234  (翌 1, 5, 20 営業日後の終値と比べて)"
    std::string message;
    bool fillRunning = false; // the main window's fill runs: set before load
    GridData grid;

private:
    void fill();

    core::Mdl_Start& m_module;
    std::string m_market;
    std::string m_industry;
    analysis::TrackReport m_report;
};

} // namespace zuvemo::ui
