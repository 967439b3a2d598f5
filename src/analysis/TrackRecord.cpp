#include "TrackRecord.h"

#include <algorithm>
#include <cmath>

namespace zuvemo::analysis {

namespace {

constexpr double kZ = 1.959963984540054; // two-sided 95 %

bool isHit(TrackRecord::Signal signal, double r)
{
    switch (signal) {
    case TrackRecord::Signal::ShortSell:
    case TrackRecord::Signal::VolumeSell:
        return r < 0;
    default:
        return r > 0;
    }
}

bool isSell(TrackRecord::Signal signal)
{
    return signal == TrackRecord::Signal::ShortSell || signal == TrackRecord::Signal::VolumeSell;
}

} // namespace

TrackRecord::TrackRecord(std::vector<int> horizons)
    : m_horizons(std::move(horizons))
{
    for (auto& perHorizon : m_all) {
        perHorizon.resize(m_horizons.size());
    }
}

TrackRecord::Returns& TrackRecord::returnsOf(const std::string& group)
{
    auto [it, added] = m_groups.try_emplace(group);
    if (added) {
        for (auto& perHorizon : it->second) {
            perHorizon.resize(m_horizons.size());
        }
    }
    return it->second;
}

void TrackRecord::addStock(const std::vector<HistoryRow>& newestFirst, const std::string& group)
{
    std::vector<double> close;
    std::vector<double> volume;
    close.reserve(newestFirst.size());
    volume.reserve(newestFirst.size());
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) {
        close.push_back(it->close);
        volume.push_back(it->volume);
    }
    addStock(close, volume, group);
}

void TrackRecord::addStock(
    const std::vector<double>& close, const std::vector<double>& volume, const std::string& group)
{
    const int n = static_cast<int>(std::min(close.size(), volume.size()));
    m_h.clear();
    m_k.clear();
    if (n == 0) {
        return;
    }
    ++m_stocks;
    m_h.resize(static_cast<std::size_t>(n));
    m_k.resize(static_cast<std::size_t>(n));
    Indicators::signalsByDay(close.data(), volume.data(), n, kWindow, m_h.data(), m_k.data());
    Returns* groupReturns = group.empty() ? nullptr : &returnsOf(group);
    auto add = [&](Signal signal, std::size_t h, double r) {
        m_all[static_cast<std::size_t>(signal)][h].push_back(r);
        if (groupReturns) {
            (*groupReturns)[static_cast<std::size_t>(signal)][h].push_back(r);
        }
    };
    auto signalOf = [](Indicators::Mark mark, Signal buy, Signal sell) -> std::optional<Signal> {
        if (mark == Indicators::Mark::Buy) {
            return buy;
        }
        if (mark == Indicators::Mark::Sell) {
            return sell;
        }
        return std::nullopt;
    };
    for (std::size_t h = 0; h < m_horizons.size(); ++h) {
        const auto horizon = static_cast<std::size_t>(m_horizons[h]);
        for (std::size_t t = kPastDays; t + horizon < static_cast<std::size_t>(n); ++t) {
            const double from = close[t];
            const double to = close[t + horizon];
            if (from == 0 || to == 0) {
                continue;
            }
            const double r = (to - from) / from;
            add(Signal::AllDays, h, r);
            if (auto s = signalOf(m_h[t], Signal::ShortBuy, Signal::ShortSell)) {
                add(*s, h, r);
            }
            if (auto s = signalOf(m_k[t], Signal::VolumeBuy, Signal::VolumeSell)) {
                add(*s, h, r);
            }
        }
    }
}

void TrackRecord::merge(TrackRecord&& other)
{
    auto append = [](Returns& to, Returns& from) {
        for (std::size_t s = 0; s < to.size(); ++s) {
            for (std::size_t h = 0; h < to[s].size() && h < from[s].size(); ++h) {
                to[s][h].insert(to[s][h].end(), from[s][h].begin(), from[s][h].end());
            }
        }
    };
    m_stocks += other.m_stocks;
    append(m_all, other.m_all);
    for (auto& [name, returns] : other.m_groups) {
        append(returnsOf(name), returns);
    }
    other = TrackRecord(m_horizons);
}

