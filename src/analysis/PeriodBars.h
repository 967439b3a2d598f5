#pragma once

#include <string>
#include <vector>

namespace zuvemo::analysis {

// Daily bars gathered into calendar weeks (Monday to Friday) or calendar months.
class PeriodBars
{
public:
    enum class Period { Day, Week, Month };

    struct Bar
    {
        std::string date; // YYYY-MM-DD: the day's, or the period's first traded day
        double open = 0, high = 0, low = 0, close = 0, volume = 0, turnover = 0;
        bool traded = false; // false: a gap, its prices meaningless
        int firstDay = -1, lastDay = -1; // the daily bars it covers, -1 for none
    };

    // The open of a period's first traded day, the close of its last, the high and low over it,
    // volume and turnover summed; a period between the first and the last day without a trade is
    // an untraded bar (dated its first calendar day). Day gives the days as they are.
    static std::vector<Bar> of(const std::vector<Bar>& days, Period period);

    // The period a date (YYYY-MM-DD) lies in, as the date of its first calendar day: the Monday
    // of its week, the 1st of its month.
    static std::string periodStart(const std::string& date, Period period);
};

} // namespace zuvemo::analysis
