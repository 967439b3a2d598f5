#pragma once

#include "core/FileLock.h"
#include "core/Mdl_Start.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/jquants/JQuantsClient.h"

#include <atomic>
#include <filesystem>
#include <memory>

namespace zuvemo::core {
class DatabaseError;
}

namespace zuvemo::cli {

// The program folder opened as the programs open it: configuration file, database file,
// connection; each failure is reported with the programs' own message.
class CliSession
{
public:
    explicit CliSession(const std::filesystem::path& home);
    // False after the failure message has been shown.
    bool open();
    // Takes the folder's lock of long commands for the session's lifetime; false after the
    // message has been shown.
    bool lockCommands();
    core::Mdl_Start& module() { return m_module; }
    // The downloader of histories: a J-Quants folder's price store, else the server.
    std::unique_ptr<marketdata::Downloader> historyDownloader(
        const marketdata::CurlDownloader::Options& options);
    // The request options of a J-Quants folder: the stop flag of signals, and the time-out of
    // each request when one is given (milliseconds; 0 keeps the client's own).
    static marketdata::JQuantsClient::Options jquantsOptions(long timeoutMs = 0);

private:
    core::Mdl_Start m_module;
    std::unique_ptr<core::FileLock> m_commandLock;
};

// A refused statement on standard error: what failed in Japanese, then the engine's words and
// the statement on a line of their own.
void printDatabaseError(const core::DatabaseError& e);

// Writes a file the user named for a report (--csv): whole or not at all, through a symbolic
// link to its file, never over a database, a folder, a device or a FIFO. False after the reason
// has been shown on standard error.
bool writeReportFile(const std::string& path, const std::string& bytes);

// Names on standard error a key file that other users may read; the key still works.
void warnOfKeyFile();

// Shows message boxes as one line of text on standard error.
void installCliPresenter();

// Set by SIGINT or SIGTERM: a run stops at its next step and removes its temporary files.
std::atomic<bool>& stopRequested();
// 128 plus the signal's number once a signal asked the run to stop (130, 143), else 0.
int stoppedExitStatus();

class CliArguments;
// "--timeout SECONDS": the total deadline of each transfer, in milliseconds.
long takeTimeoutMs(CliArguments& args, long defaultMs);

} // namespace zuvemo::cli
