#pragma once

#include <filesystem>
#include <memory>

namespace zuvemo::core {

// An advisory lock on a file of its own beside the database, held for as long as the object
// lives. Every connection of these programs holds it shared; the compaction takes it alone, so
// no connection of ours opens the file while it is being replaced.
class FileLock
{
public:
    enum class Mode { Shared, Exclusive };

    // Waits up to timeoutMs for the lock (0: one try). Nothing when it was not had in time; a
    // lock file that cannot be made at all gives an object that locks nothing.
    static std::unique_ptr<FileLock> acquire(const std::filesystem::path& lockFile, Mode mode, int timeoutMs);

    // The lock file of a database.
    static std::filesystem::path lockFileOf(const std::filesystem::path& database);

    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return m_handle >= 0; }

private:
    explicit FileLock(long long handle)
        : m_handle(handle)
    {
    }
    long long m_handle;
};

} // namespace zuvemo::core
