#pragma once

#include "EarningsHistory.h"
#include "Fundamentals.h"
#include "MarginHistory.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::marketdata {

class PriceStore;

// What a Japanese investor checks before buying, for every stock on a day, as known that day:
// the next scheduled results (earnings-in, earnings-date), the margin balances, and the
// strength against TOPIX with its rank among the day's listed stocks. The store is read once
// for all the days asked, up to the newest of them.
class MarketStanding
{
public:
    // The days of a change the strength reads back over.
    static constexpr std::size_t kShort = 20, kLong = 60;
    // The days of the mean volume the long balance is measured in.
    static constexpr std::size_t kVolumeDays = 25;
    // The trading days a close is carried over days without a trade, at most.
    static constexpr std::size_t kCarry = 60;

    using Figure = std::optional<double> Fundamentals::Figures::*;

    // asked: the figures a caller reads (none: all of them); the others are not worked out,
    // and a table only they need is not read.
    MarketStanding(
        PriceStore& store, const std::vector<std::string>& days, const std::vector<Figure>& asked = {});

    // Whether a figure is one of these.
    static bool gives(Figure figure);
    // Whether figures asked read every stock's bars of the days (the strength, the long balance
    // in days of volume): the largest part of what load keeps.
    static bool readsBars(const std::vector<Figure>& asked);

    // The figures of day into byCode (by the list's code).
    void fill(const std::string& day, std::map<std::string, Fundamentals::Figures>& byCode);
    // The same as columns: out[stock × asked + j] the j-th figure asked of stock (of listCode's
    // numbering), NaN for none; fill's values to the digit, without a map of every stock a day.
    void columns(const std::string& day, std::vector<double>& out);
    // Where a reader of the days stands in them: several readers of one loaded standing, each
    // on a thread of its own and a run of the days, each keep their own.
    struct Cursor
    {
        std::vector<std::size_t> marginAfter; // of each stock, its first row after the day last asked
        int lastAsked = 0; // yyyymmdd
    };
    // columns for a reader of its own; the store is read first (load) and no more after.
    void columns(const std::string& day, std::vector<double>& out, Cursor& cursor) const;
    // Reads the store for the days, once: columns' values do not depend on which of the days
    // (or how many) a reader asks for.
    void load();
    std::size_t stockCount();
    const std::string& listCode(std::size_t stock) const { return m_stocks[stock].listCode; }
    const std::vector<Figure>& asked() const { return m_asked; }

    // The trading days after from up to to by the calendar (ascending), and the weekdays past
    // the day it ends at (calendarEnd); 0 when to is not after from.
    static int tradingDaysAfter(const std::vector<std::string>& calendar, const std::string& calendarEnd,
        const std::string& from, const std::string& to);
    // The second business day after a 申込日, as the weekly balances are published.
    static std::string secondBusinessDay(
        const std::vector<std::string>& calendar, const std::string& calendarEnd, const std::string& day);
    // 2026-12-15 → 20261215 and back.
    static double dateNumber(const std::string& dashed);
    static std::string dateText(double number);

private:
    // A scheduled announcement from a day on (0: none from it), yyyymmdd.
    struct Scheduled
    {
        int from = 0, date = 0;
    };
    struct Balance
    {
        int date = 0, knownFrom = 0; // 申込日, the day it is known, yyyymmdd
        double longVol = 0, shrtVol = 0;
    };
    struct Stock
    {
        std::string code; // the store's
        std::string listCode; // the list's, made once for every day's figures
        std::vector<Scheduled> scheduled; // by from, ascending
        std::vector<Balance> margin; // by 申込日
    };
    // The column of each figure in columns' rows, −1 where not asked.
    struct Columns
    {
        int earningsIn = -1, earningsDate = -1, marginRatio = -1, marginLong = -1, marginShort = -1,
            marginLongDays = -1, rs20 = -1, rs60 = -1, rsRank = -1;
    };
    Stock& stockOf(const std::string& code);
    void loadScheduled();
    // The change of a stock over n days up to window day p; none without a close n days back.
    std::optional<double> change(std::size_t stock, std::size_t p, std::size_t n) const;
    static int dateInt(const std::string& dashed);

    PriceStore& m_store;
    std::string m_first, m_last;
    std::vector<Figure> m_asked;
    Columns m_columns;
    bool m_loaded = false;
    std::vector<std::string> m_calendar;
    std::vector<int> m_calendarDays; // m_calendar as yyyymmdd
    std::string m_calendarEnd;
    std::vector<std::string> m_window; // stored days read, ascending
    std::vector<Stock> m_stocks;
    std::map<std::string, std::size_t> m_index; // of m_stocks by store code, while loading
    // The window's days of the first m_barStocks stocks, day by day (day × m_barStocks + stock),
    // read only when a figure asked needs them: a day's figures read every stock's.
    std::size_t m_barStocks = 0;
    std::vector<double> m_close; // adjusted, carried over a day without a trade; 0 before the first
    std::vector<double> m_volume; // adjusted; 0 on a day without a trade
    std::vector<double> m_basis; // raw close ÷ adjusted close, carried
    std::vector<char> m_row; // a bar (traded or not) is stored that day
    std::vector<double> m_topix; // closes of the window's days; 0 where none
    Cursor m_cursor; // columns' own
    // Of each snapshot day, whether each of m_stocks was listed as a stock (no ETF, no REIT).
    std::map<std::string, std::vector<char>> m_listed;
};

} // namespace zuvemo::marketdata
