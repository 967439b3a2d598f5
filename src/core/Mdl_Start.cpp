#include "Mdl_Start.h"

#include "DatabaseError.h"
#include "FileLock.h"
#include "MessagePresenter.h"
#include "Platform.h"
#include "TextCodec.h"
#include "Utf8.h"
#include "ValueRules.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sqlite3.h>
#include <system_error>

namespace zuvemo::core {

namespace {

constexpr std::size_t kLineBuffer = 128;
constexpr std::uintmax_t kMaxConfigBytes = 16u * 1024u * 1024u;

// The value is appended to the program folder as text, as the folder, a separator and the
// value: a value that starts with a separator or names a drive stays inside the folder.
std::filesystem::path belowFolder(const std::filesystem::path& folder, const std::string& value)
{
#ifdef _WIN32
    return Platform::fromUtf8(Platform::toUtf8(folder) + "\\" + value);
#else
    // The file is written for Windows: its folder separator is the backslash.
    std::string v = value;
    std::replace(v.begin(), v.end(), '\\', '/');
    return Platform::fromUtf8(Platform::toUtf8(folder) + "/" + v);
#endif
}

} // namespace

Mdl_Start::Mdl_Start(std::filesystem::path programFolder)
    : m_programFolder(std::move(programFolder))
{
}

bool Mdl_Start::ReadConfigFile()
{
    ConfigFilePath = m_programFolder / kConfigFileName;
    std::error_code ec;
    auto size = std::filesystem::file_size(ConfigFilePath, ec);
    if (ec || size > kMaxConfigBytes) {
        return false;
    }
    std::ifstream in(ConfigFilePath, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return false;
    }

    return parseConfig(bytes, m_programFolder, DatabasePath);
}

bool Mdl_Start::parseConfig(
    std::string_view bytes, const std::filesystem::path& programFolder, std::filesystem::path& databasePath)
{
    std::filesystem::path found;
    bool haveKey = false;
    std::size_t pos = 0;
    // A file saved by an editor as UTF-8 may start with its byte order mark.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        pos = 3;
    }
    while (pos < bytes.size()) {
        // CR LF, a lone LF and a lone CR each end a line.
        std::size_t end = bytes.find_first_of("\r\n", pos);
        std::string_view raw
            = bytes.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (end == std::string_view::npos) {
            pos = bytes.size();
        } else {
            pos = end + 1;
            if (bytes[end] == '\r' && pos < bytes.size() && bytes[pos] == '\n') {
                ++pos;
            }
        }
        // One stray byte in a comment must not cost the whole file: decode as the imports do.
        std::string buffer = Utf8::left(TextCodec::decodeCp932Lossy(raw), kLineBuffer);
        if (!buffer.empty() && buffer[0] == '#') {
            continue;
        }
        if (Utf8::trim(buffer).empty()) {
            continue;
        }
        std::size_t eq = buffer.find('=');
        std::string key = eq == std::string::npos ? std::string()
                                                  : Utf8::trim(std::string_view(buffer).substr(0, eq + 1));
        if (key == kDatabaseKey) {
            found = belowFolder(programFolder, Utf8::trim(std::string_view(buffer).substr(eq + 1)));
            haveKey = true;
        }
    }
    if (haveKey) {
        databasePath = found;
    }
    return true;
}

bool Mdl_Start::OpenDatabase()
{
    CloseDatabase();
    if (DatabasePath.empty()) {
        SetErr(SQLITE_CANTOPEN, "no database path");
        return false;
    }
    try {
        Connection::Options options;
        options.busyTimeoutMs = m_busyTimeoutMs;
        options.whileWaiting = m_whileWaiting;
        SharedConnection = Connection::open(DatabasePath, options);
        return true;
    } catch (const DatabaseError& e) {
        SetErr(e);
        SharedConnection.reset();
        return false;
    }
}

void Mdl_Start::CloseDatabase()
{
    SharedRecordset.reset();
    SharedRecordset2.reset();
    SharedConnection.reset();
}

Recordset& Mdl_Start::OpenShared()
{
    if (!SharedConnection) {
        throw DatabaseError(SQLITE_MISUSE, "the database is not open");
    }
    SharedRecordset.reset();
    SharedRecordset = SharedConnection->openRecordset(SqlBuffer);
    return *SharedRecordset;
}

Recordset& Mdl_Start::OpenShared2()
{
    if (!SharedConnection) {
        throw DatabaseError(SQLITE_MISUSE, "the database is not open");
    }
    SharedRecordset2.reset();
    SharedRecordset2 = SharedConnection->openRecordset(SqlBuffer2);
    return *SharedRecordset2;
}

void Mdl_Start::ExecuteShared()
{
    if (!SharedConnection) {
        throw DatabaseError(SQLITE_MISUSE, "the database is not open");
    }
    SharedConnection->execute(SqlBuffer);
}

std::string Mdl_Start::FileMissingMessage(const std::filesystem::path& path)
{
    return "ファイル(" + Platform::toUtf8(path) + ")が見当たりません。\r\n管理元にお問い合わせください";
}

