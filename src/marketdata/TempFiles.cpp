#include "TempFiles.h"

#include "core/Platform.h"

#include <atomic>
#include <system_error>

namespace zuvemo::marketdata {

namespace {

long leadingNumber(const std::string& text, std::size_t from)
{
    long value = 0;
    std::size_t i = from;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && i - from < 12; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return i == from ? 0 : value;
}

} // namespace

std::filesystem::path TempFiles::stagingPath(const std::filesystem::path& folder, unsigned n)
{
    return folder / (".ahead-" + std::to_string(core::Platform::processId()) + "-" + std::to_string(n));
}

std::filesystem::path TempFiles::partPath(const std::filesystem::path& target)
{
    static std::atomic<unsigned> counter{0};
    auto temp = target;
    temp += ".part-" + std::to_string(core::Platform::processId()) + "-" + std::to_string(counter++);
    return temp;
}

int TempFiles::removeStaleOf(const std::filesystem::path& target)
{
    const std::string prefix = core::Platform::toUtf8(target.filename()) + ".part";
    int removed = 0;
    std::error_code ec;
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return 0;
    }
    for (const auto& entry : it) {
        const std::string name = core::Platform::toUtf8(entry.path().filename());
        if (name.rfind(prefix, 0) != 0) {
            continue;
        }
        const std::string rest = name.substr(prefix.size());
        bool stale = false;
        if (rest.empty() || (rest.size() == 7 && rest[0] == '.')) {
            stale = true; // an earlier version's, which had no owner in its name
        } else if (rest[0] == '-') {
            const long owner = ownerOf(name);
            stale = owner > 0 && !core::Platform::processAlive(owner);
        }
        std::error_code rec;
        if (stale && entry.is_regular_file(rec) && std::filesystem::remove(entry.path(), rec)) {
            ++removed;
        }
    }
    return removed;
}

long TempFiles::ownerOf(const std::string& name)
{
    static const std::string part = ".part-";
    static const std::string ahead = ".ahead";
    auto p = name.rfind(part);
    if (p != std::string::npos) {
        return leadingNumber(name, p + part.size());
    }
    auto a = name.rfind(ahead);
    if (a == std::string::npos) {
        return -1;
    }
    if (a + ahead.size() == name.size()) {
        return 0;
    }
    if (name[a + ahead.size()] == '-') {
        return leadingNumber(name, a + ahead.size() + 1);
    }
    return -1;
}

int TempFiles::removeStale(const std::filesystem::path& folder)
{
    int removed = 0;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return 0;
    }
    for (const auto& entry : it) {
        const std::string name = core::Platform::toUtf8(entry.path().filename());
        long owner = ownerOf(name);
        if (owner < 0 || (owner > 0 && core::Platform::processAlive(owner))) {
            continue;
        }
        std::error_code rec;
        if (entry.is_regular_file(rec) && std::filesystem::remove(entry.path(), rec)) {
            ++removed;
        }
    }
    return removed;
}

} // namespace zuvemo::marketdata
