#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::sample {

// A deterministic synthetic Japanese stock market: the same options give the same files.
class SyntheticMarket
{
public:
    struct Options
    {
        int stocks = 4000;
        int days = 300;
        std::uint64_t seed = 1;
        std::chrono::year_month_day today{};
    };

    struct Bar
    {
        double open = 0, high = 0, low = 0, close = 0;
        std::int64_t volume = 0;
        bool decimal = false; // written with a decimal point
        // The day touched its upper (lower) price limit, as the exchange flags it.
        bool upperLimit = false, lowerLimit = false;
    };

    struct Stock
    {
        std::string code;
        std::string name;
        std::string market;
        std::string industry;
        int lastDay = 0; // index of the last trading day; earlier than the latest when suspended
        std::vector<Bar> bars; // one per calendar trading day, oldest first
    };

    // From the 500th stock on, one stock in a thousand ends on a day that meets one of find's
    // flags (stock index % 1000 = 501 to 508): a new high of the year, a new low, a golden and
    // a dead cross of the 5- and 25-day means right on the last day (the means equal the day
    // before), a year's steady rise, a high equal to an earlier one, and a day that rises to its
    // upper price limit and closes there (ストップ高) or falls to its lower one (ストップ安). A
    // suspended stock keeps its days.
    enum class Flag { None, NewHigh, NewLow, GoldenCross, DeadCross, Uptrend, HighAgain, StopHigh, StopLow };
    static Flag flagOf(int index)
    {
        return index < 500 || index % 1000 < 501 || index % 1000 > 508
            ? Flag::None
            : static_cast<Flag>(index % 1000 - 500);
    }

    explicit SyntheticMarket(const Options& options);

    const std::vector<std::chrono::sys_days>& tradingDays() const { return m_days; }
    const std::vector<Stock>& stocks() const { return m_stocks; }
    std::chrono::sys_days latestTradingDay() const { return m_days.back(); }

    // The daily quote file of a trading day in code page 932, or nothing for other days.
    std::optional<std::string> dailyFile(std::chrono::year_month_day day);
    // The price history of a stock in code page 932, or nothing for an unknown code.
    std::optional<std::string> historyFile(const std::string& code) const;

private:
    static void endOnAFlag(Stock& stock, int index);

    Options m_options;
    std::vector<std::chrono::sys_days> m_days;
    std::vector<Stock> m_stocks;
    std::map<std::string, std::size_t> m_byCode;
    std::mutex m_cacheMutex;
    std::map<int, std::string> m_dailyCache;
};

} // namespace zuvemo::sample
