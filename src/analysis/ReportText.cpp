#include "ReportText.h"

#include <charconv>
#include <cstdio>
#include <string_view>

namespace zuvemo::analysis::ReportText {

std::string csvField(const std::string& text)
{
    constexpr std::string_view kFormulaStarts = "=+-@\t\r";
    std::string cell
        = !text.empty() && kFormulaStarts.find(text.front()) != std::string_view::npos ? "'" + text : text;
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        return cell;
    }
    std::string quoted = "\"";
    for (char c : cell) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string shortest(double value)
{
    // Fixed rather than %g, whose shortest form of a whole price of 100 yen is "1e+02".
    char buffer[400];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (written.ec == std::errc()) {
        return std::string(buffer, written.ptr);
    }
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

} // namespace zuvemo::analysis::ReportText
