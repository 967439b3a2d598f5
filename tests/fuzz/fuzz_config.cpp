// The configuration file reader on arbitrary bytes.
#include "FuzzSupport.h"
#include "core/Mdl_Start.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::filesystem::path database;
    bool ok = zuvemo::core::Mdl_Start::parseConfig(zuvemo::fuzz::bytes(data, size), "/program", database);
    // A key that was found always lies below the program folder's path text.
    if (ok && !database.empty() && database.string().rfind("/program", 0) != 0) {
        std::abort();
    }
    return 0;
}
