#include "JQuantsRefresh.h"

#include "BulkFill.h"
#include "DividendHistory.h"
#include "EarningsHistory.h"
#include "JQuantsAnswer.h"
#include "ListingHistory.h"
#include "MarginHistory.h"
#include "MarketStanding.h"
#include "PriceStore.h"
#include "TopixHistory.h"
#include "core/Clock.h"
#include "core/Platform.h"
#include "core/TextCodec.h"
#include "core/Value.h"

#include <algorithm>
#include <chrono>
#include <curl/curl.h>
#include <map>
#include <regex>
#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;
using namespace std::chrono;

namespace {

std::string text(const json& row, const char* field)
{
    const auto it = row.find(field);
    return it != row.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string number(const json& row, const char* field)
{
    const auto it = row.find(field);
    if (it == row.end() || !it->is_number()) {
        return "-";
    }
    return core::Value::numberText(it->get<double>());
}

std::string kanjiDate(const std::string& dashed)
{
    return dashed.substr(0, 4) + "年" + dashed.substr(5, 2) + "月" + dashed.substr(8, 2) + "日";
}

std::string dashedDaysBefore(const core::Clock& clock, int count)
{
    return core::Clock::dashed(year_month_day{sys_days{clock.today()} - days{count}});
}

} // namespace

JQuantsRefresh::JQuantsRefresh(const std::filesystem::path& programFolder, const DataSource& source,
    const JQuantsClient::Options& client, const core::Clock& clock)
    : m_folder(programFolder)
    , m_source(source)
    , m_clientOptions(client)
    , m_clock(clock)
{
}

std::string JQuantsRefresh::fullWidthPunctuation(std::string t)
{
    for (auto [from, to] : {std::pair<std::string, std::string>{"･", "・"}, {"､", "、"}}) {
        for (auto at = t.find(from); at != std::string::npos; at = t.find(from, at)) {
            t.replace(at, from.size(), to);
        }
    }
    return t;
}

std::string JQuantsRefresh::windowEnd(const std::string& message)
{
    static const std::regex range(R"((\d{4}-\d{2}-\d{2})\s*~\s*(\d{4}-\d{2}-\d{2}))");
    std::smatch m;
    return std::regex_search(message, m, range) ? m[2].str() : std::string();
}

std::string JQuantsRefresh::windowStart(const std::string& message)
{
    static const std::regex range(R"((\d{4}-\d{2}-\d{2})\s*~\s*(\d{4}-\d{2}-\d{2}))");
    std::smatch m;
    return std::regex_search(message, m, range) ? m[1].str() : std::string();
}

std::string JQuantsRefresh::dailyList(
    const std::string& date, const json& bars, const json& master, int* unknown)
{
    std::map<std::string, const json*> listed;
    for (const auto& row : master) {
        listed[text(row, "Code")] = &row;
    }
    // A name is one field of the list: no comma or line break of the server's may split it.
    auto field = [](const std::string& value) {
        std::string t = JQuantsClient::cleanServerText(value, {});
        for (auto at = t.find(','); at != std::string::npos; at = t.find(',', at)) {
            t.replace(at, 1, "，");
        }
        return t;
    };
    std::string out;
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& bar : bars) {
        const std::string code = text(bar, "Code");
        const auto info = listed.find(code);
        if (info == listed.end()) {
            // A stock the day's master does not name has no market nor industry to list it by.
            if (unknown) {
                ++*unknown;
            }
            continue;
        }
        std::string line = PriceStore::listCode(code) + "," + field(text(*info->second, "MktNm")) + ","
            + field(text(*info->second, "CoName")) + ","
            + fullWidthPunctuation(field(text(*info->second, "S33Nm"))) + ",";
        // A day without a trade has null prices: written as "-", which the import leaves out.
        line += number(bar, "O") + "," + number(bar, "H") + "," + number(bar, "L") + "," + number(bar, "C")
            + "," + number(bar, "Vo") + "," + number(bar, "Va") + "\r\n";
        lines.emplace_back(PriceStore::listCode(code), std::move(line));
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& [code, line] : lines) {
        // A name code page 932 cannot write keeps its stock: its unknown characters become "?".
        auto encoded = core::TextCodec::encodeCp932(line);
        if (!encoded) {
            std::string plain;
            for (char c : line) {
                plain.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
            }
            encoded = plain;
        }
        out += *encoded;
    }
    return core::TextCodec::encodeCp932(kanjiDate(date) + " 全銘柄 株価一覧 (J-Quants)\r\n").value_or("")
        + out;
}

