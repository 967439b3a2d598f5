#pragma once

#include "RuleHistory.h"
#include "RuleSimulation.h"
#include "StockFinder.h"
#include "TrackReport.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::analysis {

// Would a screen have paid: find's conditions evaluated on every stored day from what was known
// that day, the returns of the stocks it would first have shown, beside the same days' whole
// market, and optionally the money a fixed set of slots would have made of them.
class RuleTest
{
public:
    enum class GroupBy { None, Market, Industry, Year };

    // How far a run is: its steps in order, each counted in its own unit.
    struct Progress
    {
        enum class Step {
            Prices, // the stocks' stored days read: stocks
            Figures, // JPX's figures of every evaluated day, for a rule that reads them: days
            Stocks, // the rule evaluated on every day: stocks
            Variants // each variant's rows and money: variants
        };
        Step step = Step::Prices;
        std::size_t done = 0, total = 0;
        // Of the step that reads JPX's figures; 0 when the rule reads none.
        std::size_t figureDays = 0;
    };

    struct Options
    {
        StockFinder::Conditions conditions; // the market and industry select the stocks too
        std::vector<int> horizons{1, 5, 20};
        bool nextOpen = false; // enter at the next day's open, else at the day's close
        bool everyDay = false; // every day the rule holds, else the first of a run
        GroupBy by = GroupBy::None;
        bool simulate = false;
        // The market days a simulated position is held; 0: the longest horizon.
        int hold = 0;
        RuleSimulation::Settings simulation; // its horizon and entry are set from the above
        // Dividends added to the returns and credited to the simulation; none: where the store
        // keeps them.
        std::optional<bool> dividends;
        // The simulation pays tax on each year's net realised gain.
        bool tax = false;
        // Told every event, day by day and in code order within a day.
        std::function<void(const std::string& day, const std::string& code)> eachEvent;
        // Told as each step goes on; returning false stops the run.
        std::function<bool(const Progress& progress)> progress;
    };

    static constexpr const char* kStoppedMessage = "検証を中止しました。";
    static constexpr const char* kNeverHeldNote = "この条件に合った日はありませんでした。";
    // The stored days a first day needs: the 20 before it and itself.
    static constexpr int kNeededDays = TrackRecord::kPastDays + 1;
    // "検証できる日がありません。保存されている株価は 1 日分で、検証には 21 日分以上必要です。"
    static std::string tooFewDaysNote(std::size_t storedDays);
    // A hold no position could complete within the days evaluated.
    static std::string holdTooLongMessage(int hold, int days);
    static constexpr int kMaxHold = 250;
    // Dividends asked for where none are stored: a fault of the option.
    static constexpr const char* kNoDividendsMessage
        = "配当データがありません（配当込みの検証にはプレミアムプランの配当データが必要です）。";

    // The rule with other bounds on some of its ranges and another horizon: every variant of a
    // run changes the same figures.
    struct Variant
    {
        std::map<std::string, StockFinder::Range> ranges; // whole ranges by figure name
        int horizon = 0; // 0: the options' horizons, else this one alone
    };
    // Told each variant's report as it is done, from any of the run's threads one at a time.
    using VariantSink = std::function<void(std::size_t variant, TrackReport&& report)>;

    explicit RuleTest(core::Mdl_Start& module);

    // A report of the rule's rows (signal "条件"); its message says why there is none.
    TrackReport run(const Options& options);
    // Every variant as run() would report it with those bounds, the figures of each stock and day
    // computed once for all. Returns what all share: its message says why there is none.
    TrackReport runVariants(
        const Options& options, const std::vector<Variant>& variants, const VariantSink& sink);

    // Keeps a test in the folder's history of rules tested; the reason when it could not.
    std::string remember(RuleHistory::Entry entry);
    // "検証履歴に残せませんでした（REASON）。": said beside a result that stands nonetheless.
    static std::string historyNotKept(const std::string& reason)
    {
        return "検証履歴に残せませんでした（" + reason + "）。";
    }
    // The options beside the conditions, in words for the history: "翌日始値、毎日、5・20日後".
    static std::string optionWords(const Options& options);

    // Every market name a rule can select: today's list's and those of the listing history
    // (東証一部, マザーズ … before 2022-04-04), today's first.
    std::vector<std::string> marketNames();

private:
    TrackReport test(const Options& options, const std::vector<Variant>* variants, const VariantSink* sink);

    core::Mdl_Start& m_module;
};

} // namespace zuvemo::analysis
