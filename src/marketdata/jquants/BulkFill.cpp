#include "BulkFill.h"

#include "PriceStore.h"
#include "SignedDownload.h"
#include "marketdata/GzipInflater.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

std::string what(BulkFileReader::Kind kind)
{
    return kind == BulkFileReader::Kind::Bars   ? "株価"
        : kind == BulkFileReader::Kind::Filings ? "開示"
        : kind == BulkFileReader::Kind::Master  ? "銘柄一覧"
                                                : "配当";
}

// The longest key and address taken from the server.
constexpr std::size_t kMaxKeyChars = 300;
constexpr std::size_t kMaxUrlChars = 4096;
// A listed file larger than this is no monthly file of this API.
constexpr std::int64_t kMaxFileBytes = 2ll * 1024 * 1024 * 1024;

} // namespace

BulkFill::BulkFill(JQuantsClient& client, PriceStore& store, const JQuantsClient::Options& options)
    : m_client(client)
    , m_store(store)
    , m_options(options)
{
}

std::string BulkFill::monthOfKey(const std::string& key)
{
    static const std::regex monthly(R"((?:^|[/_])(\d{4})(\d{2})\.csv\.gz$)");
    std::smatch m;
    if (!std::regex_search(key, m, monthly)) {
        return {};
    }
    const int month = std::stoi(m[2].str());
    return month >= 1 && month <= 12 ? m[1].str() + "-" + m[2].str() : std::string();
}

bool BulkFill::list(const std::string& endpoint, BulkFileReader::Kind kind, std::vector<File>& files,
    Outcome& outcome, bool& refused)
{
    auto rows = m_client.getAll("/bulk/list", {{"endpoint", endpoint}});
    if (!rows) {
        const auto& failure = m_client.lastFailure();
        if (failure.cancelled) {
            outcome.cancelled = true;
            return false;
        }
        if (failure.status == 403 || failure.status == 404) {
            refused = true;
            outcome.notes.push_back(kNoFilesNote);
            return false;
        }
        outcome.notes.push_back(m_client.cleanServerText("履歴ファイルの一覧（" + what(kind)
            + "）を取得できません: " + failure.message + " 1 日ずつ取得します。"));
        return false;
    }
    // The whole list is checked before a key of it is used.
    std::set<std::string> keys;
    std::map<std::string, File> months;
    std::string fault;
    for (const auto& row : *rows) {
        const auto key = row.is_object() ? row.find("Key") : row.end();
        const auto size = row.is_object() ? row.find("Size") : row.end();
        if (!row.is_object() || key == row.end() || !key->is_string() || key->get<std::string>().empty()
            || key->get<std::string>().size() > kMaxKeyChars) {
            fault = "Key のない行があります";
            break;
        }
        const std::string k = key->get<std::string>();
        if (size == row.end() || !size->is_number() || size->get<double>() < 1
            || size->get<double>() > static_cast<double>(kMaxFileBytes)
            || size->get<double>() != static_cast<double>(static_cast<std::int64_t>(size->get<double>()))) {
            fault = "Size が正しくない行があります: " + k;
            break;
        }
        if (!keys.insert(k).second) {
            fault = "同じ Key が 2 度あります: " + k;
            break;
        }
        const std::string month = monthOfKey(k);
        if (month.empty()) {
            continue; // a day's file of the current month, or a kind this fill does not read
        }
        if (months.count(month)) {
            fault = "同じ月のファイルが 2 つあります: " + month;
            break;
        }
        // A file holds its month's adjusted values as of when it was made: a split after that
        // leaves them on the old basis. A date the list does not give is taken as the month's end.
        const std::string monthEnd = month + "-31";
        const auto modified = row.find("LastModified");
        std::string asOf = modified != row.end() && modified->is_string() ? modified->get<std::string>() : "";
        asOf = asOf.size() >= 10 && JQuantsAnswer::isDate(asOf.substr(0, 10)) ? asOf.substr(0, 10) : "";
        months[month]
            = File{kind, month, k, static_cast<std::int64_t>(size->get<double>()), std::max(asOf, monthEnd)};
    }
    if (!fault.empty()) {
        outcome.notes.push_back(m_client.cleanServerText("履歴ファイルの一覧（" + what(kind)
            + "）が正しくありません: " + fault + " 1 日ずつ取得します。"));
        return false;
    }
    for (auto& [month, file] : months) {
        files.push_back(std::move(file));
    }
    return true;
}

