#include "RuleTest.h"

#include "FigureTable.h"
#include "HistoryFile.h"
#include "Indicators.h"
#include "TechnicalFigures.h"
#include "TrackRecord.h"
#include "TrackRun.h"
#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"
#include "core/Statement.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"
#include "marketdata/DataSource.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/Fundamentals.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/TopixHistory.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace zuvemo::analysis {

namespace {

using marketdata::Fundamentals;
using marketdata::PriceStore;
using Figures = Fundamentals::Figures;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kPast = TrackRecord::kPastDays;

struct Stock
{
    std::string code, market, industry;
    std::vector<PriceStore::DayBar> bars; // its stored days, oldest first
};

// What a figure read from JPX's data is: a valuation exists only on a day whose valuation is
// stored; the rest (growth, the dividend) from the filings disclosed by the day.
bool isValuation(std::optional<double> Figures::*value)
{
    for (const auto valuation : {&Figures::per, &Figures::fwdPer, &Figures::pbr, &Figures::roe,
             &Figures::fwdRoe, &Figures::eps, &Figures::fwdEps, &Figures::bps, &Figures::marketCap}) {
        if (valuation == value) {
            return true;
        }
    }
    return false;
}

// A figure a rule reads, with the days on which some stock had it.
struct Used
{
    std::string name;
    const FigureTable::Figure* figure = nullptr; // else a flag or the cross
    const FigureTable::Flag* flag = nullptr;
    unsigned need = 0; // its price figures' bit; 0 for JPX's figures and the close
    int jpx = -1; // its column in the day's JPX figures
};

struct Event
{
    std::size_t day = 0, stock = 0;
    std::optional<double> sortValue;
};

// One share of the stocks' work: the events, the same days' returns of every stock, the
// market's daily changes, the days each figure was there.
struct Share
{
    std::vector<Event> events;
    std::vector<std::vector<double>> eventReturns; // per event, per horizon; NaN: none
    std::vector<std::vector<double>> baseSum; // per horizon, per day
    std::vector<std::vector<int>> baseCount, baseRises;
    std::vector<double> changeSum;
    std::vector<int> changeCount;
    std::vector<std::vector<char>> seen; // per used figure, per day
    int stocks = 0;
};

std::string isoDate(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        }
    }
    if (digits.size() != 8) {
        return {};
    }
    return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
}

double median(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return values.size() % 2 == 1 ? *middle : (*std::max_element(values.begin(), middle) + *middle) / 2;
}

} // namespace

RuleTest::RuleTest(core::Mdl_Start& module)
    : m_module(module)
{
}

std::string RuleTest::tooFewDaysNote(std::size_t storedDays)
{
    return "検証できる日がありません。保存されている株価は " + std::to_string(storedDays)
        + " 日分で、検証には " + std::to_string(kNeededDays) + " 日分以上必要です。";
}

std::string RuleTest::holdTooLongMessage(int hold, int days)
{
    return "保有日数（" + std::to_string(hold) + " 日）は、検証できる日数（" + FigureTable::grouped(days)
        + " 日）より短くしてください。";
}

std::vector<std::string> RuleTest::marketNames()
{
    std::vector<std::string> out;
    auto add = [&out](const std::string& name) {
        if (!name.empty() && std::find(out.begin(), out.end(), name) == out.end()) {
            out.push_back(name);
        }
    };
    if (!m_module.SharedConnection) {
        return out;
    }
    {
        core::Statement rs(
            *m_module.SharedConnection, "SELECT DISTINCT Mgmgara FROM Table_Code ORDER BY Mgmgara");
        while (rs.next()) {
            add(core::Utf8::trim(rs.columnText(0)));
        }
    }
    if (marketdata::DataSource::read(*m_module.SharedConnection).isJQuants()
        && PriceStore::exists(m_module.programFolder())) {
        PriceStore store(m_module.programFolder());
        for (const auto& name : marketdata::ListingHistory(store.connection()).marketNames()) {
            add(name);
        }
    }
    return out;
}

