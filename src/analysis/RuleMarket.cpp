#include "RuleMarket.h"

#include "HistoryFile.h"
#include "TrackRun.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/Platform.h"
#include "core/PriceLimit.h"
#include "core/Statement.h"
#include "core/Utf8.h"
#include "marketdata/DataSource.h"
#include "marketdata/jquants/DividendHistory.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "marketdata/jquants/ListingHistory.h"
#include "marketdata/jquants/TopixHistory.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace zuvemo::analysis {

namespace {

using marketdata::ListingHistory;
using marketdata::PriceStore;

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

bool hasTable(core::Connection& db, const char* name)
{
    core::Statement s(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    s.bindText(1, name);
    return s.next();
}

// The stocks of today's list within the conditions' market and industry, a listing each over
// every day.
std::vector<RuleMarket::Listing> todaysList(
    core::Connection& db, const StockFinder::Conditions& c, std::size_t n)
{
    std::vector<RuleMarket::Listing> out;
    core::Statement rs(db,
        "SELECT MgCode, Mgmgara, Mgyosyu FROM Table_Code" + StockFinder::selection(c) + " ORDER BY MgCode");
    while (rs.next()) {
        RuleMarket::Listing l;
        l.code = core::Utf8::trim(rs.columnText(0));
        l.first = 0;
        l.last = n > 0 ? n - 1 : 0;
        l.spans.push_back({0, core::Utf8::trim(rs.columnText(1)), core::Utf8::trim(rs.columnText(2))});
        out.push_back(std::move(l));
    }
    return out;
}

} // namespace

const RuleMarket::Span& RuleMarket::Listing::on(std::size_t day) const
{
    const auto it = std::upper_bound(
        spans.begin(), spans.end(), day, [](std::size_t d, const Span& s) { return d < s.from; });
    return it == spans.begin() ? spans.front() : *(it - 1);
}

bool RuleMarket::selects(const StockFinder::Conditions& c, const Span& span)
{
    const std::string market = core::Utf8::trim(c.market);
    const std::string industry = core::Utf8::trim(c.industry);
    return (market.empty() || market == span.market) && (industry.empty() || industry == span.industry);
}

RuleMarket RuleMarket::read(core::Mdl_Start& m, const StockFinder::Conditions& c, const std::string& listDay,
    const Progress& progress)
{
    RuleMarket market;
    auto& db = *m.SharedConnection;
    const auto source = marketdata::DataSource::read(db);
    market.store = source.isJQuants();
    auto tell = [&](std::size_t done, std::size_t total) { return !progress || progress(done, total); };

    if (!market.store) {
        // The screening's history files: the days are those any of them holds.
        std::string prefix, suffix;
        if (core::Statement url(db, "SELECT kabuSi, kabuHdate FROM Table_Url"); url.next()) {
            suffix = core::Utf8::trim(url.columnText(0));
            prefix = core::Utf8::trim(url.columnText(1)) + "-";
        }
        market.listings = todaysList(db, c, 0);
        const std::size_t count = market.listings.size();
        std::vector<std::vector<HistoryRow>> rows(count);
        std::set<std::string> dates;
        for (std::size_t i = 0; i < count; ++i) {
            if (!tell(i, count)) {
                market.message = "stopped";
                return market;
            }
            std::string name = prefix;
            name += market.listings[i].code;
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
        market.days.assign(dates.begin(), dates.end());
        const std::size_t n = market.days.size();
        for (std::size_t i = 0; i < count; ++i) {
            auto& listing = market.listings[i];
            listing.last = n > 0 ? n - 1 : 0;
            for (auto it = rows[i].rbegin(); it != rows[i].rend(); ++it) {
                const auto at = std::lower_bound(market.days.begin(), market.days.end(), it->date);
                if (it->date.empty() || at == market.days.end() || *at != it->date
                    || (!listing.bars.empty()
                        && listing.bars.back().day >= static_cast<std::size_t>(at - market.days.begin()))) {
                    continue;
                }
                PriceStore::DayBar bar;
                bar.day = static_cast<std::size_t>(at - market.days.begin());
                bar.traded = true;
                bar.adjH = it->high;
                bar.adjL = it->low;
                bar.adjC = it->close;
                bar.c = it->close;
                bar.adjO = it->open;
                bar.adjVo = it->volume;
                bar.va = it->value;
                listing.bars.push_back(bar);
            }
        }
        market.topixOpen.assign(n, kNone);
        market.topixClose.assign(n, kNone);
        return market;
    }

    if (!PriceStore::exists(m.programFolder())) {
        market.message = TrackRun::kNoStoreMessage;
        return market;
    }
    PriceStore store(m.programFolder());
    market.days = store.storedDays();
    market.days.erase(std::upper_bound(market.days.begin(), market.days.end(), listDay), market.days.end());
    const std::size_t n = market.days.size();
    market.limitsApplied = true;
    auto dayIndex = [&market](const std::string& day) {
        return static_cast<std::size_t>(
            std::lower_bound(market.days.begin(), market.days.end(), day) - market.days.begin());
    };

    // The listing history, when it has a snapshot for every month of the days.
    std::vector<ListingHistory::Snapshot> snapshots;
    if (n > 0 && hasTable(store.connection(), "Table_ListingDay")) {
        ListingHistory history(store.connection());
        auto known = history.days();
        known.erase(std::upper_bound(known.begin(), known.end(), market.days.back()), known.end());
        if (!known.empty() && ListingHistory::toAsk(ListingHistory::wantedDays(market.days), known).empty()) {
            // The older half on a thread and connection of its own: the snapshots are most of
            // what the market's listings cost to read.
            const std::string half = known[known.size() / 2];
            std::vector<ListingHistory::Snapshot> older;
            std::exception_ptr error;
            std::thread other([&] {
                try {
                    PriceStore own(m.programFolder());
                    older = ListingHistory(own.connection()).snapshots(half);
                } catch (...) {
                    error = std::current_exception();
                }
            });
            try {
                snapshots = history.snapshots(market.days.back(), half);
            } catch (...) {
                other.join();
                throw;
            }
            other.join();
            if (error) {
                std::rethrow_exception(error);
            }
            older.insert(older.end(), std::make_move_iterator(snapshots.begin()),
                std::make_move_iterator(snapshots.end()));
            snapshots = std::move(older);
        }
    }
    market.listingHistory = !snapshots.empty();

    // The listings, each with whether the store has a bar of it: their bars are read when
    // they are evaluated, a range of codes on each thread.
    market.storeFolder = m.programFolder();
    bool going = true;
    if (!market.listingHistory) {
        market.listings = todaysList(db, c, n);
        const std::size_t total = market.listings.size();
        going = tell(0, total);
        for (std::size_t i = 0; i < total && going; ++i) {
            auto& l = market.listings[i];
            l.storeCode = PriceStore::storeCode(l.code);
            l.stored = n > 0 && store.hasBars(l.storeCode, market.days, 0, n - 1);
            going = tell(i + 1, total);
        }
    } else {
        // A code in every snapshot needs only its first traded day; one that comes or goes, all.
        std::map<std::string, std::size_t> seen;
        for (const auto& snap : snapshots) {
            for (const auto& [code, a] : snap.stocks) {
                ++seen[code];
            }
        }
        // Each code's trades by its key, the codes in a run a thread on a connection of its own;
        // this thread reports.
        std::vector<std::pair<std::string, std::size_t>> codes(seen.begin(), seen.end());
        std::vector<std::optional<std::vector<std::string>>> found(codes.size());
        std::atomic<std::size_t> read{0};
        std::atomic<bool> stop{false};
        going = tell(0, codes.size());
        stop = !going;
        auto look = [&](std::size_t begin, std::size_t end, PriceStore& on, bool reports) {
            for (std::size_t i = begin; i < end && !stop; ++i) {
                // A stock with a trade has a bar: the second look is for one without any.
                auto days = on.tradedDays(codes[i].first, market.days, codes[i].second == snapshots.size());
                if (!days.empty() || on.hasBars(codes[i].first, market.days, 0, n - 1)) {
                    found[i] = std::move(days);
                }
                const std::size_t now = ++read;
                if (reports && !tell(now, codes.size())) {
                    stop = true;
                }
            }
        };
        const std::size_t half = codes.size() / 2;
        std::exception_ptr error;
        std::thread other([&] {
            try {
                PriceStore own(m.programFolder());
                look(half, codes.size(), own, false);
            } catch (...) {
                error = std::current_exception();
                stop = true;
            }
        });
        try {
            look(0, half, store, true);
        } catch (...) {
            stop = true;
            other.join();
            throw;
        }
        other.join();
        if (error) {
            std::rethrow_exception(error);
        }
        going = going && !stop && tell(codes.size(), codes.size());
        std::map<std::string, std::vector<std::string>> traded;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            if (found[i]) {
                traded.emplace(codes[i].first, std::move(*found[i]));
            }
        }
        const auto all = going ? ListingHistory::listings(snapshots, traded)
                               : std::map<std::string, std::vector<ListingHistory::Listing>>();
        for (const auto& [code, listings] : all) {
            if (!traded.count(code)) {
                continue;
            }
            for (const auto& l : listings) {
                Listing listing;
                listing.code = PriceStore::listCode(code);
                listing.storeCode = code;
                listing.first = dayIndex(l.first);
                listing.last = l.last.empty() ? n - 1 : dayIndex(l.last);
                if (listing.last < n && market.days[listing.last] != l.last && !l.last.empty()) {
                    // A last day between stored days: the stored day before it.
                    listing.last = listing.last == 0 ? 0 : listing.last - 1;
                }
                if (listing.first >= n || (!l.last.empty() && l.last < market.days.front())) {
                    continue;
                }
                listing.last = std::min(listing.last, n - 1);
                listing.delisted = !l.last.empty();
                bool any = false;
                for (const auto& a : l.attributes) {
                    Span span{std::max(dayIndex(a.from), listing.first), a.marketName,
                        marketdata::JQuantsRefresh::fullWidthPunctuation(a.industryName)};
                    any = any || selects(c, span);
                    if (!listing.spans.empty() && listing.spans.back().from == span.from) {
                        listing.spans.back() = span;
                    } else {
                        listing.spans.push_back(std::move(span));
                    }
                }
                if (!any) {
                    continue;
                }
                // Its days hold its first trade unless it comes and goes or never traded.
                const auto& own = traded.at(code);
                listing.stored
                    = (listings.size() == 1 && !own.empty() && dayIndex(own.front()) >= listing.first
                          && dayIndex(own.front()) <= listing.last)
                    || store.hasBars(code, market.days, listing.first, listing.last);
                market.listings.push_back(std::move(listing));
            }
        }
    }
    if (!going) {
        market.message = "stopped";
        return market;
    }

    // TOPIX, where the store has it.
    market.topixOpen.assign(n, kNone);
    market.topixClose.assign(n, kNone);
    if (n > 0 && hasTable(store.connection(), "Table_Topix")) {
        marketdata::TopixHistory topix(store.connection());
        std::size_t d = 0;
        for (const auto& bar : topix.bars(market.days.front(), market.days.back())) {
            while (d < n && market.days[d] < bar.date) {
                ++d;
            }
            if (d < n && market.days[d] == bar.date) {
                market.topixOpen[d] = bar.o;
                market.topixClose[d] = bar.c;
            }
        }
    }

    // Dividends by ex-date: each to the listing listed on a stored ex-day.
    if (n > 0 && hasTable(store.connection(), "Table_Dividend")) {
        marketdata::DividendHistory history(store.connection());
        std::map<std::string, std::vector<std::size_t>> byCode;
        for (std::size_t i = 0; i < market.listings.size(); ++i) {
            byCode[market.listings[i].code].push_back(i);
        }
        std::map<std::string, std::string> newestDecided;
        for (const auto& d : history.dividends(market.days.front(), market.days.back())) {
            market.dividendsStored = true;
            newestDecided[PriceStore::listCode(d.code)]
                = std::max(newestDecided[PriceStore::listCode(d.code)], d.exDate);
            const std::size_t ex = dayIndex(d.exDate);
            const auto it = byCode.find(PriceStore::listCode(d.code));
            if (ex >= n || market.days[ex] != d.exDate || it == byCode.end()) {
                continue;
            }
            for (const std::size_t i : it->second) {
                if (ex >= market.listings[i].first && ex <= market.listings[i].last) {
                    market.listings[i].dividends.emplace_back(ex, d.perShare);
                }
            }
        }
        if (!market.dividendsStored) {
            core::Statement any(store.connection(), "SELECT 1 FROM Table_Dividend LIMIT 1");
            market.dividendsStored = any.next();
        }
        // A forecast older than a decided dividend of its stock is one that will not be decided.
        for (const auto& notice : history.undecided(market.days.front(), market.days.back())) {
            const auto decided = newestDecided.find(PriceStore::listCode(notice.code));
            if ((decided == newestDecided.end() || notice.exDate > decided->second)
                && (market.dividendsPendingFrom.empty() || notice.exDate < market.dividendsPendingFrom)) {
                market.dividendsPendingFrom = notice.exDate;
            }
        }
    }
    return market;
}

RuleMarket::Series RuleMarket::series(std::size_t index, const std::vector<PriceStore::DayBar>& bars,
    const StockFinder::Conditions& c, bool dividends) const
{
    const std::size_t n = days.size();
    const Listing& l = listings[index];
    Series s;
    s.open.assign(n, kNone);
    s.close.assign(n, kNone);
    s.raw.assign(n, kNone);
    s.carried.assign(n, kNone);
    s.marks.assign(n, 0);
    s.dividend.assign(n, 0);
    s.lastTrade = n;
    if (n == 0) {
        return s;
    }
    for (std::size_t k = 0; k < l.spans.size(); ++k) {
        const std::size_t end = k + 1 < l.spans.size() ? l.spans[k + 1].from : l.last + 1;
        const std::uint8_t mark = Series::Listed | (selects(c, l.spans[k]) ? Series::Selected : 0);
        for (std::size_t d = std::max(l.spans[k].from, l.first); d < end && d < n; ++d) {
            s.marks[d] |= mark;
        }
    }
    double base = kNone; // the unadjusted close carried to the next day
    for (const auto& bar : bars) {
        const std::size_t d = bar.day;
        if (!std::isnan(base) && bar.adjFactor > 0 && bar.adjFactor != 1.0) {
            base = core::PriceLimit::base(base, bar.adjFactor);
        }
        if (!bar.traded) {
            continue;
        }
        s.open[d] = bar.adjO > 0 ? bar.adjO : kNone;
        s.close[d] = bar.adjC;
        s.raw[d] = bar.c;
        s.marks[d] |= Series::Traded;
        s.lastTrade = d;
        // A stock's first day with a trade has no limits.
        if (limitsApplied && !std::isnan(base)) {
            const auto limits = core::PriceLimit::of(base);
            if (bar.o > 0 && core::PriceLimit::atUpper(bar.o, limits)) {
                s.marks[d] |= Series::OpenAtUpper;
            }
            if (core::PriceLimit::atUpper(bar.c, limits)) {
                s.marks[d] |= Series::CloseAtUpper;
            }
            if (core::PriceLimit::atLower(bar.c, limits)) {
                s.marks[d] |= Series::CloseAtLower;
            }
        }
        base = bar.c;
    }
    if (store) {
        double last = kNone;
        for (std::size_t d = l.first; d <= l.last && d < n; ++d) {
            if (s.is(d, Series::Traded)) {
                last = s.close[d];
            }
            s.carried[d] = last;
        }
    } else {
        s.carried = s.close;
    }
    if (dividends) {
        for (const auto& [ex, perShare] : l.dividends) {
            // On the adjusted basis of the last day with a trade before the ex-date, so a split
            // on the ex-date is counted.
            for (std::size_t t = ex; t-- > l.first;) {
                if (s.is(t, Series::Traded) && s.raw[t] > 0) {
                    s.dividend[ex] += perShare * s.close[t] / s.raw[t];
                    break;
                }
            }
        }
    }
    return s;
}

void RuleMarket::eachBars(std::size_t begin, std::size_t end, PriceStore* store, const EachBars& fn,
    PriceStore::BarColumns columns) const
{
    end = std::min(end, listings.size());
    if (storeFolder.empty() || store == nullptr) {
        for (std::size_t i = begin; i < end; ++i) {
            if (!listings[i].bars.empty() && !fn(i, listings[i].bars)) {
                return;
            }
        }
        return;
    }
    std::map<std::string, std::vector<std::size_t>> byCode;
    for (std::size_t i = begin; i < end; ++i) {
        if (listings[i].stored) {
            byCode[listings[i].storeCode].push_back(i);
        }
    }
    if (byCode.empty()) {
        return;
    }
    bool going = true;
    std::vector<PriceStore::DayBar> own;
    store->eachStockBars(
        days,
        [&](const std::string& code, const std::vector<PriceStore::DayBar>& bars) {
            const auto it = byCode.find(code);
            if (!going || it == byCode.end()) {
                return;
            }
            for (const std::size_t i : it->second) {
                const auto& l = listings[i];
                own.clear();
                for (const auto& bar : bars) {
                    if (bar.day >= l.first && bar.day <= l.last) {
                        own.push_back(bar);
                    }
                }
                if (!own.empty() && !(going = fn(i, own))) {
                    return;
                }
            }
        },
        false, byCode.begin()->first, byCode.rbegin()->first, columns);
}

std::string RuleMarket::marketSpan(const std::string& chosen, std::size_t from) const
{
    const std::string name = core::Utf8::trim(chosen);
    if (name.empty() || days.empty() || from >= days.size()) {
        return {};
    }
    std::size_t first = days.size(), last = 0;
    bool seen = false;
    for (const auto& l : listings) {
        for (std::size_t k = 0; k < l.spans.size(); ++k) {
            if (l.spans[k].market != name) {
                continue;
            }
            const std::size_t end = k + 1 < l.spans.size() ? l.spans[k + 1].from - 1 : l.last;
            first = std::min(first, l.spans[k].from);
            last = std::max(last, end);
            seen = true;
        }
    }
    if (!seen) {
        return {};
    }
    const bool late = first > from, early = last + 1 < days.size();
    if (!late && !early) {
        return {};
    }
    return name + " は " + (late ? days[first] + " から" : std::string()) + (late && early ? " " : "")
        + (early ? days[last] + " まで" : std::string());
}

} // namespace zuvemo::analysis
