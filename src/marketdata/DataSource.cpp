#include "DataSource.h"

#include "core/Connection.h"
#include "core/Recordset.h"
#include "core/Statement.h"
#include "core/ValueRules.h"

namespace zuvemo::marketdata {

int DataSource::requestsPerMinute(const std::string& plan)
{
    if (plan == "free") {
        return 5;
    }
    if (plan == "light") {
        return 60;
    }
    if (plan == "standard") {
        return 120;
    }
    if (plan == "premium") {
        return 500;
    }
    return 0;
}

DataSource DataSource::read(core::Connection& connection)
{
    DataSource source;
    auto exists = connection.openRecordset(
        "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='Table_Source'");
    if (exists->field(0).toDouble() == 0) {
        return source;
    }
    auto rs = connection.openRecordset("SELECT SourceKind, ApiUrl, ApiPlan, HistoryDays FROM Table_Source");
    if (rs->isEof()) {
        return source;
    }
    source.kind = rs->field(0).toText() == kJQuants ? kJQuants : kCsv;
    if (!rs->field(1).toText().empty()) {
        source.apiUrl = rs->field(1).toText();
    }
    if (requestsPerMinute(rs->field(2).toText()) > 0) {
        source.plan = rs->field(2).toText();
    }
    const int days = static_cast<int>(rs->field(3).toDouble());
    source.days = days > 0 ? days : kDefaultDays;
    return source;
}

void DataSource::write(core::Connection& connection, const DataSource& source)
{
    core::Transaction transaction(connection);
    connection.execute("CREATE TABLE IF NOT EXISTS Table_Source (SourceKind TEXT NOT NULL, ApiUrl TEXT,"
                       " ApiPlan TEXT, HistoryDays INTEGER)");
    connection.execute("DELETE FROM Table_Source");
    core::Statement insert(
        connection, "INSERT INTO Table_Source (SourceKind, ApiUrl, ApiPlan, HistoryDays) VALUES (?,?,?,?)");
    insert.bindText(1, source.kind);
    insert.bindText(2, source.apiUrl);
    insert.bindText(3, source.plan);
    insert.bindText(4, std::to_string(source.days));
    insert.run();
    transaction.commit();
}

std::string DataSource::describe() const
{
    if (!isJQuants()) {
        return kCsv;
    }
    return std::string(kJQuants) + " " + apiUrl + " plan=" + plan + " days=" + std::to_string(days);
}

} // namespace zuvemo::marketdata
