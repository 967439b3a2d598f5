#include "EarningsHistory.h"

#include "JQuantsAnswer.h"
#include "PriceStore.h"
#include "core/Connection.h"
#include "core/Statement.h"

#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

std::string textOf(const json& row, const char* field, bool& text)
{
    const auto it = row.find(field);
    text = it != row.end() && it->is_string();
    return text ? it->get<std::string>() : std::string();
}

} // namespace

EarningsHistory::Check EarningsHistory::check(const json& rows, const std::string& day)
{
    Check check;
    auto refuse = [&check](std::string fault) {
        check.fault = std::move(fault);
        check.rows.clear();
        check.putAside = 0;
        return check;
    };
    if (!rows.is_array()) {
        return refuse("data が配列ではありません");
    }
    std::set<std::tuple<std::string, std::string, std::string>> seen;
    for (const auto& row : rows) {
        if (!row.is_object()) {
            return refuse("行がオブジェクトではありません");
        }
        bool text = false;
        Row r;
        r.pubDate = textOf(row, "PubDate", text);
        if (!text || r.pubDate != day) {
            return refuse("求めた日でない発表日の行があります: " + JQuantsAnswer::shown(r.pubDate));
        }
        const std::string code = textOf(row, "Code", text);
        if (!JQuantsAnswer::isCode(code)) {
            return refuse("銘柄コードが正しくない行があります: " + JQuantsAnswer::shown(code));
        }
        r.code = PriceStore::storeCode(code);
        r.quarter = textOf(row, "FQName", text);
        static const std::set<std::string> quarters = {"1Q", "2Q", "3Q", "4Q", "5Q", "FY"};
        if (!quarters.count(r.quarter)) {
            return refuse("四半期が正しくない行があります: " + JQuantsAnswer::shown(r.quarter));
        }
        r.fye = textOf(row, "FYE", text);
        if (!text || r.fye.empty() || r.fye.size() > JQuantsAnswer::kMaxTextChars) {
            return refuse("決算期が正しくない行があります: " + JQuantsAnswer::shown(r.fye));
        }
        r.schDate = textOf(row, "SchDate", text);
        if (!text || (!r.schDate.empty() && !JQuantsAnswer::isDate(r.schDate))) {
            return refuse("予定日が正しくない行があります: " + JQuantsAnswer::shown(r.schDate));
        }
        if (!seen.emplace(r.code, r.fye, r.quarter).second) {
            return refuse(
                "同じ銘柄と四半期が 2 度あります: " + PriceStore::listCode(r.code) + " " + r.quarter);
        }
        // Announced before it was published: no schedule can say that.
        if (!r.schDate.empty() && r.schDate < r.pubDate) {
            ++check.putAside;
            continue;
        }
        check.rows.push_back(std::move(r));
    }
    check.ok = true;
    return check;
}

EarningsHistory::EarningsHistory(core::Connection& prices)
    : m_db(prices)
{
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_Earnings (EarnCode TEXT NOT NULL, FYE TEXT NOT NULL,"
                 " FQName TEXT NOT NULL, PubDate TEXT NOT NULL, SchDate TEXT NOT NULL,"
                 " PRIMARY KEY (EarnCode, FYE, FQName, PubDate)) WITHOUT ROWID");
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_EarningsDay (DayDate TEXT PRIMARY KEY) WITHOUT ROWID");
}

bool EarningsHistory::kept(core::Connection& prices)
{
    core::Statement s(prices, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Table_Earnings'");
    return s.next();
}

void EarningsHistory::store(const std::string& day, const std::vector<Row>& rows)
{
    core::Transaction transaction(m_db);
    core::Statement insert(m_db, "INSERT OR REPLACE INTO Table_Earnings VALUES (?,?,?,?,?)");
    for (const auto& r : rows) {
        insert.bindText(1, r.code);
        insert.bindText(2, r.fye);
        insert.bindText(3, r.quarter);
        insert.bindText(4, r.pubDate);
        insert.bindText(5, r.schDate);
        insert.run();
    }
    core::Statement mark(m_db, "INSERT OR REPLACE INTO Table_EarningsDay VALUES (?)");
    mark.bindText(1, day);
    mark.run();
    transaction.commit();
}

std::vector<std::string> EarningsHistory::askedDays()
{
    std::vector<std::string> out;
    core::Statement s(m_db, "SELECT DayDate FROM Table_EarningsDay ORDER BY DayDate");
    while (s.next()) {
        out.push_back(s.columnText(0));
    }
    return out;
}

std::vector<EarningsHistory::Row> EarningsHistory::rows(const std::string& upTo)
{
    std::vector<Row> out;
    eachRow(upTo, [&out](const Row& row) { out.push_back(row); });
    return out;
}

void EarningsHistory::eachRow(const std::string& upTo, const std::function<void(const Row&)>& fn)
{
    core::Statement s(m_db,
        "SELECT EarnCode, FYE, FQName, PubDate, SchDate FROM Table_Earnings WHERE PubDate <= ?"
        " ORDER BY EarnCode, FYE, FQName, PubDate");
    s.bindText(1, upTo);
    while (s.next()) {
        fn({s.columnText(0), s.columnText(1), s.columnText(2), s.columnText(3), s.columnText(4)});
    }
}

std::map<std::string, std::string> EarningsHistory::next(
    const std::vector<Row>& known, const std::string& day)
{
    std::map<std::string, std::string> out;
    for (std::size_t i = 0; i < known.size();) {
        // The quarter's rows lie together, oldest publication first: the last one by day holds.
        std::size_t end = i;
        const Row* newest = nullptr;
        while (end < known.size() && known[end].code == known[i].code && known[end].fye == known[i].fye
            && known[end].quarter == known[i].quarter) {
            if (known[end].pubDate <= day) {
                newest = &known[end];
            }
            ++end;
        }
        if (newest && !newest->schDate.empty() && newest->schDate >= day) {
            auto [it, added] = out.emplace(newest->code, newest->schDate);
            if (!added && newest->schDate < it->second) {
                it->second = newest->schDate;
            }
        }
        i = end;
    }
    return out;
}

} // namespace zuvemo::marketdata
