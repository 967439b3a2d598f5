#include "Statement.h"

#include "Connection.h"
#include "DatabaseError.h"

#include <sqlite3.h>

namespace zuvemo::core {

Statement::Statement(Connection& connection, const std::string& sql)
    : m_connection(connection)
{
    int rc = sqlite3_prepare_v3(connection.handle(), sql.c_str(), static_cast<int>(sql.size()),
        SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        m_connection.raise(rc, sql);
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::bindText(int index, std::string_view text)
{
    int rc = sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) {
        m_connection.raise(rc);
    }
}

void Statement::bindDouble(int index, double value)
{
    int rc = sqlite3_bind_double(m_stmt, index, value);
    if (rc != SQLITE_OK) {
        m_connection.raise(rc);
    }
}

void Statement::bindNull(int index)
{
    int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK) {
        m_connection.raise(rc);
    }
}

bool Statement::next()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        std::string message = sqlite3_errmsg(m_connection.handle());
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        throw DatabaseError(rc, message + " [" + sqlite3_sql(m_stmt) + "]");
    }
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    return false;
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

bool Statement::isNumber(int column) const
{
    const int type = sqlite3_column_type(m_stmt, column);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
}

double Statement::columnDouble(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

std::string_view Statement::columnView(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                : std::string_view();
}

std::string Statement::columnText(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                : std::string();
}

void Statement::run()
{
    while (next()) { }
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

} // namespace zuvemo::core
