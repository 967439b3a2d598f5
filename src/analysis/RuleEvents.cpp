#include "RuleEvents.h"

#include "DailyLines.h"
#include "Indicators.h"
#include "PriceStudies.h"
#include "TechnicalFigures.h"
#include "TrackRecord.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <optional>
#include <thread>

namespace zuvemo::analysis {

namespace {

using Figures = marketdata::Fundamentals::Figures;
using Series = RuleMarket::Series;

constexpr double kNone = RuleMarket::kNone;
constexpr std::size_t kPast = TrackRecord::kPastDays;
// The days whose MACD is worked out together.
constexpr std::size_t kMacdBlock = 64;

// One share of the listings' work, summed in the same order whatever the threads.
struct Share
{
    std::deque<RuleEvents::Event> events; // given up a block at a time as the result takes them
    std::vector<std::vector<double>> baseSum;
    std::vector<std::vector<int>> baseCount, baseRises;
    std::vector<double> changeSum;
    std::vector<int> changeCount;
    std::vector<std::vector<char>> seen; // per used figure, per day
    DailyLines lines; // the listing's range, cloud and uptrend sums, its room kept for the next
    int stocks = 0;
};

std::string signalText(Indicators::Mark mark)
{
    return mark == Indicators::Mark::Buy ? std::string("買")
        : mark == Indicators::Mark::Sell ? std::string("売")
                                         : std::string();
}

} // namespace

std::optional<RuleEvents::Entry> RuleEvents::entryOf(const Series& s, std::size_t d, bool nextOpen)
{
    if (nextOpen) {
        const std::size_t b = d + 1;
        if (b >= s.marks.size() || !s.is(b, Series::Listed) || !s.is(b, Series::Traded)
            || s.is(b, Series::OpenAtUpper) || std::isnan(s.open[b]) || !(s.open[b] > 0)) {
            return std::nullopt;
        }
        return Entry{b, s.open[b]};
    }
    if (!s.is(d, Series::Traded) || s.is(d, Series::CloseAtUpper) || !(s.close[d] > 0)) {
        return std::nullopt;
    }
    return Entry{d, s.close[d]};
}

double RuleEvents::returnOf(
    const RuleMarket::Listing& l, const Series& s, const Entry& entry, std::size_t d, int horizon)
{
    std::size_t end = d + static_cast<std::size_t>(horizon);
    if (end > l.last) {
        if (!l.delisted) {
            return kNone;
        }
        end = l.last;
    }
    if (end < entry.day || end >= s.carried.size() || std::isnan(s.carried[end])) {
        return kNone;
    }
    double dividends = 0;
    // Called for every listing, day and horizon of the same days' line: most pay nothing.
    for (std::size_t x = entry.day + 1; !l.dividends.empty() && x <= end; ++x) {
        dividends += s.dividend[x];
    }
    return (s.carried[end] + dividends) / entry.price - 1;
}

RuleEvents::Result RuleEvents::run(const Setup& setup)
{
    const RuleMarket& market = *setup.market;
    const auto& c = *setup.conditions;
    const auto& used = setup.used;
    const std::size_t n = market.days.size();
    const std::size_t from = n > kPast ? kPast - 1 : n;
    const std::size_t horizons = setup.horizons.size();
    const std::size_t count = market.listings.size();
    const bool carryOver = market.store;
    const unsigned macdNeed = TechnicalFigures::needOf("macd");
    const unsigned rangeNeed = TechnicalFigures::needOf("from-high");
    const unsigned cloudNeed = TechnicalFigures::needOf("tenkan-dev");
    const unsigned trendNeed = TechnicalFigures::needOf("uptrend");
    const auto checks = StockFinder::checksOf(c);
    const bool marked = !c.signal.empty() || c.confirmed;
    auto* simulation = setup.simulation;
    if (simulation) {
        simulation->days = market.days;
        simulation->codes.clear();
        for (const auto& l : market.listings) {
            simulation->codes.push_back(l.code);
        }
        simulation->open.assign(count, {});
        simulation->close.assign(count, {});
        simulation->fills.assign(count, {});
        simulation->dividends.assign(count, {});
        simulation->lastDay.assign(count, RuleSimulation::kNoDay);
        simulation->topixClose = market.topixClose;
    }

    auto evaluate = [&](Share& w, std::size_t index,
                        const std::vector<marketdata::PriceStore::DayBar>& rows) {
        const auto& listing = market.listings[index];
        if (rows.empty()) {
            return;
        }
        ++w.stocks;
        Series s = market.series(index, rows, c, setup.dividends);
        auto traded = [&s](std::size_t d) { return s.is(d, Series::Traded); };
        // The marks of the screening's history: the days with a trade and a turnover. A rule
        // without a signal or the confirmed one reads none.
        std::vector<double> hc, hv;
        std::vector<std::size_t> hd;
        for (const auto& r : rows) {
            if (marked && r.traded && r.va > 0) {
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
        std::vector<Indicators::Mark> shortMark(marked ? n : 0, Indicators::Mark::None),
            volumeMark(marked ? n : 0, Indicators::Mark::None);
        for (std::size_t i = 0; i < hd.size(); ++i) {
            shortMark[hd[i]] = h[i];
            volumeMark[hd[i]] = k[i];
        }
        // The listing's days from its first trade on, a day without one carrying the close.
        std::vector<TechnicalFigures::Bar> bars(n);
        // Days whose bar carries the exchange's limit flags (bars stored before they were kept do not).
        std::vector<char> limitsKept(n, 0);
        std::size_t first = n;
        for (const auto& r : rows) {
            if (r.traded) {
                first = std::min(first, r.day);
            }
        }
        const std::size_t end = std::min(n, listing.last + 1);
        for (std::size_t d = first, at = 0; d < end; ++d) {
            while (at < rows.size() && rows[at].day < d) {
                ++at;
            }
            const bool stored = at < rows.size() && rows[at].day == d;
            limitsKept[d] = stored && rows[at].ul >= 0;
            if (stored && rows[at].traded) {
                const auto& r = rows[at];
                bars[d] = {r.adjC, r.adjH, r.adjL, r.adjVo, r.va, true, r.ul == 1, r.ll == 1};
            } else {
                const double last = bars[d - 1].c;
                bars[d]
                    = {last, last, last, 0, 0, false, stored && rows[at].ul == 1, stored && rows[at].ll == 1};
            }
        }
        auto signalled = [&](std::size_t d) {
            if (!marked) {
                return true;
            }
            const std::string achk = signalText(shortMark[d]);
            const std::string cchk = signalText(volumeMark[d]);
            return c.signal.empty() ? (!c.confirmed || !cchk.empty())
                                    : (cchk == c.signal || (!c.confirmed && achk == c.signal));
        };
        // A CSV folder's search reads a stock's own days with a trade, a store's the market's days.
        std::vector<TechnicalFigures::Bar> own;
        std::vector<std::size_t> ownAt(carryOver ? 0 : n, 0);
        if (!carryOver) {
            for (std::size_t d = 0; d < n; ++d) {
                if (traded(d)) {
                    ownAt[d] = own.size();
                    own.push_back(bars[d]);
                }
            }
        }
        // The days a search on day d looks back over: in a store the market's, from the first
        // with a trade of this listing.
        auto window = [&](std::size_t d) -> std::pair<const TechnicalFigures::Bar*, std::size_t> {
            if (!carryOver) {
                const std::size_t at = ownAt[d];
                const std::size_t span = std::min(at + 1, TechnicalFigures::kLookBack);
                return {own.data() + at + 1 - span, span};
            }
            std::size_t start = d + 1 > TechnicalFigures::kLookBack ? d + 1 - TechnicalFigures::kLookBack : 0;
            start = std::max(start, first);
            while (start < d && !traded(start)) {
                ++start;
            }
            return {bars.data() + start, d + 1 - start};
        };
        auto lookBack = [&](std::size_t d) { return window(d).second; };
        // The bars the windows lie in, and the year's range and the cloud's lines over them.
        const TechnicalFigures::Bar* const base = carryOver ? bars.data() + std::min(first, n) : own.data();
        const std::size_t baseCount = carryOver ? (end > first ? end - first : 0) : own.size();
        w.lines.build(base, baseCount,
            ((setup.need & rangeNeed) ? DailyLines::kRange : 0U)
                | ((setup.need & cloudNeed) ? DailyLines::kCloud : 0U)
                | ((setup.need & trendNeed) ? DailyLines::kUptrend : 0U));
        PriceStudies ichimoku[3];
        // The days of macdDays have their MACD worked out ahead, a block of them at a time: each
        // day's means run over its own window, and side by side those runs take less than one
        // after the other.
        std::vector<std::size_t> macdDays;
        std::size_t macdNext = 0;
        std::vector<PriceStudies::Window> macdWindows;
        std::vector<PriceStudies> macdNow, macdBefore;
        auto figuresOf = [&](std::size_t d, unsigned bits) {
            Figures f;
            if (!std::isnan(s.raw[d]) && s.raw[d] > 0) {
                f.close = s.raw[d];
            }
            if (bits != 0) {
                const auto [start, span] = window(d);
                TechnicalFigures::Ahead ahead;
                const auto from = static_cast<std::size_t>(start - base);
                w.lines.ahead(from, from + span - 1, ahead, ichimoku);
                if (macdNext < macdDays.size() && macdDays[macdNext] == d) {
                    const std::size_t k = macdNext % kMacdBlock;
                    if (k == 0) {
                        const std::size_t days = std::min(kMacdBlock, macdDays.size() - macdNext);
                        macdWindows.clear();
                        for (std::size_t i = 0; i < days; ++i) {
                            const auto [b, m] = window(macdDays[macdNext + i]);
                            macdWindows.push_back({b, m});
                        }
                        macdNow.resize(days);
                        macdBefore.resize(days);
                        PriceStudies::macdOfEach(macdWindows.data(), days, macdNow.data(), macdBefore.data());
                    }
                    ++macdNext;
                    ahead.macd = &macdNow[k];
                    ahead.macdBefore = &macdBefore[k];
                }
                TechnicalFigures::compute(start, span, f, bits, ahead);
            }
            if (!setup.jpxByDay.empty()) {
                for (const auto& u : used) {
                    if (u.jpx < 0) {
                        continue;
                    }
                    if (const double v
                        = setup.jpxByDay[d][index * setup.jpxColumns + static_cast<std::size_t>(u.jpx)];
                        !std::isnan(v)) {
                        if (!u.perClose) {
                            f.*(u.figure->value) = v;
                        } else if (f.close && std::isfinite(v / *f.close)) {
                            f.*(u.figure->value) = v / *f.close;
                        }
                    }
                }
            }
            return f;
        };
        auto note = [&](std::size_t d, const Figures& f) {
            for (std::size_t u = 0; u < setup.usedForCondition; ++u) {
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
                } else if (use.name == "macd-cross") {
                    there = lookBack(d) > 34; // the day before has its signal
                } else if (use.name == "tenkan-cross") {
                    there = lookBack(d) > 26;
                } else if (use.name == "above-cloud" || use.name == "below-cloud" || use.name == "sanyaku-up"
                    || use.name == "sanyaku-down") {
                    there = lookBack(d) > 76; // the cloud's 52 days, 25 days before
                } else if (use.name == "stop-high" || use.name == "stop-low") {
                    there = limitsKept[d] != 0;
                } else {
                    there = true;
                }
                w.seen[u][d] = there;
            }
        };
        auto unseen = [&](std::size_t d) {
            for (std::size_t u = 0; u < setup.usedForCondition; ++u) {
                if (!w.seen[u][d]) {
                    return true;
                }
            }
            return false;
        };
        // The days the loop works out the figures of. unseen(d) is the loop's own: only note(d)
        // changes it for this listing, on day d after it is read.
        if (setup.need & macdNeed) {
            for (std::size_t d = std::max(from, first); d < end; ++d) {
                if (traded(d) && s.is(d, Series::Selected) && (signalled(d) || (d >= kPast && unseen(d)))) {
                    macdDays.push_back(d);
                }
            }
        }
        bool before = false;
        const std::size_t eventsBefore = w.events.size();
        for (std::size_t d = std::max(from, first); d < end; ++d) {
            const bool selected = s.is(d, Series::Selected);
            bool holds = false;
            std::optional<Figures> f;
            if (traded(d) && selected) {
                const bool signal = signalled(d);
                if (signal || (d >= kPast && unseen(d))) {
                    f = figuresOf(d, setup.need);
                    if (d >= kPast) {
                        note(d, *f);
                    }
                    holds = signal && StockFinder::meets(*f, checks);
                }
            }
            auto keep = [&](Event& e) {
                for (const auto* figure : setup.keep) {
                    e.kept.push_back(((*f).*(figure->value)).value_or(kNone));
                }
            };
            if (holds && setup.everyHeld && d < kPast) {
                Event e;
                e.day = d;
                e.listing = index;
                e.filled = false;
                e.returns.assign(horizons, kNone);
                keep(e);
                w.events.push_back(std::move(e));
            }
            if (d >= kPast && selected) {
                const auto entry = entryOf(s, d, setup.nextOpen);
                if (holds && (setup.everyDay || setup.everyHeld || !before)) {
                    Event e;
                    e.day = d;
                    e.listing = index;
                    e.filled = entry.has_value();
                    if (setup.sortFigure) {
                        e.sortValue = (*f).*(setup.sortFigure->value);
                    }
                    e.returns.assign(horizons, kNone);
                    for (std::size_t hi = 0; entry && hi < horizons; ++hi) {
                        e.returns[hi] = returnOf(listing, s, *entry, d, setup.horizons[hi]);
                    }
                    keep(e);
                    w.events.push_back(std::move(e));
                }
                // The same days' line: every listing selected and bought that day.
                for (std::size_t hi = 0; entry && hi < horizons; ++hi) {
                    if (const double r = returnOf(listing, s, *entry, d, setup.horizons[hi]);
                        !std::isnan(r)) {
                        w.baseSum[hi][d] += r;
                        ++w.baseCount[hi][d];
                        w.baseRises[hi][d] += r > 0;
                    }
                }
                if (simulation && d > kPast && s.is(d - 1, Series::Listed) && !std::isnan(s.carried[d])
                    && !std::isnan(s.carried[d - 1]) && s.carried[d - 1] > 0) {
                    w.changeSum[d] += (s.carried[d] + s.dividend[d]) / s.carried[d - 1] - 1;
                    ++w.changeCount[d];
                }
            }
            before = holds;
        }
        // The simulation buys only a listing with an event: the others' days are not kept.
        if (simulation && w.events.size() > eventsBefore) {
            auto& fills = simulation->fills[index];
            fills.assign(n, 0);
            for (std::size_t d = 0; d < n; ++d) {
                if (!s.is(d, Series::Listed) || !traded(d)) {
                    continue;
                }
                fills[d]
                    = static_cast<std::uint8_t>((s.is(d, Series::OpenAtUpper) ? 0 : RuleSimulation::BuyAtOpen)
                        | (s.is(d, Series::CloseAtUpper) ? 0 : RuleSimulation::BuyAtClose)
                        | (s.is(d, Series::CloseAtLower) ? 0 : RuleSimulation::SellAtClose));
            }
            for (std::size_t d = 0; d < n; ++d) {
                if (s.dividend[d] != 0) {
                    simulation->dividends[index].emplace_back(d, s.dividend[d]);
                }
            }
            if (listing.delisted && s.lastTrade < n) {
                simulation->lastDay[index] = s.lastTrade;
            }
            simulation->open[index] = std::move(s.open);
            simulation->close[index] = std::move(s.close);
        }
    };

    const std::size_t shareCount = std::clamp<std::size_t>(count / 64, 1, 16);
    std::vector<Share> shares(shareCount);
    std::atomic<std::size_t> nextShare{0};
    std::atomic<std::size_t> done{0};
    std::atomic<bool> stop{false};
    std::vector<std::exception_ptr> errors(shareCount);
    const auto withBars = static_cast<std::size_t>(std::count_if(
        market.listings.begin(), market.listings.end(), [](const auto& l) { return l.hasBars(); }));
    auto tell = [&](std::size_t now) { return !setup.progress || setup.progress(now, withBars); };
    const marketdata::PriceStore::BarColumns columns{
        TechnicalFigures::readsHighLow(setup.need), TechnicalFigures::readsTouches(setup.need)};
    auto worker = [&](bool reports) {
        // A store's bars are read on each thread by a connection of its own, share by share.
        std::optional<marketdata::PriceStore> store;
        for (;;) {
            const std::size_t at = nextShare++;
            if (at >= shareCount || stop) {
                return;
            }
            Share& w = shares[at];
            w.baseSum.assign(horizons, std::vector<double>(n, 0));
            w.baseCount.assign(horizons, std::vector<int>(n, 0));
            w.baseRises.assign(horizons, std::vector<int>(n, 0));
            w.changeSum.assign(n, 0);
            w.changeCount.assign(n, 0);
            w.seen.assign(setup.usedForCondition, std::vector<char>(n, 0));
            try {
                if (!market.storeFolder.empty() && !store) {
                    store.emplace(market.storeFolder);
                }
                const std::size_t begin = count * at / shareCount;
                const std::size_t stopAt = count * (at + 1) / shareCount;
                market.eachBars(
                    begin, stopAt, store ? &*store : nullptr,
                    [&](std::size_t i, const std::vector<marketdata::PriceStore::DayBar>& rows) {
                        evaluate(w, i, rows);
                        const std::size_t now = ++done;
                        if (reports && !tell(now)) {
                            stop = true;
                        }
                        return !stop;
                    },
                    columns);
            } catch (...) {
                errors[at] = std::current_exception();
                stop = true;
            }
        }
    };
    Result result;
    if (!tell(0)) {
        result.stopped = true;
        return result;
    }
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
    // The workers beside this thread report nothing: the last of their listings is counted here.
    if (stop || !tell(withBars)) {
        result.stopped = true;
        return result;
    }

    result.baseSum.assign(horizons, std::vector<double>(n, 0));
    result.baseCount.assign(horizons, std::vector<int>(n, 0));
    result.baseRises = result.baseCount;
    result.seen.assign(setup.usedForCondition * n, 0);
    result.meanChange.assign(n, kNone);
    std::vector<double> changeSum(n, 0);
    std::vector<int> changeCount(n, 0);
    for (auto& w : shares) {
        result.stocks += w.stocks;
        while (!w.events.empty()) {
            result.events.push_back(std::move(w.events.front()));
            w.events.pop_front();
        }
        for (std::size_t hi = 0; hi < horizons; ++hi) {
            for (std::size_t d = 0; d < n; ++d) {
                result.baseSum[hi][d] += w.baseSum[hi][d];
                result.baseCount[hi][d] += w.baseCount[hi][d];
                result.baseRises[hi][d] += w.baseRises[hi][d];
            }
        }
        for (std::size_t d = 0; d < n; ++d) {
            changeSum[d] += w.changeSum[d];
            changeCount[d] += w.changeCount[d];
            for (std::size_t u = 0; u < setup.usedForCondition; ++u) {
                result.seen[u * n + d] |= w.seen[u][d];
            }
        }
    }
    for (std::size_t d = 0; d < n; ++d) {
        if (changeCount[d] > 0) {
            result.meanChange[d] = changeSum[d] / changeCount[d];
        }
    }
    return result;
}

} // namespace zuvemo::analysis
