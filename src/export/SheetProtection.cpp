#include "SheetProtection.h"

#include <array>
#include <cstdint>
#include <sodium.h>
#include <stdexcept>
#include <vector>

namespace zuvemo::exporting::SheetProtection {

namespace {

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready) {
        throw std::runtime_error("libsodium cannot start");
    }
}

std::string toBase64(const unsigned char* data, std::size_t size)
{
    std::string out(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.find('\0'));
    return out;
}

// UTF-8 to UTF-16 little-endian bytes.
std::vector<unsigned char> utf16le(const std::string& text)
{
    std::vector<unsigned char> out;
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else {
            cp = c & 0x07;
            extra = 3;
        }
        for (std::size_t k = 1; k <= extra && i + k < text.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += extra + 1;
        auto unit = [&out](std::uint32_t u) {
            out.push_back(static_cast<unsigned char>(u & 0xFF));
            out.push_back(static_cast<unsigned char>(u >> 8));
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

} // namespace

std::string hashValue(const std::string& password, const std::string& saltBase64, int spinCount)
{
    ensureSodium();
    std::vector<unsigned char> salt(saltBase64.size());
    std::size_t saltLen = 0;
    if (sodium_base642bin(salt.data(), salt.size(), saltBase64.data(), saltBase64.size(), nullptr, &saltLen,
            nullptr, sodium_base64_VARIANT_ORIGINAL)
        != 0) {
        throw std::invalid_argument("salt is not base64");
    }
    salt.resize(saltLen);
    auto pw = utf16le(password);
    std::array<unsigned char, crypto_hash_sha512_BYTES> h{};
    crypto_hash_sha512_state state;
    crypto_hash_sha512_init(&state);
    crypto_hash_sha512_update(&state, salt.data(), salt.size());
    crypto_hash_sha512_update(&state, pw.data(), pw.size());
    crypto_hash_sha512_final(&state, h.data());
    std::array<unsigned char, crypto_hash_sha512_BYTES + 4> buffer{};
    for (int i = 0; i < spinCount; ++i) {
        std::copy(h.begin(), h.end(), buffer.begin());
        auto n = static_cast<std::uint32_t>(i);
        buffer[64] = static_cast<unsigned char>(n & 0xFF);
        buffer[65] = static_cast<unsigned char>((n >> 8) & 0xFF);
        buffer[66] = static_cast<unsigned char>((n >> 16) & 0xFF);
        buffer[67] = static_cast<unsigned char>((n >> 24) & 0xFF);
        crypto_hash_sha512(h.data(), buffer.data(), buffer.size());
    }
    return toBase64(h.data(), h.size());
}

std::string newSalt()
{
    ensureSodium();
    std::array<unsigned char, 16> salt{};
    randombytes_buf(salt.data(), salt.size());
    return toBase64(salt.data(), salt.size());
}

} // namespace zuvemo::exporting::SheetProtection
