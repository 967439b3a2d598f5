#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zuvemo::marketdata {

// Splits a line at its commas into at most maxFields fields, each trimmed of blanks. There is
// no quoting. After the last wanted field the rest of the line is dropped.
std::vector<std::string> splitFields(std::string_view line, std::size_t maxFields);

} // namespace zuvemo::marketdata
