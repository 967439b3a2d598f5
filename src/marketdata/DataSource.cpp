#include "DataSource.h"

#include "core/Connection.h"
#include "core/Recordset.h"
#include "core/Statement.h"
#include "core/ValueRules.h"

#include <algorithm>

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

int DataSource::delayWeeks(const std::string& plan)
{
    return plan == "free" ? 12 : 0;
}

std::string DataSource::planName(const std::string& plan)
{
    std::string name = plan;
    if (!name.empty()) {
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
    }
    return requestsPerMinute(plan) > 0 ? name : std::string();
}

long DataSource::fillMinutes(const std::string& plan, int days)
{
    const int rate = requestsPerMinute(plan);
    return rate > 0 && days > 0 ? (days + rate - 1) / rate : 0;
}

bool DataSource::hasMarginBalances(const std::string& plan)
{
    return plan == "standard" || plan == "premium";
}

bool DataSource::hasBulkFiles(const std::string& plan)
{
    return plan == "light" || plan == "standard" || plan == "premium";
}

int DataSource::maxDays(const std::string& plan)
{
    // 245 trading days a year.
    if (plan == "free") {
        return 2 * 245;
    }
    if (plan == "light") {
        return 5 * 245;
    }
    if (plan == "standard") {
        return 10 * 245;
    }
    if (plan == "premium") {
        return 18 * 245;
    }
    return 0;
}

long DataSource::firstFillMinutes(const std::string& plan, int days)
{
    // The disclosures of the last 130 days on Free, and the results' dates of the same days;
    // as deep as the prices from the files, the results' dates a request a day all the same.
    if (!hasBulkFiles(plan)) {
        return fillMinutes(plan, days + 2 * std::min(days, 130) + 5);
    }
    // Two lists, then a request a month for each of prices and disclosures, and the current
    // month's days (about 21) one at a time; the margin balances a week each before their daily
    // series (since 2026-09-25, some 60 days).
    const int months = (days + 20) / 21 + 1;
    const int margin = hasMarginBalances(plan) ? days / 5 + 60 : 0;
    return fillMinutes(plan, 8 + 2 * months + 2 * 21 + days + margin);
}

std::string DataSource::daysProblem(const std::string& plan, int days)
{
    const int most = maxDays(plan);
    if (most == 0 || (days >= 20 && days <= most)) {
        return {};
    }
    return planName(plan) + " プランの取得日数は 20〜" + std::to_string(most) + " 日（"
        + std::to_string(most / 245) + " 年）です。";
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
    const std::string kind = rs->field(0).toText();
    source.kind = kind == kJQuants ? kJQuants : (kind == kSample ? kSample : kCsv);
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
    writeWithin(connection, source);
    transaction.commit();
}

void DataSource::writeWithin(core::Connection& connection, const DataSource& source)
{
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
}

std::string DataSource::describe() const
{
    if (!isJQuants()) {
        return kind;
    }
    return std::string(kJQuants) + " " + apiUrl + " plan=" + plan + " days=" + std::to_string(days);
}

} // namespace zuvemo::marketdata
