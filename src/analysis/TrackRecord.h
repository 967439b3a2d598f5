#pragma once

#include "HistoryFile.h"
#include "Indicators.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::analysis {

// How the screening's marks fared: for every stored day of every stock, the two marks the
// screening would have given had it run that day, and the returns of the closes some stored days
// later. Gathered per group (the whole selection, and a market or an industry when asked), then
// summed up per signal and horizon beside every day as the base line.
class TrackRecord
{
public:
    // Rule: a test of find's conditions, outside the signals' arrays.
    enum class Signal { ShortBuy, ShortSell, VolumeBuy, VolumeSell, AllDays, Rule };
    static constexpr int kSignals = 5;
    // The screening's analysis window.
    static constexpr int kWindow = 250;
    // A day counts from this many stored days before it on: the short strength needs them.
    static constexpr int kPastDays = 20;
    static constexpr const char* kAllGroup = "全体";

    struct Row
    {
        Signal signal = Signal::AllDays;
        int horizon = 0;
        int count = 0;
        int hits = 0;
        double hitRate = 0;
        // 95 % Wilson interval of the hit rate; 0 and 1 without any count.
        double low = 0, high = 1;
        double mean = 0, median = 0;
        // The interval overlaps the base line's: for a buy the share of rises over every day,
        // for a sell the share of falls.
        bool chance = true;
        double baseLow = 0, baseHigh = 1; // that base line's interval
        // A rule's: the mean return and the share of rises of every stock on its events' days,
        // and its mean above that mean; none without a count.
        std::optional<double> sameDayMean, sameDayRise, excess;
        // TOPIX's mean return over the same entries and end days, and the rule's mean above it;
        // none where TOPIX is not stored for them.
        std::optional<double> topixMean, excessTopix;
        // A rule's events without a fill (no trade, or the price stuck at its limit): apart from
        // count; and those of the counted whose stock has since been delisted.
        int unfilled = 0, delistedEvents = 0;
    };
    struct Group
    {
        std::string name;
        std::vector<Row> rows; // per signal in Signal's order, then per horizon
    };

    explicit TrackRecord(std::vector<int> horizons);

    // One stock's stored days, newest first as a history file lists them. group empty: counted
    // in the whole selection only.
    void addStock(const std::vector<HistoryRow>& newestFirst, const std::string& group = {});
    // The same from the closes and volumes, oldest first.
    void addStock(
        const std::vector<double>& close, const std::vector<double>& volume, const std::string& group = {});
    // Takes over another record's days, as if its stocks had been added after this one's.
    void merge(TrackRecord&& other);
    // Room for the returns of this many days of the whole selection (a day's return per horizon).
    void reserve(std::size_t days);

    // The marks of every day of the stock added last, oldest first.
    const std::vector<Indicators::Mark>& shortMarks() const { return m_h; }
    const std::vector<Indicators::Mark>& volumeMarks() const { return m_k; }

    int stocks() const { return m_stocks; }
    const std::vector<int>& horizons() const { return m_horizons; }
    // The whole selection first, then the groups by name.
    std::vector<Group> report() const;

    static std::string signalName(Signal signal); // "短期買", … "全日"
    // The 95 % Wilson score interval of hits out of count.
    static std::pair<double, double> wilson(int hits, int count);

private:
    // Returns per signal, then per horizon.
    using Returns = std::array<std::vector<std::vector<double>>, kSignals>;

    Returns& returnsOf(const std::string& group);
    std::vector<Row> rowsOf(const Returns& returns) const;

    std::vector<int> m_horizons;
    int m_stocks = 0;
    Returns m_all;
    std::map<std::string, Returns> m_groups;
    // Per-stock work, kept to spare an allocation per stock.
    std::vector<Indicators::Mark> m_h, m_k;
};

} // namespace zuvemo::analysis
