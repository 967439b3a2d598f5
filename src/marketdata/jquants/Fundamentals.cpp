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
    // Newest first within a stock: the first filing with a forecast, the first year-end one.
    store.eachFiling(day, [&](const PriceStore::Filing& filing) {
        if (filing.code != code) {
            code = filing.code;
            f = nullptr;
            haveForecast = false;
            haveActual = false;
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
        return !(haveForecast && haveActual);
    });
    for (auto& [stock, figures] : byCode) {
        if (figures.dividend && figures.close) {
            figures.dividendYield = *figures.dividend / *figures.close;
        }
        // A figure that overflowed on its way (a market value in millions, a split's factors)
        // is none, so it meets no condition and shows as none everywhere.
        for (auto* figure : {&figures.per, &figures.fwdPer, &figures.pbr, &figures.roe, &figures.fwdRoe,
                 &figures.eps, &figures.fwdEps, &figures.bps, &figures.marketCap, &figures.dividend,
                 &figures.dividendActual, &figures.dividendYield}) {
            if (*figure && !std::isfinite(**figure)) {
                figure->reset();
            }
        }
    }
    return out;
}

} // namespace zuvemo::marketdata
