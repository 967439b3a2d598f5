#include "MarketStanding.h"

#include "ListingHistory.h"
#include "PriceStore.h"
#include "TopixHistory.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Statement.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace zuvemo::marketdata {

namespace {

bool hasTable(core::Connection& db, const char* name)
{
    core::Statement s(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    s.bindText(1, name);
    return s.next();
}

std::chrono::sys_days dayOf(const std::string& dashed)
{
    using namespace std::chrono;
    return sys_days{year{std::stoi(dashed.substr(0, 4))} / month{unsigned(std::stoi(dashed.substr(5, 2)))}
        / day{unsigned(std::stoi(dashed.substr(8, 2)))}};
}

bool weekday(std::chrono::sys_days d)
{
    const std::chrono::weekday w{d};
    return w != std::chrono::Saturday && w != std::chrono::Sunday;
}

} // namespace

MarketStanding::MarketStanding(PriceStore& store, const std::vector<std::string>& days)
    : m_store(store)
{
    if (!days.empty()) {
        m_first = *std::min_element(days.begin(), days.end());
        m_last = *std::max_element(days.begin(), days.end());
    }
}

double MarketStanding::dateNumber(const std::string& dashed)
{
    return std::stod(dashed.substr(0, 4) + dashed.substr(5, 2) + dashed.substr(8, 2));
}

std::string MarketStanding::dateText(double number)
{
    const auto digits = std::to_string(static_cast<long long>(number));
    return digits.size() == 8 ? digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2)
                              : std::string();
}

int MarketStanding::tradingDaysAfter(const std::vector<std::string>& calendar, const std::string& calendarEnd,
    const std::string& from, const std::string& to)
{
    if (to <= from) {
        return 0;
    }
    const auto within = std::min(to, calendarEnd.empty() ? from : std::max(from, calendarEnd));
    int n = static_cast<int>(std::upper_bound(calendar.begin(), calendar.end(), within)
        - std::upper_bound(calendar.begin(), calendar.end(), from));
    // Past the calendar the exchange's holidays are not known yet: a weekday is a trading day.
    for (auto d = dayOf(within) + std::chrono::days{1}; d <= dayOf(to); d += std::chrono::days{1}) {
        n += weekday(d) ? 1 : 0;
    }
    return n;
}

std::string MarketStanding::secondBusinessDay(
    const std::vector<std::string>& calendar, const std::string& calendarEnd, const std::string& day)
{
    auto it = std::upper_bound(calendar.begin(), calendar.end(), day);
    int left = 2;
    std::string at = day;
    while (left > 0 && it != calendar.end()) {
        at = *it++;
        --left;
    }
    if (left > 0) {
        auto d = dayOf(std::max(at, calendarEnd.empty() ? at : calendarEnd));
        while (left > 0) {
            d += std::chrono::days{1};
            left -= weekday(d) ? 1 : 0;
        }
        at = core::Clock::dashed(std::chrono::year_month_day{d});
    }
    return at;
}

void MarketStanding::load()
{
    m_loaded = true;
    if (m_last.empty()) {
        return;
    }
    auto& db = m_store.connection();
    m_calendar = m_store.tradingDays("0000-01-01", "9999-12-31");
    m_calendarEnd = m_store.calendarEnd();
    const auto stored = m_store.storedDays();
    auto begin = std::lower_bound(stored.begin(), stored.end(), m_first);
    const auto end = std::upper_bound(stored.begin(), stored.end(), m_last);
    begin -= std::min<std::ptrdiff_t>(kLong + kCarry, begin - stored.begin());
    m_window.assign(begin, end);
    const std::size_t n = m_window.size();
    if (n > 0) {
        m_store.eachStockBars(
            m_window,
            [&](const std::string& code, const std::vector<PriceStore::DayBar>& bars) {
                Stock stock;
                stock.code = code;
                stock.listCode = PriceStore::listCode(code);
                stock.close.assign(n, 0);
                stock.volume.assign(n, 0);
                stock.basis.assign(n, 0);
                stock.row.assign(n, false);
                for (const auto& bar : bars) {
                    stock.row[bar.day] = true;
                    if (bar.traded && bar.adjC > 0 && bar.c > 0) {
                        stock.close[bar.day] = bar.adjC;
                        stock.volume[bar.day] = bar.adjVo;
                        stock.basis[bar.day] = bar.c / bar.adjC;
                    }
                }
                // Carried kCarry days at most, so a day's figures never depend on how far back
                // the window reaches.
                std::size_t since = kCarry + 1;
                for (std::size_t d = 0; d < n; ++d) {
                    if (stock.close[d] > 0) {
                        since = 0;
                    } else if (++since <= kCarry && d > 0) {
                        stock.close[d] = stock.close[d - 1];
                        stock.basis[d] = stock.basis[d - 1];
                    }
                }
                m_stocks.push_back(std::move(stock));
            },
            true);
        m_topix.assign(n, 0);
        if (hasTable(db, "Table_Topix")) {
            for (const auto& bar : TopixHistory(db).bars(m_window.front(), m_window.back())) {
                const auto at = std::lower_bound(m_window.begin(), m_window.end(), bar.date);
                if (at != m_window.end() && *at == bar.date) {
                    m_topix[static_cast<std::size_t>(at - m_window.begin())] = bar.c;
                }
            }
        }
    }
    if (EarningsHistory::kept(db)) {
        m_earnings = EarningsHistory(db).rows(m_last);
    }
    if (MarginHistory::kept(db)) {
        for (auto& row : MarginHistory(db).rows(m_last)) {
            m_margin[row.code].push_back(std::move(row));
        }
    }
    if (hasTable(db, "Table_ListingDay")) {
        for (const auto& snapshot : ListingHistory(db).snapshots(m_last)) {
            // Only the snapshots the days asked read: the newest by the first and those after.
            if (snapshot.date < m_first && !m_listed.empty() && m_listed.begin()->first < m_first) {
                m_listed.erase(m_listed.begin());
            }
            auto& listed = m_listed[snapshot.date];
            listed.assign(m_stocks.size(), 0);
            for (std::size_t i = 0; i < m_stocks.size(); ++i) {
                const auto it = snapshot.stocks.find(m_stocks[i].code);
                listed[i] = it != snapshot.stocks.end() && it->second.product != "013"
                    && it->second.product != "014";
            }
        }
    }
}

