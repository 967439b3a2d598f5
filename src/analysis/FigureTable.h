#pragma once

#include "marketdata/jquants/Fundamentals.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuvemo::analysis {

// Every figure find and "条件検索" select, sort and show by, in one place: its option and sort
// key, its JSON key, its heading and how it is shown, the scale of the numbers a user types,
// and where its value is read. A new figure is one more row here.
class FigureTable
{
public:
    // How a value is shown: PER 12.3, 0.80 倍, 3.21%, 1,234 億円, 1,234 百万円, 2.15 ×, RSI 45.2,
    // 3 日, 1,234,500 株, 2026-12-15 (a date kept as 20261215).
    enum class Unit { Times, Percent, OkuYen, MillionYen, Multiple, Points, Yen, Sigma, Days, Shares, Date };
    // Where the value comes from: JPX's figures are read in a J-Quants folder only.
    enum class Source { JQuants, Prices };

    struct Figure
    {
        const char* name; // the option --name and the sort key: "fwd-per", "dev25"
        const char* jsonKey; // "fwdPer", "dev25"
        const char* heading; // "予想PER", "25日乖離"
        Unit unit;
        int decimals; // of the number shown
        double scale; // a number as typed × scale = the value (0.01 for %, 1e8 for 億円)
        bool positiveWithoutMin; // a range without MIN asks for more than 0 (PER, 予想PER, PBR)
        bool nonNegative; // a negative bound is refused (the yield, the market value)
        bool condition; // has an option and a box; the others are in JSON and CSV only
        Source source;
        std::optional<double> marketdata::Fundamentals::Figures::*value;
    };
    // A yes-or-no condition: an option without a range and a column.
    struct Flag
    {
        const char* name; // "new-high"
        const char* jsonKey; // "newHigh"
        const char* heading; // "新高値"
        bool marketdata::Fundamentals::Figures::*value;
    };

    // A line crossing another on the day: an option taking golden or dead, and a column.
    struct Cross
    {
        const char* name; // "macd-cross"
        const char* jsonKey; // "macdCross"
        const char* heading; // "MACDクロス"
        const char* golden; // as a cell says the two ways: "GC" / "DC", "好転" / "逆転"
        const char* dead;
        int marketdata::Fundamentals::Figures::*value; // 1 golden, -1 dead, 0 none
    };

    // In the order of the JSON and CSV output.
    static const std::vector<Figure>& figures();
    static const std::vector<Flag>& flags();
    // The crosses after the 5- and 25-day means' ("cross"), which keep options of their own.
    static const std::vector<Cross>& crosses();
    static const Figure* figure(std::string_view name);
    static const Flag* flag(std::string_view name);
    static const Cross* cross(std::string_view name);
    // "golden", "dead" or "" for a cross's value.
    static const char* crossWord(int value);

    // The value as a table or grid shows it, with its unit's sign (%, none for the others); ""
    // for none.
    static std::string shown(const Figure& figure, const std::optional<double>& value);
    // "1,234,567".
    static std::string grouped(double value);
    // The names a user may give, for a message: "per, fwd-per, …".
    static std::string names(bool conditionsOnly);
};

} // namespace zuvemo::analysis
