#include "RuleTest.h"

#include "FigureTable.h"
#include "RuleEvents.h"
#include "RuleMarket.h"
#include "RuleRows.h"
#include "TechnicalFigures.h"
#include "TrackRecord.h"
#include "TrackRun.h"
#include "core/Clock.h"
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
#include "marketdata/jquants/FundamentalsTimeline.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/MarketStanding.h"
#include "marketdata/jquants/PriceStore.h"
#include "marketdata/jquants/TopixHistory.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace zuvemo::analysis {

namespace {

using marketdata::Fundamentals;
using marketdata::PriceStore;
using Figures = Fundamentals::Figures;

constexpr std::size_t kPast = TrackRecord::kPastDays;

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

TrackReport RuleTest::run(const Options& options)
{
    TrackReport report = test(options, nullptr, nullptr);
    if (report.message.empty() && report.days > 0) {
        RuleHistory::Entry e;
        e.rule = RuleHistory::describe(options.conditions) + "（" + optionWords(options) + "）";
        e.firstDay = report.firstDay;
        e.lastDay = report.lastDay;
        e.days = report.days;
        if (report.simulation && report.simulation->totalReturn) {
            e.result = "総リターン " + TrackReport::signedPercent(*report.simulation->totalReturn) + "、売買 "
                + std::to_string(report.simulation->trades) + " 回";
        } else if (!report.groups.empty()) {
            for (const auto& row : report.groups.front().rows) {
                if (row.signal == TrackRecord::Signal::Rule) {
                    e.result = std::to_string(row.horizon) + " 日後 件数 " + std::to_string(row.count)
                        + (row.count > 0 ? "、的中率 " + TrackReport::percent(row.hitRate) : std::string());
                }
            }
        }
        report.historyError = remember(std::move(e));
    }
    return report;
}

std::string RuleTest::optionWords(const Options& o)
{
    std::string horizons;
    for (const int h : o.horizons) {
        horizons += (horizons.empty() ? "" : "・") + std::to_string(h);
    }
    return std::string(o.nextOpen ? "翌日始値" : "当日終値") + (o.everyDay ? "、毎日" : "、初日のみ") + "、"
        + horizons + "日後" + (o.simulate ? "、運用あり" : "");
}

std::string RuleTest::remember(RuleHistory::Entry entry)
{
    if (!m_module.SharedConnection) {
        return "データベースが開いていません";
    }
    if (entry.at.empty()) {
        entry.at = core::Clock().timestamp();
    }
    try {
        RuleHistory::record(*m_module.SharedConnection, entry);
    } catch (const core::DatabaseError& e) {
        return e.userText();
    }
    return {};
}

TrackReport RuleTest::runVariants(
    const Options& options, const std::vector<Variant>& variants, const VariantSink& sink)
{
    return test(options, &variants, &sink);
}

TrackReport RuleTest::test(const Options& o, const std::vector<Variant>* variants, const VariantSink* sink)
{
    auto& m = m_module;
    if (!m.SharedConnection) {
        throw core::DatabaseError(21, "the database is not open");
    }
    auto& db = *m.SharedConnection;
    // Variants are evaluated under the loosest of their bounds and each narrowed afterwards, over
    // the returns of every horizon any of them reads.
    StockFinder::Conditions loosest = o.conditions;
    std::vector<int> horizons = o.horizons;
    if (variants && !variants->empty()) {
        for (const auto& [name, range] : variants->front().ranges) {
            loosest.ranges[name] = range;
        }
        std::set<int> varied;
        for (const auto& v : *variants) {
            for (const auto& [name, range] : v.ranges) {
                auto& wide = loosest.ranges[name];
                wide.min
                    = wide.min && range.min ? std::optional(std::min(*wide.min, *range.min)) : std::nullopt;
                wide.max
                    = wide.max && range.max ? std::optional(std::max(*wide.max, *range.max)) : std::nullopt;
            }
            if (v.horizon > 0) {
                varied.insert(v.horizon);
            }
        }
        if (!varied.empty()) {
            horizons.assign(varied.begin(), varied.end());
        }
    }
    const auto& c = loosest;
    TrackReport result;
    result.rule = true;
    result.horizons = horizons;
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

    // What the rule reads.
    RuleEvents::Setup setup;
    auto& used = setup.used;
    std::vector<std::optional<double> Figures::*> jpx;
    auto useFigure = [&](const std::string& name) {
        const auto* figure = FigureTable::figure(name);
        if (!figure || std::any_of(used.begin(), used.end(), [&](const auto& u) { return u.name == name; })) {
            return;
        }
        RuleEvents::Used u{name, figure, nullptr, nullptr, TechnicalFigures::needOf(name), -1, false};
        if (figure->source == FigureTable::Source::JQuants) {
            u.jpx = static_cast<int>(jpx.size());
            u.perClose = figure->value == &Figures::dividendYield;
            jpx.push_back(u.perClose ? &Figures::dividend : figure->value);
        }
        setup.need |= u.need;
        used.push_back(u);
    };
    for (const auto& [name, range] : c.ranges) {
        useFigure(name);
    }
    for (const auto& name : c.flags) {
        if (const auto* flag = FigureTable::flag(name)) {
            used.push_back(
                RuleEvents::Used{name, nullptr, flag, nullptr, TechnicalFigures::needOf(name), -1, false});
            setup.need |= used.back().need;
        }
    }
    if (c.cross != 0) {
        used.push_back(RuleEvents::Used{
            "cross", nullptr, nullptr, nullptr, TechnicalFigures::needOf("cross"), -1, false});
        setup.need |= used.back().need;
    }
    for (const auto& [name, way] : c.crosses) {
        if (const auto* cross = FigureTable::cross(name); cross && way != 0) {
            used.push_back(
                RuleEvents::Used{name, nullptr, nullptr, cross, TechnicalFigures::needOf(name), -1, false});
            setup.need |= used.back().need;
        }
    }
    setup.usedForCondition = used.size();
    setup.sortFigure = FigureTable::figure(c.sort);
    if (o.simulate && setup.sortFigure) {
        useFigure(c.sort);
    }

    // The days of JPX's figures are known from the start, so the steps can be weighed.
    std::size_t figureDays = 0;
    std::vector<std::string> stored;
    if (!jpx.empty() && source.isJQuants() && PriceStore::exists(m.programFolder())) {
        stored = PriceStore(m.programFolder()).storedDays();
        stored.erase(std::upper_bound(stored.begin(), stored.end(), listDay), stored.end());
        figureDays = stored.size() > kPast ? stored.size() - (kPast - 1) : 0;
    }
    auto tell = [&](Progress::Step step, std::size_t done, std::size_t total) {
        return !o.progress || o.progress(Progress{step, done, total, figureDays});
    };
    // With their columns among jpx's: the filings' figures, which change on the few days a stock
    // files; those of the day's own rows (valuations, the close); the standing ones.
    std::vector<std::optional<double> Figures::*> filed, daily, standingAsked;
    std::vector<std::size_t> filedAt, dailyAt, standingAt;
    for (std::size_t j = 0; j < jpx.size(); ++j) {
        if (marketdata::MarketStanding::gives(jpx[j])) {
            standingAsked.push_back(jpx[j]);
            standingAt.push_back(j);
        } else if (isValuation(jpx[j]) || jpx[j] == &Figures::close || jpx[j] == &Figures::dividendYield) {
            daily.push_back(jpx[j]);
            dailyAt.push_back(j);
        } else {
            filed.push_back(jpx[j]);
            filedAt.push_back(j);
        }
    }
    // The standing figures (earnings, margin, strength) of all the figures' days, read once; each
    // run of days reads them with a cursor of its own. Without bars (those the market holds
    // meanwhile too) on a thread of their own while the market is read.
    struct Standing
    {
        std::vector<std::string> days;
        std::optional<PriceStore> store;
        std::optional<marketdata::MarketStanding> standing;
    } standing;
    auto readStanding = [&] {
        standing.store.emplace(m.programFolder());
        standing.standing.emplace(*standing.store, standing.days, standingAsked);
        standing.standing->load();
    };
    std::future<void> standingRead;
    if (!standingAsked.empty() && figureDays > 0 && !marketdata::MarketStanding::readsBars(standingAsked)) {
        standing.days.assign(stored.begin() + static_cast<std::ptrdiff_t>(kPast - 1), stored.end());
        standingRead = std::async(std::launch::async, readStanding);
    }

    // The market of the tested days: the listings, their bars, TOPIX and dividends.
    const RuleMarket market = RuleMarket::read(m, c, listDay,
        [&](std::size_t done, std::size_t total) { return tell(Progress::Step::Prices, done, total); });
    if (!market.message.empty()) {
        result.message = market.message == "stopped" ? kStoppedMessage : market.message;
        return result;
    }
    const auto& days = market.days;
    const std::size_t n = days.size();
    if (market.listings.empty()) {
        result.message = TrackRun::kNoneSelectedMessage;
        return result;
    }
    if (std::none_of(
            market.listings.begin(), market.listings.end(), [](const auto& l) { return l.hasBars(); })) {
        result.message = source.isJQuants() ? TrackRun::kNoStoreMessage : TrackRun::kNoHistoriesMessage;
        return result;
    }
    if (o.dividends.value_or(false) && !market.dividendsStored) {
        result.message = kNoDividendsMessage;
        return result;
    }
    const bool dividends = o.dividends.value_or(market.dividendsStored) && market.dividendsStored;
    result.listingHistory = market.listingHistory;
    result.limitsApplied = market.limitsApplied;
    result.dividends = !market.dividendsStored ? TrackReport::Dividends::NotStored
        : dividends                            ? TrackReport::Dividends::Included
                                               : TrackReport::Dividends::Off;
    result.taxed = o.simulate && o.tax;
    if (dividends && !market.dividendsPendingFrom.empty() && n > kPast) {
        result.dividendDaysPending = static_cast<int>(days.end()
            - std::max(days.begin() + static_cast<std::ptrdiff_t>(kPast),
                std::lower_bound(days.begin(), days.end(), market.dividendsPendingFrom)));
    }
    auto holdOf = [&o](const std::vector<int>& of) {
        return o.hold > 0 || of.empty() ? std::max(1, o.hold) : *std::max_element(of.begin(), of.end());
    };
    const int hold = holdOf(horizons);
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
        if (market.listingHistory) {
            if (auto span = market.marketSpan(c.market, kPast); !span.empty()) {
                result.marketSpans.push_back(std::move(span));
            }
        }
    } else {
        // Not a rule that never held: no day could be evaluated.
        result.note = tooFewDaysNote(n);
    }

