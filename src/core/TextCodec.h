#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zuvemo::core::TextCodec {

// Code page 932 (Shift_JIS as Windows writes it) to UTF-8. Empty optional on an invalid byte sequence.
std::optional<std::string> decodeCp932(std::string_view bytes);

// As decodeCp932, but an invalid byte becomes U+FFFD instead of failing the whole text.
std::string decodeCp932Lossy(std::string_view bytes);

// UTF-8 to code page 932. Empty optional when a character has no code page 932 form.
std::optional<std::string> encodeCp932(std::string_view utf8);

} // namespace zuvemo::core::TextCodec
