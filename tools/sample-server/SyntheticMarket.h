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
        // A delisted stock leaves the exchange's list after lastDay; a suspended one stays on it.
        bool delisted = false;
        // A code listed again: absent from the list over gapFirst … gapLast, named formerName
        // before.
        int gapFirst = -1, gapLast = -1;
        std::string formerName;
        // On formerMarket before the day marketFrom.
        int marketFrom = -1;
        std::string formerMarket;

        struct Dividend
        {
            std::chrono::sys_days exDate, recordDate; // the ex-date may lie after the history
            bool interim = false; // 中間; else 期末
            double perShare = 0;
        };
        std::vector<Dividend> dividends; // by ex-date

        bool listedOn(int t) const { return !inGap(t) && (!delisted || t <= lastDay); }
        bool tradedOn(int t) const { return t <= lastDay && !inGap(t); }
        const std::string& nameOn(int t) const { return gapFirst >= 0 && t < gapFirst ? formerName : name; }
        const std::string& marketOn(int t) const
        {
            return marketFrom >= 0 && t < marketFrom ? formerMarket : market;
        }

    private:
        bool inGap(int t) const { return t >= gapFirst && t <= gapLast; }
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

    // One stock in a thousand each from the 500th on (stock index % 1000 = 522 to 529) ends on
    // a day that meets a condition of the chart's studies: a MACD golden and a dead cross on the
    // last day after a close unchanged over the whole history (MACD equals its signal, 0, the
    // day before; the close ends above and below the cloud), a close unchanged throughout (σ 0,
    // the close on the cloud), 転換線 crossing 基準線 upwards and downwards (a low and a high
    // leaving the nine days), 80 days' steady rise and fall (三役好転, 三役逆転), and a close inside
    // a cloud whose spans differ.
    enum class Study {
        None,
        MacdGolden,
        MacdDead,
        Unchanged,
        TenkanGolden,
        TenkanDead,
        SanyakuUp,
        SanyakuDown,
        InsideCloud
    };
    static Study studyOf(int index)
    {
        const int k = index % 1000;
        return index < 500 || k < 522 || k > 529 ? Study::None : static_cast<Study>(k - 521);
    }

    // The cases of the past, one stock in a thousand each from the 500th on (stock index % 1000
    // = 513 to 521), in histories of 200 trading days or more: a delisting in the middle after a
    // fall to 30 %, a delisting after a buy-out (a jump of 30 % from 150 yen, then flat for 25
    // days), a move from スタンダード to プライム 100 days before the newest, a code listed again
    // after 40 days away under another name at another price level, and days at the limits
    // (stuck at the upper one two days running, closing there, stuck at the lower one two days,
    // closing there, touching the upper one only). Four stocks pay dividends (期末 and 中間, about
    // 1.5 % each, the bars dropping by them on the ex-date); their notices differ: one is
    // corrected, one has a notice deleted, one is decided late, one forecasts "-" first.
    enum class Past { None, DelistedAfterFall, BoughtOut, MovesMarket, ListedAgain, AtLimits, Dividends };
    static Past pastOf(int index)
    {
        const int k = index % 1000;
        if (index < 500 || k < 513 || k > 521) {
            return Past::None;
        }
        return k >= 518 ? Past::Dividends : static_cast<Past>(k - 512);
    }
    // The dividend payers' kinds of notices.
    enum class Notices { Plain, Corrected, Deleted, DecidedLate, ForecastUndecided };
    static Notices noticesOf(int index)
    {
        return pastOf(index) != Past::Dividends ? Notices::Plain : static_cast<Notices>(index % 1000 - 517);
    }

    explicit SyntheticMarket(const Options& options);

    const std::vector<std::chrono::sys_days>& tradingDays() const { return m_days; }
    const std::vector<Stock>& stocks() const { return m_stocks; }
    std::chrono::sys_days latestTradingDay() const { return m_days.back(); }
    // The day the exchange's markets took today's names (2022-04-04); a history that does not
    // span it has its renaming 150 trading days before its newest day instead. Nothing in a
    // history too short for that.
    std::optional<std::chrono::sys_days> marketsRenamedOn() const { return m_renamed; }

    // The daily quote file of a trading day in code page 932, or nothing for other days.
    std::optional<std::string> dailyFile(std::chrono::year_month_day day);
    // The price history of a stock in code page 932, or nothing for an unknown code.
    std::optional<std::string> historyFile(const std::string& code) const;

private:
    static void endOnAFlag(Stock& stock, int index);
    static void endOnAStudy(Stock& stock, int index);
    void shapeThePast(Stock& stock, int index);
    void payDividends(Stock& stock);

    Options m_options;
    std::vector<std::chrono::sys_days> m_days;
    std::vector<Stock> m_stocks;
    std::optional<std::chrono::sys_days> m_renamed;
    std::map<std::string, std::size_t> m_byCode;
    std::mutex m_cacheMutex;
    std::map<int, std::string> m_dailyCache;
};

} // namespace zuvemo::sample
