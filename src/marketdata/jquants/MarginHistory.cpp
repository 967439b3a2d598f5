#include "MarginHistory.h"

#include "JQuantsAnswer.h"
#include "PriceStore.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Statement.h"

#include <chrono>
#include <cmath>
#include <set>

namespace zuvemo::marketdata {

using nlohmann::json;

namespace {

// A balance no exchange can print: more shares than any company has issued.
constexpr double kMaxShares = 1e13;

std::chrono::sys_days dayOf(const std::string& dashed)
{
    using namespace std::chrono;
    return sys_days{year{std::stoi(dashed.substr(0, 4))} / month{unsigned(std::stoi(dashed.substr(5, 2)))}
        / day{unsigned(std::stoi(dashed.substr(8, 2)))}};
}

} // namespace

MarginHistory::Check MarginHistory::check(const json& rows, const std::string& day,
    const std::function<std::string(const std::string&)>& publishedOf)
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
    std::set<std::string> seen;
    for (const auto& row : rows) {
        if (!row.is_object()) {
            return refuse("行がオブジェクトではありません");
        }
        auto text = [&row](const char* field) {
            const auto it = row.find(field);
            return it != row.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        Row r;
        r.date = text("Date");
        if (r.date != day) {
            return refuse("求めた申込日でない行があります: " + JQuantsAnswer::shown(r.date));
        }
        const std::string code = text("Code");
        if (!JQuantsAnswer::isCode(code)) {
            return refuse("銘柄コードが正しくない行があります: " + JQuantsAnswer::shown(code));
        }
        r.code = PriceStore::storeCode(code);
        if (!seen.insert(r.code).second) {
            return refuse("同じ銘柄が 2 度あります: " + PriceStore::listCode(r.code));
        }
        const auto pub = row.find("PubDate");
        if (pub != row.end() && !pub->is_null()) {
            r.knownFrom = pub->is_string() ? pub->get<std::string>() : std::string();
            if (!JQuantsAnswer::isDate(r.knownFrom)) {
                return refuse("公表日が正しくない行があります: " + JQuantsAnswer::shown(r.knownFrom));
            }
        } else {
            r.knownFrom = publishedOf(r.date);
        }
        r.issType = text("IssType");
        if (r.issType.size() > JQuantsAnswer::kMaxTextChars) {
            return refuse("IssType が長すぎます");
        }
        bool impossible = r.knownFrom < r.date;
        auto number = [&](const char* field, bool needed) -> std::optional<double> {
            const auto it = row.find(field);
            if (it == row.end() || it->is_null()) {
                if (needed) {
                    impossible = true;
                }
                return std::nullopt;
            }
            if (!it->is_number()) {
                return std::nan("");
            }
            const double v = it->get<double>();
            if (!std::isfinite(v) || v < 0 || v > kMaxShares * 1e5) {
                impossible = true;
            }
            return v;
        };
        const auto longVol = number("LongVol", true);
        const auto shrtVol = number("ShrtVol", true);
        r.longNegVol = number("LongNegVol", false);
        r.shrtNegVol = number("ShrtNegVol", false);
        r.longStdVol = number("LongStdVol", false);
        r.shrtStdVol = number("ShrtStdVol", false);
        r.longVal = number("LongVal", false);
        r.shrtVal = number("ShrtVal", false);
        for (const auto& v : {longVol, shrtVol, r.longNegVol, r.shrtNegVol, r.longStdVol, r.shrtStdVol,
                 r.longVal, r.shrtVal}) {
            if (v && std::isnan(*v)) {
                return refuse("数値でない残高の行があります: " + PriceStore::listCode(r.code));
            }
        }
        for (const auto& v : {longVol, shrtVol, r.longNegVol, r.shrtNegVol, r.longStdVol, r.shrtStdVol}) {
            impossible = impossible || (v && *v > kMaxShares);
        }
        if (impossible) {
            ++check.putAside;
            continue;
        }
        r.longVol = *longVol;
        r.shrtVol = *shrtVol;
        check.rows.push_back(std::move(r));
    }
    check.ok = true;
    return check;
}

MarginHistory::MarginHistory(core::Connection& prices)
    : m_db(prices)
{
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_Margin (MarCode TEXT NOT NULL, AppDate TEXT NOT NULL,"
                 " KnownFrom TEXT NOT NULL, LongVol REAL, ShrtVol REAL, LongNegVol REAL, ShrtNegVol REAL,"
                 " LongStdVol REAL, ShrtStdVol REAL, LongVal REAL, ShrtVal REAL, IssType TEXT,"
                 " PRIMARY KEY (MarCode, AppDate)) WITHOUT ROWID");
    m_db.execute("CREATE TABLE IF NOT EXISTS Table_MarginDay (DayDate TEXT PRIMARY KEY) WITHOUT ROWID");
}

bool MarginHistory::kept(core::Connection& prices)
{
    core::Statement s(prices, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Table_Margin'");
    return s.next();
}

void MarginHistory::store(const std::string& day, const std::vector<Row>& rows)
{
    core::Transaction transaction(m_db);
    core::Statement insert(m_db, "INSERT OR REPLACE INTO Table_Margin VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
    for (const auto& r : rows) {
        insert.bindText(1, r.code);
        insert.bindText(2, r.date);
        insert.bindText(3, r.knownFrom);
        insert.bindDouble(4, r.longVol);
        insert.bindDouble(5, r.shrtVol);
        int at = 6;
        for (const auto& v : {r.longNegVol, r.shrtNegVol, r.longStdVol, r.shrtStdVol, r.longVal, r.shrtVal}) {
            if (v) {
                insert.bindDouble(at, *v);
            } else {
                insert.bindNull(at);
            }
            ++at;
        }
        insert.bindText(12, r.issType);
        insert.run();
    }
    core::Statement mark(m_db, "INSERT OR REPLACE INTO Table_MarginDay VALUES (?)");
    mark.bindText(1, day);
    mark.run();
    transaction.commit();
}

std::vector<std::string> MarginHistory::askedDays()
{
    std::vector<std::string> out;
    core::Statement s(m_db, "SELECT DayDate FROM Table_MarginDay ORDER BY DayDate");
    while (s.next()) {
        out.push_back(s.columnText(0));
    }
    return out;
}

std::vector<MarginHistory::Row> MarginHistory::rows(const std::string& upTo)
{
    std::vector<Row> out;
    core::Statement s(m_db,
        "SELECT MarCode, AppDate, KnownFrom, LongVol, ShrtVol, LongNegVol, ShrtNegVol, LongStdVol,"
        " ShrtStdVol, LongVal, ShrtVal, IssType FROM Table_Margin WHERE KnownFrom <= ? ORDER BY MarCode, "
        "AppDate");
    s.bindText(1, upTo);
    auto optional = [&s](int column) {
        return s.isNull(column) ? std::nullopt : std::optional(s.columnDouble(column));
    };
    while (s.next()) {
        Row r{s.columnText(0), s.columnText(1), s.columnText(2), s.columnDouble(3), s.columnDouble(4),
            optional(5), optional(6), optional(7), optional(8), optional(9), optional(10), s.columnText(11)};
        out.push_back(std::move(r));
    }
    return out;
}

void MarginHistory::eachBalance(const std::string& upTo,
    const std::function<void(const std::string& code, const std::string& date, const std::string& knownFrom,
        double longVol, double shrtVol)>& fn)
{
    core::Statement s(m_db,
        "SELECT MarCode, AppDate, KnownFrom, LongVol, ShrtVol FROM Table_Margin WHERE KnownFrom <= ?"
        " ORDER BY MarCode, AppDate");
    s.bindText(1, upTo);
    while (s.next()) {
        fn(s.columnText(0), s.columnText(1), s.columnText(2), s.columnDouble(3), s.columnDouble(4));
    }
}

std::vector<std::string> MarginHistory::wantedDays(const std::vector<std::string>& tradingDays,
    const std::string& newest, const std::function<std::string(const std::string&)>& publishedOf)
{
    using namespace std::chrono;
    std::vector<std::string> out;
    for (std::size_t i = 0; i < tradingDays.size(); ++i) {
        const std::string& day = tradingDays[i];
        if (day >= newest) {
            break;
        }
        if (day >= kDailyFrom) {
            out.push_back(day); // published the next trading day, which newest is or follows
            continue;
        }
        // The week's last trading day: the next one falls in another week (weeks from Monday).
        const bool lastOfWeek = i + 1 == tradingDays.size()
            || floor<weeks>(dayOf(tradingDays[i + 1]) - days{4}) != floor<weeks>(dayOf(day) - days{4});
        if (lastOfWeek && publishedOf(day) <= newest) {
            out.push_back(day);
        }
    }
    return out;
}

} // namespace zuvemo::marketdata
