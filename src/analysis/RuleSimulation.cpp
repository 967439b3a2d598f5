#include "RuleSimulation.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

namespace zuvemo::analysis {

namespace {

struct Position
{
    std::size_t stock = 0;
    long long shares = 0;
    double price = 0;
    std::size_t bought = 0, due = 0;
    double dividends = 0; // credited while held
};

} // namespace

double RuleSimulation::maxDrawdown(double start, const std::vector<double>& values)
{
    double peak = start;
    double worst = 0;
    for (const double v : values) {
        peak = std::max(peak, v);
        if (peak > 0) {
            worst = std::max(worst, (peak - v) / peak);
        }
    }
    return worst;
}

double RuleSimulation::annualised(double start, double final, int days)
{
    if (days <= 0 || start <= 0 || final < 0) {
        return 0;
    }
    return std::pow(final / start, 245.0 / days) - 1;
}

std::vector<RuleSimulation::Year> RuleSimulation::years(
    double capital, const std::vector<Point>& equity, const std::vector<Trade>& sold)
{
    std::vector<Year> out;
    double value = capital, market = capital, topix = capital; // at the end of the year before
    bool withTopix = !equity.empty() && equity.front().topix.has_value();
    for (std::size_t i = 0; i < equity.size(); ++i) {
        const auto& p = equity[i];
        if (out.empty() || p.date.compare(0, 4, out.back().year) != 0) {
            if (i > 0) {
                value = equity[i - 1].value;
                market = equity[i - 1].market;
                topix = equity[i - 1].topix.value_or(0);
            }
            out.push_back(Year{p.date.substr(0, 4), 0, 0, 0, 0, std::nullopt, 0, 0});
        }
        auto& year = out.back();
        ++year.days;
        year.totalReturn = value > 0 ? p.value / value - 1 : 0;
        year.marketReturn = market > 0 ? p.market / market - 1 : 0;
        withTopix = withTopix && p.topix.has_value();
        if (withTopix && topix > 0) {
            year.topixReturn = *p.topix / topix - 1;
        } else {
            year.topixReturn.reset();
        }
    }
    for (const auto& t : sold) {
        for (auto& year : out) {
            year.trades += t.sold.compare(0, 4, year.year) == 0;
        }
    }
    return out;
}

RuleSimulation::Result RuleSimulation::run(const Market& market, std::size_t first,
    const std::vector<std::vector<std::size_t>>& events, const Settings& s)
{
    Result result;
    const std::size_t n = market.days.size();
    if (first >= n) {
        return result;
    }
    std::vector<Position> held;
    std::vector<char> holding(market.codes.size(), 0);
    double cash = s.capital;
    const double buyFactor = 1 + s.cost;
    const double sellFactor = 1 - s.cost;
    auto fills = [&](std::size_t stock, std::size_t day, std::uint8_t bit) {
        return market.fills.empty() || market.fills[stock].empty() || (market.fills[stock][day] & bit) != 0;
    };
    auto lastDay = [&](std::size_t stock) { return market.lastDay.empty() ? kNoDay : market.lastDay[stock]; };
    // A position's newest close up to day, its price when it has none since it was bought.
    auto closeOf = [&](const Position& p, std::size_t day) {
        const auto& close = market.close[p.stock];
        for (std::size_t d = std::min(day, n - 1) + 1; d-- > p.bought;) {
            if (!std::isnan(close[d])) {
                return close[d];
            }
        }
        return p.price;
    };
    auto equityAt = [&](std::size_t day) {
        double equity = cash;
        for (const auto& p : held) {
            equity += static_cast<double>(p.shares) * closeOf(p, day);
        }
        return equity;
    };
    // Buys the stocks in order while a slot is free; valuedAt: the day whose closes value what is
    // held. A buy the day does not fill passes its slot to the next stock.
    auto buy = [&](std::size_t day, const std::vector<std::size_t>& stocks, bool atOpen, std::size_t valuedAt,
                   std::size_t due) {
        if (stocks.empty()) {
            return;
        }
        const double share = equityAt(valuedAt) / s.slotCount;
        for (const std::size_t stock : stocks) {
            if (static_cast<int>(held.size()) >= s.slotCount) {
                break;
            }
            if (holding[stock]) {
                continue;
            }
            const double price = (atOpen ? market.open : market.close)[stock][day];
            // A stock on its last day before delisting would be sold as it is bought.
            if (std::isnan(price) || !(price > 0) || !fills(stock, day, atOpen ? BuyAtOpen : BuyAtClose)
                || lastDay(stock) == day) {
                ++result.unfilled;
                continue;
            }
            const double budget = std::min(cash, share);
            if (!(budget > 0)) {
                break;
            }
            long long shares
                = static_cast<long long>(std::floor(budget / (price * buyFactor) / s.lot)) * s.lot;
            while (shares > 0 && static_cast<double>(shares) * price * buyFactor > budget) {
                shares -= s.lot;
            }
            if (shares <= 0) {
                continue;
            }
            cash -= static_cast<double>(shares) * price * buyFactor;
            holding[stock] = 1;
            held.push_back(Position{stock, shares, price, day, due, 0});
        }
    };

    std::vector<double> equity;
    std::vector<double> marketLine;
    std::map<std::string, double> realised, paid, credited; // by year
    int exposed = 0;
    int wins = 0;
    double marketValue = s.capital;
    for (std::size_t day = first; day < n; ++day) {
        const std::string year = market.days[day].substr(0, 4);
        if (s.nextOpen && day > first && day - 1 < events.size()) {
            buy(day, events[day - 1], true, day - 1, day - 1 + static_cast<std::size_t>(s.horizon));
        }
        // A share held at the close before its ex-date earns the dividend.
        if (s.dividends && !market.dividends.empty()) {
            for (auto& p : held) {
                for (const auto& [ex, perShare] : market.dividends[p.stock]) {
                    if (ex == day && p.bought < day) {
                        const double amount = static_cast<double>(p.shares) * perShare;
                        cash += amount;
                        p.dividends += amount;
                        realised[year] += amount;
                        credited[year] += amount;
                        result.dividends += amount;
                    }
                }
            }
        }
        for (auto it = held.begin(); it != held.end();) {
            // Due and filled at the close, or the last close of a stock being delisted.
            const bool last = lastDay(it->stock) == day;
            if (!last
                && (it->due > day || !fills(it->stock, day, SellAtClose)
                    || std::isnan(market.close[it->stock][day]))) {
                ++it;
                continue;
            }
            const double price = market.close[it->stock][day];
            const double proceeds = static_cast<double>(it->shares) * price * sellFactor;
            const double cost = static_cast<double>(it->shares) * it->price * buyFactor;
            Trade trade;
            trade.code = market.codes[it->stock];
            trade.bought = market.days[it->bought];
            trade.sold = market.days[day];
            trade.buyPrice = it->price;
            trade.sellPrice = price;
            trade.shares = it->shares;
            trade.dividends = it->dividends;
            trade.gain = proceeds - cost + it->dividends;
            trade.delisted = last;
            realised[year] += proceeds - cost;
            wins += trade.gain > 0;
            result.sold.push_back(std::move(trade));
            cash += proceeds;
            holding[it->stock] = 0;
            it = held.erase(it);
        }
        if (!s.nextOpen && day < events.size()) {
            buy(day, events[day], false, day, day + static_cast<std::size_t>(s.horizon));
        }
        // The year's tax on its net realised gain, on its last day; a loss offsets only its year.
        if (s.tax && (day + 1 == n || market.days[day + 1].compare(0, 4, year) != 0) && realised[year] > 0) {
            const double tax = realised[year] * kTaxRate;
            cash -= tax;
            paid[year] += tax;
            result.tax += tax;
        }
        const double value = equityAt(day);
        exposed += !held.empty();
        if (day > first && !std::isnan(market.meanChange[day])) {
            marketValue *= 1 + market.meanChange[day];
        }
        equity.push_back(value);
        marketLine.push_back(marketValue);
        result.equity.push_back(Point{market.days[day], value, marketValue, std::nullopt});
    }
    // TOPIX beside them, scaled to the capital, where it is stored for every day simulated.
    const bool topix = market.topixClose.size() == n
        && std::all_of(market.topixClose.begin() + static_cast<std::ptrdiff_t>(first),
            market.topixClose.end(), [](double c) { return c > 0; });
    if (topix) {
        std::vector<double> line;
        for (std::size_t day = first; day < n; ++day) {
            line.push_back(s.capital * market.topixClose[day] / market.topixClose[first]);
            result.equity[day - first].topix = line.back();
        }
        result.topixReturn = line.back() / s.capital - 1;
        result.topixAnnualReturn = annualised(s.capital, line.back(), static_cast<int>(n - first));
        result.topixMaxDrawdown = maxDrawdown(s.capital, line);
    }
    result.days = static_cast<int>(n - first);
    result.trades = static_cast<int>(result.sold.size());
    if (result.trades > 0) {
        result.winRate = static_cast<double>(wins) / result.trades;
    }
    result.totalReturn = equity.back() / s.capital - 1;
    result.annualReturn = annualised(s.capital, equity.back(), result.days);
    result.maxDrawdown = maxDrawdown(s.capital, equity);
    result.exposure = static_cast<double>(exposed) / result.days;
    result.marketReturn = marketLine.back() / s.capital - 1;
    result.marketAnnualReturn = annualised(s.capital, marketLine.back(), result.days);
    result.marketMaxDrawdown = maxDrawdown(s.capital, marketLine);
    result.years = years(s.capital, result.equity, result.sold);
    for (auto& y : result.years) {
        y.dividends = credited[y.year];
        y.tax = paid[y.year];
    }
    return result;
}

} // namespace zuvemo::analysis
