#include "RuleRows.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>

namespace zuvemo::analysis {

namespace {

constexpr std::size_t kPast = TrackRecord::kPastDays;

double median(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return values.size() % 2 == 1 ? *middle : (*std::max_element(values.begin(), middle) + *middle) / 2;
}

} // namespace

double RuleRows::topixReturn(const RuleMarket& market, std::size_t d, int horizon, bool nextOpen)
{
    const std::size_t n = market.days.size();
    const std::size_t end = d + static_cast<std::size_t>(horizon);
    const double in
        = nextOpen ? (d + 1 < n ? market.topixOpen[d + 1] : RuleMarket::kNone) : market.topixClose[d];
    return end < n && !std::isnan(in) && in > 0 && !std::isnan(market.topixClose[end])
        ? market.topixClose[end] / in - 1
        : RuleMarket::kNone;
}

std::vector<TrackRecord::Group> RuleRows::build(const RuleMarket& market, const RuleEvents::Result& result,
    const std::vector<int>& horizons, bool nextOpen, GroupBy by, Counts& counts)
{
    const std::size_t n = market.days.size();
    const auto& events = result.events;
    auto groupOf = [&](const RuleEvents::Event& e) -> std::string {
        switch (by) {
        case GroupBy::Market:
            return market.listings[e.listing].on(e.day).market;
        case GroupBy::Industry:
            return market.listings[e.listing].on(e.day).industry;
        case GroupBy::Year:
            return market.days[e.day].substr(0, 4);
        default:
            return {};
        }
    };
    std::vector<std::string> names{TrackRecord::kAllGroup};
    {
        std::set<std::string> others;
        if (by == GroupBy::Year) {
            for (std::size_t d = kPast; d < n; ++d) {
                others.insert(market.days[d].substr(0, 4));
            }
        } else if (by != GroupBy::None) {
            for (const auto& l : market.listings) {
                if (!l.hasBars()) {
                    continue;
                }
                for (const auto& span : l.spans) {
                    others.insert(by == GroupBy::Market ? span.market : span.industry);
                }
            }
        }
        names.insert(names.end(), others.begin(), others.end());
    }
    // Each event's group as its index among names: millions of events, a few names.
    std::vector<std::uint32_t> groups(by == GroupBy::None ? 0 : events.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const auto group = groupOf(events[i]);
        const auto at = std::lower_bound(names.begin() + 1, names.end(), group);
        // A group no name holds is counted in the whole selection's rows alone.
        groups[i] = at != names.end() && *at == group ? static_cast<std::uint32_t>(at - names.begin())
                                                      : std::numeric_limits<std::uint32_t>::max();
    }
    std::set<std::size_t> delisted;
    for (const auto& e : events) {
        for (std::size_t hi = 0; hi < horizons.size(); ++hi) {
            if (!std::isnan(e.returns[hi])) {
                ++counts.returnEvents;
                counts.topixEvents += !std::isnan(topixReturn(market, e.day, horizons[hi], nextOpen));
            }
        }
        if (market.listings[e.listing].delisted
            && std::any_of(e.returns.begin(), e.returns.end(), [](double r) { return !std::isnan(r); })) {
            ++counts.delistedEvents;
            delisted.insert(e.listing);
        }
    }
    counts.delistedStocks = static_cast<int>(delisted.size());

    std::vector<TrackRecord::Group> out;
    for (std::size_t g = 0; g < names.size(); ++g) {
        const auto& name = names[g];
        TrackRecord::Group group{name, {}};
        for (std::size_t hi = 0; hi < horizons.size(); ++hi) {
            TrackRecord::Row row;
            row.signal = TrackRecord::Signal::Rule;
            row.horizon = horizons[hi];
            std::vector<double> returns;
            double sum = 0, sameMean = 0, sameRise = 0, topixSum = 0, ruleWithTopix = 0;
            int topixCount = 0;
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (g > 0 && groups[i] != g) {
                    continue;
                }
                const auto& e = events[i];
                if (!e.filled) {
                    ++row.unfilled;
                    continue;
                }
                const double r = e.returns[hi];
                if (std::isnan(r)) {
                    continue;
                }
                const std::size_t d = e.day;
                returns.push_back(r);
                sum += r;
                row.hits += r > 0;
                row.delistedEvents += market.listings[e.listing].delisted;
                sameMean += result.baseSum[hi][d] / result.baseCount[hi][d];
                sameRise += static_cast<double>(result.baseRises[hi][d]) / result.baseCount[hi][d];
                if (const double t = topixReturn(market, d, horizons[hi], nextOpen); !std::isnan(t)) {
                    topixSum += t;
                    ruleWithTopix += r;
                    ++topixCount;
                }
            }
            // Over the events TOPIX covers, the rule's mean of the same events beside it.
            if (topixCount > 0) {
                row.topixMean = topixSum / topixCount;
                row.excessTopix = (ruleWithTopix - topixSum) / topixCount;
            }
            row.count = static_cast<int>(returns.size());
            std::tie(row.low, row.high) = TrackRecord::wilson(row.hits, row.count);
            if (row.count > 0) {
                row.hitRate = static_cast<double>(row.hits) / row.count;
                row.mean = sum / row.count;
                row.median = median(returns);
                row.sameDayMean = sameMean / row.count;
                row.sameDayRise = sameRise / row.count;
                row.excess = row.mean - *row.sameDayMean;
                row.baseLow = row.baseHigh = *row.sameDayRise;
                row.chance = row.low <= *row.sameDayRise && *row.sameDayRise <= row.high;
            }
            group.rows.push_back(row);
        }
        out.push_back(std::move(group));
    }
    return out;
}

} // namespace zuvemo::analysis
