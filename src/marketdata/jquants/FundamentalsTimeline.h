#pragma once

#include "FilingFigures.h"
#include "Fundamentals.h"
#include "MarketStanding.h"
#include "PriceStore.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::marketdata {

// Fundamentals::read of many days at once, a day at a time: the filings and the splits are read
// once, up to the newest day, and each day takes of them only what was disclosed by it, so a
// search over the past reads the store once and not once a day.
class FundamentalsTimeline
{
public:
    using Figure = std::optional<double> Fundamentals::Figures::*;

    // days ascending (a day before the one last asked is read afresh). asked: the figures the caller reads
    // (none: all); a day then holds those equal to Fundamentals::read's and reads no table the others alone
    // need.
    FundamentalsTimeline(
        PriceStore& store, std::vector<std::string> days, const std::vector<Figure>& asked = {});

    bool atEnd() const { return m_next == m_days.size(); }
    // The figures of the next day of the list.
    Fundamentals::Day next();
    // Whether nextChanges may be asked: only the filings' figures are.
    bool givesChanges() const { return !m_valuations && !m_closes && !m_standing; }
    // The next day as what changed since the day before, for a reader that keeps each stock's
    // figures: fn has those of each stock whose filings known or splits made by the day differ
    // from the day before's (on the first day asked, or one before the day last asked, every
    // stock with a filing); a stock not named keeps its figures. Each is next()'s, to the digit.
    void nextChanges(const std::function<void(const std::string& code, const Fundamentals::Figures&)>& fn);

private:
    struct Stock
    {
        std::string code; // the list's
        std::vector<FilingFigures::Filing> filings; // oldest first
        const FilingFigures::Splits* splits = nullptr;
        std::size_t known = 0; // the filings disclosed by the day last asked
        std::size_t splitsMade = 0; // the splits made by it
        FilingFigures figures;
    };

    void load();

    PriceStore& m_store;
    std::vector<std::string> m_days;
    std::size_t m_next = 0;
    bool m_valuations = true, m_closes = true, m_filings = true;
    std::optional<MarketStanding> m_standing; // when a figure asked reads it
    bool m_loaded = false;
    std::map<std::string, FilingFigures::Splits> m_splits; // by store code
    std::vector<Stock> m_stocks; // in the store's code order
    std::string m_valuationDate; // of m_valuation
    std::vector<PriceStore::Valuation> m_valuation;
};

} // namespace zuvemo::marketdata
