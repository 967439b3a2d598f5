#pragma once

#include "FileLock.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace zuvemo::core {

// One long command at a time per program folder: a refresh deletes the histories a screening
// reads, and two imports would interleave their lists. The command-line tool and the windows
// take the same lock, for as long as the command runs.
class CommandLock
{
public:
    static constexpr const char* kBusyMessage = "他の処理が実行中です。終了してから実行してください。";
    static constexpr int kWaitMs = 3000;

    // Waits up to waitMs, calling whileWaiting between tries. Nothing when another command
    // holds the folder, or when the lock file cannot be written (a lock not taken is not held);
    // why is then in *message.
    static std::unique_ptr<FileLock> acquire(const std::filesystem::path& programFolder, std::string* message,
        int waitMs = kWaitMs, const std::function<void()>& whileWaiting = {});

    static std::filesystem::path lockFile(const std::filesystem::path& programFolder);
};

} // namespace zuvemo::core
