#pragma once

#include "CliArguments.h"
#include "analysis/StockFinder.h"

#include <filesystem>

namespace zuvemo::cli {

// find [--market M] [--industry I] [--signal 買|売] [--confirmed] [--per MIN:MAX] [--fwd-per MIN:MAX]
// [--pbr MIN:MAX] [--roe MIN:MAX] [--yield MIN:MAX] [--cap MIN:MAX] [--sort KEY[:desc]] [--limit N]
// [--json] [--csv FILE]: the stocks of the list held that meet every condition, from what is stored.
int runFind(const std::filesystem::path& home, CliArguments& args);

// find's conditions and its --sort, as track takes them too. True when a condition beyond the
// market and the industry was given.
bool takeConditions(CliArguments& args, analysis::StockFinder::Conditions& conditions);

} // namespace zuvemo::cli
