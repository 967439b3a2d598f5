#pragma once

#include "Connection.h"
#include "Recordset.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zuvemo::core {

// The state and procedures both programs share: the configuration file, the one database
// connection with its two recordsets and SQL buffers.
class Mdl_Start
{
public:
    static constexpr const char* kConfigFileName = "qen_kanrFile.dsa";
    static constexpr const char* kDatabaseKey = "[DataBase1]=";
    // Also the password of the chart sheet.
    static constexpr const char* kDatabasePassword = "trelvanXQZ";

    explicit Mdl_Start(std::filesystem::path programFolder);

    const std::filesystem::path& programFolder() const { return m_programFolder; }

    // Reads the configuration file of the program folder; sets DatabasePath when the key is
    // there. False when the file cannot be opened or read.
    bool ReadConfigFile();

    // The rules of the configuration file on its bytes: a leading UTF-8 byte order mark is
    // skipped, bytes code page 932 does not know are replaced; databasePath is set when the key
    // is present.
    static bool parseConfig(std::string_view bytes, const std::filesystem::path& programFolder,
        std::filesystem::path& databasePath);

    // Opens SharedConnection on DatabasePath. False when the file is missing, is no database,
    // cannot be written, or stays locked past the busy time-out.
    bool OpenDatabase();
    void CloseDatabase();

    void setBusyTimeoutMs(int ms) { m_busyTimeoutMs = ms; }
    // How long the connection waits for another program's lock, and what it does meanwhile (a
    // window repaints); applies from the next OpenDatabase.
    void setBusyWait(int ms, std::function<void()> whileWaiting)
    {
        m_busyTimeoutMs = ms;
        m_whileWaiting = std::move(whileWaiting);
    }

    // Runs SqlBuffer as a query into SharedRecordset (and SqlBuffer2 into SharedRecordset2).
    Recordset& OpenShared();
    Recordset& OpenShared2();
    // Runs SqlBuffer as a statement on the connection.
    void ExecuteShared();

    static std::string FileMissingMessage(const std::filesystem::path& path);
    static std::string ConnectionRefusedMessage(const std::filesystem::path& path);
    // Why the database could not be opened, after OpenDatabase failed: the folder when it is
    // read-only, a full disk or a disk error, else the message above.
    static std::string OpenFailureMessage(const std::filesystem::path& path);
    static std::string FolderNotWritableMessage(const std::filesystem::path& folder);

    std::filesystem::path ConfigFilePath;
    std::filesystem::path DatabasePath;
    std::unique_ptr<Connection> SharedConnection;
    std::unique_ptr<Recordset> SharedRecordset;
    std::string SqlBuffer;
    std::unique_ptr<Recordset> SharedRecordset2;
    std::string SqlBuffer2;

private:
    std::filesystem::path m_programFolder;
    int m_busyTimeoutMs = 30000;
    std::function<void()> m_whileWaiting;
};

// Rewrites the database file compactly. The copy is made beside it (name without extension,
// "_temp", the extension in lower case), checked, and renamed over the database in one step:
// the database is never missing, and a failed compaction leaves it as it was.
bool CompactDatabaseFile(const std::filesystem::path& path, std::string* error = nullptr);

// The name of the compaction copy for a database path.
std::filesystem::path CompactionTempPath(const std::filesystem::path& path);

} // namespace zuvemo::core
