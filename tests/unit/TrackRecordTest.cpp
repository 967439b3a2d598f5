#include "analysis/TrackRecord.h"

#include "SyntheticMarket.h"
#include "analysis/CSVMDB.h"
#include "analysis/HistoryFile.h"
#include "analysis/Indicators.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace zuvemo;
using analysis::TrackRecord;
using analysis::Indicators::Mark;

namespace {

using Signal = TrackRecord::Signal;

// The marks of every day from the screening's own call on the history cut after that day.
std::string cutCode(const std::vector<double>& close, const std::vector<double>& volume, int day)
{
    const int from = std::max(0, day + 1 - TrackRecord::kWindow);
    return analysis::Indicators::signalCode(close.data() + from, volume.data() + from, day + 1 - from, {});
}

void expectSameAsCut(
    const std::vector<double>& close, const std::vector<double>& volume, const std::string& what)
{
    const int n = static_cast<int>(close.size());
    std::vector<Mark> h(close.size());
    std::vector<Mark> k(close.size());
    analysis::Indicators::signalsByDay(
        close.data(), volume.data(), n, TrackRecord::kWindow, h.data(), k.data());
    for (int day = 0; day < n; ++day) {
        const auto i = static_cast<std::size_t>(day);
        ASSERT_EQ(std::string({analysis::Indicators::markDigit(h[i]), analysis::Indicators::markDigit(k[i])}),
            cutCode(close, volume, day))
            << what << ", day " << day << " of " << n;
    }
}

const TrackRecord::Row& rowOf(const TrackRecord::Group& group, Signal signal, int horizon)
{
    for (const auto& row : group.rows) {
        if (row.signal == signal && row.horizon == horizon) {
            return row;
        }
    }
    throw std::runtime_error("no row");
}

// Flat at 1000 but for a drop to 900 on day 40 on five times the volume (短期 and 出来高確認 買)
// that recovers the next day, a jump to 1100 on day 60 on three times the volume (both 売) that
// falls back the next day, and a close of 0 on the last day, day 69.
struct HandMade
{
    std::vector<double> close = std::vector<double>(70, 1000.0);
    std::vector<double> volume = std::vector<double>(70, 1000.0);
    HandMade()
    {
        close[40] = 900;
        volume[40] = 5000;
        close[60] = 1100;
        volume[60] = 3000;
        close[69] = 0;
    }
};

} // namespace

TEST(TrackRecord, EachDaysMarksAreTheScreeningsOfTheHistoryCutAfterIt)
{
    std::mt19937 random(7);
    auto uniform
        = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
    // Whole yen, half-yen steps (the exact path refuses them), closes of 0 alone and in runs long
    // enough to carry a close across a window's first day, volumes beyond the exact range, and
    // lengths on both sides of the window.
    for (int kind = 0; kind < 6; ++kind) {
        for (int length : {1, 7, 21, 249, 250, 251, 420, 600}) {
            std::vector<double> close;
            std::vector<double> volume;
            double price = 1000;
            for (int i = 0; i < length; ++i) {
                price = std::max(1.0, price * uniform(0.94, 1.06));
                double c = std::round(price);
                if (kind == 1) {
                    c = std::round(price * 2) / 2;
                }
                if (kind == 2 && uniform(0, 1) < 0.05) {
                    c = 0;
                }
                if (kind == 3 && i >= 100 && i < 380) {
                    c = 0; // a long halt: the carried close reaches back past the window's start
                }
                if (kind == 5 && i % 3 == 0) {
                    c = price; // fractions in the middle of whole-yen days
                }
                close.push_back(c);
                volume.push_back(
                    kind == 4 ? std::round(uniform(1, 4) * 1e12) : std::round(uniform(100, 90000)));
            }
            expectSameAsCut(
                close, volume, "kind " + std::to_string(kind) + ", length " + std::to_string(length));
        }
    }

    // The sample market's histories as the screening reads them, every day of each.
    sample::SyntheticMarket::Options options;
    options.stocks = 40;
    options.days = 320;
    options.today
        = std::chrono::year_month_day{std::chrono::year{2026}, std::chrono::month{12}, std::chrono::day{8}};
    sample::SyntheticMarket market(options);
    int marked = 0;
    for (const auto& stock : market.stocks()) {
        auto file = market.historyFile(stock.code);
        ASSERT_TRUE(file);
        auto rows = analysis::readHistoryBytes(*file);
        std::vector<double> close;
        std::vector<double> volume;
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            close.push_back(it->close);
            volume.push_back(it->volume);
        }
        std::vector<Mark> h(close.size());
        std::vector<Mark> k(close.size());
        analysis::Indicators::signalsByDay(close.data(), volume.data(), static_cast<int>(close.size()),
            TrackRecord::kWindow, h.data(), k.data());
        for (std::size_t day = 0; day < rows.size(); ++day) {
            // The rows a screening on that day would have read: the file's lines from that day on.
            std::vector<analysis::HistoryRow> cut(
                rows.end() - static_cast<std::ptrdiff_t>(day + 1), rows.end());
            const std::string code = analysis::signalCodeOf(cut, {0.9, 1.2});
            ASSERT_EQ(code,
                std::string(
                    {analysis::Indicators::markDigit(h[day]), analysis::Indicators::markDigit(k[day])}))
                << stock.code << " day " << day;
            marked += code != "00";
        }
    }
    EXPECT_GT(marked, 200);
}

