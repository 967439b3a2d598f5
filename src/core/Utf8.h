#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Character-wise helpers for UTF-8 text: the rules count characters, not bytes.
namespace zuvemo::core::Utf8 {

std::size_t length(std::string_view text);

// The first n characters.
std::string left(std::string_view text, std::size_t n);

// n characters from the 1-based position start (as the original runtime's Mid).
std::string mid(std::string_view text, std::size_t start, std::size_t n = std::string::npos);

// Blanks (U+0020 only) removed on both sides, as the original runtime's Trim.
std::string trim(std::string_view text);

// A number as typed by a Japanese input method, in ASCII: full-width digits, point, sign and
// blanks made half-width, digit grouping commas dropped, trimmed.
std::string asciiNumber(std::string_view text);

bool isValid(std::string_view text);

} // namespace zuvemo::core::Utf8
