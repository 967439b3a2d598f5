#pragma once

#include "marketdata/DataSource.h"

#include <filesystem>
#include <optional>
#include <string>

namespace zuvemo::cli {

class CliArguments;

// "--api-url URL --plan P --days N", each optional.
struct SourceOptions
{
    std::optional<std::string> apiUrl;
    std::optional<std::string> plan;
    std::optional<int> days;
    // base with the options given put in.
    marketdata::DataSource over(marketdata::DataSource base) const;
};
SourceOptions takeSourceOptions(CliArguments& args);

// source | source set csv|jquants [--api-url URL] [--plan P] [--days N] | source set-key
int runSource(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
