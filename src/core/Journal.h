#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zuvemo::core {

class Connection;

// One unattended run of the day's work, as Table_Journal keeps it.
struct JournalRecord
{
    long long id = 0;
    std::string startedAt; // YYYY-MM-DD HH:MM:SS, local time
    std::string endedAt;
    std::string tradingDate; // YYYY-MM-DD of the list loaded; empty when none was
    int screened = 0;
    int obtained = 0; // 取得
    int suspended = 0; // 停止中
    int failed = 0;
    std::vector<std::string> signalCodes; // a 売 or 買 in Achk or Cchk
    std::vector<std::string> reachedCodes; // watch-list rows whose target is reached
    std::string outcome; // kOk, kReached or kFailed
    std::string message;
    bool seen = false; // shown to the user in the main window
};

// The journal table of the database. Each run is added as one row in one transaction, so a run
// killed half way leaves no record rather than half of one.
class Journal
{
public:
    static constexpr const char* kOk = "ok";
    static constexpr const char* kReached = "reached";
    static constexpr const char* kFailed = "failed";

    // Makes the table in a database that does not have it yet.
    static void ensureTable(Connection& connection);
    // Adds the record and gives its number. Throws DatabaseError.
    static long long append(Connection& connection, const JournalRecord& record);
    // The newest record; nothing in a database without the table or without records.
    static std::optional<JournalRecord> latest(Connection& connection);
    // Marks every record up to id as shown.
    static void markSeen(Connection& connection, long long id);

    // "自動実行 2026-12-08 18:00: 目標到達 2 銘柄, 注目 37 銘柄" for the main window's message line.
    static std::string summaryText(const JournalRecord& record);
};

} // namespace zuvemo::core