void BulkFill::countOver(std::vector<std::string> priceDays, std::vector<std::string> filingDays)
{
    m_depthPrices = std::move(priceDays);
    m_depthFilings = std::move(filingDays);
}

namespace {

int daysOfMonth(const std::vector<std::string>& days, const std::string& month)
{
    return static_cast<int>(std::count_if(
        days.begin(), days.end(), [&month](const std::string& d) { return d.compare(0, 7, month) == 0; }));
}

} // namespace

int BulkFill::readBefore(const std::vector<File>& listed, const std::vector<BulkFileReader::Kind>& unasked,
    const std::vector<std::string>& priceDays, const std::vector<std::string>& filingDays) const
{
    int before = 0;
    for (const auto kind : {BulkFileReader::Kind::Bars, BulkFileReader::Kind::Filings}) {
        const bool bars = kind == BulkFileReader::Kind::Bars;
        const bool asked = std::find(unasked.begin(), unasked.end(), kind) == unasked.end();
        std::set<std::string> months;
        for (const auto& file : listed) {
            if (!asked || file.kind == kind) {
                months.insert(file.month);
            }
        }
        for (const auto& month : months) {
            before
                += daysOfMonth(bars ? m_depthPrices : m_depthFilings, month) >= static_cast<int>(kMinFileDays)
                && daysOfMonth(bars ? priceDays : filingDays, month) < static_cast<int>(kMinFileDays);
        }
    }
    return before;
}

BulkFill::Outcome BulkFill::run(std::vector<std::string>& priceDays, std::vector<std::string>& filingDays,
    const std::string& newest, const Hooks& hooks)
{
    Outcome outcome;
    std::vector<File> listed;
    std::vector<BulkFileReader::Kind> unasked;
    bool refused = false;
    for (const auto& [endpoint, kind, days] :
        {std::tuple{"/equities/bars/daily", BulkFileReader::Kind::Bars, &priceDays},
            std::tuple{"/fins/summary", BulkFileReader::Kind::Filings, &filingDays}}) {
        if (refused) {
            continue;
        }
        if (days->size() < kMinListDays) {
            unasked.push_back(kind);
            continue;
        }
        list(endpoint, kind, listed, outcome, refused);
        if (outcome.cancelled) {
            return outcome;
        }
    }
    // The files worth their two requests: months with enough days wanted, newest first.
    std::vector<File> files;
    for (auto file : listed) {
        file.wanted
            = daysOfMonth(file.kind == BulkFileReader::Kind::Bars ? priceDays : filingDays, file.month);
        if (file.wanted >= static_cast<int>(kMinFileDays)) {
            files.push_back(file);
        }
    }
    // Bars oldest first: each month's rows then go in behind the stocks' older ones, which leaves
    // the store's pages full (newest first leaves them half empty, the store twice its size).
    // Disclosures newest first, as a day at a time: a day without one is taken as such only
    // once a newer one is stored.
    std::sort(files.begin(), files.end(), [](const File& a, const File& b) {
        if (a.kind != b.kind) {
            return a.kind < b.kind;
        }
        return a.kind == BulkFileReader::Kind::Bars ? a.month < b.month : a.month > b.month;
    });
    const int before = files.empty() ? 0 : readBefore(listed, unasked, priceDays, filingDays);
    int filingsRead = 0; // disclosure days wanted of the files read
    // Where the files stand before the file next: the days still wanted that the files from
    // next on do not bring are left to the one-day requests.
    auto stepAt = [&](std::size_t next) {
        JQuantsRefresh::FileStep at;
        at.done = before + static_cast<int>(next);
        at.total = before + static_cast<int>(files.size());
        at.month = files[std::min(next, files.size() - 1)].month;
        at.pricesAfter = static_cast<int>(priceDays.size());
        at.filingsAfter = static_cast<int>(filingDays.size() + outcome.emptyFilingDays.size());
        int filingsLeft = 0;
        for (std::size_t i = next; i < files.size(); ++i) {
            if (files[i].kind == BulkFileReader::Kind::Bars) {
                at.pricesAfter -= files[i].wanted;
            } else {
                at.filingsAfter -= files[i].wanted;
                filingsLeft += files[i].wanted;
            }
        }
        // So are the days a file shows without a filing, asked once more: as many of the files
        // left as of those read.
        if (filingsRead > 0) {
            at.filingsAfter += static_cast<int>(std::lround(static_cast<double>(filingsLeft)
                * static_cast<double>(outcome.emptyFilingDays.size()) / filingsRead));
        }
        return at;
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (hooks.progress && !hooks.progress(stepAt(i))) {
            outcome.cancelled = true;
            return outcome;
        }
        auto& days = files[i].kind == BulkFileReader::Kind::Bars ? priceDays : filingDays;
        const bool goOn = take(files[i], days, newest, hooks, outcome);
        if (outcome.cancelled) {
            return outcome;
        }
        filingsRead += files[i].kind == BulkFileReader::Kind::Filings ? files[i].wanted : 0;
        if (!goOn) {
            break;
        }
    }
    if (hooks.progress && !files.empty()) {
        hooks.progress(stepAt(files.size()));
    }
    return outcome;
}

