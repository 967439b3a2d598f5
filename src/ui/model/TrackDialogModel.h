#pragma once

#include "GridData.h"
#include "analysis/TrackReport.h"

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
    TrackDialogModel(core::Mdl_Start& module, std::string market, std::string industry);

    // Reads the record under the folder's lock of long commands (whileWaiting is called while
    // another command holds it). False when there is nothing to show; message then says why.
    bool load(const std::function<void()>& whileWaiting = {});

    const analysis::TrackReport& report() const { return m_report; }
    std::string caption; // "成績  市場: 東証プライム  業種: すべて"
    std::string heading; // "基準日 2026-12-08  銘柄 1,234  (翌 1, 5, 20 営業日後の終値と比べて)"
    std::string message;
    GridData grid;

private:
    void fill();

    core::Mdl_Start& m_module;
    std::string m_market;
    std::string m_industry;
    analysis::TrackReport m_report;
};

} // namespace zuvemo::ui
