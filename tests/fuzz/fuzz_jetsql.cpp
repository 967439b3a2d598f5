// The join-update translation on arbitrary statement texts.
#include "FuzzSupport.h"
#include "core/JetSql.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string sql(zuvemo::fuzz::bytes(data, size));
    std::string once = zuvemo::core::JetSql::translate(sql);
    // A translated text is no longer a join update: translating again changes nothing.
    if (zuvemo::core::JetSql::translate(once) != once) {
        std::abort();
    }
    return 0;
}