std::optional<double> MarketStanding::change(const Stock& stock, std::size_t p, std::size_t n)
{
    if (p < n || stock.close[p - n] <= 0) {
        return std::nullopt;
    }
    return stock.close[p] / stock.close[p - n] - 1;
}

void MarketStanding::fill(const std::string& day, std::map<std::string, Fundamentals::Figures>& byCode)
{
    if (!m_loaded) {
        load();
    }
    for (const auto& [code, scheduled] : EarningsHistory::next(m_earnings, day)) {
        auto& f = byCode[PriceStore::listCode(code)];
        f.earningsDate = dateNumber(scheduled);
        f.earningsIn = tradingDaysAfter(m_calendar, m_calendarEnd, day, scheduled);
    }
    const auto at = std::lower_bound(m_window.begin(), m_window.end(), day);
    const bool stored = at != m_window.end() && *at == day;
    const std::size_t p = static_cast<std::size_t>(at - m_window.begin());
    for (const auto& [code, rows] : m_margin) {
        // The newest 申込日 published by the day: rows by 申込日, each known on or after it.
        const auto after = std::upper_bound(rows.begin(), rows.end(), day,
            [](const std::string& d, const MarginHistory::Row& r) { return d < r.date; });
        const MarginHistory::Row* known = nullptr;
        for (auto it = after; it != rows.begin();) {
            --it;
            if (it->knownFrom <= day) {
                known = &*it;
                break;
            }
        }
        if (!known) {
            continue;
        }
        auto& f = byCode[PriceStore::listCode(code)];
        f.marginLong = known->longVol;
        f.marginShort = known->shrtVol;
        if (known->shrtVol > 0) {
            f.marginRatio = known->longVol / known->shrtVol;
        }
    }
    if (!stored) {
        return;
    }
    // The day's listed stocks: those of the newest snapshot by then (the oldest before any).
    const std::vector<char>* listed = nullptr;
    if (!m_listed.empty()) {
        auto snap = m_listed.upper_bound(day);
        listed = snap == m_listed.begin() ? &snap->second : &std::prev(snap)->second;
    }
    const bool topix = m_topix[p] > 0;
    std::vector<std::pair<double, Fundamentals::Figures*>> ranked;
    for (std::size_t i = 0; i < m_stocks.size(); ++i) {
        const auto& stock = m_stocks[i];
        // A stock the day has no bar of (suspended, delisted) has no price figure that day.
        if (stock.close[p] <= 0 || !stock.row[p]) {
            continue;
        }
        Fundamentals::Figures* f = nullptr;
        auto figures = [&]() -> Fundamentals::Figures& {
            if (!f) {
                f = &byCode[stock.listCode];
            }
            return *f;
        };
        const auto short_ = change(stock, p, kShort);
        const auto long_ = change(stock, p, kLong);
        if (short_ && topix && m_topix[p - kShort] > 0) {
            figures().rs20 = *short_ - (m_topix[p] / m_topix[p - kShort] - 1);
        }
        if (long_ && topix && m_topix[p - kLong] > 0) {
            figures().rs60 = *long_ - (m_topix[p] / m_topix[p - kLong] - 1);
        }
        if (long_ && (!listed || (*listed)[i])) {
            ranked.emplace_back(*long_, &figures());
        }
        const auto margin = byCode.find(stock.listCode);
        if (margin != byCode.end() && margin->second.marginLong && p + 1 >= kVolumeDays
            && stock.close[p + 1 - kVolumeDays] > 0) {
            // The volumes on the day's basis, as the balance is: no later split changes them.
            double sum = 0;
            for (std::size_t d = p + 1 - kVolumeDays; d <= p; ++d) {
                sum += stock.volume[d];
            }
            const double mean = sum / static_cast<double>(kVolumeDays) / stock.basis[p];
            if (mean > 0) {
                margin->second.marginLongDays = *margin->second.marginLong / mean;
            }
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const double count = static_cast<double>(ranked.size());
    for (std::size_t i = 0; i < ranked.size();) {
        std::size_t same = i;
        while (same < ranked.size() && ranked[same].first == ranked[i].first) {
            ++same;
        }
        // Those lower only: equal changes share a rank.
        const double rank = std::floor(100 * static_cast<double>(i) / count);
        for (; i < same; ++i) {
            ranked[i].second->rsRank = rank;
        }
    }
}

} // namespace zuvemo::marketdata
