#pragma once

#include "PriceStore.h"

#include <map>
#include <optional>
#include <string>

namespace zuvemo::marketdata {

// The figures of every stock on the held day: JPX's valuation as sent (none recomputed), the
// dividend forecast of the stock's newest filing that has one, put on the basis of the day's
// prices, and the growth and health of its filings up to that day. A figure JPX did not send is
// none, never 0.
class Fundamentals
{
public:
    struct Figures
    {
        std::optional<double> close; // the raw close of the day
        std::optional<double> per, fwdPer, pbr, roe, fwdRoe, eps, fwdEps, bps;
        std::optional<double> marketCap; // yen
        std::optional<double> dividend, dividendYield, dividendActual; // per share, yen; a fraction
        std::string dividendDisclosed; // the DiscDate the forecast came from
        // Fractions (0.05: 5 %): the forecast sales and operating profit against the last year-end
        // statement's, that statement's operating margin, and the newest equity ratio.
        std::optional<double> salesGrowth, opGrowth, opMargin, equityRatio;

        // From the prices up to the day, split-adjusted: fractions, RSI 0–100, the volume ratio
        // as a multiple, the turnover in yen.
        std::optional<double> dev5, dev25, dev75, dev200, rsi, chg1, chg5, chg20, volRatio, turnover,
            fromHigh, fromLow;
        bool newHigh = false, newLow = false, uptrend = false;
        // The day touched its upper (lower) price limit, as the exchange flags it.
        bool stopHigh = false, stopLow = false;
        int cross = 0; // 1: SMA5 crossed SMA25 upwards on the day (golden), -1: downwards (dead)
        // MACD, its signal and histogram in adjusted yen, the close's place in the band in σ, the
        // stochastics in points, the close's deviation from 転換線 and 基準線 as fractions.
        std::optional<double> macd, macdSignal, macdHist, bb, stochK, stochD, slowD, tenkanDev, kijunDev;
        bool aboveCloud = false, belowCloud = false, sanyakuUp = false, sanyakuDown = false;
        // As cross: MACD over its signal, 転換線 over 基準線 (好転 1, 逆転 -1).
        int macdCross = 0, tenkanCross = 0;

        // Before buying, as known on the day: the trading days to the next scheduled results and
        // that day (20261215), the margin balances (shares) with their ratio and the long one in
        // days of the 25-day mean volume, the 20- and 60-day change less TOPIX's (fractions) and
        // the 60-day change's rank among the day's stocks (0–100).
        std::optional<double> earningsIn, earningsDate, marginRatio, marginLong, marginShort, marginLongDays,
            rs20, rs60, rsRank;

        friend bool operator==(const Figures&, const Figures&) = default;
    };
    struct Day
    {
        std::string valuationDate; // the newest day up to the held one with a valuation; empty: none
        std::map<std::string, Figures> byCode; // by the list's code ("7203")
    };

    static Day read(PriceStore& store, const std::string& day);

    // The forecast of the coming year's annual dividend a filing carries: a year-end statement
    // forecasts the next year, any other filing the current one.
    static std::optional<double> forecast(const PriceStore::Filing& filing);
    // The same of sales (NxFSales, else FSales) and operating profit (NxFOP, else FOP).
    static std::optional<double> salesForecast(const PriceStore::Filing& filing);
    static std::optional<double> opForecast(const PriceStore::Filing& filing);
    static bool isYearEnd(const PriceStore::Filing& filing);

    // What read makes of a stock's valuation, and of its figures once all are in: the yield,
    // and none for a figure that overflowed.
    static void putValuation(Figures& f, const PriceStore::Valuation& v);
    static void complete(Figures& f);
};

} // namespace zuvemo::marketdata
