#pragma once

#include <filesystem>
#include <string>

namespace zuvemo::core {

// Holds a lock that only one running copy of a program can hold. The operating system releases
// it when the process ends, so a copy that crashed does not block the next start.
class SingleInstance
{
public:
    // name: the program; the lock is per program and program folder (by default the folder of
    // the executable).
    explicit SingleInstance(const std::string& name, const std::filesystem::path& folder = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another copy holds the lock.
    bool acquire();
    void release();

private:
    std::string m_path;
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace zuvemo::core
