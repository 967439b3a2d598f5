#pragma once

#include "OverfitOdds.h"
#include "RuleTest.h"
#include "StockFinder.h"
#include "TrackReport.h"
#include "WalkForward.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zuvemo::analysis {

// A rule tried over ranges of up to three of its bounds at once: a row of figures and the daily
// returns of the money per variant, sorted by an objective, with the odds that the best is an
// accident and optionally a walk-forward of the best.
class RuleGrid
{
public:
    enum class Objective { Sharpe, Return, Excess };
    static constexpr std::size_t kMaxBounds = 3, kMaxVariants = 1000;
    static constexpr const char* kHorizon = "horizon";

    // Bad input, said in Japanese without the option's name.
    class Refused : public std::invalid_argument
    {
    public:
        using std::invalid_argument::invalid_argument;
    };

    struct Bound
    {
        std::string name; // "dev25.max", "horizon"
        std::string figure; // "dev25"; empty for the horizon
        bool upper = false;
        std::vector<std::string> values; // as typed, in the units shown
    };
    struct Plan
    {
        std::vector<RuleTest::Variant> variants;
        std::vector<std::vector<std::string>> settings; // per variant, a value per bound
    };
    struct Options
    {
        Objective objective = Objective::Sharpe;
        int walkForward = 0; // 0: none, else K
        bool rolling = false;
        RuleTest::VariantSink each; // told every variant's whole report when given
    };
    struct Row
    {
        std::vector<std::string> settings;
        int horizon = 0, events = 0, trades = 0;
        std::optional<double> hitRate, meanExcess, totalReturn, annualReturn, maxDrawdown, sharpe;
    };
    struct Result
    {
        std::string message; // why there is none; empty with rows
        bool walkForwardRefused = false; // the message is the walk-forward's blocks being too short
        std::vector<std::string> bounds; // names
        Objective objective = Objective::Sharpe;
        TrackReport common; // what every variant shares: days, stocks, limits
        std::vector<Row> rows; // in settings order
        std::vector<std::size_t> order; // of rows, best first by the objective
        std::vector<std::string> days; // the tested days
        std::vector<std::vector<float>> returns; // per variant, per tested day
        std::vector<double> market, topix; // the same days' returns; topix empty without it
        double capital = 0;
        OverfitOdds::Result odds;
        std::optional<WalkForward::Result> walkForward;
        bool rolling = false;

        std::string text() const;
        std::string json() const;
        // A heading and a line per row in the objective's order.
        std::string csv() const;
    };

    // NAME=LIST: a range condition's bound or the horizon, LIST a comma list or FROM:TO:STEP.
    static Bound parse(const std::string& text, const StockFinder::Conditions& conditions);
    // Every combination, the first bound's values changing slowest.
    static Plan plan(const std::vector<Bound>& bounds, const StockFinder::Conditions& conditions);
    static std::optional<Objective> objectiveOf(const std::string& name);
    static const char* objectiveName(Objective objective); // "sharpe"
    static const char* objectiveHeading(Objective objective); // "シャープレシオ"
    static std::optional<double> score(const Row& row, Objective objective);

    static Result run(RuleTest& test, const RuleTest::Options& rule, const std::vector<Bound>& bounds,
        const Options& options);

    // The daily returns of an equity line begun at capital: E_t ÷ E_t−1 − 1, the first day's
    // against the capital.
    static std::vector<double> dailyReturns(const RuleSimulation::Result& simulation, double capital);
};

} // namespace zuvemo::analysis
