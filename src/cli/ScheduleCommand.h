#pragma once

#include "CliArguments.h"

#include <filesystem>

namespace zuvemo::cli {

// schedule install [--at HH:MM] | schedule remove | schedule status
int runSchedule(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