JQuantsRefresh::Probe JQuantsRefresh::probe(
    JQuantsClient::Options options, const std::string& code5, const core::Clock& clock)
{
    options.retries = 0;
    JQuantsClient client(options);
    Probe probe;
    const auto unanswered = [&] {
        const auto& failure = client.lastFailure();
        if (client.outsideWindow()) {
            probe.ok = true;
            probe.newest = windowEnd(failure.serverMessage);
            return probe;
        }
        if (failure.status == 401 || failure.status == 403) {
            probe.message = JQuantsClient::kForbiddenMessage;
        } else if (failure.status == CURLE_COULDNT_RESOLVE_HOST || failure.status == CURLE_COULDNT_CONNECT
            || failure.status == CURLE_OPERATION_TIMEDOUT || failure.status == CURLE_SSL_CONNECT_ERROR) {
            // No connection at all: the network or the address. A cut answer says so itself.
            probe.message = "J-Quants API に接続できません。ネットワークとアドレスを確かめてください。";
        } else {
            probe.message = failure.message;
        }
        return probe;
    };
    // A folder without a list knows no code that surely exists: the day's master names one.
    std::string code = code5;
    if (code.empty()) {
        const auto master = client.getAll("/equities/master", {});
        if (!master) {
            return unanswered();
        }
        for (const auto& row : *master) {
            if (const auto listed = text(row, "Code"); JQuantsAnswer::isCode(listed)) {
                code = listed;
                break;
            }
        }
        if (code.empty()) {
            probe.ok = true;
            return probe;
        }
    }
    const std::string today = core::Clock::dashed(year_month_day{clock.today()});
    auto rows = client.getAll(
        "/equities/bars/daily", {{"code", code}, {"from", dashedDaysBefore(clock, 31)}, {"to", today}});
    if (!rows) {
        return unanswered();
    }
    probe.ok = true;
    for (const auto& row : *rows) {
        // Shown in the dialog: a date, never whatever text the server put there.
        if (const auto date = text(row, "Date"); JQuantsAnswer::isDate(date)) {
            probe.newest = std::max(probe.newest, date);
        }
    }
    return probe;
}

bool JQuantsRefresh::completeRefetches(JQuantsClient& client, PriceStore& store, Result& result)
{
    const auto pending = store.pendingRefetches();
    if (pending.empty()) {
        return true;
    }
    const auto stored = store.storedDays();
    if (stored.empty()) {
        return true;
    }
    const std::string& first = stored.front();
    const std::string& last = stored.back();
    for (const auto& code : pending) {
        std::string from = first;
        auto rows = client.getAll("/equities/bars/daily", {{"code", code}, {"from", from}, {"to", last}});
        if (!rows && client.outsideWindow()) {
            // The plan no longer reads the oldest stored days: those of this stock cannot be put
            // on the new basis and go, the rest is fetched again.
            from = std::max(first, windowStart(client.lastFailure().serverMessage));
            rows = client.getAll("/equities/bars/daily", {{"code", code}, {"from", from}, {"to", last}});
        }
        const std::string what = PriceStore::listCode(code) + " の分割後の履歴";
        if (!rows) {
            return failed(client, result, what);
        }
        const auto check = JQuantsAnswer::stock(code, from, last, *rows);
        if (!check.ok || check.rows.empty()) {
            return malformed(client, result, what, check.ok ? "行がありません" : check.fault);
        }
        store.storeStock(code, first, last, check.rows);
        ++result.stocksRefetched;
    }
    return true;
}

bool JQuantsRefresh::failed(const JQuantsClient& client, Result& result, const std::string& what)
{
    const auto& failure = client.lastFailure();
    result.ok = false;
    result.cancelled = failure.cancelled;
    result.message
        = failure.cancelled ? std::string() : client.cleanServerText(failure.message + "（" + what + "）");
    result.requests = client.requests();
    return false;
}

bool JQuantsRefresh::malformed(
    const JQuantsClient& client, Result& result, const std::string& what, const std::string& fault)
{
    result.ok = false;
    result.message = client.cleanServerText(
        std::string(JQuantsClient::kBadAnswerMessage) + "（" + what + ": " + fault + "）");
    result.requests = client.requests();
    return false;
}