void TrackRecord::reserve(std::size_t days)
{
    for (auto& values : m_all[static_cast<std::size_t>(Signal::AllDays)]) {
        values.reserve(days);
    }
}

std::pair<double, double> TrackRecord::wilson(int hits, int count)
{
    if (count <= 0) {
        return {0.0, 1.0};
    }
    const double n = count;
    const double p = hits / n;
    const double z2 = kZ * kZ;
    const double denominator = 1 + z2 / n;
    const double centre = (p + z2 / (2 * n)) / denominator;
    const double half = kZ / denominator * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n));
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

std::vector<TrackRecord::Row> TrackRecord::rowsOf(const Returns& returns) const
{
    std::vector<Row> rows;
    rows.reserve(kSignals * m_horizons.size());
    // The base lines: the shares of rises and of falls over every day.
    std::vector<std::pair<double, double>> rises;
    std::vector<std::pair<double, double>> falls;
    rises.reserve(m_horizons.size());
    falls.reserve(m_horizons.size());
    for (std::size_t h = 0; h < m_horizons.size(); ++h) {
        const auto& all = returns[static_cast<std::size_t>(Signal::AllDays)][h];
        const int n = static_cast<int>(all.size());
        rises.push_back(wilson(
            static_cast<int>(std::count_if(all.begin(), all.end(), [](double r) { return r > 0; })), n));
        falls.push_back(wilson(
            static_cast<int>(std::count_if(all.begin(), all.end(), [](double r) { return r < 0; })), n));
    }
    std::vector<double> sorted;
    for (int s = 0; s < kSignals; ++s) {
        const auto signal = static_cast<Signal>(s);
        for (std::size_t h = 0; h < m_horizons.size(); ++h) {
            const auto& values = returns[static_cast<std::size_t>(s)][h];
            Row row;
            row.signal = signal;
            row.horizon = m_horizons[h];
            row.count = static_cast<int>(values.size());
            double sum = 0;
            for (double r : values) {
                row.hits += isHit(signal, r);
                sum += r;
            }
            if (row.count > 0) {
                row.hitRate = static_cast<double>(row.hits) / row.count;
                row.mean = sum / row.count;
                sorted = values;
                const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
                std::nth_element(sorted.begin(), middle, sorted.end());
                row.median = sorted.size() % 2 == 1
                    ? *middle
                    : (*std::max_element(sorted.begin(), middle) + *middle) / 2;
            }
            std::tie(row.low, row.high) = wilson(row.hits, row.count);
            const auto& base = isSell(signal) ? falls[h] : rises[h];
            row.baseLow = base.first;
            row.baseHigh = base.second;
            row.chance = row.count == 0 || (row.low <= base.second && base.first <= row.high);
            rows.push_back(row);
        }
    }
    return rows;
}

std::vector<TrackRecord::Group> TrackRecord::report() const
{
    std::vector<Group> groups;
    groups.reserve(m_groups.size() + 1);
    groups.push_back(Group{kAllGroup, rowsOf(m_all)});
    for (const auto& [name, returns] : m_groups) {
        groups.push_back(Group{name, rowsOf(returns)});
    }
    return groups;
}

std::string TrackRecord::signalName(Signal signal)
{
    switch (signal) {
    case Signal::ShortBuy:
        return "短期買";
    case Signal::ShortSell:
        return "短期売";
    case Signal::VolumeBuy:
        return "出来高確認買";
    case Signal::VolumeSell:
        return "出来高確認売";
    case Signal::Rule:
        return "条件";
    default:
        return "全日";
    }
}

} // namespace zuvemo::analysis
