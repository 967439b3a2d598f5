#include "ApiKey.h"

#include "SecretStore.h"
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

std::shared_ptr<SecretStore>& keyring()
{
    static std::shared_ptr<SecretStore> store;
    return store;
}

} // namespace

void ApiKey::setKeyring(std::shared_ptr<SecretStore> store)
{
    keyring() = std::move(store);
}

std::optional<std::string> ApiKey::read(Place* from, std::string* problem)
{
    auto found = [from, problem](Place place, std::string key) {
        if (from) {
            *from = place;
        }
        if (!isWellFormed(key)) {
            if (problem) {
                *problem = kMalformedMessage;
            }
            return std::optional<std::string>();
        }
        return std::optional<std::string>(std::move(key));
    };
    if (from) {
        *from = Place::None;
    }
    if (problem) {
        *problem = kMissingMessage;
    }
    if (auto key = core::Platform::environment("JQUANTS_API_KEY")) {
        auto trimmed = core::Utf8::trim(*key);
        if (!trimmed.empty()) {
            return found(Place::Environment, trimmed);
        }
    }
    if (const auto& store = keyring()) {
        std::string key;
        if (store->read(key) == SecretStore::Status::Found && !core::Utf8::trim(key).empty()) {
            return found(Place::Keyring, core::Utf8::trim(key));
        }
    }
    if (auto key = readFile()) {
        return found(Place::File, *key);
    }
    return std::nullopt;
}

std::string ApiKey::fileWarning()
{
    const auto path = file();
    if (!core::Platform::readableByOthers(path)) {
        return {};
    }
    return "APIキーのファイル（" + core::Platform::toUtf8(path)
        + "）は他のユーザーも読めます。chmod 600 で本人だけが読めるようにしてください。";
}

bool ApiKey::store(const std::string& key, std::string* error, Place* stored)
{
    if (!isWellFormed(key)) {
        if (error) {
            *error = "APIキーの形式が正しくありません。";
        }
        return false;
    }
    if (const auto& store = keyring(); store && store->write(key)) {
        if (stored) {
            *stored = Place::Keyring;
        }
        return true;
    }
    if (!write(key, error)) {
        return false;
    }
    if (stored) {
        *stored = Place::File;
    }
    return true;
}

std::string ApiKey::describe(Place place)
{
    switch (place) {
    case Place::Environment:
        return "環境変数 JQUANTS_API_KEY";
    case Place::Keyring:
        return "デスクトップのキーリング";
    case Place::File:
        return core::Platform::toUtf8(file());
    case Place::None:
        break;
    }
    return "なし";
}

bool ApiKey::isWellFormed(const std::string& key)
{
    bool plain = !key.empty();
    for (char c : key) {
        plain = plain && c > ' ' && c < 0x7f && c != '"' && c != '\\';
    }
    return plain;
}

std::optional<std::string> ApiKey::readFile()
{
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
    if (!isWellFormed(key)) {
        if (error) {
            *error = "APIキーの形式が正しくありません。";
        }
        return false;
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    fs::permissions(path.parent_path(), fs::perms::owner_all, fs::perm_options::replace, ec);
    std::string reason;
    if (!core::Platform::writeWholeFile(path, std::string(kTable) + "\napi_key = \"" + key + "\"\n", &reason,
            core::Platform::WriteMode::Private)) {
        if (error) {
            *error = "ファイル(" + core::Platform::toUtf8(path) + ")を書き込めません。（" + reason + "）";
        }
        return false;
    }
    return true;
}

} // namespace zuvemo::marketdata
