#include "PasswordHash.h"

#include <sodium.h>

namespace zuvemo::core::PasswordHash {

namespace {

bool ready()
{
    static const bool ok = sodium_init() >= 0;
    return ok;
}

} // namespace

std::optional<std::string> hash(const std::string& text)
{
    if (!ready()) {
        return std::nullopt;
    }
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, text.data(), text.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0) {
        return std::nullopt;
    }
    return std::string(out);
}

bool isHash(const std::string& stored)
{
    return stored.rfind("$argon2", 0) == 0;
}

bool verify(const std::string& stored, const std::string& text)
{
    if (!ready() || !isHash(stored) || stored.size() >= crypto_pwhash_STRBYTES) {
        return false;
    }
    return crypto_pwhash_str_verify(stored.c_str(), text.data(), text.size()) == 0;
}

} // namespace zuvemo::core::PasswordHash
