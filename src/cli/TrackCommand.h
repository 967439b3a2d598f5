#pragma once

#include "CliArguments.h"

#include <filesystem>

namespace zuvemo::cli {

// track [--market M] [--industry I] [--horizons 1,5,20] [--by market|industry] [--json] [--csv FILE]:
// how often the signals were right over the stored histories.
int runTrack(const std::filesystem::path& home, CliArguments& args);

} // namespace zuvemo::cli
