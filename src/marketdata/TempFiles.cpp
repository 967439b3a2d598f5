#include "TempFiles.h"

#include "core/Platform.h"

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
