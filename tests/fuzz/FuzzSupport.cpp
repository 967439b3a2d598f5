#include "FuzzSupport.h"

#include <fstream>
#include <unistd.h>

namespace zuvemo::fuzz {

std::filesystem::path scratchFile(const std::uint8_t* data, std::size_t size)
{
    static const std::filesystem::path path = [] {
        std::filesystem::path folder
            = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        return folder / ("zuvemo-fuzz-" + std::to_string(::getpid()) + ".txt");
    }();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace zuvemo::fuzz
