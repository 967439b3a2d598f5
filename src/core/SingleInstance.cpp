#include "SingleInstance.h"

#include "Platform.h"

#include <filesystem>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zuvemo::core {

SingleInstance::SingleInstance(const std::string& name, const std::filesystem::path& programFolder)
{
    // One lock per program and program folder, in the temporary folder (the program folder may
    // be read-only).
    auto folder = Platform::toUtf8(programFolder.empty() ? Platform::executableFolder() : programFolder);
    auto id = std::hash<std::string>{}(folder);
    m_path = Platform::toUtf8(
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(id) + ".lock"));
}

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::acquire()
{
#ifdef _WIN32
    std::wstring mutexName = L"Local\\" + std::filesystem::path(m_path).filename().wstring();
    m_handle = CreateMutexW(nullptr, TRUE, mutexName.c_str());
    if (m_handle && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m_handle);
        m_handle = nullptr;
        return false;
    }
    return m_handle != nullptr;
#else
    if (m_fd >= 0) {
        return true;
    }
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        // No lock file can be made: do not keep the user from working.
        return true;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
#endif
}

void SingleInstance::release()
{
#ifdef _WIN32
    if (m_handle) {
        ReleaseMutex(m_handle);
        CloseHandle(m_handle);
        m_handle = nullptr;
    }
#else
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
#endif
}

} // namespace zuvemo::core
