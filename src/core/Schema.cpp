#include "Schema.h"

#include "Connection.h"
#include "DatabaseError.h"
#include "Platform.h"
#include "Value.h"
#include "ValueRules.h"

#include <sqlite3.h>
#include <system_error>

namespace zuvemo::core {

namespace {

// Text compares ignore case, as the original engine did; numbers are doubles.
const char* const kTables[] = {
    "CREATE TABLE Table_User ("
    " UserKeyA INTEGER,"
    " UsernameA TEXT(255) COLLATE NOCASE,"
    " PassWordA TEXT(255) COLLATE NOCASE,"
    " StartdateA TEXT(8) COLLATE NOCASE,"
    " UpdatedateA TEXT(8) COLLATE NOCASE)",

    "CREATE TABLE Table_Url ("
    " kabuHUrl TEXT(255) COLLATE NOCASE,"
    " kabuMUrl TEXT(255) COLLATE NOCASE,"
    " kabuHdate TEXT(8) COLLATE NOCASE,"
    " kabuSi TEXT(255) COLLATE NOCASE)",

    "CREATE TABLE Table_Code ("
    " MgCode TEXT(6) COLLATE NOCASE NOT NULL,"
    " Mgmgara TEXT(255) COLLATE NOCASE,"
    " MgMei TEXT(255) COLLATE NOCASE,"
    " Mgyosyu TEXT(255) COLLATE NOCASE,"
    " Wscost REAL, Wucost REAL, Wdcost REAL, Wecost REAL, Wccost REAL, Wbcost REAL,"
    " Achk TEXT(1) COLLATE NOCASE,"
    " Cchk TEXT(1) COLLATE NOCASE,"
    " Dchk TEXT(3) COLLATE NOCASE)",
    "CREATE UNIQUE INDEX Table_Code_MgCode ON Table_Code(MgCode)",

    "CREATE TABLE Table_KOCYU ("
    " Wmgcode TEXT(255) COLLATE NOCASE NOT NULL,"
    " Wmgmei TEXT(255) COLLATE NOCASE,"
    " WzuvemoK REAL DEFAULT 0,"
    " WzuvemoG REAL DEFAULT 0,"
    " WzuvemoM REAL DEFAULT 0,"
    " WzuvemoP REAL DEFAULT 0,"
    " WzuvemoPc REAL DEFAULT 0)",
    "CREATE UNIQUE INDEX Table_KOCYU_Wmgcode ON Table_KOCYU(Wmgcode)",

    "CREATE TABLE Table_hantei (CFGb3 REAL, CFGb4 REAL)",

    "CREATE TABLE WorkTemp ("
    " Whi TEXT(10) COLLATE NOCASE,"
    " Wst REAL, Wup REAL, Wdn REAL, Wen REAL, Wdk REAL, Wbb REAL,"
    " Wcount INTEGER,"
    " Wpatai REAL, Wqatai REAL, Wgatai REAL, Wjatai REAL, Wyatai REAL, Wvatai REAL, Wmatai REAL,"
    " Whatai TEXT(1) COLLATE NOCASE, Wkatai TEXT(1) COLLATE NOCASE,"
    " Woatai REAL, Wnatai REAL, Wsatai REAL, Wratai REAL, Wuatai REAL, Wxatai REAL, Wwatai REAL,"
    " Wtatai TEXT(2) COLLATE NOCASE, Wiatai TEXT(2) COLLATE NOCASE, Wlatai TEXT(2) COLLATE NOCASE)",
    "CREATE INDEX WorkTemp_Wcount ON WorkTemp(Wcount)",

    "CREATE TABLE WorkKocyu ("
    " Wmgcode TEXT(255) COLLATE NOCASE,"
    " Wmgmei TEXT(255) COLLATE NOCASE)",
};

} // namespace

void Schema::createTables(Connection& connection)
{
    for (const char* sql : kTables) {
        connection.execute(sql);
    }
}

void Schema::createDatabaseFile(
    const std::filesystem::path& path, const UrlRow& url, const std::optional<Bounds>& bounds)
{
    std::filesystem::path temp = path;
    temp += ".new";
    std::error_code ec;
    for (const char* extra : {"", "-wal", "-shm", "-journal"}) {
        std::filesystem::path p = temp;
        p += extra;
        std::filesystem::remove(p, ec);
    }
    {
        // Nobody else knows the new file yet: no lock file beside it.
        Connection::Options options;
        options.create = true;
        options.exclusive = true;
        auto conn = Connection::open(temp, options);
        Transaction tx(*conn);
        createTables(*conn);
        conn->execute(" INSERT INTO Table_Url(kabuHUrl, kabuMUrl, kabuHdate, kabuSi) VALUES ('"
            + SqlText(url.dailyUrl) + "', '" + SqlText(url.historyUrl) + "', '" + SqlText(url.tradingDate)
            + "', '" + SqlText(url.suffix) + "')");
        if (bounds) {
            conn->execute(" INSERT INTO Table_hantei(CFGb3, CFGb4) VALUES ("
                + Value::numberText(bounds->lower) + ", " + Value::numberText(bounds->upper) + ")");
        }
        tx.commit();
        // Fold the log into the file so the new database is one self-contained file.
        conn->execute("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    if (!Platform::syncFile(temp)) {
        throw DatabaseError(SQLITE_IOERR, "cannot flush " + Platform::toUtf8(temp));
    }
    // Left-over logs of an older file of the same name would be replayed into the new one.
    for (const char* extra : {"-wal", "-shm", "-journal"}) {
        std::filesystem::path p = path;
        p += extra;
        std::filesystem::remove(p, ec);
        p = temp;
        p += extra;
        std::filesystem::remove(p, ec);
    }
    std::string error;
    if (!Platform::replaceFile(temp, path, &error)) {
        std::filesystem::remove(temp, ec);
        throw DatabaseError(SQLITE_CANTOPEN, "cannot create " + Platform::toUtf8(path) + ": " + error);
    }
}

} // namespace zuvemo::core
