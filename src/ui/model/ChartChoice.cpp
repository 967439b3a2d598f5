#include "ChartChoice.h"

#include "KeptSettings.h"

#include <charconv>
#include <utility>
#include <vector>

namespace zuvemo::ui {

namespace {

struct Flag
{
    const char* name;
    bool ChartChoice::*member;
};

constexpr Flag kFlags[] = {{"means", &ChartChoice::means}, {"bollinger", &ChartChoice::bollinger},
    {"ichimoku", &ChartChoice::ichimoku}, {"zones", &ChartChoice::zones}, {"topix", &ChartChoice::topix},
    {"volume", &ChartChoice::volume}, {"macd", &ChartChoice::macd}, {"rsi", &ChartChoice::rsi},
    {"stochastics", &ChartChoice::stochastics}, {"strength", &ChartChoice::strength}};

constexpr const char* kPeriods[] = {"day", "week", "month"};

std::string lengthName(std::size_t period, std::size_t index)
{
    return std::string("mean.") + kPeriods[period] + "." + std::to_string(index + 1);
}

} // namespace

void ChartChoice::setMeanLength(int index, int length)
{
    if (index >= 0 && index < kMeans && length >= 1 && length <= kLongestMean) {
        lengths[static_cast<std::size_t>(period)][static_cast<std::size_t>(index)] = length;
    }
}

ChartChoice ChartChoice::fromKept(const std::map<std::string, std::string>& kept)
{
    ChartChoice c;
    auto value = [&kept](const std::string& name) {
        const auto it = kept.find(name);
        return it != kept.end() ? it->second : std::string();
    };
    for (std::size_t p = 0; p < std::size(kPeriods); ++p) {
        if (value("period") == kPeriods[p]) {
            c.period = static_cast<Period>(p);
        }
        for (std::size_t i = 0; i < kMeans; ++i) {
            const std::string text = value(lengthName(p, i));
            int length = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
            if (error == std::errc() && end == text.data() + text.size() && length >= 1
                && length <= kLongestMean) {
                c.lengths[p][i] = length;
            }
        }
    }
    for (const auto& f : kFlags) {
        const std::string v = value(f.name);
        if (v == "1" || v == "0") {
            c.*f.member = v == "1";
        }
    }
    return c;
}

std::map<std::string, std::string> ChartChoice::toKept() const
{
    std::map<std::string, std::string> out;
    out["period"] = kPeriods[static_cast<std::size_t>(period)];
    for (const auto& f : kFlags) {
        out[f.name] = this->*f.member ? "1" : "0";
    }
    for (std::size_t p = 0; p < std::size(kPeriods); ++p) {
        for (std::size_t i = 0; i < kMeans; ++i) {
            out[lengthName(p, i)] = std::to_string(lengths[p][i]);
        }
    }
    return out;
}

ChartChoice ChartChoice::read(core::Connection& db)
{
    return fromKept(KeptSettings::read(db, kTable));
}

void ChartChoice::write(core::Connection& db) const
{
    const auto kept = toKept();
    KeptSettings::write(
        db, kTable, std::vector<std::pair<std::string, std::string>>(kept.begin(), kept.end()));
}

} // namespace zuvemo::ui
