#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::analysis {

// Money rather than rates: a rule's events bought into a fixed number of slots, each held a fixed
// number of market days, with costs on both sides, beside the whole market equally weighted.
class RuleSimulation
{
public:
    // The bounds a simulation's settings keep to.
    static constexpr int kMaxSlots = 1000;
    static constexpr double kMinCapital = 10'000, kMaxCapital = 1e15;
    // 20.315 %: income tax, the reconstruction surtax and the inhabitants' tax on a gain.
    static constexpr double kTaxRate = 0.20315;

    struct Settings
    {
        int horizon = 1; // market days from the event to the sale
        bool nextOpen = false; // buy at the next day's open, else at the event day's close
        int slotCount = 10;
        double cost = 0.001; // a side, as a fraction of the price
        double capital = 1'000'000;
        int lot = 1;
        bool dividends = false; // credit each held share's dividend in cash on its ex-date
        bool tax = false; // pay kTaxRate of each calendar year's net realised gain
    };
    // The market as the simulation sees it: split-adjusted prices per stock and market day, NaN
    // where the stock did not trade.
    struct Market
    {
        std::vector<std::string> days; // every market day, ascending
        std::vector<std::string> codes; // per stock
        std::vector<std::vector<double>> open, close; // per stock, per day
        // Per day: each later day's mean of close ÷ the day before's close − 1 over the stocks
        // with both; NaN where no stock had both.
        std::vector<double> meanChange;
        // Per stock, per day: the fills the day's trade and limits allowed (FillBits); empty:
        // every day with a price fills.
        std::vector<std::vector<std::uint8_t>> fills;
        // Per stock: dividends a share on the adjusted basis by ex-day.
        std::vector<std::vector<std::pair<std::size_t, double>>> dividends;
        // Per stock: the last day of a stock since delisted, kNoDay for one still listed.
        std::vector<std::size_t> lastDay;
        std::vector<double> topixClose; // per day, NaN where not stored; may be empty
    };
    enum FillBits : std::uint8_t { BuyAtOpen = 1, BuyAtClose = 2, SellAtClose = 4 };
    static constexpr std::size_t kNoDay = static_cast<std::size_t>(-1);
    struct Trade
    {
        std::string code, bought, sold;
        // gain: the sale's proceeds and the dividends credited while held, less what was paid.
        double buyPrice = 0, sellPrice = 0, gain = 0, dividends = 0;
        long long shares = 0;
        bool delisted = false; // sold at the last close there was
    };
    struct Point
    {
        std::string date;
        double value = 0, market = 0;
        std::optional<double> topix; // TOPIX scaled to the capital; none without TOPIX
    };
    // A calendar year of the days simulated: its returns from the year before's last equity (the
    // capital in the first year) to its own last.
    struct Year
    {
        std::string year; // "2024"
        int days = 0, trades = 0; // trades sold within it
        double totalReturn = 0, marketReturn = 0;
        std::optional<double> topixReturn;
        double dividends = 0, tax = 0; // yen credited, yen paid
    };
    struct Result
    {
        int days = 0, trades = 0;
        std::optional<double> winRate; // none without a trade
        // None without a day simulated.
        std::optional<double> totalReturn, annualReturn, maxDrawdown, exposure;
        std::optional<double> marketReturn, marketAnnualReturn, marketMaxDrawdown;
        // TOPIX over the same days; none without TOPIX stored for all of them.
        std::optional<double> topixReturn, topixAnnualReturn, topixMaxDrawdown;
        int unfilled = 0; // buys passed over: no trade, or stuck at the limit
        double dividends = 0, tax = 0; // yen credited, yen paid over all the days
        std::vector<Point> equity;
        std::vector<Trade> sold;
        std::vector<Year> years;
    };

    // The days simulated run from first to the last market day; events[d] are the stocks whose
    // rule had an event on day d, in the order they are bought.
    static Result run(const Market& market, std::size_t first,
        const std::vector<std::vector<std::size_t>>& events, const Settings& settings);

    // The largest fall from a running peak that starts at start, as a positive fraction.
    static double maxDrawdown(double start, const std::vector<double>& values);
    // The years of an equity line begun at capital, with the trades sold in each.
    static std::vector<Year> years(
        double capital, const std::vector<Point>& equity, const std::vector<Trade>& sold);
    // (final ÷ start)^(245 ÷ days) − 1.
    static double annualised(double start, double final, int days);
};

} // namespace zuvemo::analysis
