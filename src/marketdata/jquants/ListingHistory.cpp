#include "ListingHistory.h"

#include "JQuantsAnswer.h"
#include "PriceStore.h"
#include "core/Connection.h"
#include "core/Statement.h"

#include <algorithm>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

constexpr const char* kFields[] = {"CoName", "Mkt", "MktNm", "S33", "S33Nm", "S17", "ScaleCat", "ProdCat"};

std::string* fieldOf(ListingHistory::Attributes& a, std::size_t i)
{
    std::string* fields[] = {
        &a.name, &a.market, &a.marketName, &a.industry, &a.industryName, &a.sector17, &a.scale, &a.product};
    return fields[i];
}

bool sameListing(const ListingHistory::Attributes& a, const ListingHistory::Attributes& b)
{
    auto x = a;
    x.from = b.from;
    return x == b;
}

// The first day of days in (after, upTo], or nothing.
const std::string* firstIn(
    const std::vector<std::string>* days, const std::string& after, const std::string& upTo)
{
    if (!days) {
        return nullptr;
    }
    const auto it = std::upper_bound(days->begin(), days->end(), after);
    return it != days->end() && *it <= upTo ? &*it : nullptr;
}

// The last day of days in [from, before), or nothing.
const std::string* lastIn(
    const std::vector<std::string>* days, const std::string& from, const std::string& before)
{
    if (!days) {
        return nullptr;
    }
    const auto it = std::lower_bound(days->begin(), days->end(), before);
    return it != days->begin() && *(it - 1) >= from ? &*(it - 1) : nullptr;
}

} // namespace

const ListingHistory::Attributes* ListingHistory::Listing::on(const std::string& day) const
{
    if (!listedOn(day) || attributes.empty()) {
        return nullptr;
    }
    const auto it = std::upper_bound(attributes.begin(), attributes.end(), day,
        [](const std::string& d, const Attributes& a) { return d < a.from; });
    return it == attributes.begin() ? &attributes.front() : &*(it - 1);
}

ListingHistory::ListingHistory(core::Connection& prices)
    : m_db(prices)
{
    m_db.execute(
        "CREATE TABLE IF NOT EXISTS Table_ListingSnapshot (SnapDate TEXT NOT NULL, Code TEXT NOT NULL,"
        " CoName TEXT, Mkt TEXT, MktNm TEXT, S33 TEXT, S33Nm TEXT, S17 TEXT, ScaleCat TEXT, ProdCat TEXT,"
        " PRIMARY KEY (SnapDate, Code)) WITHOUT ROWID");
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_ListingDay (DayDate TEXT PRIMARY KEY, Rows INTEGER)");
}