JQuantsRefresh::Result JQuantsRefresh::run(const std::string& heldDashed,
    const std::filesystem::path& listFile, const Progress& progress, const ListReady& listReady)
{
    Result result;
    JQuantsClient client(m_clientOptions);
    PriceStore store(m_folder);
    auto leftOut = [&result](const std::string& day, const JQuantsAnswer::Check& check) {
        if (check.leftOut.empty()) {
            return;
        }
        std::string codes;
        for (const auto& code : check.leftOut) {
            codes += (codes.empty() ? "" : ", ") + PriceStore::listCode(code);
        }
        result.notes.push_back(day + ": 値が正しくない " + std::to_string(check.leftOut.size())
            + " 銘柄を取引なしとしました（" + codes + "）");
    };
    auto putAside = [&result](const std::string& what, const JQuantsAnswer::Check& check) {
        if (check.putAside > 0) {
            result.notes.push_back(what + ": ありえない値の " + std::to_string(check.putAside)
                + " 件（0 以下の時価総額、負の配当）をなしとしました");
        }
    };
    // A 400 naming the plan's window ends a walk back in time only for a day before that window;
    // for a day inside it the answer contradicts itself and the run fails.
    auto beforeWindow = [&client](const std::string& day) {
        return client.outsideWindow() && day < windowStart(client.lastFailure().serverMessage);
    };

    // What an earlier run left to do comes first: a split's stocks stay stale until fetched again.
    if (!completeRefetches(client, store, result)) {
        return result;
    }

    // The calendar of the history depth and a little more (the Free plan reads 12 weeks back).
    const std::string today = core::Clock::dashed(year_month_day{m_clock.today()});
    const std::string from = dashedDaysBefore(m_clock, m_source.days * 7 / 5 + 150);
    // Half a year ahead too: the trading days to a company's coming results count by it.
    const std::string ahead = dashedDaysBefore(m_clock, -kCalendarAhead);
    auto calendar = client.getAll("/markets/calendar", {{"from", from}, {"to", ahead}});
    if (!calendar) {
        failed(client, result, "取引日カレンダー");
        return result;
    }
    if (const auto check = JQuantsAnswer::calendar(from, ahead, *calendar); !check.ok) {
        malformed(client, result, "取引日カレンダー", check.fault);
        return result;
    }
    store.storeCalendar(*calendar);
    std::vector<std::string> trading = store.tradingDays(from, today);

    // The newest day the key may read: today's list, else the day before (not published yet),
    // else the last day of the plan's window that a 400 names.
    std::string newest;
    JQuantsAnswer::Check newestDay;
    std::string windowFrom;
    for (int attempt = 0; attempt < 3 && !trading.empty(); ++attempt) {
        const std::string candidate = trading.back();
        auto rows = client.getAll("/equities/bars/daily", {{"date", candidate}});
        if (rows && !rows->empty()) {
            newestDay = JQuantsAnswer::day(candidate, *rows);
            if (!newestDay.ok) {
                malformed(client, result, candidate + " の株価", newestDay.fault);
                return result;
            }
            newest = candidate;
            break;
        }
        if (rows) {
            trading.pop_back();
            continue;
        }
        if (!client.outsideWindow()) {
            failed(client, result, candidate + " の株価");
            return result;
        }
        const std::string end = windowEnd(client.lastFailure().serverMessage);
        windowFrom = windowStart(client.lastFailure().serverMessage);
        while (!trading.empty() && trading.back() > end) {
            trading.pop_back();
        }
    }
    if (newest.empty()) {
        result.message = "J-Quants API から取引日のデータを取得できません。";
        result.requests = client.requests();
        return result;
    }
    result.tradingDate = newest;

    // A day stored before the limit flags were kept is stored again from the answer at hand,
    // so the day's ストップ高 and ストップ安 can be told after the first refresh.
    if (!store.hasDay(newest) || (!newestDay.rows.empty() && !store.limitFlagsKept(newest))) {
        store.storeDay(newest, newestDay.rows);
        leftOut(newest, newestDay);
        ++result.daysFetched;
    }

    // The history depth: every trading day of it not stored yet, newest first, each whole.
    std::vector<std::string> missing;
    // The days the plan reads of the depth and of its disclosure days, stored or not.
    std::vector<std::string> readable;
    std::vector<std::string> readableFilings;
    const auto upTo = std::find(trading.begin(), trading.end(), newest);
    const auto depthStart = upTo - std::min<std::ptrdiff_t>(m_source.days, upTo - trading.begin());
    for (auto it = upTo; it != depthStart;) {
        --it;
        if (windowFrom.empty() || *it >= windowFrom) {
            readable.push_back(*it);
            if (!store.hasDay(*it)) {
                missing.push_back(*it);
            }
        }
    }
    // Then the disclosure days: every company files at least each quarter, so its latest filing
    // lies in the last kFilingDays trading days; a folder keeping fewer days looks back as far
    // as its prices reach, since a forecast is adjusted by the splits stored after it.
    // The monthly files bring a month's disclosures for one request: as deep as the prices, so
    // that growth figures exist point-in-time over the years.
    const bool files = DataSource::hasBulkFiles(m_source.plan);
    std::vector<std::string> filingDays;
    const std::ptrdiff_t filingDepth = files ? m_source.days : kFilingDays;
    const auto filingStart
        = upTo + 1 - std::min<std::ptrdiff_t>({filingDepth, m_source.days, upTo + 1 - trading.begin()});
    for (auto it = upTo + 1; it != filingStart;) {
        --it;
        if (windowFrom.empty() || *it >= windowFrom) {
            readableFilings.push_back(*it);
            if (!store.hasFilingDay(*it)) {
                filingDays.push_back(*it);
            }
        }
    }
    // The results' dates of the same publication days, each asked once (a next day asks its
    // own); the margin balances of the 申込日 published by the newest day, on the plans that
    // have them.
    std::vector<std::string> earningsDays;
    const auto earningsAsked = EarningsHistory(store.connection()).askedDays();
    for (auto it = upTo + 1; it != filingStart;) {
        --it;
        if ((windowFrom.empty() || *it >= windowFrom)
            && !std::binary_search(earningsAsked.begin(), earningsAsked.end(), *it)) {
            earningsDays.push_back(*it);
        }
    }
    std::vector<std::string> marginDays;
    if (DataSource::hasMarginBalances(m_source.plan)) {
        const auto calendarDays = store.tradingDays("0000-01-01", "9999-12-31");
        const auto calendarEnd = store.calendarEnd();
        const auto asked = MarginHistory(store.connection()).askedDays();
        const std::vector<std::string> marginDepth(filingStart, upTo + 1);
        const auto wanted = MarginHistory::wantedDays(marginDepth, newest, [&](const std::string& day) {
            return MarketStanding::secondBusinessDay(calendarDays, calendarEnd, day);
        });
        for (auto it = wanted.rbegin(); it != wanted.rend(); ++it) {
            if ((windowFrom.empty() || *it >= windowFrom)
                && !std::binary_search(asked.begin(), asked.end(), *it)) {
                marginDays.push_back(*it);
            }
        }
    }
    // Counted over the whole depth and its disclosure days, so a fill that goes on after a
    // stop shows where it stands.
    const int depth = static_cast<int>(upTo - depthStart);
    result.priceDays = depth;
    Step step;
    step.pricesTotal = depth;
    step.pricesDone = depth - static_cast<int>(missing.size());
    step.filingsTotal = static_cast<int>(upTo + 1 - filingStart);
    step.filingsDone = step.filingsTotal - static_cast<int>(filingDays.size());
    // The lists of past days: the first day of each month of the depth, each asked once.
    ListingHistory listings(store.connection());
    std::vector<std::string> depthDays(readable.rbegin(), readable.rend());
    depthDays.push_back(newest);
    const auto wantedLists = ListingHistory::wantedDays(depthDays);
    const auto listDays = ListingHistory::toAsk(wantedLists, listings.days());
    step.listsTotal = static_cast<int>(wantedLists.size());
    step.listsDone = step.listsTotal - static_cast<int>(listDays.size());
    // The dividend notices of every day of the depth (Premium), each day asked once; the newest
    // is asked again by the next refresh, as its notices may still be coming in.
    std::vector<std::string> noticeDays; // newest first
    if (m_source.plan == "premium") {
        const auto asked = DividendHistory(store.connection()).askedDays();
        const std::set<std::string> kept(asked.begin(), asked.end());
        for (auto it = depthDays.rbegin(); it != depthDays.rend(); ++it) {
            if (!kept.count(*it)) {
                noticeDays.push_back(*it);
            }
        }
        step.dividendsTotal = static_cast<int>(depthDays.size());
        step.dividendsDone = step.dividendsTotal - static_cast<int>(noticeDays.size());
    }
    const bool olderNotices = std::any_of(
        noticeDays.begin(), noticeDays.end(), [&newest](const auto& day) { return day != newest; });
    // Pending from here: a fill stopped before its first older day still goes on at the next start.
    step.earningsTotal = step.filingsTotal;
    step.earningsDone = step.earningsTotal - static_cast<int>(earningsDays.size());
    step.marginTotal = static_cast<int>(marginDays.size());
    if (!missing.empty() || !filingDays.empty() || !listDays.empty() || olderNotices
        || earningsDays.size() > 1 || marginDays.size() > 1) {
        store.setFillPending(true);
    }

    // The newest list first: it needs no older day, and a window shows it while the fill runs.
    // Should it fail, the day stays stored and the next refresh writes its list; no reader goes
    // past the list held meanwhile.
    if (heldDashed.empty() || newest > heldDashed) {
        auto master = client.getAll("/equities/master", {{"date", newest}});
        if (!master) {
            failed(client, result, newest + " の銘柄一覧");
            return result;
        }
        if (const auto check = JQuantsAnswer::master(*master); !check.ok) {
            malformed(client, result, newest + " の銘柄一覧", check.fault);
            return result;
        }
        int unknown = 0;
        std::string error;
        if (!core::Platform::writeWholeFile(
                listFile, dailyList(newest, newestDay.rows, *master, &unknown), &error)) {
            result.message
                = "ファイル(" + core::Platform::toUtf8(listFile) + ")を書き込めません。（" + error + "）";
            result.requests = client.requests();
            return result;
        }
        if (unknown > 0) {
            result.notes.push_back(
                newest + ": 銘柄一覧にない " + std::to_string(unknown) + " 銘柄を除きました");
        }
        result.listWritten = true;
        // The day's list is the newest snapshot of the listing history; a fault in it keeps
        // the list (its rows passed the list's own check) and is named.
        std::string snapshotFault;
        if (auto snapshot = ListingHistory::snapshotOf(*master, &snapshotFault)) {
            ListingHistory(store.connection()).store(*snapshot);
        } else {
            result.notes.push_back(newest + " の銘柄一覧を履歴に加えられません: " + snapshotFault);
        }
        if (listReady) {
            listReady(newest);
        }
    }
    // The day's figures next: they show with its list, before any older day comes.
    if (!store.hasValuation(newest)) {
        auto rows = client.getAll("/equities/valuation", {{"date", newest}});
        if (rows) {
            const auto check = JQuantsAnswer::valuation(newest, *rows);
            if (!check.ok) {
                malformed(client, result, newest + " の指標", check.fault);
                return result;
            }
            store.storeValuation(newest, check.rows);
            putAside(newest + " の指標", check);
        } else if (!client.outsideWindow()) {
            failed(client, result, newest + " の指標");
            return result;
        }
    }

    auto goOn = [&] {
        step.requests = client.requests();
        if (progress && !progress(step)) {
            result.cancelled = true;
            result.requests = client.requests();
            return false;
        }
        return true;
    };
    // Disclosure days that answered, or whose file showed, no filing: asked once more below.
    std::vector<std::string> emptyDays;
    std::size_t emptyInFiles = 0;
    // Whole months from the files first; what they did not give, one day at a time below.
    if (files && (missing.size() >= BulkFill::kMinListDays || filingDays.size() >= BulkFill::kMinListDays)) {
        BulkFill bulk(client, store, m_clientOptions);
        bulk.countOver(std::move(readable), std::move(readableFilings));
        BulkFill::Hooks hooks;
        hooks.progress = m_fileProgress;
        hooks.barsStored = leftOut;
        hooks.filingsStored = putAside;
        const auto filled = bulk.run(missing, filingDays, newest, hooks);
        result.notes.insert(result.notes.end(), filled.notes.begin(), filled.notes.end());
        result.daysFetched += filled.priceDays;
        result.filingDaysFetched += filled.filingDays;
        result.filesRead = filled.files;
        result.fileBytes = filled.bytes;
        emptyDays = filled.emptyFilingDays;
        emptyInFiles = emptyDays.size();
        step.pricesDone = step.pricesTotal - static_cast<int>(missing.size());
        step.filingsDone = step.filingsTotal - static_cast<int>(filingDays.size() + emptyInFiles);
        if (filled.cancelled) {
            result.cancelled = true;
            result.requests = client.requests();
            return result;
        }
    }
    for (std::size_t i = 0; i < missing.size(); ++i, ++step.pricesDone) {
        if (!goOn()) {
            return result;
        }
        auto rows = client.getAll("/equities/bars/daily", {{"date", missing[i]}});
        if (!rows) {
            if (beforeWindow(missing[i])) {
                step.pricesDone += static_cast<int>(missing.size() - i);
                break; // older than the plan reads: the history starts here
            }
            failed(client, result, missing[i] + " の株価");
            return result;
        }
        // A trading day of the calendar without one row is a failed answer, never a short
        // history: the day stays missing and the next run asks again.
        if (rows->empty()) {
            malformed(client, result, missing[i] + " の株価", "取引日なのに 1 行もありません");
            return result;
        }
        const auto check = JQuantsAnswer::day(missing[i], *rows);
        if (!check.ok) {
            malformed(client, result, missing[i] + " の株価", check.fault);
            return result;
        }
        store.storeDay(missing[i], check.rows);
        leftOut(missing[i], check);
        ++result.daysFetched;
    }
    // An empty disclosure day may be a server's passing fault: it is asked again after the
    // others, and taken as a day without filings only when it is empty twice (a file's empty
    // day counting as once) while a newer day has filings (stored or fetched now). Otherwise it
    // stays unmarked and the next run asks again; so does the newest day, whose filings may
    // still be coming in.
    auto fetchFilings = [&](const std::string& day, bool again) -> int {
        auto rows = client.getAll("/fins/summary", {{"date", day}});
        if (!rows) {
            if (beforeWindow(day)) {
                return 0; // older than the plan reads
            }
            failed(client, result, day + " の開示");
            return -1;
        }
        const auto check = JQuantsAnswer::filings(day, *rows);
        if (!check.ok) {
            malformed(client, result, day + " の開示", check.fault);
            return -1;
        }
        if (check.rows.empty() && (!again || day == newest || !store.hasFilingsAfter(day))) {
            if (!again && day != newest) {
                emptyDays.push_back(day);
            }
            return 1;
        }
        store.storeFilings(day, check.rows);
        putAside(day + " の開示", check);
        ++result.filingDaysFetched;
        return 1;
    };
    for (std::size_t i = 0; i < filingDays.size(); ++i, ++step.filingsDone) {
        if (!goOn()) {
            return result;
        }
        const int fetched = fetchFilings(filingDays[i], false);
        if (fetched < 0) {
            return result;
        }
        if (fetched == 0) {
            step.filingsDone = step.filingsTotal; // older than the plan reads
            break;
        }
    }
    for (std::size_t i = 0; i < emptyDays.size(); ++i) {
        if (!goOn()) {
            return result;
        }
        if (fetchFilings(emptyDays[i], true) < 0) {
            return result;
        }
        step.filingsDone += i < emptyInFiles ? 1 : 0;
    }
    // The lists of past days from the monthly files first (a day's rows of a file are that
    // day's list, checked as its answer would be), then a day at a time.
    std::vector<std::string> listsLeft = listDays;
    if (files && !listsLeft.empty()) {
        BulkFill bulk(client, store, m_clientOptions);
        const auto filled = bulk.lists(
            listsLeft,
            [&](const json& rows, const std::string& day, std::string& fault) {
                auto snapshot = ListingHistory::snapshotOf(rows, &fault);
                if (snapshot && snapshot->date != day) {
                    fault = "求めた日（" + day
                        + "）と違う日の一覧です: " + JQuantsAnswer::shown(snapshot->date);
                    snapshot.reset();
                }
                if (!snapshot) {
                    return false;
                }
                listings.store(*snapshot);
                ++result.listsFetched;
                ++step.listsDone;
                return true;
            },
            goOn);
        result.notes.insert(result.notes.end(), filled.notes.begin(), filled.notes.end());
        result.filesRead += filled.files;
        result.listFiles += filled.files;
        result.fileBytes += filled.bytes;
        if (filled.cancelled) {
            result.cancelled = true;
            result.requests = client.requests();
            return result;
        }
    }
    for (std::size_t i = 0; i < listsLeft.size(); ++i, ++step.listsDone) {
        if (!goOn()) {
            return result;
        }
        const std::string& day = listsLeft[i];
        if (listings.has(day)) {
            continue; // the newest day's, kept with its list meanwhile
        }
        auto rows = client.getAll("/equities/master", {{"date", day}});
        if (!rows) {
            if (beforeWindow(day)) {
                continue;
            }
            failed(client, result, day + " の銘柄一覧");
            return result;
        }
        std::string fault;
        auto snapshot = ListingHistory::snapshotOf(*rows, &fault);
        if (snapshot && snapshot->date != day) {
            fault = "求めた日（" + day + "）と違う日の一覧です: " + JQuantsAnswer::shown(snapshot->date);
            snapshot.reset();
        }
        if (!snapshot) {
            malformed(client, result, day + " の銘柄一覧", fault);
            return result;
        }
        listings.store(*snapshot);
        ++result.listsFetched;
    }
    // Whole months of notices from the files first, then a day at a time.
    if (files && !noticeDays.empty()) {
        BulkFill bulk(client, store, m_clientOptions);
        const auto filled = bulk.dividends(
            noticeDays,
            [&](const json& rows, const std::vector<std::string>& days, std::string& fault) {
                if (!keepDividends(store, rows, days, newest, true, result, fault)) {
                    return false;
                }
                result.dividendDaysFetched += static_cast<int>(days.size());
                return true;
            },
            goOn);
        result.notes.insert(result.notes.end(), filled.notes.begin(), filled.notes.end());
        result.filesRead += filled.files;
        result.fileBytes += filled.bytes;
        step.dividendsDone = step.dividendsTotal - static_cast<int>(noticeDays.size());
        if (filled.cancelled) {
            result.cancelled = true;
            result.requests = client.requests();
            return result;
        }
    }
    for (std::size_t i = 0; i < noticeDays.size(); ++i, ++step.dividendsDone) {
        if (!goOn()) {
            return result;
        }
        const std::string& day = noticeDays[i];
        auto rows = client.getAll("/fins/dividend", {{"date", day}});
        if (!rows) {
            if (beforeWindow(day)) {
                step.dividendsDone += static_cast<int>(noticeDays.size() - i);
                break; // older than the plan reads
            }
            if (client.lastFailure().status == 403 && !client.lastFailure().cancelled) {
                // A key of a plan without them: the prices are no less whole.
                result.notes.push_back(client.cleanServerText(
                    "配当を取得できません（契約プランが対応していません）: " + client.lastFailure().message));
                break;
            }
            failed(client, result, day + " の配当");
            return result;
        }
        std::string fault;
        if (!keepDividends(store, *rows, {day}, newest, false, result, fault)) {
            malformed(client, result, day + " の配当", fault);
            return result;
        }
        ++result.dividendDaysFetched;
    }
    if (!fetchEarnings(client, store, earningsDays, step, goOn, result)
        || !fetchMargin(client, store, marginDays, step, goOn, result)) {
        return result;
    }
    if (progress) {
        step.earningsDone = step.earningsTotal;
        step.marginDone = step.marginTotal;
        step.pricesDone = step.pricesTotal;
        step.filingsDone = step.filingsTotal;
        step.listsDone = step.listsTotal;
        step.dividendsDone = step.dividendsTotal;
        step.requests = client.requests();
        progress(step);
    }

    // A stock split on a new day: its stored days are fetched again, so its history is on one basis.
    if (!completeRefetches(client, store, result)) {
        return result;
    }

    fetchTopix(client, store, files, result);

    store.setFillPending(false);
    store.keepBarCopy();
    result.ok = true;
    result.requests = client.requests();
    return result;
}

