#include "WatchList.h"

#include "core/Mdl_Start.h"
#include "core/Recordset.h"
#include "core/ValueRules.h"

namespace zuvemo::marketdata {

double WatchList::amount(const core::Value& value)
{
    return core::Value(core::NumberOrZero(value)).toDouble();
}

double WatchList::close(const core::Value& value)
{
    return core::Value(core::PriceOrZero(value)).toDouble();
}

bool WatchList::isReached(const core::Value& today, const core::Value& target)
{
    const double G = close(today);
    const double M = amount(target);
    return G >= M && M != 0;
}

std::vector<WatchList::Reached> WatchList::reachedTargets(core::Mdl_Start& module)
{
    std::vector<Reached> out;
    auto rs = module.SharedConnection->openRecordset(" SELECT * FROM Table_KOCYU ORDER BY WmgCode ASC");
    for (; !rs->isEof(); rs->moveNext()) {
        if (isReached(rs->field("WzuvemoG"), rs->field("WzuvemoM"))) {
            out.push_back({core::TrimOrSpace(rs->field("Wmgcode")), core::TrimOrSpace(rs->field("Wmgmei")),
                close(rs->field("WzuvemoG")), amount(rs->field("WzuvemoM"))});
        }
    }
    return out;
}

void WatchList::takeCloses(core::Mdl_Start& module)
{
    auto& m = module;
    m.SqlBuffer = " UPDATE Table_KOCYU INNER JOIN Table_Code ON";
    m.SqlBuffer += " Table_KOCYU.Wmgcode = Table_Code.MgCode";
    m.SqlBuffer += " SET Table_KOCYU.WzuvemoG = Table_Code.Wecost";
    m.ExecuteShared();
}

} // namespace zuvemo::marketdata