    // JPX's figures of every evaluated day, as known that day, to the listing listed that day.
    const std::size_t from = n > kPast ? kPast - 1 : n;
    if (!jpx.empty() && market.store) {
        std::map<std::string, std::vector<std::size_t>> byCode;
        for (std::size_t i = 0; i < market.listings.size(); ++i) {
            byCode[market.listings[i].code].push_back(i);
        }
        setup.jpxByDay.resize(n);
        setup.jpxColumns = jpx.size();
        // Of a standing's stocks, the listings of each, and of its columns (in its own order)
        // the column among jpx's.
        struct StandingMap
        {
            std::vector<std::vector<std::size_t>> listings;
            std::vector<std::size_t> columnOf;
        };
        auto mapOf = [&](marketdata::MarketStanding& of) {
            StandingMap map;
            for (const auto figure : of.asked()) {
                map.columnOf.push_back(standingAt[static_cast<std::size_t>(
                    std::find(standingAsked.begin(), standingAsked.end(), figure) - standingAsked.begin())]);
            }
            map.listings.resize(of.stockCount());
            for (std::size_t i = 0; i < map.listings.size(); ++i) {
                if (const auto it = byCode.find(of.listCode(i)); it != byCode.end()) {
                    map.listings[i] = it->second;
                }
            }
            return map;
        };
        StandingMap sharedMap;
        if (standingRead.valid()) {
            standingRead.get();
            // Read again where the store's days changed meanwhile.
            const std::vector<std::string> figureDaysOf(
                days.begin() + static_cast<std::ptrdiff_t>(from), days.end());
            if (standing.days != figureDaysOf) {
                standing.days = figureDaysOf;
                readStanding();
            }
            sharedMap = mapOf(*standing.standing);
        }
        // The days in one run of consecutive days a thread, each with its own connection and
        // timeline: each day's figures are those of the filings known by it, whatever the run.
        const std::size_t figureDays = n - from;
        const std::size_t runs = std::clamp<std::size_t>(
            std::thread::hardware_concurrency(), 1, std::max<std::size_t>(1, figureDays / 64));
        std::atomic<std::size_t> done{0};
        std::atomic<bool> stop{false};
        std::vector<std::exception_ptr> errors(runs);
        auto fill = [&](std::size_t run) {
            try {
                const std::size_t first = from + figureDays * run / runs;
                const std::size_t end = from + figureDays * (run + 1) / runs;
                PriceStore store(m.programFolder());
                const std::vector<std::string> runDays(days.begin() + static_cast<std::ptrdiff_t>(first),
                    days.begin() + static_cast<std::ptrdiff_t>(end));
                // The standing figures (earnings, margin, strength) come by stock index, without a map
                // of every stock a day; the others from the timeline.
                // Apart, so the filings are read as changes whatever else is asked: a day's figures of
                // every stock cost a map a day.
                std::optional<marketdata::FundamentalsTimeline> timeline, dayTimeline;
                if (!filed.empty()) {
                    timeline.emplace(store, runDays, filed);
                }
                if (!daily.empty()) {
                    dayTimeline.emplace(store, runDays, daily);
                }
                // Figures that read the bars are read by each run for its own days, side by side.
                std::optional<marketdata::MarketStanding> ownStanding;
                const marketdata::MarketStanding* standingOf = nullptr;
                StandingMap ownMap;
                const StandingMap* map = &sharedMap;
                if (standing.standing) {
                    standingOf = &*standing.standing;
                } else if (!standingAsked.empty()) {
                    ownStanding.emplace(store, runDays, standingAsked);
                    ownMap = mapOf(*ownStanding);
                    standingOf = &*ownStanding;
                    map = &ownMap;
                }
                const auto& standingListings = map->listings;
                const auto& columnOf = map->columnOf;
                marketdata::MarketStanding::Cursor cursor;
                std::vector<double> standingValues;
                const std::size_t width = jpx.size();
                std::vector<double> current; // every listing's filed figures, listed that day or not
                for (std::size_t d = first; d < end && !stop; ++d) {
                    if (run == 0 && !tell(Progress::Step::Figures, done, figureDays)) {
                        stop = true;
                        break;
                    }
                    auto& values = setup.jpxByDay[d];
                    auto listedOn = [&](std::size_t i) {
                        return d >= market.listings[i].first && d <= market.listings[i].last;
                    };
                    if (timeline && timeline->givesChanges()) {
                        // Most days a few stocks file: the others keep the day before's figures.
                        if (current.empty()) {
                            current.assign(market.listings.size() * width, RuleMarket::kNone);
                        }
                        timeline->nextChanges([&](const std::string& code, const Figures& f) {
                            const auto it = byCode.find(code);
                            if (it == byCode.end()) {
                                return;
                            }
                            for (const std::size_t i : it->second) {
                                for (std::size_t j = 0; j < filed.size(); ++j) {
                                    current[i * width + filedAt[j]]
                                        = (f.*filed[j]).value_or(RuleMarket::kNone);
                                }
                            }
                        });
                        values = current;
                        for (std::size_t i = 0; i < market.listings.size(); ++i) {
                            if (!listedOn(i)) {
                                std::fill_n(values.begin() + static_cast<std::ptrdiff_t>(i * width), width,
                                    RuleMarket::kNone);
                            }
                        }
                    } else {
                        values.assign(market.listings.size() * width, RuleMarket::kNone);
                    }
                    if (dayTimeline) {
                        const auto day = dayTimeline->next();
                        // Both by code: one walk along the two, no lookup of each code.
                        auto it = byCode.begin();
                        for (const auto& [code, f] : day.byCode) {
                            while (it != byCode.end() && it->first < code) {
                                ++it;
                            }
                            if (it == byCode.end()) {
                                break;
                            }
                            if (it->first != code) {
                                continue;
                            }
                            for (const std::size_t i : it->second) {
                                if (!listedOn(i)) {
                                    continue;
                                }
                                for (std::size_t j = 0; j < daily.size(); ++j) {
                                    if (isValuation(daily[j]) && day.valuationDate != days[d]) {
                                        continue;
                                    }
                                    values[i * width + dailyAt[j]]
                                        = (f.*daily[j]).value_or(RuleMarket::kNone);
                                }
                            }
                        }
                    }
                    if (standingOf) {
                        standingOf->columns(days[d], standingValues, cursor);
                        const std::size_t k = standingAsked.size();
                        for (std::size_t s = 0; s < standingListings.size(); ++s) {
                            for (const std::size_t i : standingListings[s]) {
                                if (!listedOn(i)) {
                                    continue;
                                }
                                for (std::size_t j = 0; j < k; ++j) {
                                    values[i * width + columnOf[j]] = standingValues[s * k + j];
                                }
                            }
                        }
                    }
                    ++done;
                }
            } catch (...) {
                errors[run] = std::current_exception();
                stop = true;
            }
        };
        // Said before any run starts: the others may count days before the first run reports.
        if (!tell(Progress::Step::Figures, 0, figureDays)) {
            result.message = kStoppedMessage;
            return result;
        }
        {
            std::vector<std::thread> pool;
            for (std::size_t run = 1; run < runs; ++run) {
                pool.emplace_back(fill, run);
            }
            fill(0);
            // The first run reports for all: the others' days go on being counted meanwhile.
            while (!stop && done < figureDays && tell(Progress::Step::Figures, done, figureDays)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (done < figureDays) {
                stop = true;
            }
            for (auto& t : pool) {
                t.join();
            }
        }
        // Its days are in the columns now: its room is the events'.
        standing.standing.reset();
        standing.store.reset();
        for (const auto& error : errors) {
            if (error) {
                std::rethrow_exception(error);
            }
        }
        if (stop || !tell(Progress::Step::Figures, figureDays - 1, figureDays)) {
            result.message = kStoppedMessage;
            return result;
        }
    }

    // The events of the rule, listing by listing.
    RuleSimulation::Market simulated;
    setup.market = &market;
    setup.conditions = &c;
    setup.horizons = horizons;
    setup.nextOpen = o.nextOpen;
    setup.everyDay = o.everyDay;
    std::vector<std::string> varied;
    if (variants) {
        setup.everyHeld = true;
        if (!variants->empty()) {
            for (const auto& [name, range] : variants->front().ranges) {
                varied.push_back(name);
                setup.keep.push_back(FigureTable::figure(name));
            }
        }
    }
    setup.dividends = dividends;
    setup.simulation = o.simulate ? &simulated : nullptr;
    setup.progress
        = [&](std::size_t done, std::size_t total) { return tell(Progress::Step::Stocks, done, total); };
    RuleEvents::Result events = RuleEvents::run(setup);
    setup.jpxByDay.clear();
    if (events.stopped) {
        result.message = kStoppedMessage;
        return result;
    }
    result.stocks = events.stocks;
    for (std::size_t u = 0; u < setup.usedForCondition; ++u) {
        const std::string key = used[u].figure ? used[u].figure->jsonKey
            : used[u].flag                     ? used[u].flag->jsonKey
            : used[u].cross                    ? used[u].cross->jsonKey
                                               : "cross";
        int count = 0;
        for (std::size_t d = kPast; d < n; ++d) {
            count += events.seen[u * n + d];
        }
        result.figureDays.emplace_back(key, count);
        result.figureHeadings.emplace_back(used[u].figure ? used[u].figure->heading
                : used[u].flag                            ? used[u].flag->heading
                                                          : "クロス");
    }
    if (events.events.empty() && result.days > 0) {
        result.note = kNeverHeldNote;
    }
    if (o.eachEvent && !variants) {
        std::vector<const RuleEvents::Event*> byDay;
        byDay.reserve(events.events.size());
        for (const auto& e : events.events) {
            byDay.push_back(&e);
        }
        std::stable_sort(
            byDay.begin(), byDay.end(), [](const auto* a, const auto* b) { return a->day < b->day; });
        for (const auto* e : byDay) {
            o.eachEvent(days[e->day], market.listings[e->listing].code);
        }
    }

    simulated.meanChange = events.meanChange;
    auto finish = [&](TrackReport& into, const RuleEvents::Result& found, const std::vector<int>& hs) {
        // The rows: the whole selection, then by market, industry or year.
        RuleRows::Counts counts;
        into.groups
            = RuleRows::build(market, found, hs, o.nextOpen, static_cast<RuleRows::GroupBy>(o.by), counts);
        into.returnEvents = counts.returnEvents;
        into.topixEvents = counts.topixEvents;
        into.delistedStocks = counts.delistedStocks;
        into.delistedEvents = counts.delistedEvents;

        // Without a day to simulate, a simulation of none: its figures are none and its trades' file
        // still the trades'.
        if (o.simulate) {
            std::vector<std::vector<std::size_t>> byDay(n);
            std::vector<const RuleEvents::Event*> ordered;
            ordered.reserve(found.events.size());
            for (const auto& e : found.events) {
                ordered.push_back(&e);
            }
            const bool descending = c.descending;
            const auto* sortFigure = setup.sortFigure;
            auto codeOf = [&](const RuleEvents::Event* e) -> const std::string& {
                return market.listings[e->listing].code;
            };
            std::stable_sort(ordered.begin(), ordered.end(), [&](const auto* a, const auto* b) {
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
                    return codeOf(a) < codeOf(b);
                }
                return descending ? codeOf(b) < codeOf(a) : codeOf(a) < codeOf(b);
            });
            for (const auto* e : ordered) {
                byDay[e->day].push_back(e->listing);
            }
            RuleSimulation::Settings settings = o.simulation;
            settings.horizon = holdOf(hs);
            settings.nextOpen = o.nextOpen;
            settings.dividends = dividends;
            settings.tax = o.tax;
            into.simulationSettings = settings;
            into.simulation = RuleSimulation::run(simulated, kPast, byDay, settings);
        }
    };
    if (!variants) {
        finish(result, events, horizons);
        return result;
    }

