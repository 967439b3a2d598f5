#pragma once

#include "RuleEvents.h"
#include "RuleMarket.h"
#include "TrackRecord.h"

#include <string>
#include <vector>

namespace zuvemo::analysis {

// A rule's rows: per group and horizon the events' returns beside the same days' line of every
// listing selected and beside TOPIX over the same entries and end days.
class RuleRows
{
public:
    enum class GroupBy { None, Market, Industry, Year };

    struct Counts
    {
        int returnEvents = 0, topixEvents = 0; // events with a return; of them, those TOPIX covers
        int delistedStocks = 0, delistedEvents = 0; // of the events with a return
    };

    // The whole selection's group first, then one per market, industry or year.
    static std::vector<TrackRecord::Group> build(const RuleMarket& market, const RuleEvents::Result& events,
        const std::vector<int>& horizons, bool nextOpen, GroupBy by, Counts& counts);

    // TOPIX from an entry on day d to the close of d + horizon; NaN where it is not stored.
    static double topixReturn(const RuleMarket& market, std::size_t d, int horizon, bool nextOpen);
};

} // namespace zuvemo::analysis
