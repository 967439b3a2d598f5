#pragma once

#include "CliArguments.h"

#include <filesystem>

namespace zuvemo::cli {

// init --daily-url URL --history-url URL [--suffix S] [--trading-date YYYYMMDD] [--bounds L U] [--force]
int runInit(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
