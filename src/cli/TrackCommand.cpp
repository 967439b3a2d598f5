#include "TrackCommand.h"

#include "CliSession.h"
#include "FindCommand.h"
#include "analysis/RuleGrid.h"
#include "analysis/RuleHistory.h"
#include "analysis/RuleTest.h"
#include "analysis/TrackRun.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "marketdata/DataSource.h"

#include <algorithm>
#include <iostream>

namespace zuvemo::cli {

namespace {

std::vector<int> horizonsOf(const std::string& text)
{
    std::vector<int> horizons;
    std::size_t from = 0;
    while (from <= text.size()) {
        const auto comma = std::min(text.find(',', from), text.size());
        horizons.push_back(parseInt(text.substr(from, comma - from), "--horizons", 1, 250));
        from = comma + 1;
    }
    std::sort(horizons.begin(), horizons.end());
    horizons.erase(std::unique(horizons.begin(), horizons.end()), horizons.end());
    return horizons;
}

} // namespace

int runTrack(const std::filesystem::path& home, CliArguments& args)
{
    if (args.takeFlag("--history")) {
        const bool json = args.takeFlag("--json");
        args.positional(0, 0);
        CliSession session(home);
        if (!session.open()) {
            return 1;
        }
        std::vector<analysis::RuleHistory::Entry> entries;
        try {
            entries = analysis::RuleHistory::list(*session.module().SharedConnection);
        } catch (const core::DatabaseError& e) {
            printDatabaseError(e);
            return 1;
        }
        if (json) {
            std::cout << analysis::RuleHistory::json(entries) << std::endl;
        } else {
            std::cout << analysis::RuleHistory::text(entries) << std::flush;
        }
        return 0;
    }
    analysis::RuleTest::Options rule;
    const bool haveRule = takeConditions(args, rule.conditions);
    analysis::TrackRun::Options options;
    options.market = rule.conditions.market;
    options.industry = rule.conditions.industry;
    if (auto text = args.takeOption("--horizons")) {
        options.horizons = horizonsOf(*text);
    }
    rule.horizons = options.horizons;
    // Options a test of conditions has only.
    std::vector<std::string> ruleOnly;
    if (rule.conditions.sort != "code" || rule.conditions.descending) {
        ruleOnly.emplace_back("--sort");
    }
    if (auto by = args.takeOption("--by")) {
        if (*by == "market") {
            options.by = analysis::TrackRun::GroupBy::Market;
            rule.by = analysis::RuleTest::GroupBy::Market;
        } else if (*by == "industry") {
            options.by = analysis::TrackRun::GroupBy::Industry;
            rule.by = analysis::RuleTest::GroupBy::Industry;
        } else if (*by == "year") {
            rule.by = analysis::RuleTest::GroupBy::Year;
            ruleOnly.emplace_back("--by year");
        } else {
            throw UsageError("--by には market、industry か year を指定してください。");
        }
    }
    if (auto entry = args.takeOption("--entry")) {
        if (*entry != "close" && *entry != "next-open") {
            throw UsageError("--entry には close か next-open を指定してください（" + *entry + "）。");
        }
        rule.nextOpen = *entry == "next-open";
        ruleOnly.emplace_back("--entry");
    }
    if (args.takeFlag("--every-day")) {
        rule.everyDay = true;
        ruleOnly.emplace_back("--every-day");
    }
    rule.simulate = args.takeFlag("--simulate");
    if (rule.simulate) {
        ruleOnly.emplace_back("--simulate");
    }
    const bool dividends = args.takeFlag("--dividends");
    const bool noDividends = args.takeFlag("--no-dividends");
    if (dividends && noDividends) {
        throw UsageError("--dividends と --no-dividends は一緒に指定できません。");
    }
    if (dividends || noDividends) {
        rule.dividends = dividends;
        ruleOnly.emplace_back(dividends ? "--dividends" : "--no-dividends");
    }
    rule.tax = args.takeFlag("--tax");
    if (rule.tax) {
        ruleOnly.emplace_back("--tax");
    }
    auto& sim = rule.simulation;
    const auto hold = args.takeOption("--hold");
    if (hold) {
        rule.hold = parseInt(*hold, "--hold", 1, analysis::RuleTest::kMaxHold);
        ruleOnly.emplace_back("--hold");
    }
    if (auto slots = args.takeOption("--slots")) {
        sim.slotCount = parseInt(*slots, "--slots", 1, analysis::RuleSimulation::kMaxSlots);
        ruleOnly.emplace_back("--slots");
    }
    if (auto cost = args.takeOption("--cost")) {
        const double pct = parseDouble(*cost, "--cost");
        if (pct < 0 || pct >= 100) {
            throw UsageError(
                "--cost には 0 以上 100 未満の片道の手数料（%）を指定してください（" + *cost + "）。");
        }
        sim.cost = pct / 100;
        ruleOnly.emplace_back("--cost");
    }
    if (auto capital = args.takeOption("--capital")) {
        sim.capital = parseDouble(*capital, "--capital");
        if (!(sim.capital >= analysis::RuleSimulation::kMinCapital)
            || sim.capital > analysis::RuleSimulation::kMaxCapital) {
            throw UsageError("--capital には 10000 円以上の元手を指定してください（" + *capital + "）。");
        }
        ruleOnly.emplace_back("--capital");
    }
    if (auto lot = args.takeOption("--lot")) {
        sim.lot = parseInt(*lot, "--lot", 1, 1000000);
        ruleOnly.emplace_back("--lot");
    }
    const auto vary = args.takeOptions("--vary");
    const auto objective = args.takeOption("--objective");
    const auto walk = args.takeOption("--walk-forward");
    const bool rolling = args.takeFlag("--rolling");
    const bool json = args.takeFlag("--json");
    const auto csv = args.takeOption("--csv");
    args.positional(0, 0);
    std::vector<analysis::RuleGrid::Bound> bounds;
    analysis::RuleGrid::Options grid;
    if (!vary.empty()) {
        if (!haveRule) {
            throw UsageError("--vary は find の条件（--signal、--dev25 など）と一緒に指定してください。");
        }
        if (vary.size() > analysis::RuleGrid::kMaxBounds) {
            throw UsageError("--vary: 変える条件は 3 つまでです（" + std::to_string(vary.size())
                + " 個指定されています）。");
        }
        try {
            for (const auto& text : vary) {
                bounds.push_back(analysis::RuleGrid::parse(text, rule.conditions));
            }
            analysis::RuleGrid::plan(bounds, rule.conditions);
        } catch (const analysis::RuleGrid::Refused& e) {
            throw UsageError(std::string("--vary: ") + e.what());
        }
        // Every variant's money is what is compared.
        rule.simulate = true;
    } else if (objective || walk || rolling) {
        throw UsageError(std::string(objective ? "--objective"
                                 : walk        ? "--walk-forward"
                                               : "--rolling")
            + " は --vary と一緒に指定してください。");
    }
    if (objective) {
        const auto o = analysis::RuleGrid::objectiveOf(*objective);
        if (!o) {
            throw UsageError(
                "--objective には sharpe、return か excess を指定してください（" + *objective + "）。");
        }
        grid.objective = *o;
    }
    if (walk) {
        grid.walkForward = parseInt(
            *walk, "--walk-forward", analysis::WalkForward::kMinSplits, analysis::WalkForward::kMaxSplits);
    }
    if (rolling && !walk) {
        throw UsageError("--rolling は --walk-forward と一緒に指定してください。");
    }
    grid.rolling = rolling;
    if (!haveRule && !ruleOnly.empty()) {
        throw UsageError(
            ruleOnly.front() + " は find の条件（--signal、--dev25 など）と一緒に指定してください。");
    }
    if (haveRule && (sim.slotCount != 10 || sim.cost != 0.001 || sim.capital != 1'000'000 || sim.lot != 1)
        && !rule.simulate) {
        throw UsageError("--slots、--cost、--capital、--lot は --simulate と一緒に指定してください。");
    }
    if (haveRule && hold && !rule.simulate) {
        throw UsageError("--hold は --simulate と一緒に指定してください。");
    }
    if (haveRule && rule.tax && !rule.simulate) {
        throw UsageError("--tax は --simulate と一緒に指定してください。");
    }
    CliSession session(home);
    if (!session.open()) {
        return 1;
    }
    if (!bounds.empty()) {
        analysis::RuleGrid::Result result;
        try {
            if (!marketdata::DataSource::read(*session.module().SharedConnection).isJQuants()
                && !session.lockCommands()) {
                return 1;
            }
            analysis::RuleTest test(session.module());
            result = analysis::RuleGrid::run(test, rule, bounds, grid);
        } catch (const core::DatabaseError& e) {
            printDatabaseError(e);
            return 1;
        }
        if (!result.message.empty()) {
            if (result.walkForwardRefused) {
                std::cerr << "--walk-forward: " << result.message << std::endl;
                return 2;
            }
            if (hold
                && result.message == analysis::RuleTest::holdTooLongMessage(rule.hold, result.common.days)) {
                std::cerr << "--hold: " << result.message << std::endl;
                return 2;
            }
            if (dividends && result.message == analysis::RuleTest::kNoDividendsMessage) {
                std::cerr << "--dividends: " << result.message << std::endl;
                return 2;
            }
            std::cerr << result.message << std::endl;
            return result.message == analysis::StockFinder::kNoFiguresMessage ? 2 : 1;
        }
        if (!result.common.historyError.empty()) {
            std::cerr << analysis::RuleTest::historyNotKept(result.common.historyError) << std::endl;
        }
        if (csv && !writeReportFile(*csv, result.csv())) {
            return 1;
        }
        std::cout << (json ? result.json() + "\n" : result.text()) << std::flush;
        return 0;
    }
    analysis::TrackReport report;
    try {
        // A CSV folder's refresh deletes the history files this reads; a J-Quants folder's store
        // is read up to the list's day, as find reads it, beside a fill.
        if (!marketdata::DataSource::read(*session.module().SharedConnection).isJQuants()
            && !session.lockCommands()) {
            return 1;
        }
        report = haveRule ? analysis::RuleTest(session.module()).run(rule)
                          : analysis::TrackRun(session.module()).run(options);
    } catch (const core::DatabaseError& e) {
        printDatabaseError(e);
        return 1;
    }
    if (report.empty()) {
        // A hold longer than the stored days allow, or dividends asked of a store without them, is
        // the option's fault, as a value it refuses.
        if (hold && report.message == analysis::RuleTest::holdTooLongMessage(rule.hold, report.days)) {
            std::cerr << "--hold: " << report.message << std::endl;
            return 2;
        }
        if (dividends && report.message == analysis::RuleTest::kNoDividendsMessage) {
            std::cerr << "--dividends: " << report.message << std::endl;
            return 2;
        }
        std::cerr << report.message << std::endl;
        return report.message == analysis::StockFinder::kNoFiguresMessage ? 2 : 1;
    }
    if (!report.historyError.empty()) {
        std::cerr << analysis::RuleTest::historyNotKept(report.historyError) << std::endl;
    }
    if (csv && !writeReportFile(*csv, report.simulation ? report.tradesCsv() : report.csv())) {
        return 1;
    }
    if (json) {
        std::cout << report.json() << std::endl;
    } else {
        std::cout << report.text() << std::flush;
    }
    return 0;
}

} // namespace zuvemo::cli
