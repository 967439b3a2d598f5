#include "DividendHistory.h"

#include "JQuantsAnswer.h"
#include "PriceStore.h"
#include "core/Connection.h"
#include "core/Statement.h"

#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

std::string textOf(const json& row, const char* field)
{
    const auto it = row.find(field);
    if (it == row.end() || it->is_null()) {
        return {};
    }
    return it->is_string() ? it->get<std::string>() : it->dump();
}

constexpr const char* kColumns = "RefNo, CARefNo, StatCode, Code, ExDate, RecDate, PayDate, PubDate, DivRate,"
                                 " IFCode, FRCode, CommSpecCode";

} // namespace

DividendHistory::Notice DividendHistory::noticeOf(core::Statement& row)
{
    Notice n;
    std::string* fields[] = {&n.refNo, &n.caRefNo, &n.statCode, &n.code, &n.exDate, &n.recDate, &n.payDate,
        &n.pubDate, &n.divRate, &n.ifCode, &n.frCode, &n.commSpecCode};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = row.columnText(static_cast<int>(i));
    }
    return n;
}

DividendHistory::Check DividendHistory::check(const json& rows)
{
    Check check;
    auto refuse = [&check](std::string why) {
        check.fault = std::move(why);
        check.notices.clear();
        return check;
    };
    if (!rows.is_array()) {
        return refuse("data が配列ではありません");
    }
    std::set<std::string> seen;
    for (const auto& row : rows) {
        if (!row.is_object()) {
            return refuse("行がオブジェクトではありません");
        }
        Notice n{textOf(row, "RefNo"), textOf(row, "CARefNo"), textOf(row, "StatCode"), textOf(row, "Code"),
            textOf(row, "ExDate"), textOf(row, "RecDate"), textOf(row, "PayDate"), textOf(row, "PubDate"),
            textOf(row, "DivRate"), textOf(row, "IFCode"), textOf(row, "FRCode"),
            textOf(row, "CommSpecCode")};
        for (const auto* field :
            {&n.refNo, &n.caRefNo, &n.statCode, &n.code, &n.divRate, &n.ifCode, &n.frCode, &n.commSpecCode}) {
            if (field->size() > JQuantsAnswer::kMaxNumberChars) {
                return refuse("長すぎる値があります: " + JQuantsAnswer::shown(*field));
            }
        }
        if (n.refNo.empty() || !seen.insert(n.refNo).second) {
            return refuse("RefNo がないか 2 度ある配当があります: " + JQuantsAnswer::shown(n.refNo));
        }
        if (!JQuantsAnswer::isCode(n.code)) {
            return refuse("銘柄コードが正しくない配当があります: " + JQuantsAnswer::shown(n.code));
        }
        if (n.statCode != "1" && n.statCode != "2" && n.statCode != "3") {
            return refuse("StatCode が正しくない配当があります: " + JQuantsAnswer::shown(n.statCode));
        }
        if (n.statCode != "1" && n.caRefNo.empty()) {
            return refuse("訂正・削除の対象がない配当があります: " + JQuantsAnswer::shown(n.refNo));
        }
        for (const auto* date : {&n.exDate, &n.recDate, &n.payDate, &n.pubDate}) {
            if (!date->empty() && !JQuantsAnswer::isDate(*date)) {
                return refuse("日付が正しくない配当があります: " + JQuantsAnswer::shown(*date));
            }
        }
        n.code = PriceStore::storeCode(n.code);
        check.notices.push_back(std::move(n));
    }
    check.ok = true;
    return check;
}

DividendHistory::DividendHistory(core::Connection& prices)
    : m_db(prices)
{
    m_db.execute(
        "CREATE TABLE IF NOT EXISTS Table_Dividend (RefNo TEXT PRIMARY KEY, CARefNo TEXT, StatCode TEXT,"
        " Code TEXT, ExDate TEXT, RecDate TEXT, PayDate TEXT, PubDate TEXT, DivRate TEXT, IFCode TEXT,"
        " FRCode TEXT, CommSpecCode TEXT) WITHOUT ROWID");
    // The notices a deletion removed, and those a correction replaced: a later copy of either
    // (an older day asked again) must not bring it back.
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_DividendGone (RefNo TEXT PRIMARY KEY, Deleted INTEGER) "
                 "WITHOUT ROWID");
    m_db.execute("CREATE INDEX IF NOT EXISTS Index_DividendEx ON Table_Dividend (ExDate)");
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_DividendDay (DayDate TEXT PRIMARY KEY) WITHOUT ROWID");
}

DividendHistory::Sorted DividendHistory::putAside(std::vector<Notice> notices,
    const std::function<std::optional<double>(const std::string& code, const std::string& day)>& closeOf,
    const std::function<bool(const std::string& day)>& isTradingDay)
{
    Sorted sorted;
    for (auto& n : notices) {
        if (n.statCode != "3") {
            const auto rate = JQuantsAnswer::figure(n.divRate);
            const auto close = rate && *rate > 0 ? closeOf(n.code, n.pubDate) : std::nullopt;
            if (rate && (*rate < 0 || (close && *rate > *close))) {
                ++sorted.impossibleRates;
                continue;
            }
            if (!n.exDate.empty() && !isTradingDay(n.exDate)) {
                ++sorted.noTradingDays;
                continue;
            }
        }
        sorted.kept.push_back(std::move(n));
    }
    return sorted;
}

