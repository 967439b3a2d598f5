#pragma once

#include "marketdata/DataSource.h"

#include <filesystem>

namespace zuvemo::cli {

class CliArguments;

// "--api-url URL --plan P --days N" over base.
marketdata::DataSource takeSourceOptions(CliArguments& args, marketdata::DataSource base);

// source | source set csv|jquants [--api-url URL] [--plan P] [--days N] | source set-key
int runSource(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
