#pragma once

#include "FigureTable.h"
#include "RuleMarket.h"
#include "RuleSimulation.h"
#include "StockFinder.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::analysis {

// The figures of each listing and day, as a search that day would have read them, and the
// days a rule held: evaluated listing by listing over the tested market, with each event's
// returns and the same days' line of every listing selected.
class RuleEvents
{
public:
    // A figure a rule reads.
    struct Used
    {
        std::string name;
        const FigureTable::Figure* figure = nullptr; // else a flag or the cross
        const FigureTable::Flag* flag = nullptr;
        const FigureTable::Cross* cross = nullptr; // one of FigureTable's crosses; all three none: "cross"
        unsigned need = 0; // its price figures' bit; 0 for JPX's figures and the close
        int jpx = -1; // its column in the day's JPX figures
        // The column holds the dividend: the figure (the yield) is it ÷ the day's raw close, as
        // JPX's figures make it, without a read of every close of every day.
        bool perClose = false;
    };

    struct Event
    {
        std::size_t day = 0, listing = 0;
        std::optional<double> sortValue;
        bool filled = true; // bought: a trade that day, not stuck at the limit
        std::vector<double> returns; // per horizon; NaN: none (no fill, an end beyond the store)
        std::vector<double> kept; // per Setup::keep, NaN for none
    };

    struct Setup
    {
        const RuleMarket* market = nullptr;
        const StockFinder::Conditions* conditions = nullptr;
        std::vector<Used> used;
        std::size_t usedForCondition = 0; // the first ones; the rest sort the simulation's buys
        unsigned need = 0;
        const FigureTable::Figure* sortFigure = nullptr;
        // JPX's figures per day: listing × column, NaN for none; empty when the rule reads none.
        std::vector<std::vector<double>> jpxByDay;
        std::size_t jpxColumns = 0;
        std::vector<int> horizons;
        bool nextOpen = false, everyDay = false, dividends = false;
        // Every day the rule holds becomes an event, the day before the first tested too (its
        // returns none): the conditions are the loosest of several, each narrowed afterwards
        // from the figures kept, and a first of a run is only known then.
        bool everyHeld = false;
        std::vector<const FigureTable::Figure*> keep;
        // Filled with every listing's prices and fills when given.
        RuleSimulation::Market* simulation = nullptr;
        // Listings evaluated; returning false stops the run.
        std::function<bool(std::size_t done, std::size_t total)> progress;
    };

    struct Result
    {
        // By listing, then day. A deque: a loose rule holds on millions of days, and a vector's
        // doubling would hold twice their memory for a moment.
        std::deque<Event> events;
        // The same days' line: per horizon, per day, every selected listing bought that day.
        std::vector<std::vector<double>> baseSum;
        std::vector<std::vector<int>> baseCount, baseRises;
        // Per day: the mean change of the carried closes, NaN where no listing had one.
        std::vector<double> meanChange;
        std::vector<char> seen; // per used figure of the conditions × day: some listing had it
        int stocks = 0; // listings with a stored bar
        bool stopped = false;
    };

    static Result run(const Setup& setup);

    // Where an entry on day d fills: its day and price, nothing when it does not.
    struct Entry
    {
        std::size_t day = 0;
        double price = 0;
    };
    static std::optional<Entry> entryOf(const RuleMarket::Series& series, std::size_t d, bool nextOpen);
    // The return of an entry held to day d + horizon: the carried close of that day, or the last
    // close of a listing delisted before it, with the dividends whose ex-date lies after the
    // entry's day; NaN where that end lies beyond the store.
    static double returnOf(const RuleMarket::Listing& listing, const RuleMarket::Series& series,
        const Entry& entry, std::size_t d, int horizon);
};

} // namespace zuvemo::analysis
