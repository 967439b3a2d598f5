#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zuvemo::marketdata {

// Finds the API key in a server's text: the whole key, or any kPiece or more of its characters
// in a row, so a server that echoes part of it shows no usable piece either.
class KeyMask
{
public:
    static constexpr std::size_t kPiece = 8;
    static constexpr const char* kMask = "****";

    explicit KeyMask(std::string key);

    // True when text holds the key or a piece of it.
    bool holds(std::string_view text) const;
    // True when any string of value, or any name of its objects, holds the key or a piece of it.
    bool holdsAnywhere(const nlohmann::json& value) const;
    // text with every piece of the key replaced by kMask.
    std::string masked(std::string_view text) const;

    // For each byte of text, whether it lies in a piece of the key.
    std::vector<bool> covered(std::string_view text) const;

private:
    std::string m_key;
    std::unordered_set<std::string_view> m_pieces; // views into m_key
    std::array<bool, 256> m_inKey{}; // the bytes the key holds: text of others holds no piece
};

} // namespace zuvemo::marketdata
