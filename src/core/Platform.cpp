#include "Platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <thread>
#include <unistd.h>

extern char** environ;
#endif

namespace zuvemo::core::Platform {

std::filesystem::path executableFolder()
{
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return std::filesystem::path(buffer).parent_path();
#else
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path();
    }
    return exe.parent_path();
#endif
}

std::string toUtf8(const std::filesystem::path& path)
{
    auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

std::filesystem::path fromUtf8(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

bool syncFile(const std::filesystem::path& path)
{
#ifdef _WIN32
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = FlushFileBuffers(h) != 0;
    CloseHandle(h);
    return ok;
#else
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

bool syncFolder(const std::filesystem::path& folder)
{
#ifdef _WIN32
    (void)folder;
    return true;
#else
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

bool replaceFile(const std::filesystem::path& source, const std::filesystem::path& target, std::string* error,
    bool durable)
{
#ifdef _WIN32
    if (!MoveFileExW(source.c_str(), target.c_str(),
            MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0))) {
        if (error) {
            *error = "MoveFileEx failed: " + std::to_string(GetLastError());
        }
        return false;
    }
    return true;
#else
    if (::rename(source.c_str(), target.c_str()) != 0) {
        if (error) {
            *error = std::strerror(errno);
        }
        return false;
    }
    if (durable) {
        syncFolder(target.parent_path());
    }
    return true;
#endif
}

bool exchangeFiles(const std::filesystem::path& source, const std::filesystem::path& target)
{
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    return ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0;
#else
    (void)source;
    (void)target;
    return false;
#endif
}

namespace {

std::string writeFailure(int err)
{
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "ディスクの空きが足りません";
    case EACCES:
    case EPERM:
        return "書き込む権限がありません";
#ifdef EROFS
    case EROFS:
        return "読み取り専用の場所です";
#endif
    case ENOENT:
    case ENOTDIR:
        return "フォルダがありません";
    case ENAMETOOLONG:
        return "名前が長すぎます";
    default:
        return std::string("書き込みに失敗しました（") + std::strerror(err) + "）";
    }
}

// Where a chain of symbolic links ends: the file that a write through path must replace.
std::optional<std::filesystem::path> linkTarget(std::filesystem::path path, std::string* reason)
{
    namespace fs = std::filesystem;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        const auto status = fs::symlink_status(path, ec);
        if (status.type() != fs::file_type::symlink) {
            if (ec && status.type() != fs::file_type::not_found) {
                *reason = writeFailure(ec.value());
                return std::nullopt;
            }
            return path;
        }
        auto target = fs::read_symlink(path, ec);
        if (ec) {
            *reason = writeFailure(ec.value());
            return std::nullopt;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    *reason = "シンボリックリンクが循環しています";
    return std::nullopt;
}

std::atomic<unsigned> g_writeCounter{0};

} // namespace

std::optional<std::filesystem::path> replaceableFile(const std::filesystem::path& path, std::string* reason)
{
    namespace fs = std::filesystem;
    auto target = linkTarget(path, reason);
    if (!target) {
        return std::nullopt;
    }
    std::error_code ec;
    const auto type = fs::status(*target, ec).type();
    if (type == fs::file_type::directory) {
        *reason = "フォルダです";
        return std::nullopt;
    }
    if (type != fs::file_type::not_found && type != fs::file_type::regular) {
        *reason = ec ? writeFailure(ec.value()) : "通常のファイルではありません";
        return std::nullopt;
    }
    return target;
}

bool writeWholeFile(
    const std::filesystem::path& path, std::string_view bytes, std::string* error, WriteMode mode)
{
    namespace fs = std::filesystem;
    std::string reason;
    const auto fail = [&](std::string why) {
        if (error) {
            *error = std::move(why);
        }
        return false;
    };
    const auto target = replaceableFile(path, &reason);
    if (!target) {
        return fail(reason);
    }
    std::error_code ec;
    const bool exists = fs::status(*target, ec).type() == fs::file_type::regular;
    auto temp = target->parent_path()
        / fromUtf8("." + toUtf8(target->filename()) + "." + std::to_string(processId()) + "-"
            + std::to_string(g_writeCounter.fetch_add(1)) + ".tmp");
    const bool flush = mode != WriteMode::Cache;
#ifdef _WIN32
    std::FILE* file = _wfopen(temp.c_str(), L"wbx");
    if (!file) {
        return fail(writeFailure(errno));
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0
        && (!flush || _commit(_fileno(file)) == 0);
    int err = errno;
    ok = std::fclose(file) == 0 && ok;
    if (ok
        && !MoveFileExW(temp.c_str(), target->c_str(),
            MOVEFILE_REPLACE_EXISTING | (flush ? MOVEFILE_WRITE_THROUGH : 0))) {
        ok = false;
        err = EACCES;
    }
    if (!ok) {
        fs::remove(temp, ec);
        return fail(writeFailure(err));
    }
    return true;
#else
    const mode_t created = mode == WriteMode::Private ? 0600 : 0666;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, created);
    if (fd < 0) {
        return fail(writeFailure(errno));
    }
    int err = 0;
    struct stat old
    {
    };
    if (mode == WriteMode::Private) {
        ::fchmod(fd, 0600);
    } else if (exists && ::stat(target->c_str(), &old) == 0) {
        // The replacement keeps the file's permissions and, where allowed, its owner.
        ::fchmod(fd, old.st_mode & 07777);
        if (::geteuid() == 0) {
            [[maybe_unused]] int ignored = ::fchown(fd, old.st_uid, old.st_gid);
        }
    }
    // One write call where it can, so a body goes out whole rather than in pieces.
    std::size_t done = 0;
    while (done < bytes.size() && err == 0) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (err == 0 && flush && ::fsync(fd) != 0) {
        err = errno;
    }
    if (::close(fd) != 0 && err == 0) {
        err = errno;
    }
    if (err == 0 && ::rename(temp.c_str(), target->c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return fail(writeFailure(err));
    }
    if (flush) {
        syncFolder(target->parent_path());
    }
    return true;
#endif
}

void ensureStandardStreams()
{
#ifdef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (_get_osfhandle(fd) == -1) {
            const int null = _open("NUL", _O_RDWR);
            if (null >= 0 && null != fd) {
                _dup2(null, fd);
                _close(null);
            }
        }
    }
#else
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free number, which is fd itself while the lower ones are open.
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
#endif
}

namespace {

#ifndef _WIN32
// Runs xdg-open detached. With waitForFailure, a handler that fails at once (no application
// for the type) is reported; one still running after a moment is taken as started. Either way
// the process is reaped in the background.
bool spawnOpener(const std::string& target, bool waitForFailure)
{
    pid_t pid = 0;
    char program[] = "xdg-open";
    std::string arg = target;
    char* argv[] = {program, arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return false;
    }
    for (int i = 0; waitForFailure && i < 20; ++i) {
        int status = 0;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::thread([pid] {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }).detach();
    return true;
}
#endif

} // namespace

bool openWithDefaultApplication(const std::filesystem::path& file)
{
#ifdef _WIN32
    auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
#else
    return spawnOpener(toUtf8(file), true);
#endif
}

bool openAddress(const std::string& address)
{
#ifdef _WIN32
    std::wstring wide(address.begin(), address.end());
    auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
#else
    // The splash goes on at once: the browser is not waited for.
    return spawnOpener(address, false);
#endif
}

bool startProgram(const std::filesystem::path& program)
{
#ifdef _WIN32
    std::wstring cmd = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(
            program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
#else
    std::string path = toUtf8(program);
    char* argv[] = {path.data(), nullptr};
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: the program outlives the launcher and its terminal.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, path.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    return rc == 0;
#endif
}

int runProgram(const std::string& name, const std::vector<std::string>& arguments)
{
#ifdef _WIN32
    (void)name;
    (void)arguments;
    return -1;
#else
    std::vector<std::string> words;
    words.push_back(name);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, name.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

bool onSearchPath(const std::string& name)
{
    auto path = environment("PATH");
    if (!path) {
        return false;
    }
#ifdef _WIN32
    const char separator = ';';
    const std::string suffix = ".exe";
#else
    const char separator = ':';
    const std::string suffix;
#endif
    std::size_t start = 0;
    while (start <= path->size()) {
        std::size_t end = path->find(separator, start);
        if (end == std::string::npos) {
            end = path->size();
        }
        if (end > start) {
            std::error_code ec;
            auto candidate = fromUtf8(path->substr(start, end - start)) / fromUtf8(name + suffix);
            if (std::filesystem::is_regular_file(candidate, ec)) {
#ifdef _WIN32
                return true;
#else
                if (::access(candidate.c_str(), X_OK) == 0) {
                    return true;
                }
#endif
            }
        }
        start = end + 1;
    }
    return false;
}

bool folderWritable(const std::filesystem::path& folder)
{
#ifdef _WIN32
    return _waccess(folder.c_str(), 2) == 0;
#else
    return ::access(folder.c_str(), W_OK) == 0;
#endif
}

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

bool stderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

long processId()
{
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(::getpid());
#endif
}

bool processAlive(long pid)
{
    if (pid <= 0) {
        return false;
    }
#ifdef _WIN32
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    bool alive = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return alive;
#else
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

namespace {
std::atomic<bool>* g_stopFlag = nullptr;
volatile std::sig_atomic_t g_stopSignal = 0;

#ifdef _WIN32
BOOL WINAPI onConsoleStop(DWORD type)
{
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
        g_stopSignal = type == CTRL_C_EVENT ? 2 : 15;
        if (g_stopFlag) {
            g_stopFlag->store(true);
        }
        return TRUE;
    }
    return FALSE;
}
#else
void onStopSignal(int sig)
{
    g_stopSignal = sig;
    if (g_stopFlag) {
        g_stopFlag->store(true);
    }
}
#endif
} // namespace

void installStopSignals(std::atomic<bool>& flag)
{
    g_stopFlag = &flag;
#ifdef _WIN32
    SetConsoleCtrlHandler(&onConsoleStop, TRUE);
#else
    struct sigaction action = {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
#endif
}

int stopSignal()
{
    return static_cast<int>(g_stopSignal);
}

bool disableCoreDumps()
{
#ifdef _WIN32
    // Windows writes no dump of a crash unless the user asked for one.
    return true;
#else
    struct rlimit none = {0, 0};
    bool ok = ::setrlimit(RLIMIT_CORE, &none) == 0;
#ifdef __linux__
    ok = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && ok;
#endif
    return ok;
#endif
}

bool coreDumpsDisabled()
{
#ifdef _WIN32
    return true;
#else
    struct rlimit limit = {};
    bool off = ::getrlimit(RLIMIT_CORE, &limit) == 0 && limit.rlim_cur == 0;
#ifdef __linux__
    off = off && ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0;
#endif
    return off;
#endif
}

bool readableByOthers(const std::filesystem::path& file)
{
#ifdef _WIN32
    (void)file;
    return false;
#else
    // Through a symbolic link too: what counts is the file the key is read from.
    struct stat target = {};
    return ::stat(toUtf8(file).c_str(), &target) == 0 && (target.st_mode & (S_IRWXG | S_IRWXO)) != 0;
#endif
}

} // namespace zuvemo::core::Platform