bool BulkFill::refuse(const File& file, const std::string& reason, Outcome& outcome) const
{
    // The server's parts each made fit to show, so the note keeps its end whatever they hold.
    outcome.notes.push_back("履歴ファイル " + file.month + "（" + what(file.kind)
        + "）を使えません: " + m_client.cleanServerText(reason) + "（" + m_client.cleanServerText(file.key)
        + "）。その月は 1 日ずつ取得します。");
    return true;
}

bool BulkFill::download(const File& file, BulkFileReader& reader, Outcome& outcome, bool& goOn)
{
    const std::string name = "履歴ファイル " + file.month + "（" + what(file.kind) + "）";
    auto fail = [&](const std::string& reason) {
        goOn = refuse(file, reason, outcome);
        return false;
    };
    goOn = false;
    auto answer = m_client.getObject("/bulk/get", {{"key", file.key}});
    if (!answer) {
        const auto& failure = m_client.lastFailure();
        if (failure.cancelled) {
            outcome.cancelled = true;
            return false;
        }
        if (failure.status == 404) {
            return fail("一覧にあるのにありません（404）"); // gone since the list: this file alone
        }
        // The API itself fails: the days that follow meet it too and say so.
        outcome.notes.push_back(m_client.cleanServerText(
            name + "のアドレスを取得できません: " + failure.message + " 残りは 1 日ずつ取得します。"));
        return false;
    }
    const auto url = answer->find("url");
    if (url == answer->end() || !url->is_string() || url->get<std::string>().size() > kMaxUrlChars) {
        return fail("アドレスの応答が正しくありません");
    }

    // A CSV packs to a tenth of itself or so: far more than that is no file of the list.
    const std::int64_t maxUnpacked = std::min<std::int64_t>(file.size * 100 + (1 << 20), 8 * kMaxFileBytes);
    GzipInflater inflater([&reader](std::string_view piece) { return reader.feed(piece); }, maxUnpacked);
    // A file has the deadline of any transfer: a host that drips is waited for no longer.
    const long stall = std::clamp(m_options.totalTimeoutMs / 1000, 1L, 30L);
    SignedDownload download(m_options.totalTimeoutMs, stall, m_options.cancel);
    const auto got = download.get(url->get<std::string>(), file.size,
        [&inflater](std::string_view piece) { return inflater.feed(piece.data(), piece.size()); });
    outcome.bytes += got.bytes;
    if (got.cancelled) {
        outcome.cancelled = true;
        return false;
    }
    m_timeoutsInRow = got.timedOut ? m_timeoutsInRow + 1 : 0;
    if (m_timeoutsInRow >= kTimeoutsInRow) {
        fail(got.message);
        outcome.notes.push_back(kHostStalledNote);
        goOn = false;
        return false;
    }
    if (reader.keyFound()) {
        return fail(JQuantsClient::kKeyEchoedMessage);
    }
    if (!got.ok && !got.sinkRefused) {
        return fail(got.message);
    }
    if (!reader.fault().empty()) {
        return fail("内容が正しくありません: " + reader.fault());
    }
    if (inflater.fault() == GzipInflater::Fault::TooLarge) {
        return fail("展開すると大きすぎます");
    }
    if (inflater.fault() != GzipInflater::Fault::None) {
        return fail("gzip として読めません");
    }
    if (!inflater.complete()) {
        return fail("gzip が途中で切れています");
    }
    if (!reader.finish()) {
        return fail("内容が正しくありません: " + reader.fault());
    }
    return true;
}