bool JQuantsRefresh::fetchEarnings(JQuantsClient& client, PriceStore& store,
    const std::vector<std::string>& days, Step& step, const std::function<bool()>& goOn, Result& result)
{
    EarningsHistory history(store.connection());
    for (std::size_t i = 0; i < days.size(); ++i, ++step.earningsDone) {
        if (!goOn()) {
            return false;
        }
        const std::string& day = days[i];
        auto rows = client.getAll("/fins/earnings-date", {{"date", day}});
        if (!rows) {
            // The plan's window holds the publication day: older ones it does not read.
            if (client.outsideWindow() && day < windowStart(client.lastFailure().serverMessage)) {
                step.earningsDone += static_cast<int>(days.size() - i);
                break;
            }
            failed(client, result, day + " の決算発表予定日");
            return false;
        }
        const auto check = EarningsHistory::check(*rows, day);
        if (!check.ok) {
            malformed(client, result, day + " の決算発表予定日", check.fault);
            return false;
        }
        history.store(day, check.rows);
        ++result.earningsDaysFetched;
        if (check.putAside > 0) {
            result.notes.push_back(day + " の決算発表予定日: ありえない " + std::to_string(check.putAside)
                + " 件（発表日より前の予定日）を除きました");
        }
    }
    return true;
}

