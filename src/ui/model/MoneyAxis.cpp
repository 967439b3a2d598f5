#include "MoneyAxis.h"

#include "ChartScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zuvemo::ui {

MoneyAxis::Scale MoneyAxis::fit(double lo, double hi, int ticks)
{
    lo = std::max(0.0, lo);
    hi = std::max(lo, hi);
    auto range = ChartScale::fit(lo, hi, false, ticks);
    if (range.min < 0) {
        range = ChartScale::fit(lo, hi, true, ticks);
    }
    Scale scale{range.min, range.max, range.step, {}};
    const auto count = std::lround((range.max - range.min) / range.step);
    for (long i = 0; i <= count; ++i) {
        const double value = range.min + static_cast<double>(i) * range.step;
        scale.ticks.push_back(Tick{value, label(value, range.step, range.max)});
    }
    return scale;
}

std::string MoneyAxis::label(double value, double step, double max)
{
    if (std::abs(value) < step * 1e-6) {
        return "0";
    }
    const double unit = max >= 1e8 ? 1e8 : (max >= 1e5 ? 1e4 : 1);
    const char* name = unit == 1e8 ? "億円" : (unit == 1e4 ? "万円" : "円");
    const int decimals = ChartScale::decimals(step / unit);
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.*f", decimals, std::abs(value) / unit);
    const std::string plain = digits;
    const std::size_t whole = std::min(plain.find('.'), plain.size());
    // The whole part's digits grouped in threes.
    std::string text = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < whole; ++i) {
        if (i > 0 && (whole - i) % 3 == 0) {
            text += ',';
        }
        text += plain[i];
    }
    text += plain.substr(whole);
    return text + name;
}

} // namespace zuvemo::ui
