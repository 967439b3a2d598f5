#pragma once

#include <string>

namespace zuvemo::analysis::ReportText {

// A text cell of a CSV row, quoted where it holds a comma, a quote or a line break. One that
// begins like a formula (=, +, -, @, a tab, a carriage return) gets an apostrophe before it: a
// spreadsheet opening the file would run it, and shows it behind the apostrophe as text. Numbers
// never come here, so a negative one stays a number.
std::string csvField(const std::string& text);
// The shortest text without an exponent that reads back as the same double ("0.03", "1234.5",
// "100").
std::string shortest(double value);

} // namespace zuvemo::analysis::ReportText
