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
    static constexpr const char* kMalformedMessage = "APIキーの形式が正しくありません。";

    enum class Place { None, Environment, Keyring, File };

    // The keyring the program offers; none by default.
    static void setKeyring(std::shared_ptr<SecretStore> keyring);
    // The key of the first place that has one. A key with a control character, a space or a
    // byte outside printable ASCII is refused wherever it was found (it would end the request's
    // header line): nothing, and *problem says so; *problem is kMissingMessage without a key.
    static std::optional<std::string> read(Place* from = nullptr, std::string* problem = nullptr);
    // A warning when the key is read from a file that others than its owner may read (or a
    // link to one); empty otherwise. The key still works.
    static std::string fileWarning();
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
