// The daily quote file: the date check and the import into a database in memory. A failed
// import must leave the previous list whole.
#include "FuzzSupport.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/Recordset.h"
#include "core/Schema.h"
#include "marketdata/DailyQuoteImport.h"

#include <cstdlib>
#include <memory>

namespace {

zuvemo::core::Mdl_Start& module()
{
    static auto m = [] {
        auto mod = std::make_unique<zuvemo::core::Mdl_Start>("/program");
        zuvemo::core::Connection::Options options;
        options.create = true;
        mod->SharedConnection = zuvemo::core::Connection::open(":memory:", options);
        zuvemo::core::Schema::createTables(*mod->SharedConnection);
        mod->SharedConnection->execute("INSERT INTO Table_Url(kabuHdate) VALUES ('20240104')");
        return mod;
    }();
    return *m;
}

int stocks(zuvemo::core::Mdl_Start& m)
{
    return m.SharedConnection->openRecordset("SELECT count(*) FROM Table_Code")->field(0).toDouble();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto path = zuvemo::fuzz::scratchFile(data, size);
    zuvemo::marketdata::CheckCSV("H", path, "2024年01月05日");
    zuvemo::marketdata::CheckCSV("M", path, "2024-01-05");
    auto& m = module();
    int before = stocks(m);
    if (!zuvemo::marketdata::CreateMDB(m, path, "2024-01-05") && stocks(m) != before) {
        std::abort();
    }
    return 0;
}
