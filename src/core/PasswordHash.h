#pragma once

#include <optional>
#include <string>

namespace zuvemo::core::PasswordHash {

// A salted, slow hash of the text (Argon2id through libsodium, its parameters in the string).
// Empty optional when the hash cannot be made (out of memory).
std::optional<std::string> hash(const std::string& text);

// True when stored is such a hash.
bool isHash(const std::string& stored);

// True when text is the password the hash was made from.
bool verify(const std::string& stored, const std::string& text);

} // namespace zuvemo::core::PasswordHash
