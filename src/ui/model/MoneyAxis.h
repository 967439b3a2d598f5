#pragma once

#include <string>
#include <vector>

namespace zuvemo::ui {

// The value axis of a chart of money: yen, which cannot fall below 0, labelled with their digits
// grouped in 円, 万円 or 億円 as the range asks.
class MoneyAxis
{
public:
    struct Tick
    {
        double value;
        std::string label; // "0", "50万円", "1.5億円", "80,000円"
    };
    struct Scale
    {
        double min = 0, max = 1, step = 1;
        std::vector<Tick> ticks; // from min to max
    };

    // About ticks intervals over lo..hi: from 0, or from a whole tick just below lo where 0 would
    // squeeze the values into the top of the chart; never below 0.
    static Scale fit(double lo, double hi, int ticks = 5);
    // A tick's label on an axis of that step running up to max.
    static std::string label(double value, double step, double max);
};

} // namespace zuvemo::ui
