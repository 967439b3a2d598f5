#pragma once

#include <string>

namespace zuvemo::exporting::SheetProtection {

constexpr int kSpinCount = 100000;

// The SHA-512 sheet password hash of Office Open XML: H = SHA512(salt || UTF-16LE(password)),
// then spinCount times H = SHA512(H || iteration as uint32 little-endian). Base64 of H.
std::string hashValue(const std::string& password, const std::string& saltBase64, int spinCount = kSpinCount);

// Sixteen random bytes, base64.
std::string newSalt();

} // namespace zuvemo::exporting::SheetProtection