bool BulkFill::take(const File& file, std::vector<std::string>& days, const std::string& newest,
    const Hooks& hooks, Outcome& outcome)
{
    auto fail = [&](const std::string& reason) { return refuse(file, reason, outcome); };
    const KeyMask mask(m_options.apiKey);
    // A day holds a bar of each stock at most, and a filing or two of some: twice the largest
    // day stored is far more than the market grows between two files.
    const std::size_t largest = m_store.largestDayRows();
    const std::size_t maxDayRows
        = largest > 0 ? std::min(BulkFileReader::kMaxDayRows, 2 * largest) : BulkFileReader::kMaxDayRows;
    BulkFileReader reader(file.kind, file.month, maxDayRows, &mask);
    bool goOn = true;
    if (!download(file, reader, outcome, goOn)) {
        return goOn;
    }
    // Every day of the file passes its day's checks before one day of it is stored.
    auto check = [&file](const std::string& day, const json& rows) {
        return file.kind == BulkFileReader::Kind::Bars ? JQuantsAnswer::day(day, rows)
                                                       : JQuantsAnswer::filings(day, rows);
    };
    const auto held = reader.days();
    // A month with days wanted has trading days: a file without a row of them is a broken one.
    if (held.empty()) {
        return fail("内容が正しくありません: 行が 1 行もありません");
    }
    // What each day's check let through, kept for the store: bars as stored, filings as checked.
    std::map<std::string, JQuantsAnswer::Check> checked;
    std::map<std::string, std::vector<PriceStore::Bar>> bars;
    for (const auto& day : held) {
        const auto rows = reader.dayRows(day);
        auto c = check(day, rows);
        if (!c.ok) {
            return fail("内容が正しくありません: " + day + ": " + c.fault);
        }
        // As an answer that quotes the key: nothing of it may be shown or stored.
        if (mask.holdsAnywhere(rows)) {
            return fail(JQuantsClient::kKeyEchoedMessage);
        }
        if (file.kind == BulkFileReader::Kind::Bars) {
            bars[day] = PriceStore::barsOf(c.rows);
            c.rows = nlohmann::json::array();
        }
        checked[day] = std::move(c);
    }
    ++outcome.files;
    const std::set<std::string> inFile(held.begin(), held.end());
    // The stocks that split after the file was made, on a day already stored: their days from it
    // are on the old basis, so each is fetched again whole, as after a split of a new day.
    std::set<std::string> splitSince;
    if (file.kind == BulkFileReader::Kind::Bars) {
        for (const auto& [code, date, factor] : m_store.splits({})) {
            if (date > file.asOf) {
                splitSince.insert(code);
            }
        }
    }
    std::vector<std::string> left;
    std::map<std::string, std::vector<PriceStore::Bar>> wanted;
    std::set<std::string> stale;
    for (const auto& day : days) { // newest first, as one day at a time
        const bool ofMonth = day.compare(0, 7, file.month) == 0;
        if (!ofMonth) {
            left.push_back(day);
            continue;
        }
        if (file.kind == BulkFileReader::Kind::Bars) {
            if (!inFile.count(day)) {
                left.push_back(day); // a trading day the file has no row of: asked alone
                continue;
            }
            for (const auto& bar : bars[day]) {
                if (splitSince.count(bar.code)) {
                    stale.insert(bar.code);
                }
            }
            wanted[day] = std::move(bars[day]);
            continue;
        }
        // A day without filings in the file may be the file's fault, as an empty answer may be
        // the server's: the API is asked once more, and the newest day as any day of its own.
        if (!inFile.count(day)) {
            (day == newest ? left : outcome.emptyFilingDays).push_back(day);
            continue;
        }
        const auto c = std::move(checked[day]);
        m_store.storeFilings(day, c.rows);
        if (hooks.filingsStored) {
            hooks.filingsStored(day + " の開示", c);
        }
        ++outcome.filingDays;
    }
    if (!wanted.empty()) {
        // The month's days go in together: a stop leaves all of them or none.
        m_store.storeDays(wanted, std::vector<std::string>(stale.begin(), stale.end()), &m_basis);
        for (const auto& [day, rows] : wanted) {
            m_basis[day] = file.asOf;
            if (hooks.barsStored) {
                hooks.barsStored(day, checked[day]);
            }
            ++outcome.priceDays;
        }
    }
    days = std::move(left);
    return true;
}

