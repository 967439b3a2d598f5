#include "Fundamentals.h"

#include "FilingFigures.h"
#include "JQuantsAnswer.h"
#include "MarketStanding.h"

#include <cmath>

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

void Fundamentals::putValuation(Figures& f, const PriceStore::Valuation& v)
{
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

void Fundamentals::complete(Figures& f)
{
    if (f.dividend && f.close) {
        f.dividendYield = *f.dividend / *f.close;
    }
    // A figure that overflowed on its way (a market value in millions, a split's factors) is
    // none, so it meets no condition and shows as none everywhere.
    for (auto* figure :
        {&f.per, &f.fwdPer, &f.pbr, &f.roe, &f.fwdRoe, &f.eps, &f.fwdEps, &f.bps, &f.marketCap, &f.dividend,
            &f.dividendActual, &f.dividendYield, &f.salesGrowth, &f.opGrowth, &f.opMargin, &f.equityRatio}) {
        if (*figure && !std::isfinite(**figure)) {
            figure->reset();
        }
    }
}

Fundamentals::Day Fundamentals::read(PriceStore& store, const std::string& day)
{
    Day out;
    out.valuationDate = store.valuationDay(day);
    auto& byCode = out.byCode;
    if (!out.valuationDate.empty()) {
        for (const auto& v : store.valuations(out.valuationDate)) {
            putValuation(byCode[PriceStore::listCode(v.code)], v);
        }
    }
    for (const auto& [code, close] : store.closes(day)) {
        if (close > 0) {
            byCode[PriceStore::listCode(code)].close = close;
        }
    }
    std::map<std::string, FilingFigures::Splits> splits;
    for (const auto& [code, date, factor] : store.splits(day)) {
        splits[code].emplace_back(date, factor);
    }
    std::string code;
    FilingFigures filed;
    auto endStock = [&] {
        if (!code.empty()) {
            const auto it = splits.find(code);
            filed.fill(byCode, PriceStore::listCode(code), it == splits.end() ? nullptr : &it->second, day);
        }
    };
    store.eachFiling(day, [&](const PriceStore::Filing& filing) {
        if (filing.code != code) {
            endStock();
            code = filing.code;
            filed = FilingFigures();
        }
        return filed.read(FilingFigures::Filing::of(filing));
    });
    endStock();
    MarketStanding(store, {day}).fill(day, byCode);
    for (auto& [stock, figures] : byCode) {
        complete(figures);
    }
    return out;
}

} // namespace zuvemo::marketdata
