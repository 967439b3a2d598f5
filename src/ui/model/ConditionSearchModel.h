#pragma once

#include "GridData.h"
#include "analysis/FigureTable.h"
#include "analysis/StockFinder.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
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
    static constexpr const char* kBadInput = "条件に誤りがあります。色の付いた欄を直してください。";
    static constexpr const char* kFillNote = "株価を取得中です。保存済みの株価と指標で検索します。";
    // The first two columns; the others follow the conditions of the last search.
    static constexpr int kCodeColumn = 0;
    static constexpr int kNameColumn = 1;

    // JPX's figures, which only a J-Quants folder has, and the ones computed from the prices.
    // The tabs, in their order: JPX's figures, the price figures, and what to check before buying.
    enum class Group { Indicators, Technical, Supply };
    // A range box pair for each figure FigureTable has as a condition.
    struct Box
    {
        const analysis::FigureTable::Figure* figure;
        Group group;
        std::string caption; // "時価総額"
        std::string unit; // the unit the user types in: "%", "億円"; "" for RSI
        std::string low, high; // "下限", "上限" as typed
        std::string error; // said under the tabs
        bool badLow = false, badHigh = false; // the boxes tinted
    };

    explicit ConditionSearchModel(core::Mdl_Start& module);

    // The groups of the テクニカル tab, side by side, and the one a price figure's box, a flag or a
    // cross goes in (by FigureTable's name); "" for another name.
    static const std::vector<std::string>& technicalSections();
    static std::string sectionOf(std::string_view name);

    static const char* title(Group group);
    // The figures of the tab "需給・決算": the results' dates, the margin balances, the strength
    // against TOPIX.
    static bool isSupply(std::string_view name);
    static constexpr const char* kSupplyNote = "決算予定日はどのプランでも、対TOPIX は Light "
                                               "プラン以上、信用残は Standard プラン以上で取得されます。";
    // The tab's title with the conditions it holds: "テクニカル (2)"; a hidden tab shows them.
    std::string tabTitle(Group group) const;
    // A box pair with a bound typed counts once, a flag or the cross once; boxes that are off
    // do not count.
    int conditionCount(Group group) const;

    // Whether the folder has figures, and the conditions kept by the last search.
    void load();
    // Keeps the conditions as typed, in one transaction.
    void save();

    // The boxes' texts read into find's conditions; nothing, with errors set per box, when one
    // is refused as find refuses it.
    std::optional<analysis::StockFinder::Conditions> conditions();
    // The boxes checked as typed, before any search: false with errors set per box. While one
    // is in error the result shown answers other conditions: it is greyed (stale()). Once none
    // is, kBadInput goes.
    bool check();
    bool stale() const;
    // The grid as shown: its text greyed while stale().
    GridData shownGrid() const;
    // The main window's fill began or ended: its note goes with it.
    void setFillRunning(bool running);
    // Runs the search and fills the grid; false with errors or message set when it did not, and
    // then no result is left standing under the errors.
    bool search();
    // "条件クリア": every box empty, no signal, flag or cross, all markets and industries; the
    // result, its columns and the messages go with them.
    void clear();
    // A click on a heading: that column's order, a second click the other way; nones last.
    void sortBy(int column);
    // A click on a grid row; toggle (Ctrl) adds or takes away one row, extend (Shift) a run.
    void click(int row, bool toggle, bool extend);
    // "候補に追加": the chosen rows into the main window's candidates by its own rules; says
    // what happened in message.
    void addSelected(MainWindowModel& main);

    // The box of a figure by its name ("dev25"); throws std::out_of_range for another name.
    Box& box(std::string_view name);
    // Whether a box is on: JPX's figures are off in a CSV folder.
    bool enabled(const Box& box) const;

    // The grid's columns by name: "code", "name", then FindReport's column names.
    std::vector<std::string> columns() const;
    // A column's place in the grid, -1 when it is not shown.
    int columnOf(std::string_view name) const;

    // The stock of a grid row (1 is the first); nothing for the heading or past the end.
    const analysis::StockFinder::Row* row(int gridRow) const;
    const analysis::StockFinder::Result& result() const { return m_result; }
    int sortColumn() const;
    bool descending() const { return m_descending; }
    const std::set<std::string>& selected() const { return m_selected; }

    std::vector<Box> boxes; // 指標 first, the existing five in their old order, then テクニカル
    std::set<std::string> flags; // FigureTable's flags asked for: "new-high", …
    int cross = 0; // 1: a golden cross, -1: a dead one
    std::map<std::string, int> crosses; // FigureTable's other crosses asked for, by name, as cross
    std::string signal; // "", "買" or "売"
    bool confirmed = false; // 出来高確認のみ
    std::string market, industry;

    bool figuresEnabled = true; // false in a CSV folder
    std::string figuresNote; // why the figure boxes are off
    bool fillRunning = false; // set by the window before a search
    std::string countLine; // "該当 37 銘柄（株価 2026-12-07、指標 2026-12-07）"
    std::string note; // the fill's note, or what 候補に追加 did
    std::string message; // a search that could not run
    // The window's place and size as it was closed ("x,y,width,height"), kept with the conditions.
    std::string placement;
    GridData grid;

private:
    void forget();
    void setColumns(const analysis::StockFinder::Conditions& conditions);
    void fill();
    void paintSelection();

    core::Mdl_Start& m_module;
    analysis::StockFinder::Result m_result;
    std::vector<std::string> m_columns; // after コード and 銘柄名, as FindReport names them
    std::string m_sortKey = "code";
    bool m_descending = false;
    std::set<std::string> m_selected;
    int m_anchor = 0;
};

} // namespace zuvemo::ui