bool JQuantsRefresh::fetchMargin(JQuantsClient& client, PriceStore& store,
    const std::vector<std::string>& days, Step& step, const std::function<bool()>& goOn, Result& result)
{
    if (days.empty()) {
        return true;
    }
    MarginHistory history(store.connection());
    const auto calendar = store.tradingDays("0000-01-01", "9999-12-31");
    const auto calendarEnd = store.calendarEnd();
    auto publishedOf = [&](const std::string& day) {
        return MarketStanding::secondBusinessDay(calendar, calendarEnd, day);
    };
    for (std::size_t i = 0; i < days.size(); ++i, ++step.marginDone) {
        if (!goOn()) {
            return false;
        }
        const std::string& day = days[i];
        auto rows = client.getAll("/markets/margin-interest", {{"date", day}});
        if (!rows) {
            if (client.outsideWindow() && day < windowStart(client.lastFailure().serverMessage)) {
                step.marginDone += static_cast<int>(days.size() - i);
                break;
            }
            if (client.lastFailure().status == 403 && !client.lastFailure().cancelled) {
                // A key of a plan without them: the prices are no less whole.
                result.notes.push_back(
                    client.cleanServerText("信用残を取得できません（契約プランが対応していません）: "
                        + client.lastFailure().message));
                step.marginDone += static_cast<int>(days.size() - i);
                break;
            }
            failed(client, result, day + " の信用残");
            return false;
        }
        const auto check = MarginHistory::check(*rows, day, publishedOf);
        if (!check.ok) {
            malformed(client, result, day + " の信用残", check.fault);
            return false;
        }
        history.store(day, check.rows);
        ++result.marginDaysFetched;
        if (check.putAside > 0) {
            result.notes.push_back(day + " の信用残: ありえない " + std::to_string(check.putAside)
                + " 件（負の残高、申込日より前の公表日）を除きました");
        }
    }
    return true;
}