std::vector<std::string> DividendHistory::askedDays()
{
    std::vector<std::string> out;
    core::Statement s(m_db, "SELECT DayDate FROM Table_DividendDay ORDER BY DayDate");
    while (s.next()) {
        out.push_back(s.columnText(0));
    }
    return out;
}

void DividendHistory::apply(const std::vector<Notice>& notices, const std::vector<std::string>& daysAsked)
{
    core::Transaction transaction(m_db);
    core::Statement asked(m_db, "INSERT OR IGNORE INTO Table_DividendDay (DayDate) VALUES (?)");
    for (const auto& day : daysAsked) {
        asked.bindText(1, day);
        asked.run();
    }
    core::Statement gone(m_db, "SELECT Deleted FROM Table_DividendGone WHERE RefNo = ?");
    core::Statement bury(m_db, "INSERT OR REPLACE INTO Table_DividendGone (RefNo, Deleted) VALUES (?, ?)");
    core::Statement remove(m_db, "DELETE FROM Table_Dividend WHERE RefNo = ?1 OR CARefNo = ?1");
    // The corrections removed with a notice go with it: a later copy of one brings nothing back.
    core::Statement buryCorrections(m_db,
        "INSERT OR REPLACE INTO Table_DividendGone (RefNo, Deleted) SELECT RefNo, ?2 FROM Table_Dividend"
        " WHERE CARefNo = ?1");
    core::Statement insert(m_db,
        std::string("INSERT OR REPLACE INTO Table_Dividend (") + kColumns
            + ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
    // 0: here or never seen, 1: replaced by a correction, 2: deleted.
    auto fate = [&gone](const std::string& refNo) {
        gone.bindText(1, refNo);
        const int f = gone.next() ? (gone.columnDouble(0) != 0 ? 2 : 1) : 0;
        gone.reset();
        return f;
    };
    auto buryOne = [&bury, &fate](const std::string& refNo, bool deleted) {
        if (!deleted && fate(refNo) == 2) {
            return;
        }
        bury.bindText(1, refNo);
        bury.bindDouble(2, deleted ? 1 : 0);
        bury.run();
    };
    // A notice and its corrections out of the table, and kept out.
    auto withdraw = [&](const std::string& refNo, bool deleted) {
        buryCorrections.bindText(1, refNo);
        buryCorrections.bindDouble(2, deleted ? 1 : 0);
        buryCorrections.run();
        remove.bindText(1, refNo);
        remove.run();
        buryOne(refNo, deleted);
    };
    for (const auto& n : notices) {
        if (fate(n.refNo) != 0) {
            continue;
        }
        if (n.statCode == "3") {
            withdraw(n.caRefNo, true);
            continue;
        }
        if (n.statCode == "2") {
            if (fate(n.caRefNo) == 2) {
                continue; // a correction of a deleted notice
            }
            withdraw(n.caRefNo, false); // the notice it corrects, with any earlier correction
        }
        const std::string* fields[] = {&n.refNo, &n.caRefNo, &n.statCode, &n.code, &n.exDate, &n.recDate,
            &n.payDate, &n.pubDate, &n.divRate, &n.ifCode, &n.frCode, &n.commSpecCode};
        for (std::size_t k = 0; k < std::size(fields); ++k) {
            insert.bindText(static_cast<int>(k) + 1, *fields[k]);
        }
        insert.run();
    }
    transaction.commit();
}

std::optional<double> DividendHistory::perShare(const Notice& notice)
{
    if (notice.frCode != "1") {
        return std::nullopt;
    }
    const auto value = JQuantsAnswer::figure(notice.divRate);
    return value && *value >= 0 ? value : std::nullopt;
}

std::vector<DividendHistory::Notice> DividendHistory::undecided(
    const std::string& from, const std::string& to)
{
    std::vector<Notice> out;
    core::Statement s(m_db,
        std::string("SELECT ") + kColumns
            + " FROM Table_Dividend f WHERE ExDate BETWEEN ? AND ? AND FRCode = '2' AND NOT EXISTS (SELECT 1"
              " FROM Table_Dividend d WHERE d.Code = f.Code AND d.ExDate = f.ExDate AND d.IFCode = f.IFCode"
              " AND d.FRCode = '1') ORDER BY ExDate, Code, RefNo");
    s.bindText(1, from);
    s.bindText(2, to);
    while (s.next()) {
        out.push_back(noticeOf(s));
    }
    return out;
}

std::vector<DividendHistory::Dividend> DividendHistory::dividends(
    const std::string& from, const std::string& to)
{
    std::vector<Dividend> out;
    core::Statement s(m_db,
        std::string("SELECT ") + kColumns
            + " FROM Table_Dividend WHERE ExDate BETWEEN ? AND ? AND FRCode = '1' ORDER BY ExDate, Code, "
              "RefNo");
    s.bindText(1, from);
    s.bindText(2, to);
    while (s.next()) {
        Notice n = noticeOf(s);
        if (const auto value = perShare(n)) {
            out.push_back({n.code, n.exDate, *value, n.refNo});
        }
    }
    return out;
}

} // namespace zuvemo::marketdata
