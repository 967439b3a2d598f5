#include "Connection.h"

#include "DatabaseError.h"
#include "FileLock.h"
#include "JetSql.h"
#include "Platform.h"
#include "Recordset.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <mutex>
#include <sqlite3.h>
#include <string_view>
#include <thread>
#include <vector>

namespace zuvemo::core {

namespace {

struct OpenFiles
{
    std::mutex mutex;
    std::vector<std::filesystem::path> paths;
};

OpenFiles& openFiles()
{
    static OpenFiles files;
    return files;
}

std::filesystem::path normalPath(const std::filesystem::path& path)
{
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(path, ec);
    return ec ? std::filesystem::absolute(path, ec).lexically_normal() : p;
}

} // namespace

Connection::Connection(Token, sqlite3* db, std::filesystem::path path)
    : m_db(db)
    , m_path(std::move(path))
    , m_normalPath(normalPath(m_path))
{
    auto& files = openFiles();
    std::lock_guard lock(files.mutex);
    files.paths.push_back(m_normalPath);
}

Connection::~Connection()
{
    sqlite3_close_v2(m_db);
    auto& files = openFiles();
    std::lock_guard lock(files.mutex);
    const auto it = std::find(files.paths.begin(), files.paths.end(), m_normalPath);
    if (it != files.paths.end()) {
        files.paths.erase(it);
    }
}

bool Connection::isOpenDatabaseFile(const std::filesystem::path& path)
{
    const auto wanted = normalPath(path);
    auto& files = openFiles();
    std::lock_guard lock(files.mutex);
    for (const auto& db : files.paths) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            auto name = db;
            name += suffix;
            if (name == wanted) {
                return true;
            }
        }
    }
    return false;
}

bool Connection::isDatabaseFile(const std::filesystem::path& path)
{
    const auto wanted = normalPath(path);
    auto text = Platform::toUtf8(wanted);
    for (const std::string suffix : {"-wal", "-shm", "-journal", "-lock"}) {
        if (text.size() > suffix.size()
            && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
            text.resize(text.size() - suffix.size());
            break;
        }
    }
    const auto database = Platform::fromUtf8(text);
    // A file of an open connection is never opened here: closing it would drop SQLite's locks.
    if (isOpenDatabaseFile(wanted) || isOpenDatabaseFile(database)) {
        return true;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(database, ec)) {
        return false;
    }
    std::ifstream in(database, std::ios::binary);
    std::array<char, 16> header{};
    if (!in.read(header.data(), header.size())) {
        return false;
    }
    return std::string_view(header.data(), header.size()) == std::string_view("SQLite format 3\0", 16);
}

std::unique_ptr<Connection> Connection::open(const std::filesystem::path& path, const Options& options)
{
    // Shared with every other connection of these programs, never with a compaction: an open
    // waits here while the file is being replaced, and then opens the new file.
    std::unique_ptr<FileLock> lock;
    if (!options.exclusive) {
        lock = FileLock::acquire(FileLock::lockFileOf(path), FileLock::Mode::Shared, options.busyTimeoutMs);
        if (!lock) {
            throw DatabaseError(SQLITE_BUSY, "the database is being compacted");
        }
    }
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (options.oneThread ? SQLITE_OPEN_NOMUTEX : SQLITE_OPEN_FULLMUTEX);
    if (options.create) {
        flags |= SQLITE_OPEN_CREATE;
    }
    int rc = sqlite3_open_v2(Platform::toUtf8(path).c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw DatabaseError(rc, msg);
    }
    auto conn = std::make_unique<Connection>(Token{}, db, path);
    conn->m_lock = std::move(lock);
    sqlite3_extended_result_codes(db, 1);
    if (options.whileWaiting) {
        conn->setBusyWait(options.busyTimeoutMs, options.whileWaiting);
    } else {
        conn->setBusyTimeout(options.busyTimeoutMs);
    }

    // A write-protected file opens silently read-only; the programs must be able to write.
    if (sqlite3_db_readonly(db, "main") == 1) {
        throw DatabaseError(SQLITE_READONLY, "the database file is read-only");
    }
    if (options.exclusive) {
        conn->execute("PRAGMA locking_mode=EXCLUSIVE");
    }
    // Touching the schema proves the file is a database; WAL lets the launcher and the main
    // program share the file, and keeps it consistent when a process is killed.
    conn->execute("PRAGMA journal_mode=WAL");
    conn->execute("PRAGMA synchronous=NORMAL");
    conn->execute("PRAGMA foreign_keys=OFF");
    auto rs = conn->openRecordset("SELECT count(*) AS n FROM sqlite_master");
    (void)rs;
    return conn;
}

void Connection::setBusyTimeout(int ms)
{
    m_whileWaiting = nullptr;
    sqlite3_busy_timeout(m_db, ms);
}

void Connection::setBusyWait(int ms, std::function<void()> whileWaiting)
{
    m_busyWaitMs = ms;
    m_whileWaiting = std::move(whileWaiting);
    sqlite3_busy_handler(m_db, &Connection::onBusy, this);
}

int Connection::onBusy(void* self, int count)
{
    auto* c = static_cast<Connection*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) {
        c->m_waitStart = now;
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - c->m_waitStart).count();
    if (waited >= c->m_busyWaitMs) {
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(20, c->m_busyWaitMs - waited)));
    if (c->m_whileWaiting) {
        c->m_whileWaiting();
    }
    return 1;
}

void Connection::raise(int rc, const std::string& context) const
{
    std::string msg = sqlite3_errmsg(m_db);
    if (!context.empty()) {
        msg += " [" + context + "]";
    }
    throw DatabaseError(rc, msg);
}

void Connection::execute(const std::string& sql)
{
    std::string text = JetSql::translate(sql);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(m_db, text.c_str(), static_cast<int>(text.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        raise(rc, text);
    }
    // One statement per call: a second one in the text would be spliced-in input.
    if (tail) {
        for (const char* p = tail; *p; ++p) {
            if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') {
                sqlite3_finalize(stmt);
                throw DatabaseError(SQLITE_MISUSE, "more than one statement in one text");
            }
        }
    }
    if (!stmt) {
        return;
    }
    do {
        rc = sqlite3_step(stmt);
    } while (rc == SQLITE_ROW);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        raise(rc, text);
    }
}

std::unique_ptr<Recordset> Connection::openRecordset(const std::string& sql)
{
    return std::make_unique<Recordset>(*this, sql);
}

int Connection::changes() const
{
    return sqlite3_changes(m_db);
}

Transaction::Transaction(Connection& connection)
    : m_connection(connection)
{
    m_connection.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (m_open) {
        try {
            m_connection.execute("ROLLBACK");
        } catch (...) {
            // The engine already rolled back (for example after an I/O error).
        }
    }
}

void Transaction::commit()
{
    m_connection.execute("COMMIT");
    m_open = false;
}

void Transaction::rollback()
{
    if (m_open) {
        m_open = false;
        m_connection.execute("ROLLBACK");
    }
}

} // namespace zuvemo::core
