#pragma once

#include "marketdata/jquants/Fundamentals.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::marketdata {
class PriceStore;
}

namespace zuvemo::analysis {

struct HistoryRow;
struct PriceStudies;

// Where a stock's price stands on a day: its moving averages, RSI, changes, volume, highs and
// lows and the flags that follow, from its days up to that day only.
class TechnicalFigures
{
public:
    // One market day of a stock, split-adjusted: the close carried over a day without a trade,
    // whose high and low are that close and whose volume and turnover are 0.
    struct Bar
    {
        double c = 0, h = 0, l = 0, v = 0, va = 0;
        bool traded = false;
        bool upperTouched = false, lowerTouched = false; // the exchange's UL / LL of the day
    };

    // The days a figure looks back over, at most: the highs and lows of a year, and the day
    // before for the trend of the 200-day mean.
    static constexpr std::size_t kDays = 250;
    static constexpr std::size_t kLookBack = 251;
    // The days the cloud of a day was computed before it.
    static constexpr std::size_t kCloudAhead = 25;

    // The figures of the last bar of bars (oldest first, from the stock's first day with a
    // close), into the technical members of figures; a figure whose days are not all there is
    // none, a flag false.
    static void compute(const std::vector<Bar>& bars, marketdata::Fundamentals::Figures& figures);
    // The same over n bars, only the figures need names (bits of needOf): a test of a rule
    // over every stored day works out what its conditions read and nothing more.
    static void compute(
        const Bar* bars, std::size_t n, marketdata::Fundamentals::Figures& figures, unsigned need);
    // Lines of the last bar that a caller working out many days at once has ahead, each as
    // compute would take it from the same bars; compute works out those not given.
    struct Ahead
    {
        // PriceStudies::of's MACD of the bars and its before.
        const PriceStudies* macd = nullptr;
        const PriceStudies* macdBefore = nullptr;
        // PriceStudies::of's tenkan, kijun and spans of the bars, of all but the last, and of all
        // but the last 25 (the last only where there are more than 25).
        const PriceStudies* ichimoku = nullptr;
        // The year's highest high and lowest low of the bars.
        bool range = false;
        double high = 0, low = 0;
        // The uptrend of the bars.
        bool trend = false, uptrend = false;
    };
    static void compute(const Bar* bars, std::size_t n, marketdata::Fundamentals::Figures& figures,
        unsigned need, const Ahead& ahead);
    // The bit compute's need has for a figure's or a flag's name ("dev25", "new-high", "cross");
    // 0 for a name that is not a price figure.
    static unsigned needOf(std::string_view name);
    // Whether figures of need read the bars' highs and lows, or the limits' touches: a reader
    // of many bars leaves the columns out that none reads.
    static bool readsHighLow(unsigned need);
    static bool readsTouches(unsigned need);
    static constexpr unsigned kAll = ~0U;

    // The price figures of every stock of a store on day into byCode (by the list's code): kept
    // ones when the store has them for that day, else computed from the bars and kept.
    static void read(marketdata::PriceStore& store, const std::string& day,
        std::map<std::string, marketdata::Fundamentals::Figures>& byCode);

    // Computes and keeps the price figures of the list's day in a J-Quants folder, so that the
    // first search after a refresh reads them too; nothing in a CSV folder. A failure here
    // fails nothing: the search computes them itself.
    static void prepare(core::Mdl_Start& module);
    // The same for a folder's store and the list's day, with a connection of its own: for a
    // thread of its own.
    static void keep(const std::filesystem::path& programFolder, const std::string& day);

    // Every stock's bars of a price store up to day (the store's own days, nothing after day),
    // by the list's code.
    static std::map<std::string, std::vector<Bar>> fromStore(
        marketdata::PriceStore& store, const std::string& day);
    // The same one stock at a time, in code order, without keeping them all.
    static void each(marketdata::PriceStore& store, const std::string& day,
        const std::function<void(const std::string& code, const std::vector<Bar>& bars)>& fn);
    // A history file's rows (newest first, traded days only) up to day.
    static std::vector<Bar> fromHistory(const std::vector<HistoryRow>& newestFirst, const std::string& day);

private:
    // The figures made of PriceStudies: MACD, the band, the stochastics and 一目.
    static void studies(const Bar* bars, std::size_t n, marketdata::Fundamentals::Figures& f, unsigned need);
    static void macdInto(
        const PriceStudies& s, const PriceStudies& before, marketdata::Fundamentals::Figures& f);
    // 一目's figures of the last of n bars from its lines, the day before's and the cloud's.
    static void ichimokuInto(const Bar* bars, std::size_t n, const PriceStudies& s,
        const PriceStudies& before, const PriceStudies& cloud, marketdata::Fundamentals::Figures& f);
};

} // namespace zuvemo::analysis