bool JQuantsRefresh::keepDividends(PriceStore& store, const json& rows, const std::vector<std::string>& days,
    const std::string& newest, bool file, Result& result, std::string& fault)
{
    auto check = DividendHistory::check(rows);
    if (!check.ok) {
        fault = check.fault;
        return false;
    }
    // A day's answer holds that day's notices only; a month's file also those of days the depth
    // does not reach, passed over as days not asked.
    const std::set<std::string> asked(days.begin(), days.end());
    std::vector<DividendHistory::Notice> wanted;
    for (auto& n : check.notices) {
        if (!asked.count(n.pubDate)) {
            if (file && !n.pubDate.empty()) {
                continue;
            }
            fault = "求めた日でない日の配当があります: " + JQuantsAnswer::shown(n.pubDate);
            return false;
        }
        wanted.push_back(std::move(n));
    }
    std::map<std::string, std::map<std::string, double>> closes;
    auto closeOf = [&](const std::string& code, const std::string& day) -> std::optional<double> {
        auto it = closes.find(day);
        if (it == closes.end()) {
            it = closes.emplace(day, store.closes(day)).first;
        }
        const auto close = it->second.find(code);
        return close == it->second.end() ? std::nullopt : std::optional(close->second);
    };
    // Inside the stored calendar a trading day is one of its days; past it, a weekday.
    const auto calendar = store.tradingDays("0000-01-01", "9999-12-31");
    const std::set<std::string> trading(calendar.begin(), calendar.end());
    const std::string calendarEnd = calendar.empty() ? std::string() : calendar.back();
    auto isTradingDay = [&](const std::string& day) {
        if (calendar.empty() || day < calendar.front()) {
            return true;
        }
        if (day <= calendarEnd) {
            return trading.count(day) > 0;
        }
        const year_month_day ymd{year{std::stoi(day.substr(0, 4))},
            month{unsigned(std::stoi(day.substr(5, 2)))},
            std::chrono::day{unsigned(std::stoi(day.substr(8, 2)))}};
        const weekday w{sys_days{ymd}};
        return w != Saturday && w != Sunday;
    };
    const auto sorted = DividendHistory::putAside(std::move(wanted), closeOf, isTradingDay);
    std::vector<std::string> whole;
    std::copy_if(days.begin(), days.end(), std::back_inserter(whole),
        [&newest](const auto& d) { return d != newest; });
    DividendHistory(store.connection()).apply(sorted.kept, whole);
    if (sorted.impossibleRates + sorted.noTradingDays > 0) {
        result.notes.push_back((days.size() == 1 ? days.front() : days.front().substr(0, 7))
            + " の配当: ありえない " + std::to_string(sorted.impossibleRates + sorted.noTradingDays)
            + " 件（負か終値を超える額 " + std::to_string(sorted.impossibleRates)
            + " 件、取引日でない権利落日 " + std::to_string(sorted.noTradingDays) + " 件）を除きました");
    }
    return true;
}

