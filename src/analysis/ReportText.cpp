#include "ReportText.h"

#include <cstdio>
#include <cstdlib>
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
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    for (int digits = 1; digits <= 17; ++digits) {
        char shorter[64];
        std::snprintf(shorter, sizeof shorter, "%.*g", digits, value);
        if (std::strtod(shorter, nullptr) == value) {
            return shorter;
        }
    }
    return buffer;
}

} // namespace zuvemo::analysis::ReportText
