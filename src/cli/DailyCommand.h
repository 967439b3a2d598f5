#pragma once

#include "CliArguments.h"

#include <filesystem>

namespace zuvemo::cli {

// daily [--market M] [--industry I] [--jobs N] [--timeout SECONDS] [--json] [--notify]
int runDaily(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