TEST(TrackRecord, AHandMadeHistoryGivesItsCountsHitsAndReturns)
{
    HandMade history;
    // The construction does what it says, by the screening's own call on each cut.
    for (int day = 20; day < 70; ++day) {
        const std::string expected = day == 40 ? "22" : day == 60 ? "11" : "00";
        ASSERT_EQ(cutCode(history.close, history.volume, day), expected) << day;
    }
    // Before day 20 the first days are marked 買 (no mean yet), and they must not count.
    ASSERT_EQ(cutCode(history.close, history.volume, 3), "20");

    TrackRecord record({1, 5, 20});
    record.addStock(history.close, history.volume, "A");
    record.addStock(std::vector<double>(70, 500.0), std::vector<double>(70, 100.0), "B");
    EXPECT_EQ(record.stocks(), 2);
    const auto groups = record.report();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].name, "全体");
    EXPECT_EQ(groups[1].name, "A");
    EXPECT_EQ(groups[2].name, "B");
    const auto& a = groups[1];

    // Every day: from day 20 on while day t+h exists; the close of 0 on day 69 drops the day
    // that would end on it.
    EXPECT_EQ(rowOf(a, Signal::AllDays, 1).count, 48);
    EXPECT_EQ(rowOf(a, Signal::AllDays, 5).count, 44);
    EXPECT_EQ(rowOf(a, Signal::AllDays, 20).count, 29);
    // Rises on 40→41 and 59→60 (falls on 39→40 and 60→61): the rest are flat and hit nothing.
    EXPECT_EQ(rowOf(a, Signal::AllDays, 1).hits, 2);
    EXPECT_DOUBLE_EQ(rowOf(a, Signal::AllDays, 1).mean, (-0.1 + 100.0 / 900 + 0.1 - 100.0 / 1100) / 48);
    EXPECT_EQ(rowOf(a, Signal::AllDays, 1).median, 0.0);
    EXPECT_EQ(rowOf(a, Signal::AllDays, 20).hits, 1); // 40→60: 900 to 1100
    EXPECT_DOUBLE_EQ(rowOf(a, Signal::AllDays, 20).mean, (-0.1 + 200.0 / 900) / 29);

    const auto& buy1 = rowOf(a, Signal::ShortBuy, 1);
    EXPECT_EQ(buy1.count, 1);
    EXPECT_EQ(buy1.hits, 1);
    EXPECT_DOUBLE_EQ(buy1.hitRate, 1.0);
    EXPECT_DOUBLE_EQ(buy1.mean, 100.0 / 900);
    EXPECT_DOUBLE_EQ(buy1.median, 100.0 / 900);
    EXPECT_DOUBLE_EQ(rowOf(a, Signal::VolumeBuy, 20).mean, 200.0 / 900);
    const auto& sell5 = rowOf(a, Signal::ShortSell, 5);
    EXPECT_EQ(sell5.count, 1);
    EXPECT_EQ(sell5.hits, 1); // a fall is a sell's hit
    EXPECT_DOUBLE_EQ(sell5.mean, -100.0 / 1100);
    EXPECT_EQ(rowOf(a, Signal::VolumeSell, 5).count, 1);
    // Day 80 does not exist.
    EXPECT_EQ(rowOf(a, Signal::ShortSell, 20).count, 0);
    EXPECT_TRUE(rowOf(a, Signal::ShortSell, 20).chance);

    // The flat stock: every day, no rise, no signal.
    EXPECT_EQ(rowOf(groups[2], Signal::AllDays, 1).count, 49);
    EXPECT_EQ(rowOf(groups[2], Signal::AllDays, 1).hits, 0);
    EXPECT_EQ(rowOf(groups[2], Signal::ShortBuy, 1).count, 0);
    // The whole holds both.
    EXPECT_EQ(rowOf(groups[0], Signal::AllDays, 1).count, 97);
    EXPECT_EQ(rowOf(groups[0], Signal::ShortBuy, 5).count, 1);
}

