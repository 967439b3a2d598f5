#pragma once

#include "StockFinder.h"
#include "marketdata/jquants/PriceStore.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::analysis {

// The market of the days a rule is tested over, read once: the stocks as they were listed each
// day (the listing history of a store, else today's list), their bars, the days a price limit
// let nobody trade, their dividends and TOPIX.
class RuleMarket
{
public:
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

    // A listing's market and industry from a day on.
    struct Span
    {
        std::size_t from = 0;
        std::string market, industry;
    };
    // One listing of a code over the tested days: a code listed again after an absence is
    // another listing, whose figures read none of the first one's bars.
    struct Listing
    {
        std::string code; // the list's code ("7203")
        std::size_t first = 0, last = 0; // its days among the tested ones, both included
        bool delisted = false; // its last day is its last with a trade: it is no longer listed
        std::vector<Span> spans; // oldest first; the first from `first`
        std::string storeCode; // the store's code ("72030"), where the bars are read from a store
        // Its stored days within first … last; in a market read from a store only while the
        // listing is evaluated (eachBars): ten years of every stock's bars do not fit beside.
        std::vector<marketdata::PriceStore::DayBar> bars;
        bool stored = false; // the store has a bar of it within first … last
        bool hasBars() const { return stored || !bars.empty(); }
        std::vector<std::pair<std::size_t, double>> dividends; // ex-day, yen a share as paid
        const Span& on(std::size_t day) const;
    };

    // One listing's days, each day of the market: prices split-adjusted, NaN where none.
    struct Series
    {
        std::vector<double> open, close; // the day's own, where it traded
        std::vector<double> raw; // the unadjusted close, where it traded
        // The close carried over days without a trade within the listing (a store); NaN before
        // its first trade and after its last day.
        std::vector<double> carried;
        // Bits per day: listed, selected (listed and within the rule's market and industry),
        // traded, opened at the upper limit, closed at the upper limit, closed at the lower one.
        std::vector<std::uint8_t> marks;
        // Dividend a share on the adjusted prices' basis, on its ex-day; 0 elsewhere.
        std::vector<double> dividend;
        std::size_t lastTrade = 0; // its last day with a trade; the market's size without one

        enum : std::uint8_t {
            Listed = 1,
            Selected = 2,
            Traded = 4,
            OpenAtUpper = 8,
            CloseAtUpper = 16,
            CloseAtLower = 32
        };
        bool is(std::size_t day, std::uint8_t mark) const { return (marks[day] & mark) != 0; }
    };

    std::vector<std::string> days; // the stored days up to the list's, ascending
    std::vector<Listing> listings; // in code order, a code's listings oldest first
    std::vector<double> topixOpen, topixClose; // per day, NaN where not stored
    bool store = false; // a J-Quants store, else a CSV folder's history files
    bool listingHistory = false; // the listings come from the listing history
    bool limitsApplied = false; // the bars carry unadjusted prices to check limits against
    bool dividendsStored = false;
    // The first ex-date whose dividend is still only a forecast, later than any decided one of
    // its stock: from it on a dividend may be missing yet. Empty when none is.
    std::string dividendsPendingFrom;
    std::string message; // why there is no market: no store, no histories, a stop
    // The folder whose store the listings' bars are read from by eachBars; empty when they are
    // held in the listings.
    std::filesystem::path storeFolder;

    // How far the reading is, in listings; returning false stops it.
    using Progress = std::function<bool(std::size_t done, std::size_t total)>;
    // The market for the conditions' market and industry, up to the list's day.
    static RuleMarket read(core::Mdl_Start& module, const StockFinder::Conditions& conditions,
        const std::string& listDay, const Progress& progress);

    // A listing's days from its bars; dividends: fill its dividends in.
    Series series(std::size_t listing, const std::vector<marketdata::PriceStore::DayBar>& bars,
        const StockFinder::Conditions& conditions, bool dividends) const;
    Series series(std::size_t listing, const StockFinder::Conditions& conditions, bool dividends) const
    {
        return series(listing, listings[listing].bars, conditions, dividends);
    }

    // The bars of listings begin … end - 1 in their order, each listing with a bar once: from
    // store (a connection of the caller's thread, on storeFolder) when the market streams them,
    // else the listings' own. Returning false stops the reading.
    using EachBars
        = std::function<bool(std::size_t listing, const std::vector<marketdata::PriceStore::DayBar>&)>;
    void eachBars(std::size_t begin, std::size_t end, marketdata::PriceStore* store, const EachBars& fn,
        marketdata::PriceStore::BarColumns columns = {true, true}) const;

    // A chosen market the listings do not show over every day from `from` on: "プライム は
    // 2022-05-02 から", "東証一部 は 2022-04-01 まで"; empty when they do, or it is not chosen.
    std::string marketSpan(const std::string& market, std::size_t from) const;

    // The market and industry a listing is selected by on day.
    static bool selects(const StockFinder::Conditions& conditions, const Span& span);
};

} // namespace zuvemo::analysis
