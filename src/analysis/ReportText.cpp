#include "ReportText.h"

#include <cstdio>
#include <cstdlib>

namespace zuvemo::analysis::ReportText {

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
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