bool BulkFill::eachFile(const std::string& endpoint, BulkFileReader::Kind kind,
    const std::vector<std::string>& days, int minDays, bool quiet, Outcome& outcome,
    const std::function<bool()>& goOn, const Take& take)
{
    if (days.size() < kMinListDays) {
        return true;
    }
    std::vector<File> listed;
    bool refused = false;
    if (!list(endpoint, kind, listed, outcome, refused)) {
        if (quiet && refused && !outcome.notes.empty()) {
            outcome.notes.pop_back(); // a server without these files: their days are asked alone
        }
        return !outcome.cancelled;
    }
    const KeyMask mask(m_options.apiKey);
    for (const auto& file : listed) {
        if (daysOfMonth(days, file.month) < std::max(minDays, 1)) {
            continue;
        }
        if (goOn && !goOn()) {
            outcome.cancelled = true;
            return false;
        }
        BulkFileReader reader(file.kind, file.month, BulkFileReader::kMaxDayRows, &mask);
        bool next = true;
        if (!download(file, reader, outcome, next)) {
            if (outcome.cancelled || !next) {
                return false;
            }
            continue;
        }
        take(file, reader, mask);
    }
    return true;
}

BulkFill::Outcome BulkFill::dividends(
    std::vector<std::string>& days, const NoticeSink& store, const std::function<bool()>& goOn)
{
    Outcome outcome;
    eachFile("/fins/dividend", BulkFileReader::Kind::Dividends, days, static_cast<int>(kMinFileDays), false,
        outcome, goOn, [&](const File& file, const BulkFileReader& reader, const KeyMask& mask) {
            // The month's notices are checked and stored together, with every wanted day of it:
            // a day the file has no row of had no notice.
            nlohmann::json rows = nlohmann::json::array();
            for (const auto& day : reader.days()) {
                for (auto& row : reader.dayRows(day)) {
                    rows.push_back(std::move(row));
                }
            }
            if (mask.holdsAnywhere(rows)) {
                refuse(file, JQuantsClient::kKeyEchoedMessage, outcome);
                return;
            }
            std::vector<std::string> ofMonth;
            std::vector<std::string> left;
            for (const auto& day : days) {
                (day.compare(0, 7, file.month) == 0 ? ofMonth : left).push_back(day);
            }
            std::string fault;
            if (!store(rows, ofMonth, fault)) {
                refuse(file, "内容が正しくありません: " + fault, outcome);
                return;
            }
            ++outcome.files;
            days = std::move(left);
        });
    return outcome;
}

BulkFill::Outcome BulkFill::lists(
    std::vector<std::string>& days, const ListSink& store, const std::function<bool()>& goOn)
{
    Outcome outcome;
    eachFile("/equities/master", BulkFileReader::Kind::Master, days, 1, true, outcome, goOn,
        [&](const File& file, const BulkFileReader& reader, const KeyMask& mask) {
            // Each wanted day the file holds is a list of its own; a day it lacks is asked alone.
            std::vector<std::string> left;
            bool used = false;
            for (const auto& day : days) {
                if (day.compare(0, 7, file.month) != 0) {
                    left.push_back(day);
                    continue;
                }
                const auto rows = reader.dayRows(day);
                std::string fault;
                if (rows.empty()) {
                    left.push_back(day);
                } else if (mask.holdsAnywhere(rows)) {
                    refuse(file, JQuantsClient::kKeyEchoedMessage, outcome);
                    left.push_back(day);
                } else if (!store(rows, day, fault)) {
                    refuse(file, "内容が正しくありません: " + fault, outcome);
                    left.push_back(day);
                } else {
                    used = true;
                }
            }
            outcome.files += used ? 1 : 0;
            days = std::move(left);
        });
    return outcome;
}

} // namespace zuvemo::marketdata
