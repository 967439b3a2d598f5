#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace zuvemo::marketdata {

class SecretStore;

// The J-Quants API key, looked for in this order: the environment variable JQUANTS_API_KEY, the
// desktop's keyring (when the program has one), the official client's file
// ~/.jquants-api/jquants-api.toml (table [jquants-api-client], key api_key). Never stored in
// the database nor shown.
class ApiKey
{
public:
    static constexpr const char* kMissingMessage = "APIキーが設定されていません。";

    enum class Place { None, Environment, Keyring, File };

    // The keyring the program offers; none by default.
    static void setKeyring(std::shared_ptr<SecretStore> keyring);
    static std::optional<std::string> read(Place* from = nullptr);
    // Stores key in the keyring when one takes it, else in file(); *stored says where.
    static bool store(const std::string& key, std::string* error, Place* stored = nullptr);
    // "デスクトップのキーリング", the file's path, "環境変数 JQUANTS_API_KEY".
    static std::string describe(Place place);
    // A key the API could take: printable ASCII without quotes or backslashes.
    static bool isWellFormed(const std::string& key);
    // The official client's file in the user's home folder.
    static std::filesystem::path file();
    // The api_key of a file's [jquants-api-client] table.
    static std::optional<std::string> parse(const std::string& toml);
    // Writes key into file(): the folder 0700, the file 0600, replaced whole. False with a
    // Japanese reason in *error.
    static bool write(const std::string& key, std::string* error);

private:
    static std::optional<std::string> readFile();
};

} // namespace zuvemo::marketdata
