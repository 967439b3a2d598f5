#pragma once

#include <string>

namespace zuvemo::analysis::ReportText {

// A field of a CSV row: quoted where it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);
// The shortest text that reads back as the same double ("0.03", "1234.5").
std::string shortest(double value);

} // namespace zuvemo::analysis::ReportText
