#pragma once

namespace zuvemo::core {

// The Tokyo exchange's daily price limit (制限値幅): how far a stock may move from its base
// price (基準値段, normally the previous close) in a day. The widening after two days stuck at
// a limit is not modelled.
class PriceLimit
{
public:
    // The width in yen for a base price, from the exchange's table in force since 2010.
    static double width(double base);

    struct Limits
    {
        double upper = 0, lower = 0;
    };
    // base ± width, the lower limit at least 1 yen.
    static Limits of(double base);
    // The base of a day: the previous day's close (unadjusted, carried over days without a
    // trade) times the day's split factor when it is not 1.
    static double base(double previousClose, double adjFactor);

    // Within 0.05 yen of the limit or beyond it: prices come in steps of at least 0.1 yen.
    static bool atUpper(double price, const Limits& limits) { return price >= limits.upper - kTolerance; }
    static bool atLower(double price, const Limits& limits) { return price <= limits.lower + kTolerance; }

    static constexpr double kTolerance = 0.05;
};

} // namespace zuvemo::core
