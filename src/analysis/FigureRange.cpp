#include "FigureRange.h"

#include "core/Value.h"

#include <tuple>

namespace zuvemo::analysis {

FigureRange::Parsed FigureRange::parse(
    std::string_view low, std::string_view high, const FigureTable::Figure& figure)
{
    Parsed out;
    StockFinder::Range r;
    for (auto [text, bound, bad] :
        {std::tuple{low, &r.min, &out.badLow}, std::tuple{high, &r.max, &out.badHigh}}) {
        if (text.empty()) {
            continue;
        }
        *bound = core::Value::decimal(text);
        *bad = !*bound;
    }
    if (out.badLow || out.badHigh) {
        out.error = kNotNumber;
        return out;
    }
    if (r.min && r.max && *r.min > *r.max) {
        out.error = kUpsideDown;
        out.badHigh = true;
    } else if (figure.nonNegative && ((r.min && *r.min < 0) || (r.max && *r.max < 0))) {
        out.error = kNegative;
        out.badLow = r.min && *r.min < 0;
        out.badHigh = r.max && *r.max < 0;
    }
    if (!out.ok() || (!r.min && !r.max)) {
        return out;
    }
    for (auto* bound : {&r.min, &r.max}) {
        if (*bound) {
            **bound *= figure.scale;
        }
    }
    out.range = r;
    return out;
}

FigureRange::Parsed FigureRange::parse(std::string_view text, const FigureTable::Figure& figure)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
        Parsed out;
        out.error = kNotRange;
        return out;
    }
    return parse(text.substr(0, colon), text.substr(colon + 1), figure);
}

} // namespace zuvemo::analysis
