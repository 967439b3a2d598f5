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
    int code() const { return m_code; }

private:
    int m_code;
};

} // namespace zuvemo::core
