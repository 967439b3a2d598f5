#include "FileLock.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zuvemo::core {

std::filesystem::path FileLock::lockFileOf(const std::filesystem::path& database)
{
    auto lock = database;
    lock += "-lock";
    return lock;
}

std::unique_ptr<FileLock> FileLock::acquire(const std::filesystem::path& lockFile, Mode mode, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
#ifdef _WIN32
    HANDLE h = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
        nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::unique_ptr<FileLock>(new FileLock(-1));
    }
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (mode == Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    for (;;) {
        OVERLAPPED o = {};
        if (LockFileEx(h, flags, 0, 1, 0, &o)) {
            return std::unique_ptr<FileLock>(new FileLock(reinterpret_cast<long long>(h)));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            CloseHandle(h);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
#else
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        // A folder the program may not write: the database open decides what happens.
        return std::unique_ptr<FileLock>(new FileLock(-1));
    }
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (;;) {
        if (::flock(fd, operation) == 0) {
            return std::unique_ptr<FileLock>(new FileLock(fd));
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
#endif
}

FileLock::~FileLock()
{
    if (m_handle < 0) {
        return;
    }
#ifdef _WIN32
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
#else
    ::close(static_cast<int>(m_handle));
#endif
}

} // namespace zuvemo::core
