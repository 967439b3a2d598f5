#pragma once

#include "RuleSimulation.h"
#include "TrackRecord.h"

#include <optional>
#include <string>
#include <vector>

namespace zuvemo::analysis {

// A track record as shown: the groups' rows with the folder's trading day, and its text, JSON
// and spreadsheet forms.
struct TrackReport
{
    std::string message; // why there is no record; empty when there is one
    std::string tradingDate; // YYYY-MM-DD, empty before the first list
    int stocks = 0; // stocks with a stored history
    std::vector<int> horizons;
    std::vector<TrackRecord::Group> groups;

    // A test of find's conditions rather than the signals.
    bool rule = false;
    bool nextOpen = false, everyDay = false;
    int days = 0; // the days evaluated
    std::string firstDay, lastDay;
    std::vector<std::pair<std::string, int>> figureDays; // per JSON key: the days some stock had it
    std::vector<std::string> figureHeadings; // the same figures' headings
    // A rule's events with TOPIX stored for their entry and end, of those with a return; 0
    // without TOPIX in the store (the Free plan, a CSV folder).
    int topixEvents = 0, returnEvents = 0;
    std::string note; // said beside the rows: the rule never held
    // The stocks of each day came from the listing history; false: today's list alone (a store
    // without the history, a CSV folder).
    bool listingHistory = false;
    // Of the events counted: the stocks since delisted and their events.
    int delistedStocks = 0, delistedEvents = 0;
    // A chosen market the history does not show over every tested day: "プライム は 2022-05-02 から".
    std::vector<std::string> marketSpans;
    // Fills were checked against the day's trade and price limits (a store; a CSV folder has no
    // limits).
    bool limitsApplied = false;
    enum class Dividends { NotStored, Off, Included };
    Dividends dividends = Dividends::NotStored;
    // Of the last tested days, those from the first ex-date whose dividend is still only a
    // forecast: their dividends may not be known yet.
    int dividendDaysPending = 0;
    bool taxed = false;
    std::optional<RuleSimulation::Result> simulation;
    RuleSimulation::Settings simulationSettings;
    // Why the folder's history of rules tested could not keep this test; empty when it did.
    std::string historyError;

    bool empty() const { return groups.empty(); }

    // A table per group, for a terminal.
    std::string text() const;
    // What the TOPIX columns compare, or why there are none: a line of the limits.
    std::string topixLine() const;
    // What a rule's result assumed and leaves out, a phrase each: the stocks (listing history,
    // delisted, market spans), the fills at limits, dividends, tax, TOPIX.
    std::vector<std::string> limitLines() const;
    // One object: tradingDate, stocks, horizons, groups with their rows (rates and returns as
    // fractions; without any count the rate, the interval and the returns are null).
    std::string json() const;
    // One heading line and a line per row, UTF-8 with a byte order mark and CR LF, rates and
    // returns as fractions.
    std::string csv() const;
    // The simulation's trades, in the same form.
    std::string tradesCsv() const;

    // "53.0%"; "+0.123%" with the sign for a return.
    static std::string percent(double fraction, int decimals = 1);
    static std::string signedPercent(double fraction, int decimals = 2);
    // What the simulation was run with: "10 枠、手数料片道 0.100%、元手 1,000,000 円、単元 1 株、20 日保有".
    static std::string simulationTerms(const RuleSimulation::Settings& settings);
    // What the last column says: the base line, within chance, or not.
    static std::string verdict(const TrackRecord::Row& row);
};

} // namespace zuvemo::analysis