    // Each variant: its events narrowed from the loosest's, its horizons' columns of the returns.
    const auto& all = events.events;
    auto variantEvents = [&](const Variant& v, std::vector<std::size_t>& columns) {
        RuleEvents::Result own;
        const std::vector<int> hs = v.horizon > 0 ? std::vector<int>{v.horizon} : o.horizons;
        columns.clear();
        for (const int h : hs) {
            columns.push_back(
                static_cast<std::size_t>(std::find(horizons.begin(), horizons.end(), h) - horizons.begin()));
        }
        for (const std::size_t hi : columns) {
            own.baseSum.push_back(events.baseSum[hi]);
            own.baseCount.push_back(events.baseCount[hi]);
            own.baseRises.push_back(events.baseRises[hi]);
        }
        std::vector<const StockFinder::Range*> ranges;
        std::vector<bool> positive;
        for (std::size_t k = 0; k < varied.size(); ++k) {
            ranges.push_back(&v.ranges.at(varied[k]));
            positive.push_back(setup.keep[k]->positiveWithoutMin);
        }
        auto holds = [&](const RuleEvents::Event& e) {
            for (std::size_t k = 0; k < ranges.size(); ++k) {
                const double value = e.kept[k];
                if (!StockFinder::within(
                        std::isnan(value) ? std::nullopt : std::optional(value), *ranges[k], positive[k])) {
                    return false;
                }
            }
            return true;
        };
        bool before = false;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const auto& e = all[i];
            const bool held = holds(e);
            const bool afterHeld
                = before && i > 0 && all[i - 1].listing == e.listing && all[i - 1].day + 1 == e.day;
            before = held;
            if (!held || e.day < kPast || (!o.everyDay && afterHeld)) {
                continue;
            }
            RuleEvents::Event kept{e.day, e.listing, e.sortValue, e.filled, {}, {}};
            for (const std::size_t hi : columns) {
                kept.returns.push_back(e.returns[hi]);
            }
            own.events.push_back(std::move(kept));
        }
        return std::pair{std::move(own), hs};
    };
    const std::size_t total = variants->size();
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    std::mutex told;
    std::vector<std::exception_ptr> errors(std::max(1U, std::thread::hardware_concurrency()));
    auto work = [&](std::size_t worker) {
        try {
            std::vector<std::size_t> columns;
            for (std::size_t i = next++; i < total && !stop; i = next++) {
                auto [own, hs] = variantEvents((*variants)[i], columns);
                TrackReport report = result;
                report.horizons = hs;
                if (own.events.empty() && report.days > 0) {
                    report.note = kNeverHeldNote;
                }
                finish(report, own, hs);
                const std::lock_guard lock(told);
                (*sink)(i, std::move(report));
                ++done;
            }
        } catch (...) {
            errors[worker] = std::current_exception();
            stop = true;
        }
    };
    {
        std::vector<std::thread> pool;
        for (std::size_t t = 1; t < errors.size() && t < total; ++t) {
            pool.emplace_back(work, t);
        }
        std::thread main(work, 0);
        while (done < total && !stop) {
            if (!tell(Progress::Step::Variants, done, total)) {
                stop = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        main.join();
        for (auto& t : pool) {
            t.join();
        }
    }
    for (const auto& error : errors) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
    if (stop || !tell(Progress::Step::Variants, total, total)) {
        result.message = kStoppedMessage;
    }
    return result;
}

} // namespace zuvemo::analysis
