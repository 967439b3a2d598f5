#include "ApiKey.h"

#include "core/Platform.h"
#include "core/Utf8.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace zuvemo::marketdata {

namespace {

constexpr const char* kTable = "[jquants-api-client]";

// A TOML basic or literal string, or a bare word.
std::string unquote(std::string value)
{
    value = core::Utf8::trim(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
        const char quote = value.front();
        const auto end = value.find(quote, 1);
        return end == std::string::npos ? std::string() : value.substr(1, end - 1);
    }
    const auto comment = value.find('#');
    return core::Utf8::trim(comment == std::string::npos ? value : value.substr(0, comment));
}

} // namespace

std::optional<std::string> ApiKey::read()
{
    if (auto key = core::Platform::environment("JQUANTS_API_KEY")) {
        auto trimmed = core::Utf8::trim(*key);
        if (!trimmed.empty()) {
            return trimmed;
        }
    }
    std::ifstream in(file(), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

std::filesystem::path ApiKey::file()
{
    auto home = core::Platform::environment("HOME");
#ifdef _WIN32
    if (!home) {
        home = core::Platform::environment("USERPROFILE");
    }
#endif
    return core::Platform::fromUtf8(home.value_or(".")) / ".jquants-api" / "jquants-api.toml";
}

std::optional<std::string> ApiKey::parse(const std::string& toml)
{
    std::istringstream lines(toml);
    std::string line;
    bool inTable = false;
    while (std::getline(lines, line)) {
        const std::string t = core::Utf8::trim(line);
        if (!t.empty() && t.front() == '[') {
            inTable = t.rfind(kTable, 0) == 0;
            continue;
        }
        const auto equals = t.find('=');
        if (!inTable || equals == std::string::npos || core::Utf8::trim(t.substr(0, equals)) != "api_key") {
            continue;
        }
        std::string key = unquote(t.substr(equals + 1));
        if (!key.empty()) {
            return key;
        }
    }
    return std::nullopt;
}

bool ApiKey::write(const std::string& key, std::string* error)
{
    namespace fs = std::filesystem;
    const auto path = file();
    bool plain = !key.empty();
    for (char c : key) {
        plain = plain && c > ' ' && c < 0x7f && c != '"' && c != '\\';
    }
    if (!plain) {
        if (error) {
            *error = "APIキーの形式が正しくありません。";
        }
        return false;
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    fs::permissions(path.parent_path(), fs::perms::owner_all, fs::perm_options::replace, ec);
    // Written beside the file with no permission for others, then put in place.
    auto temp = path;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
        out << kTable << "\napi_key = \"" << key << "\"\n";
        out.flush();
        if (!out || ec) {
            out.close();
            fs::remove(temp, ec);
            if (error) {
                *error = "ファイル(" + core::Platform::toUtf8(path) + ")を書き込めません。";
            }
            return false;
        }
    }
    if (!core::Platform::replaceFile(temp, path, nullptr)) {
        fs::remove(temp, ec);
        if (error) {
            *error = "ファイル(" + core::Platform::toUtf8(path) + ")を書き込めません。";
        }
        return false;
    }
    return true;
}

} // namespace zuvemo::marketdata
