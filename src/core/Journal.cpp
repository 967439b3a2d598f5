#include "Journal.h"

#include "Connection.h"
#include "Recordset.h"
#include "Statement.h"
#include "ValueRules.h"

#include <sqlite3.h>
#include <sstream>

namespace zuvemo::core {

namespace {

std::string joined(const std::vector<std::string>& codes)
{
    std::string out;
    for (const auto& code : codes) {
        if (!out.empty()) {
            out += ' ';
        }
        out += code;
    }
    return out;
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        out.push_back(word);
    }
    return out;
}

int integer(const Value& value)
{
    return static_cast<int>(Value(NumberOrZero(value)).toDouble());
}

std::string text(const Value& value)
{
    return value.isNull() ? std::string() : value.toText();
}

bool hasTable(Connection& connection)
{
    auto rs = connection.openRecordset(
        "SELECT count(*) AS n FROM sqlite_master WHERE type='table' AND name='Table_Journal'");
    return !rs->isEof() && rs->field("n").toDouble() > 0;
}

} // namespace

void Journal::ensureTable(Connection& connection)
{
    connection.execute("CREATE TABLE IF NOT EXISTS Table_Journal ("
                       "JournalId INTEGER PRIMARY KEY AUTOINCREMENT, StartedAt TEXT, EndedAt TEXT, "
                       "TradingDate TEXT, Screened INTEGER, Obtained INTEGER, Suspended INTEGER, "
                       "Failed INTEGER, SignalCodes TEXT, ReachedCodes TEXT, Outcome TEXT, Message TEXT, "
                       "Seen INTEGER DEFAULT 0)");
}

long long Journal::append(Connection& connection, const JournalRecord& r)
{
    ensureTable(connection);
    Transaction transaction(connection);
    {
        Statement insert(connection,
            "INSERT INTO Table_Journal (StartedAt, EndedAt, TradingDate, Screened, Obtained, Suspended, "
            "Failed, SignalCodes, ReachedCodes, Outcome, Message, Seen) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
        const std::string values[] = {r.startedAt, r.endedAt, r.tradingDate, std::to_string(r.screened),
            std::to_string(r.obtained), std::to_string(r.suspended), std::to_string(r.failed),
            joined(r.signalCodes), joined(r.reachedCodes), r.outcome, r.message, r.seen ? "1" : "0"};
        int index = 1;
        for (const auto& value : values) {
            insert.bindText(index++, value);
        }
        insert.run();
    }
    const long long id = sqlite3_last_insert_rowid(connection.handle());
    transaction.commit();
    return id;
}

std::optional<JournalRecord> Journal::latest(Connection& connection)
{
    if (!hasTable(connection)) {
        return std::nullopt;
    }
    auto rs = connection.openRecordset("SELECT * FROM Table_Journal ORDER BY JournalId DESC LIMIT 1");
    if (rs->isEof()) {
        return std::nullopt;
    }
    JournalRecord r;
    r.id = static_cast<long long>(rs->field("JournalId").toDouble());
    r.startedAt = text(rs->field("StartedAt"));
    r.endedAt = text(rs->field("EndedAt"));
    r.tradingDate = text(rs->field("TradingDate"));
    r.screened = integer(rs->field("Screened"));
    r.obtained = integer(rs->field("Obtained"));
    r.suspended = integer(rs->field("Suspended"));
    r.failed = integer(rs->field("Failed"));
    r.signalCodes = split(text(rs->field("SignalCodes")));
    r.reachedCodes = split(text(rs->field("ReachedCodes")));
    r.outcome = text(rs->field("Outcome"));
    r.message = text(rs->field("Message"));
    r.seen = integer(rs->field("Seen")) != 0;
    return r;
}

void Journal::markSeen(Connection& connection, long long id)
{
    connection.execute("UPDATE Table_Journal SET Seen=1 WHERE JournalId <= " + std::to_string(id));
}

std::string Journal::summaryText(const JournalRecord& r)
{
    std::string when = r.startedAt.substr(0, 16);
    if (r.outcome == kFailed) {
        return "自動実行 " + when + ": 失敗 " + r.message;
    }
    return "自動実行 " + when + ": 目標到達 " + std::to_string(r.reachedCodes.size()) + " 銘柄, 注目 "
        + std::to_string(r.signalCodes.size()) + " 銘柄";
}

} // namespace zuvemo::core
