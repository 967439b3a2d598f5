#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zuvemo::fuzz {

// Writes the input to one scratch file of this process (in memory where the system has
// /dev/shm) and returns its path.
std::filesystem::path scratchFile(const std::uint8_t* data, std::size_t size);

inline std::string_view bytes(const std::uint8_t* data, std::size_t size)
{
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

} // namespace zuvemo::fuzz
