#include "Fundamentals.h"

#include "JQuantsAnswer.h"

#include <cmath>
#include <vector>

namespace zuvemo::marketdata {

bool Fundamentals::isYearEnd(const PriceStore::Filing& filing)
{
    return filing.docType.rfind("FYFinancialStatements", 0) == 0;
}

std::optional<double> Fundamentals::forecast(const PriceStore::Filing& filing)
{
    return JQuantsAnswer::figure(isYearEnd(filing) ? filing.nxFDivAnn : filing.fDivAnn);
}

std::optional<double> Fundamentals::salesForecast(const PriceStore::Filing& filing)
{
    return JQuantsAnswer::figure(isYearEnd(filing) ? filing.nxFSales : filing.fSales);
}

std::optional<double> Fundamentals::opForecast(const PriceStore::Filing& filing)
{
    return JQuantsAnswer::figure(isYearEnd(filing) ? filing.nxFOp : filing.fOp);
}

namespace {

// A figure looked for in a stock's filings, newest first: settled once a filing has it, or once
// one is met whose field was never fetched (it might have had a newer value), as none.
struct Pick
{
    bool settled = false;
    std::optional<double> value;

    void take(bool complete, std::optional<double> found)
    {
        if (!settled && (!complete || found)) {
            settled = true;
            value = complete ? found : std::nullopt;
        }
    }
};

// The growth and health of one stock, filled from its filings newest first.
struct Growth
{
    Pick sales, op, equityRatio; // the forecasts and the ratio
    bool yearEnd = false; // its newest year-end statement read
    std::optional<double> lastSales, lastOp;

    bool settled() const { return sales.settled && op.settled && equityRatio.settled && yearEnd; }

    void read(const PriceStore::Filing& filing)
    {
        sales.take(filing.complete, Fundamentals::salesForecast(filing));
        op.take(filing.complete, Fundamentals::opForecast(filing));
        equityRatio.take(filing.complete, JQuantsAnswer::figure(filing.eqAr));
        // The year just ended only: an empty figure there is none, never an older year's.
        if (!yearEnd && Fundamentals::isYearEnd(filing)) {
            yearEnd = true;
            if (filing.complete) {
                lastSales = JQuantsAnswer::figure(filing.sales);
                lastOp = JQuantsAnswer::figure(filing.op);
            }
        }
    }

    void fill(Fundamentals::Figures& f) const
    {
        if (sales.value && lastSales && *lastSales > 0) {
            f.salesGrowth = *sales.value / *lastSales - 1;
        }
        if (op.value && lastOp && *lastOp > 0) {
            f.opGrowth = *op.value / *lastOp - 1;
        }
        if (lastOp && lastSales && *lastSales > 0) {
            f.opMargin = *lastOp / *lastSales;
        }
        f.equityRatio = equityRatio.value;
    }
};

} // namespace

Fundamentals::Day Fundamentals::read(PriceStore& store, const std::string& day)
{
    Day out;
    out.valuationDate = store.valuationDay(day);
    auto& byCode = out.byCode;
    if (!out.valuationDate.empty()) {
        for (auto& v : store.valuations(out.valuationDate)) {
            auto& f = byCode[PriceStore::listCode(v.code)];
            f.per = v.per;
            f.fwdPer = v.fwdPer;
            f.pbr = v.pbr;
            f.roe = v.roe;
            f.fwdRoe = v.fwdRoe;
            f.eps = v.eps;
            f.fwdEps = v.fwdEps;
            f.bps = v.bps;
            if (v.marketCap && *v.marketCap > 0) {
                f.marketCap = *v.marketCap * 1e6;
            }
        }
    }
    for (const auto& [code, close] : store.closes(day)) {
        if (close > 0) {
            byCode[PriceStore::listCode(code)].close = close;
        }
    }
    // Per-share figures are as filed: a split after the filing scales them to today's shares.
    std::map<std::string, std::vector<std::pair<std::string, double>>> splits;
    for (const auto& [code, date, factor] : store.splits(day)) {
        splits[code].emplace_back(date, factor);
    }
    auto adjusted = [&splits](const std::string& code, const std::string& since, double value) {
        if (const auto it = splits.find(code); it != splits.end()) {
            for (const auto& [date, factor] : it->second) {
                if (date > since) {
                    value *= factor;
                }
            }
        }
        return value;
    };
    std::string code;
    Figures* f = nullptr;
    bool haveForecast = false;
    bool haveActual = false;
    Growth growth;
    auto endStock = [&] {
        if (!code.empty()) {
            Figures grown;
            growth.fill(grown);
            if (grown.salesGrowth || grown.opGrowth || grown.opMargin || grown.equityRatio) {
                f = f ? f : &byCode[PriceStore::listCode(code)];
                f->salesGrowth = grown.salesGrowth;
                f->opGrowth = grown.opGrowth;
                f->opMargin = grown.opMargin;
                f->equityRatio = grown.equityRatio;
            }
        }
    };
    // Newest first within a stock: the first filing with a forecast, the first year-end one.
    store.eachFiling(day, [&](const PriceStore::Filing& filing) {
        if (filing.code != code) {
            endStock();
            code = filing.code;
            f = nullptr;
            haveForecast = false;
            haveActual = false;
            growth = Growth();
        }
        if (!haveForecast) {
            if (const auto value = forecast(filing); value && *value >= 0) {
                f = f ? f : &byCode[PriceStore::listCode(code)];
                f->dividend = adjusted(code, filing.discDate, *value);
                f->dividendDisclosed = filing.discDate;
                haveForecast = true;
            }
        }
        if (!haveActual && isYearEnd(filing)) {
            haveActual = true;
            if (const auto value = JQuantsAnswer::figure(filing.divAnn); value && *value >= 0) {
                f = f ? f : &byCode[PriceStore::listCode(code)];
                f->dividendActual = adjusted(code, filing.discDate, *value);
            }
        }
        growth.read(filing);
        return !(haveForecast && haveActual && growth.settled());
    });
    endStock();
    for (auto& [stock, figures] : byCode) {
        if (figures.dividend && figures.close) {
            figures.dividendYield = *figures.dividend / *figures.close;
        }
        // A figure that overflowed on its way (a market value in millions, a split's factors)
        // is none, so it meets no condition and shows as none everywhere.
        for (auto* figure : {&figures.per, &figures.fwdPer, &figures.pbr, &figures.roe, &figures.fwdRoe,
                 &figures.eps, &figures.fwdEps, &figures.bps, &figures.marketCap, &figures.dividend,
                 &figures.dividendActual, &figures.dividendYield, &figures.salesGrowth, &figures.opGrowth,
                 &figures.opMargin, &figures.equityRatio}) {
            if (*figure && !std::isfinite(**figure)) {
                figure->reset();
            }
        }
    }
    return out;
}

} // namespace zuvemo::marketdata
