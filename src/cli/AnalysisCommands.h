#pragma once

#include "CliArguments.h"

#include <filesystem>

namespace zuvemo::cli {

// analyse FILE [--chart]: runs the analysis on one history file; prints the signal code.
int runAnalyse(const std::filesystem::path& home, CliArguments& args);

// screen [--market M] [--industry I] [--jobs N]: the screening run; prints one summary line.
int runScreen(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
