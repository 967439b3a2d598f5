#include "FundamentalsTimeline.h"

#include <algorithm>
#include <initializer_list>

namespace zuvemo::marketdata {

namespace {

using Figures = Fundamentals::Figures;

bool any(const std::vector<FundamentalsTimeline::Figure>& asked,
    std::initializer_list<FundamentalsTimeline::Figure> figures)
{
    return asked.empty() || std::any_of(figures.begin(), figures.end(), [&](auto figure) {
        return std::find(asked.begin(), asked.end(), figure) != asked.end();
    });
}

} // namespace

FundamentalsTimeline::FundamentalsTimeline(
    PriceStore& store, std::vector<std::string> days, const std::vector<Figure>& asked)
    : m_store(store)
    , m_days(std::move(days))
    , m_valuations(any(asked,
          {&Figures::per, &Figures::fwdPer, &Figures::pbr, &Figures::roe, &Figures::fwdRoe, &Figures::eps,
              &Figures::fwdEps, &Figures::bps, &Figures::marketCap}))
    , m_closes(any(asked, {&Figures::close, &Figures::dividendYield}))
    , m_filings(any(asked,
          {&Figures::dividend, &Figures::dividendYield, &Figures::dividendActual, &Figures::salesGrowth,
              &Figures::opGrowth, &Figures::opMargin, &Figures::equityRatio}))
{
    if (any(asked,
            {&Figures::earningsIn, &Figures::earningsDate, &Figures::marginRatio, &Figures::marginLong,
                &Figures::marginShort, &Figures::marginLongDays, &Figures::rs20, &Figures::rs60,
                &Figures::rsRank})) {
        m_standing.emplace(m_store, m_days);
    }
}

void FundamentalsTimeline::load()
{
    m_loaded = true;
    if (!m_filings || m_days.empty()) {
        return;
    }
    const std::string last = *std::max_element(m_days.begin(), m_days.end());
    for (const auto& [code, date, factor] : m_store.splits(last)) {
        m_splits[code].emplace_back(date, factor);
    }
    std::string code;
    m_store.eachFilingOldestFirst(last, [&](const PriceStore::Filing& filing) {
        if (filing.code.empty()) {
            return; // read gives no stock of it figures
        }
        if (filing.code != code) {
            code = filing.code;
            auto& stock = m_stocks.emplace_back();
            stock.code = PriceStore::listCode(code);
            if (const auto it = m_splits.find(code); it != m_splits.end()) {
                stock.splits = &it->second;
            }
        }
        m_stocks.back().filings.push_back(FilingFigures::Filing::of(filing));
    });
}

Fundamentals::Day FundamentalsTimeline::next()
{
    if (!m_loaded) {
        load();
    }
    const std::string& day = m_days.at(m_next);
    const bool back = m_next > 0 && day < m_days[m_next - 1];
    ++m_next;
    Fundamentals::Day out;
    out.valuationDate = m_store.valuationDay(day);
    auto& byCode = out.byCode;
    if (m_valuations && !out.valuationDate.empty()) {
        if (out.valuationDate != m_valuationDate) {
            m_valuation = m_store.valuations(out.valuationDate);
            m_valuationDate = out.valuationDate;
        }
        for (const auto& v : m_valuation) {
            Fundamentals::putValuation(byCode[PriceStore::listCode(v.code)], v);
        }
    }
    if (m_closes) {
        for (const auto& [code, close] : m_store.closes(day)) {
            if (close > 0) {
                byCode[PriceStore::listCode(code)].close = close;
            }
        }
    }
    // Written newest code first, as read writes them.
    for (auto stock = m_stocks.rbegin(); stock != m_stocks.rend(); ++stock) {
        const auto& filings = stock->filings;
        std::size_t known = back ? 0 : stock->known;
        while (known < filings.size() && filings[known].discDate <= day) {
            ++known;
        }
        if (known != stock->known || back) {
            stock->known = known;
            stock->figures = FilingFigures();
            for (std::size_t i = known; i-- > 0 && stock->figures.read(filings[i]);) { }
        }
        if (known > 0) {
            stock->figures.fill(byCode, stock->code, stock->splits, day);
        }
    }
    if (m_standing) {
        m_standing->fill(day, byCode);
    }
    for (auto& [code, figures] : byCode) {
        Fundamentals::complete(figures);
    }
    return out;
}

void FundamentalsTimeline::nextChanges(
    const std::function<void(const std::string& code, const Fundamentals::Figures&)>& fn)
{
    if (!m_loaded) {
        load();
    }
    const std::string& day = m_days.at(m_next);
    const bool all = m_next == 0 || day < m_days[m_next - 1];
    ++m_next;
    for (auto& stock : m_stocks) {
        const auto& filings = stock.filings;
        std::size_t known = all ? 0 : stock.known;
        while (known < filings.size() && filings[known].discDate <= day) {
            ++known;
        }
        std::size_t splitsMade = 0;
        if (stock.splits) {
            splitsMade = static_cast<std::size_t>(std::count_if(stock.splits->begin(), stock.splits->end(),
                [&](const auto& split) { return split.first <= day; }));
        }
        const bool readAgain = all || known != stock.known;
        if (!readAgain && splitsMade == stock.splitsMade) {
            continue;
        }
        stock.splitsMade = splitsMade;
        if (readAgain) {
            stock.known = known;
            stock.figures = FilingFigures();
            for (std::size_t i = known; i-- > 0 && stock.figures.read(filings[i]);) { }
        }
        if (known == 0 && all) {
            continue;
        }
        Fundamentals::Figures f;
        if (known > 0) {
            stock.figures.fill(f, stock.splits, day);
            Fundamentals::complete(f);
        }
        fn(stock.code, f);
    }
}

} // namespace zuvemo::marketdata
