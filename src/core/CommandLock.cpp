#include "CommandLock.h"

#include "Platform.h"

#include <chrono>
#include <thread>

namespace zuvemo::core {

std::filesystem::path CommandLock::lockFile(const std::filesystem::path& programFolder)
{
    return programFolder / ".command.lock";
}

std::unique_ptr<FileLock> CommandLock::acquire(const std::filesystem::path& programFolder,
    std::string* message, int waitMs, const std::function<void()>& whileWaiting)
{
    const auto file = lockFile(programFolder);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        auto lock = FileLock::acquire(file, FileLock::Mode::Exclusive, 0);
        if (lock && lock->held()) {
            return lock;
        }
        if (lock) {
            if (message) {
                *message = "ファイル(" + Platform::toUtf8(file) + ")を書き込めません。";
            }
            return nullptr;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (message) {
                *message = kBusyMessage;
            }
            return nullptr;
        }
        if (whileWaiting) {
            whileWaiting();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace zuvemo::core
