#pragma once

#include <string>

namespace zuvemo::marketdata {

// One stock's day in a J-Quants folder's price store, as a history shows it: the raw close, the
// adjusted values and the turnover.
struct StoredDay
{
    std::string date; // YYYY-MM-DD
    bool traded = false; // false: no trade that day, null prices
    double c = 0, va = 0;
    double adjO = 0, adjH = 0, adjL = 0, adjC = 0, adjVo = 0;
};

} // namespace zuvemo::marketdata
