#include "FilingFigures.h"

#include "JQuantsAnswer.h"

namespace zuvemo::marketdata {

namespace {

double adjusted(
    const FilingFigures::Splits* splits, const std::string& since, const std::string& day, double value)
{
    if (splits) {
        for (const auto& [date, factor] : *splits) {
            if (date > since && (day.empty() || date <= day)) {
                value *= factor;
            }
        }
    }
    return value;
}

} // namespace

FilingFigures::Filing FilingFigures::Filing::of(const PriceStore::Filing& filing)
{
    Filing out;
    out.discDate = filing.discDate;
    out.yearEnd = Fundamentals::isYearEnd(filing);
    out.complete = filing.complete;
    out.dividend = Fundamentals::forecast(filing);
    if (out.yearEnd) {
        out.dividendActual = JQuantsAnswer::figure(filing.divAnn);
        out.sales = JQuantsAnswer::figure(filing.sales);
        out.op = JQuantsAnswer::figure(filing.op);
    }
    out.salesForecast = Fundamentals::salesForecast(filing);
    out.opForecast = Fundamentals::opForecast(filing);
    out.equityRatio = JQuantsAnswer::figure(filing.eqAr);
    return out;
}

void FilingFigures::Pick::take(bool complete, std::optional<double> found)
{
    if (!settled && (!complete || found)) {
        settled = true;
        value = complete ? found : std::nullopt;
    }
}

bool FilingFigures::read(const Filing& filing)
{
    if (!m_haveForecast && filing.dividend && *filing.dividend >= 0) {
        m_haveForecast = true;
        m_dividend = filing.dividend;
        m_dividendDisclosed = filing.discDate;
    }
    m_sales.take(filing.complete, filing.salesForecast);
    m_op.take(filing.complete, filing.opForecast);
    m_equityRatio.take(filing.complete, filing.equityRatio);
    // The year just ended only: an empty figure there is none, never an older year's.
    if (!m_yearEnd && filing.yearEnd) {
        m_yearEnd = true;
        if (filing.dividendActual && *filing.dividendActual >= 0) {
            m_dividendActual = filing.dividendActual;
            m_actualDisclosed = filing.discDate;
        }
        if (filing.complete) {
            m_lastSales = filing.sales;
            m_lastOp = filing.op;
        }
    }
    return !(m_haveForecast && m_yearEnd && m_sales.settled && m_op.settled && m_equityRatio.settled);
}

void FilingFigures::fill(std::map<std::string, Fundamentals::Figures>& byCode, const std::string& code,
    const Splits* splits, const std::string& day) const
{
    Fundamentals::Figures* f = nullptr;
    fillInto(
        [&]() -> Fundamentals::Figures& {
            f = f ? f : &byCode[code];
            return *f;
        },
        splits, day);
}

void FilingFigures::fill(Fundamentals::Figures& out, const Splits* splits, const std::string& day) const
{
    fillInto([&]() -> Fundamentals::Figures& { return out; }, splits, day);
}

template <typename Figures>
void FilingFigures::fillInto(const Figures& figures, const Splits* splits, const std::string& day) const
{
    // Per-share figures are as filed: a split after the filing scales them to the day's shares.
    if (m_dividend) {
        auto& out = figures();
        out.dividend = adjusted(splits, m_dividendDisclosed, day, *m_dividend);
        out.dividendDisclosed = m_dividendDisclosed;
    }
    if (m_dividendActual) {
        figures().dividendActual = adjusted(splits, m_actualDisclosed, day, *m_dividendActual);
    }
    std::optional<double> salesGrowth, opGrowth, opMargin;
    if (m_sales.value && m_lastSales && *m_lastSales > 0) {
        salesGrowth = *m_sales.value / *m_lastSales - 1;
    }
    if (m_op.value && m_lastOp && *m_lastOp > 0) {
        opGrowth = *m_op.value / *m_lastOp - 1;
    }
    if (m_lastOp && m_lastSales && *m_lastSales > 0) {
        opMargin = *m_lastOp / *m_lastSales;
    }
    if (salesGrowth || opGrowth || opMargin || m_equityRatio.value) {
        auto& out = figures();
        out.salesGrowth = salesGrowth;
        out.opGrowth = opGrowth;
        out.opMargin = opMargin;
        out.equityRatio = m_equityRatio.value;
    }
}

} // namespace zuvemo::marketdata
