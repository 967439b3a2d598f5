#pragma once

#include "EarningsHistory.h"
#include "Fundamentals.h"
#include "MarginHistory.h"

#include <map>
#include <set>
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

    MarketStanding(PriceStore& store, const std::vector<std::string>& days);

    // The figures of day into byCode (by the list's code).
    void fill(const std::string& day, std::map<std::string, Fundamentals::Figures>& byCode);

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
    struct Stock
    {
        std::string code; // the store's
        std::string listCode; // the list's, made once for every day's figures
        std::vector<double> close; // adjusted, carried over a day without a trade; 0 before the first
        std::vector<double> volume; // adjusted; 0 on a day without a trade
        std::vector<double> basis; // raw close ÷ adjusted close, carried
        std::vector<bool> row; // a bar (traded or not) is stored that day
    };
    void load();
    // The change of a stock over n days up to window day p; none without a close n days back.
    static std::optional<double> change(const Stock& stock, std::size_t p, std::size_t n);

    PriceStore& m_store;
    std::string m_first, m_last;
    bool m_loaded = false;
    std::vector<std::string> m_calendar;
    std::string m_calendarEnd;
    std::vector<std::string> m_window; // stored days read, ascending
    std::vector<Stock> m_stocks;
    std::vector<double> m_topix; // closes of the window's days; 0 where none
    std::vector<EarningsHistory::Row> m_earnings;
    std::map<std::string, std::vector<MarginHistory::Row>> m_margin; // by store code, by 申込日
    // Of each snapshot day, whether each of m_stocks was listed as a stock (no ETF, no REIT).
    std::map<std::string, std::vector<char>> m_listed;
};

} // namespace zuvemo::marketdata
