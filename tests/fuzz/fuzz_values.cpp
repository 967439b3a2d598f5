// The value rules, the number formats and the code page 932 decoding.
#include "FuzzSupport.h"
#include "core/TextCodec.h"
#include "core/Utf8.h"
#include "core/Value.h"
#include "core/ValueRules.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace zuvemo::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto text = zuvemo::fuzz::bytes(data, size);
    std::string decoded = TextCodec::decodeCp932Lossy(text);
    if (!Utf8::isValid(decoded)) {
        std::abort();
    }
    std::string trimmed = TrimOrSpace(std::string_view(decoded));
    if (trimmed.empty()) {
        std::abort();
    }
    std::string digits = NumberOrZero(std::string_view(decoded));
    if (digits != "0" && !IsAllowedChars(digits, "T")) {
        std::abort();
    }
    for (const char* mode : {"T", "S", "K", "X"}) {
        IsAllowedChars(decoded, mode);
    }
    Utf8::left(decoded, size % 13);
    Utf8::mid(decoded, size % 7, size % 5);
    SqlText(decoded);
    if (size >= sizeof(double)) {
        double v = 0;
        std::memcpy(&v, data, sizeof v);
        for (const char* pattern : {"#,###", "#,##0", "#,##0.00", "#.##", "0.00%"}) {
            FormatNumber(v, pattern);
        }
        RoundToLong(v);
        Value(v).toText();
    }
    Value(std::string(decoded)).toDouble();
    return 0;
}
