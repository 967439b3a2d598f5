#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The few operating-system calls the library needs. Everything platform specific stays here.
namespace zuvemo::core::Platform {

// Folder of the running executable.
std::filesystem::path executableFolder();

// UTF-8 text of a path, for messages and SQL.
std::string toUtf8(const std::filesystem::path& path);
std::filesystem::path fromUtf8(const std::string& text);

// Flushes a file's contents to the disk. False when the file cannot be opened or flushed.
bool syncFile(const std::filesystem::path& path);

// Flushes a folder entry (after a rename) to the disk. Best effort on platforms without it.
bool syncFolder(const std::filesystem::path& folder);

// Replaces target by source in one step; target never goes missing. A durable replacement also
// flushes the folder entry, so the new name survives a power cut; caches that any run can fetch
// again skip that.
bool replaceFile(const std::filesystem::path& source, const std::filesystem::path& target, std::string* error,
    bool durable = true);

// Swaps two existing files' contents in one step, so the old content of target stays under
// source for reuse. False where either is missing or the platform cannot do it.
bool exchangeFiles(const std::filesystem::path& source, const std::filesystem::path& target);

// How a whole file is put in place. Durable flushes the file and its folder entry, so the new
// content survives a power cut; Cache skips both, for files any run can make again; Private is
// Durable and readable by the owner alone, from the first byte.
enum class WriteMode { Durable, Cache, Private };

// The file that replacing path must replace: path itself, or the file a chain of symbolic links
// ends at (which need not exist yet). Nothing, with the reason in Japanese, when that is anything
// but a regular file (a folder, a device, a FIFO) or the links cannot be followed.
std::optional<std::filesystem::path> replaceableFile(const std::filesystem::path& path, std::string* reason);

// Writes bytes as the whole of path: into a new file beside it, which is renamed over path only
// once complete, so path holds either its old content or all of bytes, never a part and never
// nothing. A symbolic link is followed to the file it names; that file is replaced and the link
// kept. A path naming anything but a regular file (a folder, a device, a FIFO) is refused before
// anything is opened. False, with the reason in Japanese in error, when it cannot be written; only
// the new file is then removed.
bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes, std::string* error = nullptr,
    WriteMode mode = WriteMode::Durable);

// Opens the null device on any of the standard descriptors 0, 1 and 2 that is closed, so that no
// file the program opens later can take one of those numbers and receive its output.
void ensureStandardStreams();

// Starts the desktop's default application for a file (or address) without waiting for it.
// False when nothing could be started.
bool openWithDefaultApplication(const std::filesystem::path& file);
bool openAddress(const std::string& address);

// Starts a program as a new process with no arguments, without waiting for it. False when it
// could not be started.
bool startProgram(const std::filesystem::path& program);

// Runs a program found on the search path with arguments, waits for it and gives its exit
// status; -1 when it could not be started or did not exit by itself. Its output goes nowhere.
int runProgram(const std::string& name, const std::vector<std::string>& arguments);

// True when a program of that name lies on the search path.
bool onSearchPath(const std::string& name);

// True when this process may create files in folder.
bool folderWritable(const std::filesystem::path& folder);

// The value of an environment variable; nothing when it is unset or empty.
std::optional<std::string> environment(const char* name);

// True when standard error is a terminal (for progress bars).
bool stderrIsTerminal();

// Identifier of the running process.
long processId();

// True while a process with this identifier runs (false for 0 and negative identifiers).
bool processAlive(long pid);

// From now on SIGINT and SIGTERM (Ctrl+C and Ctrl+Break on Windows) only set flag and record
// the signal's number, so a long run can stop cleanly at its next step.
void installStopSignals(std::atomic<bool>& flag);
// The number of the signal that set the flag, or 0.
int stopSignal();

// No core file of this process from now on (it would hold the API key): the core size limit
// set to 0 and, on Linux, the process made non-dumpable. False when either was refused.
bool disableCoreDumps();
bool coreDumpsDisabled();
// True when users other than the owner may read or write file (the file a symbolic link names,
// for a link); false where the platform keeps no such bits.
bool readableByOthers(const std::filesystem::path& file);

} // namespace zuvemo::core::Platform