std::optional<ListingHistory::Snapshot> ListingHistory::snapshotOf(const json& rows, std::string* fault)
{
    auto refuse = [fault](std::string why) {
        *fault = std::move(why);
        return std::nullopt;
    };
    if (!rows.is_array()) {
        return refuse("data が配列ではありません");
    }
    if (rows.empty()) {
        return refuse("銘柄が 1 つもありません");
    }
    Snapshot snapshot;
    for (const auto& row : rows) {
        if (!row.is_object()) {
            return refuse("行がオブジェクトではありません");
        }
        auto text = [&row](const char* field) {
            const auto it = row.find(field);
            return it != row.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        const std::string date = text("Date");
        if (!JQuantsAnswer::isDate(date) || (!snapshot.date.empty() && date != snapshot.date)) {
            return refuse("日付が違う行があります: " + JQuantsAnswer::shown(date));
        }
        snapshot.date = date;
        const std::string code = text("Code");
        if (!JQuantsAnswer::isCode(code)) {
            return refuse("銘柄コードが正しくない行があります: " + JQuantsAnswer::shown(code));
        }
        Attributes a;
        a.from = date;
        for (std::size_t i = 0; i < std::size(kFields); ++i) {
            *fieldOf(a, i) = text(kFields[i]);
            if (fieldOf(a, i)->size() > kMaxText) {
                return refuse(
                    std::string(kFields[i]) + " が長すぎる行があります: " + JQuantsAnswer::shown(code));
            }
        }
        if (a.name.empty() || (a.market.empty() && a.marketName.empty())) {
            return refuse("銘柄名・市場のない銘柄があります: " + JQuantsAnswer::shown(code));
        }
        if (!snapshot.stocks.emplace(PriceStore::storeCode(code), std::move(a)).second) {
            return refuse("同じ銘柄が 2 度あります: " + JQuantsAnswer::shown(code));
        }
    }
    return snapshot;
}

void ListingHistory::store(const Snapshot& snapshot)
{
    core::Transaction transaction(m_db);
    core::Statement remove(m_db, "DELETE FROM Table_ListingSnapshot WHERE SnapDate = ?");
    remove.bindText(1, snapshot.date);
    remove.run();
    core::Statement insert(m_db, "INSERT INTO Table_ListingSnapshot VALUES (?,?,?,?,?,?,?,?,?,?)");
    for (const auto& [code, a] : snapshot.stocks) {
        insert.bindText(1, snapshot.date);
        insert.bindText(2, code);
        auto copy = a;
        for (std::size_t i = 0; i < std::size(kFields); ++i) {
            insert.bindText(static_cast<int>(i) + 3, *fieldOf(copy, i));
        }
        insert.run();
    }
    core::Statement mark(m_db, "INSERT OR REPLACE INTO Table_ListingDay (DayDate, Rows) VALUES (?, ?)");
    mark.bindText(1, snapshot.date);
    mark.bindDouble(2, static_cast<double>(snapshot.stocks.size()));
    mark.run();
    transaction.commit();
}

bool ListingHistory::has(const std::string& day)
{
    core::Statement s(m_db, "SELECT 1 FROM Table_ListingDay WHERE DayDate = ?");
    s.bindText(1, day);
    return s.next();
}

std::vector<std::string> ListingHistory::days()
{
    std::vector<std::string> out;
    core::Statement s(m_db, "SELECT DayDate FROM Table_ListingDay ORDER BY DayDate");
    while (s.next()) {
        out.push_back(s.columnText(0));
    }
    return out;
}

std::map<std::string, std::string> ListingHistory::relisted(core::Connection& db, const std::string& upTo)
{
    std::map<std::string, std::string> out;
    {
        core::Statement table(
            db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Table_ListingDay'");
        if (!table.next()) {
            return out;
        }
    }
    const std::string last = upTo.empty() ? std::string("9999-99-99") : upTo;
    std::vector<std::string> days;
    {
        core::Statement s(db, "SELECT DayDate FROM Table_ListingDay WHERE DayDate <= ? ORDER BY DayDate");
        s.bindText(1, last);
        while (s.next()) {
            days.push_back(s.columnText(0));
        }
    }
    if (days.size() < 3) {
        return out;
    }
    // A code of the newest snapshot seen in fewer snapshots than there are from its first on
    // was away for some; the few such are then looked at one by one.
    core::Statement seen(db,
        "SELECT Code, MIN(SnapDate), COUNT(*) FROM Table_ListingSnapshot WHERE SnapDate <= ?1 AND SnapDate "
        "IN "
        "(SELECT DayDate FROM Table_ListingDay) AND Code IN (SELECT Code FROM Table_ListingSnapshot WHERE "
        "SnapDate = ?2) GROUP BY Code");
    seen.bindText(1, last);
    seen.bindText(2, days.back());
    std::vector<std::string> away;
    while (seen.next()) {
        const auto since = std::lower_bound(days.begin(), days.end(), seen.columnText(1));
        if (static_cast<double>(days.end() - since) > seen.columnDouble(2)) {
            away.push_back(seen.columnText(0));
        }
    }
    core::Statement in(db, "SELECT 1 FROM Table_ListingSnapshot WHERE SnapDate = ? AND Code = ?");
    for (const auto& code : away) {
        for (auto day = days.rbegin(); day != days.rend(); ++day) {
            in.bindText(1, *day);
            in.bindText(2, code);
            const bool there = in.next();
            in.reset();
            if (!there) {
                out.emplace(code, *day);
                break;
            }
        }
    }
    return out;
}

std::vector<std::string> ListingHistory::marketNames()
{
    std::vector<std::string> out;
    core::Statement s(
        m_db, "SELECT DISTINCT MktNm FROM Table_ListingSnapshot WHERE MktNm <> '' ORDER BY MktNm");
    while (s.next()) {
        out.push_back(s.columnText(0));
    }
    return out;
}

std::vector<ListingHistory::Snapshot> ListingHistory::snapshots(
    const std::string& upTo, const std::string& after)
{
    std::vector<Snapshot> out;
    // Only days marked whole: a snapshot is stored with its mark in one transaction.
    core::Statement s(m_db,
        "SELECT SnapDate, Code, CoName, Mkt, MktNm, S33, S33Nm, S17, ScaleCat, ProdCat FROM "
        "Table_ListingSnapshot"
        " WHERE SnapDate IN (SELECT DayDate FROM Table_ListingDay WHERE DayDate <= ? AND DayDate > ?)"
        " ORDER BY SnapDate, Code");
    s.bindText(1, upTo.empty() ? std::string("9999-99-99") : upTo);
    s.bindText(2, after);
    while (s.next()) {
        const std::string date = s.columnText(0);
        if (out.empty() || out.back().date != date) {
            out.push_back({date, {}});
        }
        Attributes a;
        a.from = date;
        for (std::size_t i = 0; i < std::size(kFields); ++i) {
            *fieldOf(a, i) = s.columnText(static_cast<int>(i) + 2);
        }
        out.back().stocks.emplace(s.columnText(1), std::move(a));
    }
    return out;
}

void ListingHistory::eachProduct(const std::string& upTo,
    const std::function<void(const std::string& date, const std::string& code, const std::string& product)>&
        fn)
{
    core::Statement s(m_db,
        "SELECT SnapDate, Code, ProdCat FROM Table_ListingSnapshot"
        " WHERE SnapDate IN (SELECT DayDate FROM Table_ListingDay WHERE DayDate <= ?) ORDER BY SnapDate, "
        "Code");
    s.bindText(1, upTo.empty() ? std::string("9999-99-99") : upTo);
    while (s.next()) {
        fn(s.columnText(0), s.columnText(1), s.columnText(2));
    }
}

std::vector<std::string> ListingHistory::wantedDays(const std::vector<std::string>& storedDays)
{
    std::vector<std::string> out;
    for (const auto& day : storedDays) {
        if (out.empty() || out.back().compare(0, 7, day, 0, 7) != 0) {
            out.push_back(day);
        }
    }
    if (!storedDays.empty() && out.back() != storedDays.back()) {
        out.push_back(storedDays.back());
    }
    return out;
}

std::vector<std::string> ListingHistory::toAsk(
    const std::vector<std::string>& wanted, const std::vector<std::string>& snapshotDays)
{
    std::vector<std::string> out;
    for (const auto& day : wanted) {
        // The latest snapshot on or before day: in day's month, it stands for that month.
        const auto it = std::upper_bound(snapshotDays.begin(), snapshotDays.end(), day);
        if (it != snapshotDays.begin() && (it - 1)->compare(0, 7, day, 0, 7) == 0) {
            continue;
        }
        out.push_back(day);
    }
    return out;
}

std::map<std::string, std::vector<ListingHistory::Listing>> ListingHistory::listings(
    const std::vector<Snapshot>& snapshots, const std::map<std::string, std::vector<std::string>>& tradedDays)
{
    std::map<std::string, std::vector<Listing>> out;
    std::map<std::string, bool> open; // codes listed at the snapshot before
    auto traded = [&tradedDays](const std::string& code) {
        const auto it = tradedDays.find(code);
        return it == tradedDays.end() ? nullptr : &it->second;
    };
    for (std::size_t i = 0; i < snapshots.size(); ++i) {
        const auto& snap = snapshots[i];
        // Gone since the snapshot before: delisted after its last trade before this one.
        for (auto& [code, listed] : open) {
            if (!listed || snap.stocks.count(code)) {
                continue;
            }
            auto& listing = out[code].back();
            const auto* last = lastIn(traded(code), listing.first, snap.date);
            listing.last = last ? *last : snapshots[i - 1].date;
            listed = false;
        }
        for (const auto& [code, a] : snap.stocks) {
            if (open[code]) {
                if (!sameListing(out[code].back().attributes.back(), a)) {
                    out[code].back().attributes.push_back(a);
                }
                continue;
            }
            Listing listing;
            if (i == 0) {
                const auto* days = traded(code);
                listing.first = days && !days->empty() ? std::min(days->front(), snap.date) : snap.date;
            } else {
                const auto* first = firstIn(traded(code), snapshots[i - 1].date, snap.date);
                listing.first = first ? *first : snap.date;
            }
            listing.attributes.push_back(a);
            listing.attributes.back().from = listing.first;
            out[code].push_back(std::move(listing));
            open[code] = true;
        }
    }
    return out;
}

} // namespace zuvemo::marketdata
