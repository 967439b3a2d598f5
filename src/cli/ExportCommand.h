#pragma once

#include "CliArguments.h"

#include <filesystem>

namespace zuvemo::cli {

// export CODE [--out PATH] [--open]: the single-stock chart workbook; prints the path written.
int runExport(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
