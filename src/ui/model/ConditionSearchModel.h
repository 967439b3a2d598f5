#pragma once

#include "GridData.h"
#include "analysis/StockFinder.h"

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::ui {

class MainWindowModel;

// The "条件検索" dialog without widgets: the boxes of the conditions as typed, the query find runs,
// its rows in a grid the user sorts and chooses from, and the conditions kept for the next start.
class ConditionSearchModel
{
public:
    static constexpr const char* kBadNumber = "数字を入力してください。";
    static constexpr const char* kBadOrder = "上限が下限より小さいです。";
    static constexpr const char* kFillNote = "株価を取得中です。保存済みの株価と指標で検索します。";

    // The range boxes, in the units the dialog shows: ROE and the yield in %, the value in 億円.
    enum Figure { FwdPer, Pbr, Roe, Yield, Cap, kFigures };
    // The grid's columns.
    enum Column {
        Code,
        Name,
        Market,
        Industry,
        Close,
        FwdPerColumn,
        PbrColumn,
        YieldColumn,
        RoeColumn,
        CapColumn,
        ShortTerm,
        Confirmed,
        kColumns
    };

    explicit ConditionSearchModel(core::Mdl_Start& module);

    // Whether the folder has figures, and the conditions kept by the last search.
    void load();
    // Keeps the conditions as typed, in one transaction.
    void save();

    // The boxes' texts read into find's conditions; nothing, with errors set per box, when one
    // is not a number or a range is upside down.
    std::optional<analysis::StockFinder::Conditions> conditions();
    // Runs the search and fills the grid; false with errors or message set when it did not.
    bool search();
    // "条件クリア": every box empty, no signal, all markets and industries.
    void clear();
    // A click on a heading: that column's order, a second click the other way; nones last.
    void sortBy(int column);
    // A click on a grid row; toggle (Ctrl) adds or takes away one row, extend (Shift) a run.
    void click(int row, bool toggle, bool extend);
    // "候補に追加": the chosen rows into the main window's candidates by its own rules; says
    // what happened in message.
    void addSelected(MainWindowModel& main);

    // The stock of a grid row (1 is the first); nothing for the heading or past the end.
    const analysis::StockFinder::Row* row(int gridRow) const;
    const analysis::StockFinder::Result& result() const { return m_result; }
    int sortColumn() const { return m_sortColumn; }
    bool descending() const { return m_descending; }
    const std::set<std::string>& selected() const { return m_selected; }

    std::array<std::string, kFigures> low, high; // "下限", "上限"
    std::array<std::string, kFigures> errors; // said beside each range
    std::string signal; // "", "買" or "売"
    bool confirmed = false; // 出来高確認のみ
    std::string market, industry;

    bool figuresEnabled = true; // false in a CSV folder
    std::string figuresNote; // why the figure boxes are off
    bool fillRunning = false; // set by the window before a search
    std::string countLine; // "該当 37 銘柄（株価 2026-12-07、指標 2026-12-07）"
    std::string note; // the fill's note, or what 候補に追加 did
    std::string message; // a search that could not run
    GridData grid;

private:
    void fill();
    void paintSelection();

    core::Mdl_Start& m_module;
    analysis::StockFinder::Result m_result;
    int m_sortColumn = Code;
    bool m_descending = false;
    std::set<std::string> m_selected;
    int m_anchor = 0;
};

} // namespace zuvemo::ui
