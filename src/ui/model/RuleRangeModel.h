#pragma once

#include "GridData.h"
#include "analysis/RuleGrid.h"
#include "analysis/RuleHistory.h"
#include "analysis/RuleTest.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zuvemo::ui {

// "範囲で試す" without widgets: a range typed beside each bound the rule uses and its horizon,
// every combination tested on a thread of its own, the variants in a sortable grid, a heat map of
// the objective over two varied bounds, the walk-forward line beside the market's and TOPIX's, the
// odds in words and the folder's history of rules tested.
class RuleRangeModel
{
public:
    static constexpr std::uint32_t kLowColour = 0x7B7BF8; // red, in the grid's order: red low
    static constexpr std::uint32_t kMiddleColour = 0x84EBFF; // yellow
    static constexpr std::uint32_t kHighColour = 0x7BBE63; // green

    // A bound of the rule and the range typed beside it; one with FROM alone is not varied.
    struct Field
    {
        std::string bound; // "dev25.max", "horizon"
        std::string heading; // "25日乖離 上限", "日数"
        std::string from, to, step; // in the units shown (%)
    };
    struct HeatMap
    {
        std::string xName, yName; // the first two varied bounds, x across
        std::vector<std::string> xValues, yValues;
        // Per row y, per column x: the variant shown (the best over a third bound), its text.
        std::vector<std::vector<std::size_t>> variant;
        std::vector<std::vector<std::string>> text;
        std::vector<std::vector<std::uint32_t>> colour;
        std::size_t bestX = 0, bestY = 0;
        std::string legendLow, legendHigh; // the scale's ends, in the objective's units
    };

    RuleRangeModel(std::filesystem::path programFolder, analysis::RuleTest::Options options);
    ~RuleRangeModel();
    RuleRangeModel(const RuleRangeModel&) = delete;
    RuleRangeModel& operator=(const RuleRangeModel&) = delete;

    std::vector<Field> fields; // each bound the rule's ranges have, then the horizon
    analysis::RuleGrid::Objective objective = analysis::RuleGrid::Objective::Sharpe;
    int walkForward = 0; // 0: none, else 2 to 10
    bool rolling = false;

    // Takes the fields and starts the test: false, nothing started, with message naming the field
    // refused.
    bool start();
    void stop();
    bool running() const { return m_thread.joinable() && !m_finished; }
    // Takes over a finished test: true once, when it has finished since the last call.
    bool poll();

    std::string progress; // "設定ごとに集計中… 40 / 100 通り"
    std::string message; // why there is no result, or which field is refused
    GridData grid; // the variants, best first until sorted by a heading
    // Sorts by a column; the same column again turns the order round.
    void sortBy(int column);
    std::optional<HeatMap> heatMap; // with two varied bounds or more
    std::vector<std::string> odds; // the two odds in words, each with its line, or why none
    // The walk-forward: its days, and its line, the market's and TOPIX's (yen from the capital).
    std::vector<std::string> walkDates;
    std::vector<double> walkLine, marketLine, topixLine;
    std::string walkText; // its figures beside the best over all days
    // "検証履歴: 12 回、設定 340 通り" and a line per test, newest first.
    std::string historyHeading;
    std::vector<std::string> history;
    void loadHistory();

    const analysis::RuleGrid::Result& result() const { return m_grid; }
    // The options of a variant, for opening its whole result in the rule window.
    analysis::RuleTest::Options optionsOf(std::size_t variant) const;

private:
    void fill();
    void fillGrid();

    std::filesystem::path m_folder;
    analysis::RuleTest::Options m_options;
    std::vector<analysis::RuleGrid::Bound> m_bounds;
    analysis::RuleGrid::Plan m_plan;
    analysis::RuleGrid::Result m_grid;
    std::vector<std::size_t> m_order; // of the grid's rows
    int m_sortColumn = -1;
    bool m_descending = true;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    bool m_pending = false;
    std::mutex m_mutex;
    std::optional<analysis::RuleTest::Progress> m_progress; // under m_mutex
    analysis::RuleGrid::Result m_result; // under m_mutex until taken over
    std::string m_error;
};

} // namespace zuvemo::ui