std::string Mdl_Start::ConnectionRefusedMessage(const std::filesystem::path& path)
{
    return "データベースファイル(" + Platform::toUtf8(path)
        + ")が接続を拒否している。\r\n管理元にお問い合わせください";
}

std::string Mdl_Start::OpenFailureMessage(const std::filesystem::path& path)
{
    // A folder the program may not write to refuses the database for that reason alone.
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if (!Platform::folderWritable(folder)) {
        return FolderNotWritableMessage(folder);
    }
    // SQLite says a full disk at open as an I/O error: the files it keeps beside the database
    // cannot grow. The code is the one OpenDatabase left.
    const long code = Err().number & 0xff;
    if (code == SQLITE_FULL || code == SQLITE_IOERR) {
        constexpr std::uintmax_t kRoom = 1024 * 1024;
        std::error_code ec;
        const auto space = std::filesystem::space(folder, ec);
        const bool full = code == SQLITE_FULL || (!ec && space.available < kRoom);
        return DatabaseError::userText(full ? SQLITE_FULL : SQLITE_IOERR) + "\r\n(" + Platform::toUtf8(path)
            + ")";
    }
    return ConnectionRefusedMessage(path);
}

std::string Mdl_Start::FolderNotWritableMessage(const std::filesystem::path& folder)
{
    return "フォルダ(" + Platform::toUtf8(folder)
        + ")に書き込めません。\r\n書き込みのできるフォルダか、フォルダの権限を確かめてください。";
}

std::filesystem::path CompactionTempPath(const std::filesystem::path& path)
{
    std::string ext = Platform::toUtf8(path.extension());
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    std::filesystem::path temp = path;
    temp.replace_extension();
    temp += "_temp" + ext;
    return temp;
}

bool CompactDatabaseFile(const std::filesystem::path& path, std::string* error)
{
    auto fail = [error](const std::string& message) {
        if (error) {
            *error = message;
        }
        return false;
    };
    const std::filesystem::path temp = CompactionTempPath(path);
    auto sidecar = [](const std::filesystem::path& p, const char* suffix) {
        std::filesystem::path s = p;
        s += suffix;
        return s;
    };
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::filesystem::remove(sidecar(temp, suffix), ec);
    }
    if (std::filesystem::exists(temp, ec)) {
        return fail("cannot remove " + Platform::toUtf8(temp));
    }
    // Alone with the file from here to the rename: a connection of another process (the
    // launcher, a command-line run, any SQLite client) makes the compaction give way, and no
    // connection of these programs opens the file until the new one stands under its name.
    auto alone = FileLock::acquire(FileLock::lockFileOf(path), FileLock::Mode::Exclusive, 0);
    if (!alone) {
        return fail("the database is in use");
    }
    try {
        Connection::Options options;
        options.busyTimeoutMs = 1000;
        options.exclusive = true;
        std::unique_ptr<Connection> source;
        try {
            source = Connection::open(path, options);
        } catch (const DatabaseError& e) {
            if ((e.code() & 0xff) == SQLITE_BUSY || (e.code() & 0xff) == SQLITE_LOCKED) {
                return fail("the database is in use");
            }
            throw;
        }
        source->execute("PRAGMA wal_checkpoint(TRUNCATE)");
        source->execute("VACUUM INTO '" + SqlText(Platform::toUtf8(temp)) + "'");
        {
            Connection::Options alone;
            alone.exclusive = true;
            auto copy = Connection::open(temp, alone);
            auto check = copy->openRecordset("PRAGMA integrity_check");
            if (check->isEof() || check->field(0).toText() != "ok") {
                throw DatabaseError(SQLITE_CORRUPT, "the compacted copy failed its check");
            }
            check.reset();
            copy->execute("PRAGMA journal_mode=DELETE");
        }
        if (!Platform::syncFile(temp)) {
            throw DatabaseError(SQLITE_IOERR, "cannot flush " + Platform::toUtf8(temp));
        }
        // Every change is in the file itself now. The log's name must be free before the rename,
        // and closing this connection afterwards must not remove the log by name: it could by then
        // be the new file's log, made by a program that opened it at once.
        int persist = 1;
        sqlite3_file_control(source->handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
        std::filesystem::remove(sidecar(path, "-wal"), ec);
        std::filesystem::remove(sidecar(path, "-shm"), ec);
        if (std::filesystem::exists(sidecar(path, "-wal"), ec)
            || std::filesystem::exists(sidecar(path, "-journal"), ec)) {
            throw DatabaseError(SQLITE_BUSY, "the database log is still there");
        }
        std::string message;
        if (!Platform::replaceFile(temp, path, &message)) {
            throw DatabaseError(SQLITE_IOERR, message);
        }
    } catch (const DatabaseError& e) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            std::filesystem::remove(sidecar(temp, suffix), ec);
        }
        return fail(e.what());
    }
    return true;
}

} // namespace zuvemo::core
