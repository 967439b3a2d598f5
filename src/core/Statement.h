#pragma once

#include <string>
#include <string_view>

struct sqlite3_stmt;

namespace zuvemo::core {

class Connection;

// One prepared statement, run many times with new parameters: a bulk insert parses its SQL
// once instead of once a row.
class Statement
{
public:
    // Throws DatabaseError when the text is refused.
    Statement(Connection& connection, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters count from 1. The text is copied.
    void bindText(int index, std::string_view text);
    void bindDouble(int index, double value);
    void bindNull(int index);
    // Steps a query: true while a row stands, false at its end (the statement is then reset for
    // the next parameters); throws DatabaseError when refused.
    bool next();
    bool isNull(int column) const;
    // Stored as an integer or a real, not as text.
    bool isNumber(int column) const;
    double columnDouble(int column) const;
    std::string columnText(int column) const;
    // The text without a copy, valid until the next step: for reading many rows.
    std::string_view columnView(int column) const;
    // Runs the statement to its end, then clears it for the next parameters; throws
    // DatabaseError when refused.
    void run();
    // Leaves a query before its end, ready for the next parameters.
    void reset();

private:
    Connection& m_connection;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace zuvemo::core
