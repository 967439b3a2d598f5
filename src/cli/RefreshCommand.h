#pragma once

#include "CliArguments.h"

#include <filesystem>

namespace zuvemo::cli {

// refresh: loads the newest daily quote list; prints its trading date as YYYY-MM-DD.
int runRefresh(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
