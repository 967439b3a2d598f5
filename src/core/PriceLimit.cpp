#include "PriceLimit.h"

#include <algorithm>
#include <iterator>

namespace zuvemo::core {

namespace {

struct Step
{
    double below, width;
};

constexpr Step kTable[] = {{100, 30}, {200, 50}, {500, 80}, {700, 100}, {1'000, 150}, {1'500, 300},
    {2'000, 400}, {3'000, 500}, {5'000, 700}, {7'000, 1'000}, {10'000, 1'500}, {15'000, 3'000},
    {20'000, 4'000}, {30'000, 5'000}, {50'000, 7'000}, {70'000, 10'000}, {100'000, 15'000}, {150'000, 30'000},
    {200'000, 40'000}, {300'000, 50'000}, {500'000, 70'000}, {700'000, 100'000}, {1'000'000, 150'000},
    {1'500'000, 300'000}, {2'000'000, 400'000}, {3'000'000, 500'000}, {5'000'000, 700'000},
    {7'000'000, 1'000'000}, {10'000'000, 1'500'000}, {15'000'000, 3'000'000}, {20'000'000, 4'000'000},
    {30'000'000, 5'000'000}, {50'000'000, 7'000'000}};

constexpr double kLargest = 10'000'000;

} // namespace

double PriceLimit::width(double base)
{
    const auto* step = std::upper_bound(std::begin(kTable), std::end(kTable), base,
        [](double price, const Step& s) { return price < s.below; });
    return step == std::end(kTable) ? kLargest : step->width;
}

PriceLimit::Limits PriceLimit::of(double base)
{
    const double w = width(base);
    return {base + w, std::max(base - w, 1.0)};
}

double PriceLimit::base(double previousClose, double adjFactor)
{
    return adjFactor > 0 && adjFactor != 1.0 ? previousClose * adjFactor : previousClose;
}

} // namespace zuvemo::core