void JQuantsRefresh::fetchTopix(JQuantsClient& client, PriceStore& store, bool offered, Result& result)
{
    if (!offered) {
        return;
    }
    // One request (paged) for every stored day without TOPIX: a first fill's years too. A day
    // it could not get is asked again by the next refresh; the prices never wait for it.
    TopixHistory topix(store.connection());
    const auto days = store.storedDays();
    const std::string from = topix.firstMissing(days);
    if (from.empty()) {
        return;
    }
    const std::string& to = days.back();
    auto rows = client.getAll("/indices/bars/daily/topix", {{"from", from}, {"to", to}});
    if (!rows) {
        result.notes.push_back(
            "TOPIX を取得できません（次回の更新で取得し直します）: " + client.lastFailure().message);
        return;
    }
    const auto check = TopixHistory::check(*rows, from, to);
    if (!check.ok) {
        result.notes.push_back("TOPIX の答えを使えません（次回の更新で取得し直します）: " + check.fault);
        return;
    }
    topix.store(check.bars);
    result.topixDaysFetched = static_cast<int>(check.bars.size());
    if (!check.putAside.empty()) {
        result.notes.push_back("TOPIX: 値の正しくない " + std::to_string(check.putAside.size())
            + " 日を除きました（" + check.putAside.front() + (check.putAside.size() > 1 ? " ほか" : "")
            + "）");
    }
}

} // namespace zuvemo::marketdata
