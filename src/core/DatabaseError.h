#pragma once

#include <stdexcept>
#include <string>

namespace zuvemo::core {

// A statement the storage refused. code is the SQLite result code.
class DatabaseError : public std::runtime_error
{
public:
    DatabaseError(int code, const std::string& message)
        : std::runtime_error(message)
        , m_code(code)
    {
    }
    // With the words a user reads in place of those of the code (which file, what to do).
    DatabaseError(int code, const std::string& message, std::string userText)
        : std::runtime_error(message)
        , m_code(code)
        , m_userText(std::move(userText))
    {
    }
    int code() const { return m_code; }
    // "database error 19: UNIQUE constraint failed: … [statement]": for standard error.
    std::string detail() const { return "database error " + std::to_string(m_code) + ": " + what(); }

    // What a user reads for code: Japanese, and what to do where there is something to do. The
    // engine's own words and the statement are for standard error, not for a message box.
    static std::string userText(int code);
    std::string userText() const { return m_userText.empty() ? userText(m_code) : m_userText; }

private:
    int m_code;
    std::string m_userText;
};

} // namespace zuvemo::core