TEST(TrackRecord, IntervalsAndTheMarkOfChance)
{
    auto [low, high] = TrackRecord::wilson(5, 10);
    EXPECT_NEAR(low, 0.2366, 1e-4);
    EXPECT_NEAR(high, 0.7634, 1e-4);
    std::tie(low, high) = TrackRecord::wilson(0, 10);
    EXPECT_EQ(low, 0.0);
    EXPECT_NEAR(high, 0.2775, 1e-4);
    std::tie(low, high) = TrackRecord::wilson(10, 10);
    EXPECT_NEAR(low, 0.7225, 1e-4);
    EXPECT_NEAR(high, 1.0, 1e-12);
    std::tie(low, high) = TrackRecord::wilson(81, 263);
    EXPECT_NEAR(low, 0.2553, 1e-4);
    EXPECT_NEAR(high, 0.3662, 1e-4);

    // One hit against days that rise half the time is chance; a hundred hits against days that
    // rise one time in 24 are not.
    HandMade history;
    std::vector<double> zigzag(70);
    for (std::size_t i = 0; i < zigzag.size(); ++i) {
        zigzag[i] = i % 2 == 0 ? 1000 : 1010;
    }
    TrackRecord one({1});
    one.addStock(history.close, history.volume);
    for (int i = 0; i < 20; ++i) {
        one.addStock(zigzag, history.volume);
    }
    EXPECT_EQ(rowOf(one.report()[0], Signal::ShortBuy, 1).count, 1);
    EXPECT_TRUE(rowOf(one.report()[0], Signal::ShortBuy, 1).chance);
    TrackRecord many({1});
    for (int i = 0; i < 100; ++i) {
        many.addStock(history.close, history.volume);
    }
    const auto all = many.report()[0];
    EXPECT_FALSE(rowOf(all, Signal::ShortBuy, 1).chance);
    EXPECT_FALSE(rowOf(all, Signal::VolumeSell, 1).chance);
    EXPECT_LT(rowOf(all, Signal::ShortBuy, 1).baseHigh, rowOf(all, Signal::ShortBuy, 1).low);
    EXPECT_TRUE(rowOf(all, Signal::AllDays, 1).chance);

    // A merge keeps the stocks' order: the same returns as adding them to one record.
    TrackRecord first({1, 5});
    TrackRecord second({1, 5});
    TrackRecord whole({1, 5});
    std::vector<double> other(70, 1000.0);
    for (int i = 0; i < 70; ++i) {
        other[static_cast<std::size_t>(i)] = 1000 + (i * 37 % 11) * 3;
    }
    first.addStock(history.close, history.volume, "A");
    second.addStock(other, history.volume, "B");
    whole.addStock(history.close, history.volume, "A");
    whole.addStock(other, history.volume, "B");
    first.merge(std::move(second));
    EXPECT_EQ(first.stocks(), 2);
    const auto merged = first.report();
    const auto together = whole.report();
    ASSERT_EQ(merged.size(), together.size());
    for (std::size_t g = 0; g < merged.size(); ++g) {
        ASSERT_EQ(merged[g].rows.size(), together[g].rows.size());
        for (std::size_t r = 0; r < merged[g].rows.size(); ++r) {
            EXPECT_EQ(merged[g].rows[r].count, together[g].rows[r].count);
            EXPECT_EQ(merged[g].rows[r].mean, together[g].rows[r].mean);
            EXPECT_EQ(merged[g].rows[r].median, together[g].rows[r].median);
        }
    }
}
