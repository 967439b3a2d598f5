#include "Utf8.h"

#include <map>

namespace zuvemo::core::Utf8 {

namespace {

std::size_t byteOffset(std::string_view text, std::size_t chars)
{
    std::size_t i = 0;
    std::size_t count = 0;
    while (i < text.size() && count < chars) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
            ++i;
        }
        ++count;
    }
    return i;
}

} // namespace

std::size_t length(std::string_view text)
{
    std::size_t count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

std::string left(std::string_view text, std::size_t n)
{
    return std::string(text.substr(0, byteOffset(text, n)));
}

std::string mid(std::string_view text, std::size_t start, std::size_t n)
{
    if (start < 1) {
        start = 1;
    }
    std::size_t from = byteOffset(text, start - 1);
    std::string_view rest = text.substr(from);
    if (n == std::string::npos) {
        return std::string(rest);
    }
    return std::string(rest.substr(0, byteOffset(rest, n)));
}

std::string trim(std::string_view text)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && text[b] == ' ') {
        ++b;
    }
    while (e > b && text[e - 1] == ' ') {
        --e;
    }
    return std::string(text.substr(b, e - b));
}

std::string asciiNumber(std::string_view text)
{
    static const std::map<std::string_view, std::string_view> wide = {{"０", "0"}, {"１", "1"}, {"２", "2"},
        {"３", "3"}, {"４", "4"}, {"５", "5"}, {"６", "6"}, {"７", "7"}, {"８", "8"}, {"９", "9"},
        {"．", "."}, {"－", "-"}, {"−", "-"}, {"＋", "+"}, {"，", ""}, {",", ""}, {"　", ""}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [from, to] : wide) {
            if (text.substr(i, from.size()) == from) {
                out += to;
                i += from.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += text[i++];
        }
    }
    return trim(out);
}

bool isValid(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        if (c < 0x80) {
            extra = 0;
        } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
        } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        // No longer form than needed, no surrogate half, nothing past U+10FFFF.
        const auto second = extra > 0 ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90)
            || (c == 0xF4 && second > 0x8F)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

} // namespace zuvemo::core::Utf8
