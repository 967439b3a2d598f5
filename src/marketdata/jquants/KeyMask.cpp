#include "KeyMask.h"

#include <algorithm>

namespace zuvemo::marketdata {

KeyMask::KeyMask(std::string key)
    : m_key(std::move(key))
{
    const std::string_view whole(m_key);
    for (std::size_t i = 0; i + kPiece <= whole.size(); ++i) {
        m_pieces.insert(whole.substr(i, kPiece));
    }
    for (const char c : m_key) {
        m_inKey[static_cast<unsigned char>(c)] = true;
    }
}

std::vector<bool> KeyMask::covered(std::string_view text) const
{
    std::vector<bool> in(text.size(), false);
    if (m_key.empty()) {
        return in;
    }
    if (m_key.size() < kPiece) {
        for (auto at = text.find(m_key); at != std::string_view::npos; at = text.find(m_key, at + 1)) {
            std::fill(
                in.begin() + static_cast<long>(at), in.begin() + static_cast<long>(at + m_key.size()), true);
        }
        return in;
    }
    for (std::size_t i = 0; i + kPiece <= text.size(); ++i) {
        if (m_pieces.count(text.substr(i, kPiece))) {
            std::fill(in.begin() + static_cast<long>(i), in.begin() + static_cast<long>(i + kPiece), true);
        }
    }
    return in;
}

bool KeyMask::holds(std::string_view text) const
{
    if (m_key.empty() || text.size() < std::min(m_key.size(), kPiece)) {
        return false;
    }
    if (m_key.size() < kPiece) {
        return text.find(m_key) != std::string_view::npos;
    }
    // Only where kPiece bytes in a row are each of the key's is a piece looked up: a whole
    // monthly file passes through here.
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        run = m_inKey[static_cast<unsigned char>(text[i])] ? run + 1 : 0;
        if (run >= kPiece && m_pieces.count(text.substr(i + 1 - kPiece, kPiece))) {
            return true;
        }
    }
    return false;
}

bool KeyMask::holdsAnywhere(const nlohmann::json& value) const
{
    if (value.is_string()) {
        return holds(value.get_ref<const std::string&>());
    }
    if (value.is_array()) {
        return std::any_of(
            value.begin(), value.end(), [this](const nlohmann::json& v) { return holdsAnywhere(v); });
    }
    if (value.is_object()) {
        for (const auto& [name, v] : value.items()) {
            if (holds(name) || holdsAnywhere(v)) {
                return true;
            }
        }
    }
    return false;
}

std::string KeyMask::masked(std::string_view text) const
{
    const auto in = covered(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!in[i]) {
            out.push_back(text[i]);
        } else if (i == 0 || !in[i - 1]) {
            out += kMask;
        }
    }
    return out;
}

} // namespace zuvemo::marketdata
