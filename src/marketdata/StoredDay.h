#pragma once

#include <string>

namespace zuvemo::marketdata {

// One stock's day in a J-Quants folder's price store: the raw and the adjusted values.
struct StoredDay
{
    std::string date; // YYYY-MM-DD
    bool traded = false; // false: no trade that day, null prices
    double o = 0, h = 0, l = 0, c = 0, vo = 0, va = 0, adjFactor = 1;
    double adjO = 0, adjH = 0, adjL = 0, adjC = 0, adjVo = 0;
};

} // namespace zuvemo::marketdata
