#pragma once

#include "Value.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

struct sqlite3;

namespace zuvemo::core {

class FileLock;
class Recordset;

// One open database file. Statements are SQL texts as the forms build them; the few forms
// SQLite does not take are translated on the way in.
class Connection
{
public:
    struct Options
    {
        int busyTimeoutMs = 30000;
        bool create = false;
        // Holds the file for this connection alone from the first read to the close; refused
        // with SQLITE_BUSY while any other connection has the file open. Takes no lock file:
        // the caller holds it alone.
        bool exclusive = false;
        // Called while a statement waits for another program's lock (see setBusyWait).
        std::function<void()> whileWaiting;
        // Used by one thread at a time (it may pass between threads): SQLite then takes no lock of
        // its own around each call, which a read of a million rows feels.
        bool oneThread = false;
    };

    // Throws DatabaseError when the file cannot be opened as a writable database.
    static std::unique_ptr<Connection> open(const std::filesystem::path& path, const Options& options);
    static std::unique_ptr<Connection> open(const std::filesystem::path& path)
    {
        return open(path, Options{});
    }

    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one statement that returns no rows; throws DatabaseError when refused.
    void execute(const std::string& sql);

    // Runs a query; the rows are read at once and kept with their keys (keyset behaviour).
    std::unique_ptr<Recordset> openRecordset(const std::string& sql);

    // Rows changed by the last statement.
    int changes() const;

    void setBusyTimeout(int ms);
    // Waits up to ms for another program's lock, calling whileWaiting about every 20 ms meanwhile
    // (a window repaints there instead of standing still).
    void setBusyWait(int ms, std::function<void()> whileWaiting);

    // True when path names the file of an open connection of this process or one of its
    // companions (-wal, -shm, -journal): only SQLite may open those while the connection lives.
    static bool isOpenDatabaseFile(const std::filesystem::path& path);
    // True when path names a database file, open or not, or one of its companions (with the lock
    // file): a file the user names for a report must never replace one.
    static bool isDatabaseFile(const std::filesystem::path& path);

    sqlite3* handle() const { return m_db; }
    const std::filesystem::path& path() const { return m_path; }

    [[noreturn]] void raise(int rc, const std::string& context = {}) const;

    // Only open() makes connections; the token keeps the constructor to it.
    class Token
    {
        friend class Connection;
        Token() = default;
    };
    Connection(Token, sqlite3* db, std::filesystem::path path);

private:
    static int onBusy(void* self, int count);

    sqlite3* m_db;
    std::filesystem::path m_path;
    std::filesystem::path m_normalPath; // as listed among the process's open database files
    int m_busyWaitMs = 0;
    std::function<void()> m_whileWaiting;
    std::chrono::steady_clock::time_point m_waitStart;
    std::unique_ptr<FileLock> m_lock; // released after the connection has closed
};

// BEGIN IMMEDIATE on construction; rolls back unless commit() ran.
class Transaction
{
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();
    void rollback();

private:
    Connection& m_connection;
    bool m_open = true;
};

} // namespace zuvemo::core
