#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zuvemo::marketdata {

// The J-Quants API key, where J-Quants users already keep it: the environment variable
// JQUANTS_API_KEY, else the official client's file ~/.jquants-api/jquants-api.toml (table
// [jquants-api-client], key api_key). Never stored in the database nor shown.
class ApiKey
{
public:
    static constexpr const char* kMissingMessage = "APIキーが設定されていません。";

    static std::optional<std::string> read();
    // The official client's file in the user's home folder.
    static std::filesystem::path file();
    // The api_key of a file's [jquants-api-client] table.
    static std::optional<std::string> parse(const std::string& toml);
    // Writes key into file(): the folder 0700, the file 0600, replaced whole. False with a
    // Japanese reason in *error.
    static bool write(const std::string& key, std::string* error);
};

} // namespace zuvemo::marketdata