TrackReport RuleTest::run(const Options& o)
{
    auto& m = m_module;
    if (!m.SharedConnection) {
        throw core::DatabaseError(21, "the database is not open");
    }
    auto& db = *m.SharedConnection;
    const auto& c = o.conditions;
    TrackReport result;
    result.rule = true;
    result.horizons = o.horizons;
    result.nextOpen = o.nextOpen;
    result.everyDay = o.everyDay;
    const std::string listDay = marketdata::UrlSettings::listDate(db);
    result.tradingDate = listDay;
    if (core::Statement any(db, "SELECT 1 FROM Table_Code LIMIT 1"); !any.next() || listDay.empty()) {
        result.message = TrackRun::kNoStocksMessage;
        return result;
    }
    const auto source = marketdata::DataSource::read(db);
    if (!source.isJQuants() && c.hasFigures()) {
        result.message = StockFinder::kNoFiguresMessage;
        return result;
    }

    // The stocks of the list held within the market and the industry, in code order.
    std::string sql = "SELECT MgCode, Mgmgara, Mgyosyu FROM Table_Code";
    sql += StockFinder::selection(c);
    sql += " ORDER BY MgCode";
    std::vector<Stock> stocks;
    std::map<std::string, std::size_t> byCode;
    {
        core::Statement rs(db, sql);
        while (rs.next()) {
            Stock s;
            s.code = core::Utf8::trim(rs.columnText(0));
            s.market = core::Utf8::trim(rs.columnText(1));
            s.industry = core::Utf8::trim(rs.columnText(2));
            byCode.emplace(s.code, stocks.size());
            stocks.push_back(std::move(s));
        }
    }
    if (stocks.empty()) {
        result.message = TrackRun::kNoneSelectedMessage;
        return result;
    }

    // What the rule reads.
    std::vector<Used> used;
    unsigned need = 0;
    std::vector<std::optional<double> Figures::*> jpx;
    auto useFigure = [&](const std::string& name) {
        const auto* figure = FigureTable::figure(name);
        if (!figure || std::any_of(used.begin(), used.end(), [&](const Used& u) { return u.name == name; })) {
            return;
        }
        Used u{name, figure, nullptr, TechnicalFigures::needOf(name), -1};
        if (figure->source == FigureTable::Source::JQuants) {
            u.jpx = static_cast<int>(jpx.size());
            jpx.push_back(figure->value);
        }
        need |= u.need;
        used.push_back(u);
    };
    for (const auto& [name, range] : c.ranges) {
        useFigure(name);
    }
    for (const auto& name : c.flags) {
        if (const auto* flag = FigureTable::flag(name)) {
            used.push_back(Used{name, nullptr, flag, TechnicalFigures::needOf(name), -1});
            need |= used.back().need;
        }
    }
    if (c.cross != 0) {
        used.push_back(Used{"cross", nullptr, nullptr, TechnicalFigures::needOf("cross"), -1});
        need |= used.back().need;
    }
    const std::size_t usedForCondition = used.size();
    const FigureTable::Figure* sortFigure = FigureTable::figure(c.sort);
    if (o.simulate && sortFigure) {
        useFigure(c.sort);
    }

    std::size_t figureDays = 0;
    auto tell = [&](Progress::Step step, std::size_t done, std::size_t total) {
        return !o.progress || o.progress(Progress{step, done, total, figureDays});
    };

    // Every stock's days up to the list's, from the store or the screening's history files.
    std::vector<std::string> days;
    std::optional<PriceStore> store;
    if (source.isJQuants()) {
        if (!PriceStore::exists(m.programFolder())) {
            result.message = TrackRun::kNoStoreMessage;
            return result;
        }
        store.emplace(m.programFolder());
        days = store->storedDays();
        days.erase(std::upper_bound(days.begin(), days.end(), listDay), days.end());
        if (!jpx.empty()) {
            figureDays = days.size() > kPast ? days.size() - (kPast - 1) : 0;
        }
        std::size_t read = 0;
        bool going = tell(Progress::Step::Prices, 0, stocks.size());
        store->eachStockBars(days, [&](const std::string& code, const std::vector<PriceStore::DayBar>& bars) {
            if (const auto it = byCode.find(PriceStore::listCode(code)); going && it != byCode.end()) {
                stocks[it->second].bars = bars;
                going = tell(Progress::Step::Prices, ++read, stocks.size());
            }
        });
        if (!going) {
            result.message = kStoppedMessage;
            return result;
        }
    } else {
        std::string prefix, suffix;
        if (core::Statement url(db, "SELECT kabuSi, kabuHdate FROM Table_Url"); url.next()) {
            suffix = core::Utf8::trim(url.columnText(0));
            prefix = core::Utf8::trim(url.columnText(1)) + "-";
        }
        std::vector<std::vector<HistoryRow>> rows(stocks.size());
        std::set<std::string> dates;
        for (std::size_t i = 0; i < stocks.size(); ++i) {
            if (!tell(Progress::Step::Prices, i, stocks.size())) {
                result.message = kStoppedMessage;
                return result;
            }
            std::string name = prefix;
            name += stocks[i].code;
            name += suffix;
            const auto file = m.programFolder() / "csv" / core::Platform::fromUtf8(name);
            if (auto read = readHistoryFile(file)) {
                rows[i] = std::move(*read);
                for (auto& row : rows[i]) {
                    row.date = isoDate(row.date);
                    if (!row.date.empty() && row.date <= listDay) {
                        dates.insert(row.date);
                    }
                }
            }
        }
        days.assign(dates.begin(), dates.end());
        for (std::size_t i = 0; i < stocks.size(); ++i) {
            for (auto it = rows[i].rbegin(); it != rows[i].rend(); ++it) {
                const auto at = std::lower_bound(days.begin(), days.end(), it->date);
                if (it->date.empty() || at == days.end() || *at != it->date
                    || (!stocks[i].bars.empty()
                        && stocks[i].bars.back().day >= static_cast<std::size_t>(at - days.begin()))) {
                    continue;
                }
                PriceStore::DayBar bar;
                bar.day = static_cast<std::size_t>(at - days.begin());
                bar.traded = true;
                bar.adjH = it->high;
                bar.adjL = it->low;
                bar.adjC = it->close;
                bar.c = it->close;
                bar.adjO = it->open;
                bar.adjVo = it->volume;
                bar.va = it->value;
                stocks[i].bars.push_back(bar);
            }
        }
    }
    const std::size_t n = days.size();
    const bool carryOver = source.isJQuants();
    const bool anyBars
        = std::any_of(stocks.begin(), stocks.end(), [](const Stock& s) { return !s.bars.empty(); });
    if (!anyBars) {
        result.message = source.isJQuants() ? TrackRun::kNoStoreMessage : TrackRun::kNoHistoriesMessage;
        return result;
    }
    const int hold = o.hold > 0 || o.horizons.empty()
        ? std::max(1, o.hold)
        : *std::max_element(o.horizons.begin(), o.horizons.end());
    if (n > kPast) {
        result.days = static_cast<int>(n - kPast);
        result.firstDay = days[kPast];
        result.lastDay = days.back();
        // A hold asked for that no position bought on the first day could complete; the
        // longest horizon, when none was asked for, is what the rows already show.
        if (o.simulate && o.hold > 0 && hold >= result.days) {
            result.message = holdTooLongMessage(hold, result.days);
            return result;
        }
    } else {
        // Not a rule that never held: no day could be evaluated.
        result.note = tooFewDaysNote(n);
    }

    // JPX's figures of every evaluated day, for the stocks selected, as known that day.
    const std::size_t from = n > kPast ? kPast - 1 : n;
    std::vector<std::vector<std::optional<double>>> jpxByDay; // per day: stock × column
    if (!jpx.empty() && store) {
        jpxByDay.resize(n);
        for (std::size_t d = from; d < n; ++d) {
            if (!tell(Progress::Step::Figures, d - from, n - from)) {
                result.message = kStoppedMessage;
                return result;
            }
            const auto day = Fundamentals::read(*store, days[d]);
            auto& values = jpxByDay[d];
            values.assign(stocks.size() * jpx.size(), std::nullopt);
            for (const auto& [code, f] : day.byCode) {
                const auto it = byCode.find(code);
                if (it == byCode.end()) {
                    continue;
                }
                for (std::size_t j = 0; j < jpx.size(); ++j) {
                    if (isValuation(jpx[j]) && day.valuationDate != days[d]) {
                        continue;
                    }
                    values[it->second * jpx.size() + j] = f.*jpx[j];
                }
            }
        }
    }

    const std::size_t horizons = o.horizons.size();
    RuleSimulation::Market market;
    if (o.simulate) {
        market.days = days;
        market.open.resize(stocks.size());
        market.close.resize(stocks.size());
        for (const auto& s : stocks) {
            market.codes.push_back(s.code);
        }
    }

    // The stocks in a fixed number of shares, whatever the threads: every sum adds up in the
    // same order, so the figures do not change with the machine.
    const std::size_t shareCount = std::clamp<std::size_t>(stocks.size() / 64, 1, 16);
    std::vector<Share> shares(shareCount);
    std::atomic<std::size_t> nextShare{0};
    std::atomic<std::size_t> done{0};
    std::atomic<bool> stop{false};

    auto evaluate = [&](Share& w, std::size_t index) {
        Stock& stock = stocks[index];
        const auto& rows = stock.bars;
        if (rows.empty()) {
            return;
        }
        ++w.stocks;
        std::vector<double> open(n, kNone), close(n, kNone), raw(n, kNone);
        std::vector<char> traded(n, 0);
        for (const auto& r : rows) {
            if (r.traded) {
                open[r.day] = r.adjO > 0 ? r.adjO : kNone;
                close[r.day] = r.adjC;
                raw[r.day] = r.c;
                traded[r.day] = 1;
            }
        }
        // The marks of the screening's history: the days with a trade and a turnover.
        std::vector<double> hc, hv;
        std::vector<std::size_t> hd;
        for (const auto& r : rows) {
            if (r.traded && r.va > 0) {
                hc.push_back(r.adjC);
                hv.push_back(r.adjVo);
                hd.push_back(r.day);
            }
        }
        std::vector<Indicators::Mark> h(hc.size()), k(hc.size());
        if (!hc.empty()) {
            Indicators::signalsByDay(
                hc.data(), hv.data(), static_cast<int>(hc.size()), TrackRecord::kWindow, h.data(), k.data());
        }
        std::vector<Indicators::Mark> shortMark(n, Indicators::Mark::None),
            volumeMark(n, Indicators::Mark::None);
        for (std::size_t i = 0; i < hd.size(); ++i) {
            shortMark[hd[i]] = h[i];
            volumeMark[hd[i]] = k[i];
        }
        // The market days' bars from its first trade on, a day without one carrying the close.
        std::vector<TechnicalFigures::Bar> bars(n);
        // Days whose bar carries the exchange's limit flags (bars stored before they were kept do not).
        std::vector<char> limitsKept(n, 0);
        std::size_t first = n;
        for (const auto& r : rows) {
            if (r.traded) {
                first = std::min(first, r.day);
            }
        }
        for (std::size_t d = first, at = 0; d < n; ++d) {
            while (at < rows.size() && rows[at].day < d) {
                ++at;
            }
            limitsKept[d] = at < rows.size() && rows[at].day == d && rows[at].ul >= 0;
            if (at < rows.size() && rows[at].day == d && rows[at].traded) {
                const auto& r = rows[at];
                bars[d] = {r.adjC, r.adjH, r.adjL, r.adjVo, r.va, true, r.ul == 1, r.ll == 1};
            } else {
                const double last = bars[d - 1].c;
                const bool stored = at < rows.size() && rows[at].day == d;
                bars[d]
                    = {last, last, last, 0, 0, false, stored && rows[at].ul == 1, stored && rows[at].ll == 1};
            }
        }
        auto markText = [](Indicators::Mark mark) {
            return mark == Indicators::Mark::Buy ? std::string("買")
                : mark == Indicators::Mark::Sell ? std::string("売")
                                                 : std::string();
        };
        auto signalled = [&](std::size_t d) {
            const std::string achk = markText(shortMark[d]);
            const std::string cchk = markText(volumeMark[d]);
            return c.signal.empty() ? (!c.confirmed || !cchk.empty())
                                    : (cchk == c.signal || (!c.confirmed && achk == c.signal));
        };
        // The days a search on day d looks back over: the market's, from the first with a trade.
        // A CSV folder's search reads a stock's own days with a trade, a store's the market's days.
        std::vector<TechnicalFigures::Bar> own;
        std::vector<std::size_t> ownAt(carryOver ? 0 : n, 0);
        if (!carryOver) {
            for (std::size_t d = 0; d < n; ++d) {
                if (traded[d]) {
                    ownAt[d] = own.size();
                    own.push_back(bars[d]);
                }
            }
        }
        // The days a search on day d looks back over: in a store the market's, from the first
        // with a trade.
        auto window = [&](std::size_t d) -> std::pair<const TechnicalFigures::Bar*, std::size_t> {
            if (!carryOver) {
                const std::size_t k = ownAt[d];
                const std::size_t count = std::min(k + 1, TechnicalFigures::kLookBack);
                return {own.data() + k + 1 - count, count};
            }
            std::size_t start = d + 1 > TechnicalFigures::kLookBack ? d + 1 - TechnicalFigures::kLookBack : 0;
            start = std::max(start, first);
            while (start < d && !traded[start]) {
                ++start;
            }
            return {bars.data() + start, d + 1 - start};
        };
        auto lookBack = [&](std::size_t d) { return window(d).second; };
        // The figures of day d from the stored days up to it, as a search that day would read them.
        auto figuresOf = [&](std::size_t d, unsigned bits) {
            Figures f;
            if (!std::isnan(raw[d]) && raw[d] > 0) {
                f.close = raw[d];
            }
            if (bits != 0) {
                const auto [start, count] = window(d);
                TechnicalFigures::compute(start, count, f, bits);
            }
            if (!jpxByDay.empty()) {
                for (const auto& u : used) {
                    if (u.jpx >= 0) {
                        f.*(u.figure->value)
                            = jpxByDay[d][index * jpx.size() + static_cast<std::size_t>(u.jpx)];
                    }
                }
            }
            return f;
        };
        // The return of horizon hi from day d, NaN without a price at either end.
        auto returnOf = [&](std::size_t d, std::size_t hi) {
            const std::size_t end = d + static_cast<std::size_t>(o.horizons[hi]);
            const double in = o.nextOpen ? (d + 1 < n ? open[d + 1] : kNone) : close[d];
            return end < n && !std::isnan(in) && in > 0 && !std::isnan(close[end]) ? close[end] / in - 1
                                                                                   : kNone;
        };
        auto note = [&](std::size_t d, const Figures& f) {
            for (std::size_t u = 0; u < usedForCondition; ++u) {
                const auto& use = used[u];
                if (w.seen[u][d]) {
                    continue;
                }
                bool there = false;
                if (use.figure) {
                    there = (f.*(use.figure->value)).has_value();
                } else if (use.name == "uptrend") {
                    there = lookBack(d) > 200;
                } else if (use.name == "cross") {
                    there = lookBack(d) > 25;
                } else if (use.name == "stop-high" || use.name == "stop-low") {
                    there = limitsKept[d] != 0;
                } else {
                    there = true;
                }
                w.seen[u][d] = there;
            }
        };
        auto unseen = [&](std::size_t d) {
            for (std::size_t u = 0; u < usedForCondition; ++u) {
                if (!w.seen[u][d]) {
                    return true;
                }
            }
            return false;
        };
        bool before = false;
        for (std::size_t d = from; d < n; ++d) {
            bool holds = false;
            std::optional<Figures> f;
            if (traded[d]) {
                const bool signal = signalled(d);
                if (signal || (d >= kPast && unseen(d))) {
                    f = figuresOf(d, need);
                    if (d >= kPast) {
                        note(d, *f);
                    }
                    holds = signal && StockFinder::meets(*f, c);
                }
            }
            if (d >= kPast) {
                if (holds && (o.everyDay || !before)) {
                    Event e{d, index, std::nullopt};
                    if (sortFigure) {
                        e.sortValue = (*f).*(sortFigure->value);
                    }
                    std::vector<double> returns(horizons, kNone);
                    for (std::size_t hi = 0; hi < horizons; ++hi) {
                        returns[hi] = returnOf(d, hi);
                    }
                    w.events.push_back(e);
                    w.eventReturns.push_back(std::move(returns));
                }
                // The same day's line: every stock with a return from d.
                for (std::size_t hi = 0; hi < horizons; ++hi) {
                    if (const double r = returnOf(d, hi); !std::isnan(r)) {
                        w.baseSum[hi][d] += r;
                        ++w.baseCount[hi][d];
                        w.baseRises[hi][d] += r > 0;
                    }
                }
                if (o.simulate && d > kPast && !std::isnan(close[d]) && !std::isnan(close[d - 1])
                    && close[d - 1] > 0) {
                    w.changeSum[d] += close[d] / close[d - 1] - 1;
                    ++w.changeCount[d];
                }
            }
            before = holds;
        }
        if (o.simulate) {
            market.open[index] = std::move(open);
            market.close[index] = std::move(close);
        }
    };

    if (!tell(Progress::Step::Stocks, 0, stocks.size())) {
        result.message = kStoppedMessage;
        return result;
    }
    std::vector<std::exception_ptr> errors(shareCount);
    auto worker = [&](bool reports) {
        for (;;) {
            const std::size_t s = nextShare++;
            if (s >= shareCount || stop) {
                return;
            }
            Share& w = shares[s];
            w.baseSum.assign(horizons, std::vector<double>(n, 0));
            w.baseCount.assign(horizons, std::vector<int>(n, 0));
            w.baseRises.assign(horizons, std::vector<int>(n, 0));
            w.changeSum.assign(n, 0);
            w.changeCount.assign(n, 0);
            w.seen.assign(usedForCondition, std::vector<char>(n, 0));
            try {
                const std::size_t begin = stocks.size() * s / shareCount;
                const std::size_t end = stocks.size() * (s + 1) / shareCount;
                for (std::size_t i = begin; i < end && !stop; ++i) {
                    evaluate(w, i);
                    const std::size_t now = ++done;
                    if (reports && !tell(Progress::Step::Stocks, now, stocks.size())) {
                        stop = true;
                    }
                }
            } catch (...) {
                errors[s] = std::current_exception();
                stop = true;
            }
        }
    };
    {
        const std::size_t threads
            = std::min<std::size_t>(shareCount, std::max(1U, std::thread::hardware_concurrency()));
        std::vector<std::thread> pool;
        for (std::size_t t = 1; t < threads; ++t) {
            pool.emplace_back(worker, false);
        }
        worker(true);
        for (auto& t : pool) {
            t.join();
        }
    }
    for (const auto& error : errors) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
    // The workers beside this thread report nothing: the last of their stocks is counted here.
    if (stop || !tell(Progress::Step::Stocks, stocks.size(), stocks.size())) {
        result.message = kStoppedMessage;
        return result;
    }

    // The shares joined in stock order.
    std::vector<Event> events;
    std::vector<std::vector<double>> eventReturns;
    std::vector<std::vector<double>> baseSum(horizons, std::vector<double>(n, 0));
    std::vector<std::vector<int>> baseCount(horizons, std::vector<int>(n, 0)), baseRises = baseCount;
    std::vector<char> seenAny(usedForCondition * n, 0);
    market.meanChange.assign(n, kNone);
    std::vector<double> changeSum(n, 0);
    std::vector<int> changeCount(n, 0);
    for (auto& w : shares) {
        result.stocks += w.stocks;
        events.insert(events.end(), w.events.begin(), w.events.end());
        eventReturns.insert(eventReturns.end(), w.eventReturns.begin(), w.eventReturns.end());
        for (std::size_t hi = 0; hi < horizons; ++hi) {
            for (std::size_t d = 0; d < n; ++d) {
                baseSum[hi][d] += w.baseSum[hi][d];
                baseCount[hi][d] += w.baseCount[hi][d];
                baseRises[hi][d] += w.baseRises[hi][d];
            }
        }
        for (std::size_t d = 0; d < n; ++d) {
            changeSum[d] += w.changeSum[d];
            changeCount[d] += w.changeCount[d];
            for (std::size_t u = 0; u < usedForCondition; ++u) {
                seenAny[u * n + d] |= w.seen[u][d];
            }
        }
    }
    for (std::size_t d = 0; d < n; ++d) {
        if (changeCount[d] > 0) {
            market.meanChange[d] = changeSum[d] / changeCount[d];
        }
    }
    for (std::size_t u = 0; u < usedForCondition; ++u) {
        const std::string key = used[u].figure ? used[u].figure->jsonKey
            : used[u].flag                     ? used[u].flag->jsonKey
                                               : "cross";
        int count = 0;
        for (std::size_t d = kPast; d < n; ++d) {
            count += seenAny[u * n + d];
        }
        result.figureDays.emplace_back(key, count);
        result.figureHeadings.emplace_back(used[u].figure ? used[u].figure->heading
                : used[u].flag                            ? used[u].flag->heading
                                                          : "クロス");
    }
    if (events.empty() && result.days > 0) {
        result.note = kNeverHeldNote;
    }
    if (o.eachEvent) {
        std::vector<const Event*> byDay;
        byDay.reserve(events.size());
        for (const auto& e : events) {
            byDay.push_back(&e);
        }
        std::stable_sort(
            byDay.begin(), byDay.end(), [](const Event* a, const Event* b) { return a->day < b->day; });
        for (const auto* e : byDay) {
            o.eachEvent(days[e->day], stocks[e->stock].code);
        }
    }

    // The groups: the whole selection, then by market, industry or year.
    auto groupOf = [&](const Event& e) -> std::string {
        switch (o.by) {
        case GroupBy::Market:
            return stocks[e.stock].market;
        case GroupBy::Industry:
            return stocks[e.stock].industry;
        case GroupBy::Year:
            return days[e.day].substr(0, 4);
        default:
            return {};
        }
    };
    std::vector<std::string> names{TrackRecord::kAllGroup};
    {
        std::set<std::string> others;
        if (o.by == GroupBy::Year) {
            for (std::size_t d = kPast; d < n; ++d) {
                others.insert(days[d].substr(0, 4));
            }
        } else if (o.by != GroupBy::None) {
            for (const auto& s : stocks) {
                if (!s.bars.empty()) {
                    others.insert(o.by == GroupBy::Market ? s.market : s.industry);
                }
            }
        }
        names.insert(names.end(), others.begin(), others.end());
    }
    // TOPIX over the same entry and end as each event, where the store has it.
    std::vector<double> topixOpen(n, kNone), topixClose(n, kNone);
    if (store && n > 0) {
        marketdata::TopixHistory topix(store->connection());
        std::size_t d = 0;
        for (const auto& bar : topix.bars(days.front(), days.back())) {
            while (d < n && days[d] < bar.date) {
                ++d;
            }
            if (d < n && days[d] == bar.date) {
                topixOpen[d] = bar.o;
                topixClose[d] = bar.c;
            }
        }
    }
    auto topixReturn = [&](std::size_t d, std::size_t hi) {
        const std::size_t end = d + static_cast<std::size_t>(o.horizons[hi]);
        const double in = o.nextOpen ? (d + 1 < n ? topixOpen[d + 1] : kNone) : topixClose[d];
        return end < n && !std::isnan(in) && !std::isnan(topixClose[end]) ? topixClose[end] / in - 1 : kNone;
    };
    for (std::size_t i = 0; i < events.size(); ++i) {
        for (std::size_t hi = 0; hi < horizons; ++hi) {
            if (!std::isnan(eventReturns[i][hi])) {
                ++result.returnEvents;
                result.topixEvents += !std::isnan(topixReturn(events[i].day, hi));
            }
        }
    }
    for (const auto& name : names) {
        TrackRecord::Group group{name, {}};
        for (std::size_t hi = 0; hi < horizons; ++hi) {
            TrackRecord::Row row;
            row.signal = TrackRecord::Signal::Rule;
            row.horizon = o.horizons[hi];
            std::vector<double> returns;
            double sum = 0, sameMean = 0, sameRise = 0, topixSum = 0, ruleWithTopix = 0;
            int topixCount = 0;
            for (std::size_t i = 0; i < events.size(); ++i) {
                const double r = eventReturns[i][hi];
                if (std::isnan(r) || (name != TrackRecord::kAllGroup && groupOf(events[i]) != name)) {
                    continue;
                }
                const std::size_t d = events[i].day;
                returns.push_back(r);
                sum += r;
                row.hits += r > 0;
                sameMean += baseSum[hi][d] / baseCount[hi][d];
                sameRise += static_cast<double>(baseRises[hi][d]) / baseCount[hi][d];
                if (const double t = topixReturn(d, hi); !std::isnan(t)) {
                    topixSum += t;
                    ruleWithTopix += r;
                    ++topixCount;
                }
            }
            // Over the events TOPIX covers, the rule's mean of the same events beside it.
            if (topixCount > 0) {
                row.topixMean = topixSum / topixCount;
                row.excessTopix = (ruleWithTopix - topixSum) / topixCount;
            }
            row.count = static_cast<int>(returns.size());
            std::tie(row.low, row.high) = TrackRecord::wilson(row.hits, row.count);
            if (row.count > 0) {
                row.hitRate = static_cast<double>(row.hits) / row.count;
                row.mean = sum / row.count;
                row.median = median(returns);
                row.sameDayMean = sameMean / row.count;
                row.sameDayRise = sameRise / row.count;
                row.excess = row.mean - *row.sameDayMean;
                row.baseLow = row.baseHigh = *row.sameDayRise;
                row.chance = row.low <= *row.sameDayRise && *row.sameDayRise <= row.high;
            }
            group.rows.push_back(row);
        }
        result.groups.push_back(std::move(group));
    }

    // Without a day to simulate, a simulation of none: its figures are none and its trades' file
    // still the trades'.
    if (o.simulate) {
        std::vector<std::vector<std::size_t>> byDay(n);
        std::vector<const Event*> ordered;
        ordered.reserve(events.size());
        for (const auto& e : events) {
            ordered.push_back(&e);
        }
        const bool descending = c.descending;
        std::stable_sort(ordered.begin(), ordered.end(), [&](const Event* a, const Event* b) {
            if (a->day != b->day) {
                return a->day < b->day;
            }
            if (sortFigure) {
                const auto &x = a->sortValue, &y = b->sortValue;
                if (!x || !y) {
                    if (x.has_value() != y.has_value()) {
                        return x.has_value();
                    }
                } else if (*x != *y) {
                    return descending ? *y < *x : *x < *y;
                }
                return stocks[a->stock].code < stocks[b->stock].code;
            }
            return descending ? stocks[b->stock].code < stocks[a->stock].code
                              : stocks[a->stock].code < stocks[b->stock].code;
        });
        for (const auto* e : ordered) {
            byDay[e->day].push_back(e->stock);
        }
        RuleSimulation::Settings settings = o.simulation;
        settings.horizon = hold;
        settings.nextOpen = o.nextOpen;
        result.simulationSettings = settings;
        result.simulation = RuleSimulation::run(market, kPast, byDay, settings);
    }
    return result;
}

} // namespace zuvemo::analysis
