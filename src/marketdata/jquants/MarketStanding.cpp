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
#include <initializer_list>
#include <limits>

namespace zuvemo::marketdata {

namespace {

using Figures = Fundamentals::Figures;

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

MarketStanding::MarketStanding(
    PriceStore& store, const std::vector<std::string>& days, const std::vector<Figure>& asked)
    : m_store(store)
{
    if (!days.empty()) {
        m_first = *std::min_element(days.begin(), days.end());
        m_last = *std::max_element(days.begin(), days.end());
    }
    for (const auto& [figure, column] :
        std::initializer_list<std::pair<Figure, int Columns::*>>{{&Figures::earningsIn, &Columns::earningsIn},
            {&Figures::earningsDate, &Columns::earningsDate}, {&Figures::marginRatio, &Columns::marginRatio},
            {&Figures::marginLong, &Columns::marginLong}, {&Figures::marginShort, &Columns::marginShort},
            {&Figures::marginLongDays, &Columns::marginLongDays}, {&Figures::rs20, &Columns::rs20},
            {&Figures::rs60, &Columns::rs60}, {&Figures::rsRank, &Columns::rsRank}}) {
        if (asked.empty() || std::find(asked.begin(), asked.end(), figure) != asked.end()) {
            m_columns.*column = static_cast<int>(m_asked.size());
            m_asked.push_back(figure);
        }
    }
}

bool MarketStanding::readsBars(const std::vector<Figure>& asked)
{
    return asked.empty() || std::any_of(asked.begin(), asked.end(), [](Figure f) {
        return f == &Figures::marginLongDays || f == &Figures::rs20 || f == &Figures::rs60
            || f == &Figures::rsRank;
    });
}

bool MarketStanding::gives(Figure figure)
{
    return figure == &Figures::earningsIn || figure == &Figures::earningsDate
        || figure == &Figures::marginRatio || figure == &Figures::marginLong
        || figure == &Figures::marginShort || figure == &Figures::marginLongDays || figure == &Figures::rs20
        || figure == &Figures::rs60 || figure == &Figures::rsRank;
}

int MarketStanding::dateInt(const std::string& dashed)
{
    if (dashed.size() != 10) {
        return 0;
    }
    int out = 0;
    for (const char c : dashed) {
        if (c >= '0' && c <= '9') {
            out = out * 10 + (c - '0');
        }
    }
    return out;
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

MarketStanding::Stock& MarketStanding::stockOf(const std::string& code)
{
    const auto [it, added] = m_index.emplace(code, m_stocks.size());
    if (added) {
        auto& stock = m_stocks.emplace_back();
        stock.code = code;
        stock.listCode = PriceStore::listCode(code);
    }
    return m_stocks[it->second];
}

std::size_t MarketStanding::stockCount()
{
    if (!m_loaded) {
        load();
    }
    return m_stocks.size();
}

void MarketStanding::loadScheduled()
{
    // Of each quarter the newest publication by a day holds while its day is not past; a stock's
    // day is the earliest its quarters hold. Worked out once as the days each answer starts.
    struct Held
    {
        int from, until, date; // [from, until), yyyymmdd
    };
    std::string code, fye, quarter;
    std::vector<Held> held;
    std::vector<std::pair<int, int>> quarterRows; // publication, scheduled
    auto endQuarter = [&]() {
        for (std::size_t i = 0; i < quarterRows.size(); ++i) {
            const auto [pub, date] = quarterRows[i];
            const int next
                = i + 1 < quarterRows.size() ? quarterRows[i + 1].first : std::numeric_limits<int>::max();
            // Days are whole yyyymmdd numbers: day <= date is day < date + 1.
            const int until = date == 0 ? pub : std::min(next, date + 1);
            if (until > pub) {
                held.push_back({pub, until, date});
            }
        }
        quarterRows.clear();
    };
    auto endStock = [&]() {
        endQuarter();
        if (held.empty()) {
            return;
        }
        std::vector<int> bounds;
        for (const auto& h : held) {
            bounds.push_back(h.from);
            bounds.push_back(h.until);
        }
        std::sort(bounds.begin(), bounds.end());
        bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
        auto& scheduled = stockOf(code).scheduled;
        for (const int from : bounds) {
            int date = 0;
            for (const auto& h : held) {
                if (h.from <= from && from < h.until && (date == 0 || h.date < date)) {
                    date = h.date;
                }
            }
            if (scheduled.empty() ? date != 0 : scheduled.back().date != date) {
                scheduled.push_back({from, date});
            }
        }
        held.clear();
    };
    EarningsHistory(m_store.connection()).eachRow(m_last, [&](const EarningsHistory::Row& row) {
        if (row.code != code) {
            endStock();
            code = row.code;
        } else if (row.fye != fye || row.quarter != quarter) {
            endQuarter();
        }
        fye = row.fye;
        quarter = row.quarter;
        quarterRows.emplace_back(dateInt(row.pubDate), dateInt(row.schDate));
    });
    endStock();
}

void MarketStanding::load()
{
    if (m_loaded) {
        return;
    }
    m_loaded = true;
    if (m_last.empty()) {
        return;
    }
    auto& db = m_store.connection();
    const auto& c = m_columns;
    const bool volumes = c.marginLongDays >= 0;
    const bool bars = volumes || c.rs20 >= 0 || c.rs60 >= 0 || c.rsRank >= 0;
    m_calendar = m_store.tradingDays("0000-01-01", "9999-12-31");
    for (const auto& day : m_calendar) {
        m_calendarDays.push_back(dateInt(day));
    }
    m_calendarEnd = m_store.calendarEnd();
    const auto stored = m_store.storedDays();
    auto begin = std::lower_bound(stored.begin(), stored.end(), m_first);
    const auto end = std::upper_bound(stored.begin(), stored.end(), m_last);
    begin -= std::min<std::ptrdiff_t>(kLong + kCarry, begin - stored.begin());
    m_window.assign(begin, end);
    const std::size_t n = m_window.size();
    if (n > 0 && bars) {
        // Read stock by stock, kept day by day.
        std::vector<std::vector<double>> close, volume, basis;
        std::vector<std::vector<char>> row;
        m_store.eachStockBars(
            m_window,
            [&](const std::string& code, const std::vector<PriceStore::DayBar>& rows) {
                stockOf(code);
                auto& c = close.emplace_back(n, 0);
                auto& r = row.emplace_back(n, 0);
                auto& v = volume.emplace_back(volumes ? n : 0, 0);
                auto& b = basis.emplace_back(volumes ? n : 0, 0);
                for (const auto& bar : rows) {
                    r[bar.day] = 1;
                    if (bar.traded && bar.adjC > 0 && bar.c > 0) {
                        c[bar.day] = bar.adjC;
                        if (volumes) {
                            v[bar.day] = bar.adjVo;
                            b[bar.day] = bar.c / bar.adjC;
                        }
                    }
                }
                // Carried kCarry days at most, so a day's figures never depend on how far back
                // the window reaches.
                std::size_t since = kCarry + 1;
                for (std::size_t d = 0; d < n; ++d) {
                    if (c[d] > 0) {
                        since = 0;
                    } else if (++since <= kCarry && d > 0) {
                        c[d] = c[d - 1];
                        if (volumes) {
                            b[d] = b[d - 1];
                        }
                    }
                }
            },
            true);
        const std::size_t s = m_barStocks = close.size();
        auto byDay = [&](auto& byStock, auto& out) {
            if (byStock.empty() || byStock.front().empty()) {
                return;
            }
            out.resize(n * s);
            for (std::size_t i = 0; i < s; ++i) {
                for (std::size_t d = 0; d < n; ++d) {
                    out[d * s + i] = byStock[i][d];
                }
                byStock[i] = {};
            }
        };
        byDay(close, m_close);
        byDay(row, m_row);
        byDay(volume, m_volume);
        byDay(basis, m_basis);
        m_topix.assign(n, 0);
        if ((c.rs20 >= 0 || c.rs60 >= 0) && hasTable(db, "Table_Topix")) {
            for (const auto& bar : TopixHistory(db).bars(m_window.front(), m_window.back())) {
                const auto at = std::lower_bound(m_window.begin(), m_window.end(), bar.date);
                if (at != m_window.end() && *at == bar.date) {
                    m_topix[static_cast<std::size_t>(at - m_window.begin())] = bar.c;
                }
            }
        }
    }
    if ((c.earningsIn >= 0 || c.earningsDate >= 0) && EarningsHistory::kept(db)) {
        loadScheduled();
    }
    if ((c.marginRatio >= 0 || c.marginLong >= 0 || c.marginShort >= 0 || c.marginLongDays >= 0)
        && MarginHistory::kept(db)) {
        Stock* stock = nullptr;
        MarginHistory(db).eachBalance(m_last,
            [&](const std::string& code, const std::string& date, const std::string& knownFrom,
                double longVol, double shrtVol) {
                if (!stock || stock->code != code) {
                    stock = &stockOf(code);
                }
                stock->margin.push_back({dateInt(date), dateInt(knownFrom), longVol, shrtVol});
            });
    }
    if (c.rsRank >= 0 && hasTable(db, "Table_ListingDay")) {
        // Only the snapshots the days asked read: the newest by the first and those after.
        std::vector<char>* listed = nullptr;
        ListingHistory(db).eachProduct(
            m_last, [&](const std::string& date, const std::string& code, const std::string& product) {
                if (!listed || m_listed.rbegin()->first != date) {
                    if (date <= m_first) {
                        m_listed.clear();
                    }
                    listed = &m_listed[date];
                    listed->assign(m_stocks.size(), 0);
                }
                if (const auto it = m_index.find(code); it != m_index.end()) {
                    (*listed)[it->second] = product != "013" && product != "014";
                }
            });
    }
    m_index.clear();
}

std::optional<double> MarketStanding::change(std::size_t stock, std::size_t p, std::size_t n) const
{
    if (p < n || m_close[(p - n) * m_barStocks + stock] <= 0) {
        return std::nullopt;
    }
    return m_close[p * m_barStocks + stock] / m_close[(p - n) * m_barStocks + stock] - 1;
}

void MarketStanding::fill(const std::string& day, std::map<std::string, Fundamentals::Figures>& byCode)
{
    std::vector<double> values;
    columns(day, values);
    const std::size_t k = m_asked.size();
    for (std::size_t i = 0; i < m_stocks.size(); ++i) {
        Fundamentals::Figures* f = nullptr;
        for (std::size_t j = 0; j < k; ++j) {
            if (const double v = values[i * k + j]; !std::isnan(v)) {
                if (!f) {
                    f = &byCode[m_stocks[i].listCode];
                }
                f->*(m_asked[j]) = v;
            }
        }
    }
}

void MarketStanding::columns(const std::string& day, std::vector<double>& out)
{
    if (!m_loaded) {
        load();
    }
    columns(day, out, m_cursor);
}

void MarketStanding::columns(const std::string& day, std::vector<double>& out, Cursor& cursor) const
{
    const std::size_t k = m_asked.size();
    out.assign(m_stocks.size() * k, std::numeric_limits<double>::quiet_NaN());
    const auto& c = m_columns;
    auto put = [&](std::size_t i, int column, double v) {
        if (column >= 0) {
            out[i * k + static_cast<std::size_t>(column)] = v;
        }
    };
    const int today = dateInt(day);
    const int calendarEnd = m_calendarEnd.empty() ? 0 : dateInt(m_calendarEnd);
    const auto pastToday = std::upper_bound(m_calendarDays.begin(), m_calendarDays.end(), today);
    for (std::size_t i = 0; i < m_stocks.size(); ++i) {
        const auto& scheduled = m_stocks[i].scheduled;
        const auto it = std::upper_bound(
            scheduled.begin(), scheduled.end(), today, [](int d, const Scheduled& s) { return d < s.from; });
        if (it == scheduled.begin() || std::prev(it)->date == 0) {
            continue;
        }
        const int date = std::prev(it)->date;
        put(i, c.earningsDate, date);
        if (c.earningsIn >= 0) {
            // Within the calendar the count of its days; past it the weekdays too.
            const int in = date <= today ? 0
                : calendarEnd != 0 && date <= calendarEnd
                ? static_cast<int>(
                    std::upper_bound(m_calendarDays.begin(), m_calendarDays.end(), date) - pastToday)
                : tradingDaysAfter(m_calendar, m_calendarEnd, day, dateText(date));
            put(i, c.earningsIn, in);
        }
    }
    // The newest 申込日 published by the day, of each stock: its long balance for the days.
    std::vector<double> knownLong(
        c.marginLongDays >= 0 ? m_stocks.size() : 0, std::numeric_limits<double>::quiet_NaN());
    const bool onward = today >= cursor.lastAsked;
    cursor.lastAsked = today;
    cursor.marginAfter.resize(m_stocks.size(), 0);
    for (std::size_t i = 0; i < m_stocks.size(); ++i) {
        const auto& rows = m_stocks[i].margin;
        if (rows.empty()) {
            continue;
        }
        // Rows by 申込日, each known on or after it; the days asked mostly ascend.
        auto at = onward ? cursor.marginAfter[i] : 0;
        while (at < rows.size() && rows[at].date <= today) {
            ++at;
        }
        cursor.marginAfter[i] = at;
        const auto after = rows.begin() + static_cast<std::ptrdiff_t>(at);
        const Balance* known = nullptr;
        for (auto it = after; it != rows.begin();) {
            --it;
            if (it->knownFrom <= today) {
                known = &*it;
                break;
            }
        }
        if (!known) {
            continue;
        }
        put(i, c.marginLong, known->longVol);
        put(i, c.marginShort, known->shrtVol);
        if (known->shrtVol > 0) {
            put(i, c.marginRatio, known->longVol / known->shrtVol);
        }
        if (!knownLong.empty()) {
            knownLong[i] = known->longVol;
        }
    }
    const auto at = std::lower_bound(m_window.begin(), m_window.end(), day);
    if (at == m_window.end() || *at != day || m_topix.empty()) {
        return;
    }
    const std::size_t p = static_cast<std::size_t>(at - m_window.begin());
    // The day's listed stocks: those of the newest snapshot by then (the oldest before any).
    const std::vector<char>* listed = nullptr;
    if (!m_listed.empty()) {
        auto snap = m_listed.upper_bound(day);
        listed = snap == m_listed.begin() ? &snap->second : &std::prev(snap)->second;
    }
    const bool topix = m_topix[p] > 0;
    std::vector<std::pair<std::size_t, double>> ranked;
    const std::size_t s = m_barStocks;
    for (std::size_t i = 0; i < s; ++i) {
        // A stock the day has no bar of (suspended, delisted) has no price figure that day.
        if (m_close[p * s + i] <= 0 || !m_row[p * s + i]) {
            continue;
        }
        if (c.rs20 >= 0 || c.rs60 >= 0 || c.rsRank >= 0) {
            const auto short_ = change(i, p, kShort);
            const auto long_ = change(i, p, kLong);
            if (short_ && topix && m_topix[p - kShort] > 0) {
                put(i, c.rs20, *short_ - (m_topix[p] / m_topix[p - kShort] - 1));
            }
            if (long_ && topix && m_topix[p - kLong] > 0) {
                put(i, c.rs60, *long_ - (m_topix[p] / m_topix[p - kLong] - 1));
            }
            if (c.rsRank >= 0 && long_ && (!listed || (*listed)[i])) {
                ranked.emplace_back(i, *long_);
            }
        }
        if (!knownLong.empty() && !std::isnan(knownLong[i]) && p + 1 >= kVolumeDays
            && m_close[(p + 1 - kVolumeDays) * s + i] > 0) {
            // The volumes on the day's basis, as the balance is: no later split changes them.
            double sum = 0;
            for (std::size_t d = p + 1 - kVolumeDays; d <= p; ++d) {
                sum += m_volume[d * s + i];
            }
            const double mean = sum / static_cast<double>(kVolumeDays) / m_basis[p * s + i];
            if (mean > 0) {
                put(i, c.marginLongDays, knownLong[i] / mean);
            }
        }
    }
    if (ranked.empty()) {
        return;
    }
    // Those lower only: equal changes share a rank.
    std::vector<double> sorted(ranked.size());
    std::transform(ranked.begin(), ranked.end(), sorted.begin(), [](const auto& r) { return r.second; });
    std::sort(sorted.begin(), sorted.end());
    const double count = static_cast<double>(sorted.size());
    for (const auto& [i, value] : ranked) {
        const auto lower = std::lower_bound(sorted.begin(), sorted.end(), value) - sorted.begin();
        put(i, c.rsRank, std::floor(100 * static_cast<double>(lower) / count));
    }
}

} // namespace zuvemo::marketdata
