#include "TestSupport.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/wait.h>

namespace zuvemo::test {

TempFolder::TempFolder()
{
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        auto candidate = base / ("zuvemo-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    std::filesystem::permissions(
        m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

PresenterScope::PresenterScope()
    : m_recorder(std::make_shared<RecordingPresenter>())
{
    m_previous = core::SetMessagePresenter(m_recorder);
}

PresenterScope::~PresenterScope()
{
    core::SetMessagePresenter(m_previous);
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int runCommand(const std::string& command, std::string* output)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return -1;
    }
    std::array<char, 4096> buf{};
    std::string out;
    size_t n = 0;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) {
        out.append(buf.data(), n);
    }
    int status = pclose(pipe);
    if (output) {
        *output = out;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::filesystem::path binFolder()
{
    const char* dir = std::getenv("ZUVEMO_BIN_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::current_path() / "bin";
}

std::string cliCommand(const std::filesystem::path& home)
{
    return (binFolder() / "zuvemo-cli").string() + " --home " + home.string();
}

} // namespace zuvemo::test
