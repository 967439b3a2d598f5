#include "CsvFields.h"

#include "core/Utf8.h"

namespace zuvemo::marketdata {

std::vector<std::string> splitFields(std::string_view line, std::size_t maxFields)
{
    std::vector<std::string> fields;
    fields.reserve(maxFields);
    std::string_view rest = line;
    while (fields.size() < maxFields) {
        std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) {
            fields.push_back(core::Utf8::trim(rest));
            break;
        }
        fields.push_back(core::Utf8::trim(rest.substr(0, comma)));
        rest = rest.substr(comma + 1);
    }
    return fields;
}

} // namespace zuvemo::marketdata
