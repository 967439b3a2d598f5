#include "TopixHistory.h"

#include "JQuantsAnswer.h"
#include "core/Connection.h"
#include "core/Statement.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;

TopixHistory::Check TopixHistory::check(const json& rows, const std::string& from, const std::string& to)
{
    Check check;
    if (!rows.is_array()) {
        check.fault = "data が配列ではありません";
        return check;
    }
    std::set<std::string> seen;
    for (const auto& row : rows) {
        const auto date = row.is_object() && row.contains("Date") && row["Date"].is_string()
            ? row["Date"].get<std::string>()
            : std::string();
        if (!JQuantsAnswer::isDate(date) || date < from || date > to) {
            check.fault = "日付が違う行があります: " + JQuantsAnswer::shown(date);
            check.bars.clear();
            return check;
        }
        if (!seen.insert(date).second) {
            check.fault = "同じ日が 2 度あります: " + date;
            check.bars.clear();
            return check;
        }
        auto number = [&row](const char* field) {
            const auto it = row.find(field);
            return it != row.end() && it->is_number() ? it->get<double>() : std::nan("");
        };
        Bar bar{date, number("O"), number("H"), number("L"), number("C")};
        const bool possible = std::isfinite(bar.o) && std::isfinite(bar.h) && std::isfinite(bar.l)
            && std::isfinite(bar.c) && bar.l > 0 && bar.l <= std::min(bar.o, bar.c)
            && bar.h >= std::max(bar.o, bar.c);
        if (possible) {
            check.bars.push_back(bar);
        } else {
            check.putAside.push_back(date);
        }
    }
    std::sort(
        check.bars.begin(), check.bars.end(), [](const Bar& a, const Bar& b) { return a.date < b.date; });
    check.ok = true;
    return check;
}

TopixHistory::TopixHistory(core::Connection& prices)
    : m_db(prices)
{
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_Topix (TopixDate TEXT PRIMARY KEY, O REAL, H REAL, L REAL,"
                 " C REAL) WITHOUT ROWID");
}

void TopixHistory::store(const std::vector<Bar>& bars)
{
    core::Transaction transaction(m_db);
    core::Statement insert(m_db, "INSERT OR REPLACE INTO Table_Topix VALUES (?,?,?,?,?)");
    for (const auto& bar : bars) {
        insert.bindText(1, bar.date);
        insert.bindDouble(2, bar.o);
        insert.bindDouble(3, bar.h);
        insert.bindDouble(4, bar.l);
        insert.bindDouble(5, bar.c);
        insert.run();
    }
    transaction.commit();
}

std::vector<TopixHistory::Bar> TopixHistory::bars(const std::string& from, const std::string& to)
{
    std::vector<Bar> out;
    core::Statement s(m_db,
        "SELECT TopixDate, O, H, L, C FROM Table_Topix WHERE TopixDate BETWEEN ? AND ? ORDER BY TopixDate");
    s.bindText(1, from);
    s.bindText(2, to);
    while (s.next()) {
        out.push_back(
            {s.columnText(0), s.columnDouble(1), s.columnDouble(2), s.columnDouble(3), s.columnDouble(4)});
    }
    return out;
}

std::string TopixHistory::firstMissing(const std::vector<std::string>& days)
{
    if (days.empty()) {
        return {};
    }
    const auto stored = bars(days.front(), days.back());
    auto at = stored.begin();
    for (const auto& day : days) {
        while (at != stored.end() && at->date < day) {
            ++at;
        }
        if (at == stored.end() || at->date != day) {
            return day;
        }
    }
    return {};
}

} // namespace zuvemo::marketdata
