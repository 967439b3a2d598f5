#pragma once

#include "Fundamentals.h"
#include "PriceStore.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zuvemo::marketdata {

// What one stock's filings up to a day say, read newest first: the dividend forecast and the last
// year's dividend as filed, and the growth and health. Whoever reads the filings (one day's, or
// a timeline's) reads them through this, so a figure is the same whichever way it came.
class FilingFigures
{
public:
    // The numbers the figures read of a filing, taken from its text once.
    struct Filing
    {
        std::string discDate;
        std::optional<double> dividend; // the forecast of the coming year's
        std::optional<double> dividendActual, sales, op; // the year's, when a year-end statement
        std::optional<double> salesForecast, opForecast, equityRatio;
        bool yearEnd = false;
        bool complete = true;

        static Filing of(const PriceStore::Filing& filing);
    };
    // A stock's splits as the store gives them: (date, factor).
    using Splits = std::vector<std::pair<std::string, double>>;

    // The stock's next older filing; false once no older one could change a figure.
    bool read(const Filing& filing);
    // The figures on code's (the list's code) in byCode, which has them only when there is one:
    // a per-share figure filed before a split after it and up to day (empty: any) is on the day's shares.
    void fill(std::map<std::string, Fundamentals::Figures>& byCode, const std::string& code,
        const Splits* splits, const std::string& day) const;
    // The same on one stock's figures.
    void fill(Fundamentals::Figures& out, const Splits* splits, const std::string& day) const;

private:
    // figures() gives the stock's figures, made on the first call: a stock without any gets none.
    template <typename Figures>
    void fillInto(const Figures& figures, const Splits* splits, const std::string& day) const;

    // A figure looked for newest first: settled once a filing has it, or once one is met whose
    // field was never fetched (it might have had a newer value), as none.
    struct Pick
    {
        bool settled = false;
        std::optional<double> value;

        void take(bool complete, std::optional<double> found);
    };

    Pick m_sales, m_op, m_equityRatio; // the forecasts and the ratio
    bool m_yearEnd = false; // its newest year-end statement read
    std::optional<double> m_lastSales, m_lastOp;
    std::optional<double> m_dividend, m_dividendActual;
    std::string m_dividendDisclosed, m_actualDisclosed;
    bool m_haveForecast = false;
};

} // namespace zuvemo::marketdata
