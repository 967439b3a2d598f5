#pragma once

#include "FigureTable.h"
#include "StockFinder.h"

#include <optional>
#include <string>
#include <string_view>

namespace zuvemo::analysis {

// A range of one figure as a user types it, checked alike for find's options and the dialog's
// boxes: each bound a decimal number or nothing, MIN not above MAX, no negative bound for a
// figure that cannot be negative.
class FigureRange
{
public:
    static constexpr const char* kNotNumber = "数字を入力してください。";
    static constexpr const char* kUpsideDown = "上限が下限より小さいです。";
    static constexpr const char* kNegative = "負の値は指定できません。";
    static constexpr const char* kNotRange = "下限:上限 の形で指定してください。";

    struct Parsed
    {
        // In the figure's units (fractions for %, yen for 億円); none when both bounds are empty.
        std::optional<StockFinder::Range> range;
        std::string error; // Japanese, one of the messages above; empty when the range is good
        // The bound to mend: an upside-down range's is its MAX, the one said to be smaller.
        bool badLow = false, badHigh = false;
        bool ok() const { return error.empty(); }
    };

    // The bounds as typed, in the units shown (%, 億円), "" for an open side.
    static Parsed parse(std::string_view low, std::string_view high, const FigureTable::Figure& figure);
    // "MIN:MAX", either side left out.
    static Parsed parse(std::string_view text, const FigureTable::Figure& figure);
};

} // namespace zuvemo::analysis
