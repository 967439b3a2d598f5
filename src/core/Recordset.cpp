#include "Recordset.h"

#include "Connection.h"
#include "DatabaseError.h"

#include <cctype>
#include <limits>
#include <regex>
#include <sqlite3.h>

namespace zuvemo::core {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i]))
            != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The single table of a plain "SELECT ... FROM T [WHERE ...] [ORDER BY ...]", or "".
std::string singleTable(const std::string& sql)
{
    static const std::regex plain(
        R"(^\s*SELECT\s+(.+?)\s+FROM\s+([A-Za-z_][A-Za-z0-9_]*)\s*((WHERE|ORDER)\b.*)?$)", std::regex::icase);
    static const std::regex grouped(R"(\b(GROUP|JOIN|UNION|DISTINCT|HAVING)\b)", std::regex::icase);
    std::smatch m;
    if (!std::regex_match(sql, m, plain) || std::regex_search(sql, grouped)) {
        return {};
    }
    return m[2].str();
}

Value readColumn(sqlite3_stmt* stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
        return Value(sqlite3_column_double(stmt, i));
    case SQLITE_NULL:
        return Value();
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        int n = sqlite3_column_bytes(stmt, i);
        return Value(std::string(text ? text : "", static_cast<std::size_t>(n)));
    }
    }
}

void bindValue(sqlite3_stmt* stmt, int index, const Value& v)
{
    if (v.isNull()) {
        sqlite3_bind_null(stmt, index);
    } else if (v.isText()) {
        std::string t = v.toText();
        sqlite3_bind_text(stmt, index, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
    } else if (v.isInteger()) {
        sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(v.toDouble()));
    } else {
        sqlite3_bind_double(stmt, index, v.toDouble());
    }
}

} // namespace

Recordset::Recordset(Connection& connection, const std::string& sql)
    : m_connection(&connection)
    , m_sql(sql)
{
    m_table = singleTable(sql);
    std::string text = sql;
    if (!m_table.empty()) {
        static const std::regex select(R"(^\s*SELECT\s+)", std::regex::icase);
        text = std::regex_replace(
            sql, select, "SELECT rowid AS zuvemo_rowkey, ", std::regex_constants::format_first_only);
    }
    sqlite3* db = connection.handle();
    int rc = sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &m_query, nullptr);
    if (rc != SQLITE_OK && !m_table.empty()) {
        // A table without a row key (a view, say) is read without one, not updatable.
        m_table.clear();
        text = sql;
        rc = sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &m_query, nullptr);
    }
    if (rc != SQLITE_OK) {
        connection.raise(rc, sql);
    }
    int first = m_table.empty() ? 0 : 1;
    int n = sqlite3_column_count(m_query);
    for (int i = first; i < n; ++i) {
        const char* name = sqlite3_column_name(m_query, i);
        m_columns.emplace_back(name ? name : "");
    }
    // The first row now, so a refused query fails here rather than at the first read.
    fetchTo(0);
}

void Recordset::finishQuery() const
{
    if (m_query) {
        sqlite3_finalize(m_query);
        m_query = nullptr;
    }
}

void Recordset::fetchTo(std::size_t index) const
{
    while (m_query && m_rows.size() <= index) {
        int rc = sqlite3_step(m_query);
        if (rc == SQLITE_ROW) {
            int first = m_table.empty() ? 0 : 1;
            int n = sqlite3_column_count(m_query);
            if (first) {
                m_keys.push_back(sqlite3_column_int64(m_query, 0));
            }
            std::vector<Value> row;
            row.reserve(static_cast<std::size_t>(n - first));
            for (int i = first; i < n; ++i) {
                row.push_back(readColumn(m_query, i));
            }
            m_rows.push_back(std::move(row));
            continue;
        }
        finishQuery();
        if (rc != SQLITE_DONE) {
            m_connection->raise(rc, m_sql);
        }
    }
}

bool Recordset::isEof() const
{
    fetchTo(m_position);
    return m_position >= m_rows.size();
}

int Recordset::recordCount() const
{
    fetchTo(std::numeric_limits<std::size_t>::max() - 1);
    return static_cast<int>(m_rows.size());
}

Recordset::~Recordset()
{
    close();
}

void Recordset::close()
{
    finishQuery();
    if (m_update) {
        sqlite3_finalize(m_update);
        m_update = nullptr;
    }
    m_rows.clear();
    m_keys.clear();
    m_position = 0;
    m_pending.clear();
}

int Recordset::columnIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (equalsNoCase(m_columns[i], name)) {
            return static_cast<int>(i);
        }
    }
    throw DatabaseError(SQLITE_ERROR, "no such field: " + std::string(name));
}

const Value& Recordset::field(int index) const
{
    if (isEof()) {
        throw DatabaseError(SQLITE_ERROR, "no current row");
    }
    return m_rows[m_position].at(static_cast<std::size_t>(index));
}

const Value& Recordset::field(std::string_view name) const
{
    return field(columnIndex(name));
}

void Recordset::moveNext()
{
    m_pending.clear();
    if (!isEof()) {
        ++m_position;
    }
}

void Recordset::moveFirst()
{
    m_pending.clear();
    m_position = 0;
}

void Recordset::setField(std::string_view name, Value value)
{
    if (isEof()) {
        throw DatabaseError(SQLITE_ERROR, "no current row");
    }
    if (!updatable()) {
        throw DatabaseError(SQLITE_READONLY, "the recordset is not updatable");
    }
    m_pending[columnIndex(name)] = std::move(value);
}

void Recordset::update()
{
    if (m_pending.empty()) {
        return;
    }
    std::string sql = "UPDATE " + m_table + " SET ";
    bool firstColumn = true;
    for (const auto& [index, value] : m_pending) {
        (void)value;
        if (!firstColumn) {
            sql += ", ";
        }
        firstColumn = false;
        sql += "\"" + m_columns[static_cast<std::size_t>(index)] + "\"=?";
    }
    sql += " WHERE rowid=?";
    sqlite3* db = m_connection->handle();
    if (sql != m_updateSql) {
        if (m_update) {
            sqlite3_finalize(m_update);
            m_update = nullptr;
        }
        int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_update, nullptr);
        if (rc != SQLITE_OK) {
            m_connection->raise(rc, sql);
        }
        m_updateSql = sql;
    }
    int bind = 1;
    for (const auto& [index, value] : m_pending) {
        bindValue(m_update, bind++, value);
    }
    sqlite3_bind_int64(m_update, bind, m_keys[m_position]);
    int rc = sqlite3_step(m_update);
    sqlite3_reset(m_update);
    if (rc != SQLITE_DONE) {
        m_connection->raise(rc, sql);
    }
    for (auto& [index, value] : m_pending) {
        m_rows[m_position][static_cast<std::size_t>(index)] = std::move(value);
    }
    m_pending.clear();
}

} // namespace zuvemo::core
