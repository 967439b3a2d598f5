#pragma once

#include "Value.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3_stmt;

namespace zuvemo::core {

class Connection;

// The rows of one query, read forward. Rows are fetched as the reader advances; asking for the
// record count reads them all. A query on a single table keeps each row's key, so assigned
// field values can be saved back to that row (the row is found again by its key).
class Recordset
{
public:
    Recordset(Connection& connection, const std::string& sql);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool isEof() const;
    int recordCount() const;
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    const std::string& columnName(int index) const { return m_columns.at(static_cast<std::size_t>(index)); }

    // Field of the current row by column name, compared case-insensitively. Throws
    // DatabaseError at the end of the rows or for an unknown name.
    const Value& field(std::string_view name) const;
    const Value& field(int index) const;
    void moveNext();
    // Back to the first row; the rows read so far are kept, so nothing is queried again.
    void moveFirst();

    // Assigns a field of the current row; update() saves the assigned fields.
    void setField(std::string_view name, Value value);
    void update();

    bool updatable() const { return !m_table.empty(); }
    void close();

private:
    int columnIndex(std::string_view name) const;
    // Reads rows until row index exists or the query is exhausted.
    void fetchTo(std::size_t index) const;
    void finishQuery() const;

    Connection* m_connection;
    std::string m_sql;
    std::vector<std::string> m_columns;
    mutable sqlite3_stmt* m_query = nullptr;
    mutable std::vector<std::vector<Value>> m_rows;
    mutable std::vector<std::int64_t> m_keys;
    std::size_t m_position = 0;
    std::string m_table;
    std::map<int, Value> m_pending;
    std::string m_updateSql;
    sqlite3_stmt* m_update = nullptr;
};

} // namespace zuvemo::core
