// A rule tested over the stored days of a sample market, against a computation of its own here
// from the store's rows: the events with and without every day, both entries, a split inside a
// horizon, an untraded next day, the years, the same days' market and the simulation's money; a
// past day's events equal to those of a store cut after it; the options it refuses; the window's
// model of it; and what the report, its files and the window say of what a test assumed, from
// results made here.
#include "SampleServer.h"
#include "TestSupport.h"
#include "analysis/RuleGrid.h"
#include "analysis/RuleTest.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/PriceLimit.h"
#include "core/Statement.h"
#include "core/Utf8.h"
#include "marketdata/jquants/PriceStore.h"
#include "model/RuleRangeModel.h"
#include "model/RuleTestDialogModel.h"
#include "model/RuleTestPace.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

using namespace zuvemo;
using nlohmann::json;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// One listing of a stock: its days, nothing outside first … last.
struct Series
{
    std::string code;
    std::vector<bool> traded;
    std::vector<double> open, close, raw; // adjusted, and the raw close
    // No buy fills: the open (the close) at the upper price limit of the day before's close.
    std::vector<bool> openStuck, closeStuck;
    std::vector<bool> closeLow; // no sale fills: the close at the lower limit
    std::vector<bool> upperTouched; // the exchange's UL flag
    std::vector<double> dividend; // on its ex-day, a share on the adjusted basis
    std::vector<std::string> market; // of each listed day
    std::size_t first = 0, last = 0;
    bool delisted = false;
    std::size_t lastTrade = 0;
    bool listed(std::size_t d) const { return d >= first && d <= last; }
};

// The stocks listed each day and the market's days as the store holds them.
struct World
{
    std::vector<std::string> days;
    std::vector<Series> stocks; // listings in code order, a code's oldest first
    std::vector<double> topixOpen, topixClose; // by day, read from the store's own table
    int dividends = 0; // the dividends counted
};

class RuleMarket : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sample::SampleServer::Options options;
        options.market.stocks = 530; // from the 513th on, the stocks of the past's cases
        options.market.days = 290; // across a new year
        options.market.today = std::chrono::year_month_day{core::Clock().today()};
        options.jquants = true;
        s_server = new sample::SampleServer(options);
        ASSERT_GT(s_server->start(0), 0);
        s_dir = new test::TempFolder;
        std::string out;
        ASSERT_EQ(cli(" init --source jquants --api-url " + s_server->apiBaseUrl()
                          + " --plan premium --days 290 --bounds 0.9 1.2 2>&1",
                      &out),
            0)
            << out;
        ASSERT_EQ(cli(" refresh 2>&1", &out), 0) << out;
        ASSERT_EQ(cli(" screen 2>&1", &out), 0) << out;
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
    }
    static int cli(const std::string& args, std::string* out, const std::filesystem::path& home = {})
    {
        return test::runCommand(
            "JQUANTS_API_KEY=sample-key " + test::cliCommand(home.empty() ? home_() : home) + args, out);
    }
    static std::filesystem::path home_() { return *s_dir / "home"; }
    // A copy of the folder whose store holds the days from first to last only, its list of last.
    static void copyDays(const std::filesystem::path& to, const std::string& first, const std::string& last)
    {
        std::filesystem::copy(home_(), to, std::filesystem::copy_options::recursive);
        auto prices = core::Connection::open(to / marketdata::PriceStore::kFileName);
        for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>>{
                 {"Table_Bar", "BarDate"}, {"Table_StoredDay", "DayDate"}, {"Table_Valuation", "ValDate"},
                 {"Table_ValuationDay", "DayDate"}, {"Table_Filing", "DiscDate"},
                 {"Table_FilingDay", "DayDate"}, {"Table_ListingSnapshot", "SnapDate"},
                 {"Table_ListingDay", "DayDate"}, {"Table_Topix", "TopixDate"}}) {
            prices->execute("DELETE FROM " + table + " WHERE " + column + " > '" + last + "' OR " + column
                + " < '" + first + "'");
        }
        prices->execute("DELETE FROM Table_PriceFigures");
        auto list = core::Connection::open(to / "zuvemo.db");
        std::string digits = last;
        digits.erase(std::remove(digits.begin(), digits.end(), '-'), digits.end());
        list->execute("UPDATE Table_Url SET kabuHdate = '" + digits + "'");
    }
    // The simulation's figure of the window's grid by its name.
    static std::string moneyCell(const ui::RuleTestDialogModel& model, const std::string& name)
    {
        for (int row = 1; row < model.money.rows(); ++row) {
            if (model.money.cell(row, 0).text == name) {
                return model.money.cell(row, 1).text;
            }
        }
        ADD_FAILURE() << "no line " << name;
        return {};
    }
    static void wait(ui::RuleTestDialogModel& model)
    {
        while (!model.poll()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    static void finish(ui::RuleTestDialogModel& model)
    {
        model.start();
        wait(model);
    }

    static World world() { return worldOf(home_()); }
    // The listings from the store's own rows, as the exchange's lists of past days show them: a
    // stock that appears is listed from its first trade after the list before; one that
    // disappears was delisted after its last trade before the list that misses it; a code back
    // after an absence is listed anew; a change of market holds from the list that shows it.
    static World worldOf(const std::filesystem::path& home)
    {
        World w;
        marketdata::PriceStore store(home);
        w.days = store.storedDays();
        const std::size_t n = w.days.size();
        auto indexOf = [&w](const std::string& day) {
            return static_cast<std::size_t>(
                std::lower_bound(w.days.begin(), w.days.end(), day) - w.days.begin());
        };
        auto prices = core::Connection::open(home / marketdata::PriceStore::kFileName);
        std::vector<std::size_t> lists; // the days of the lists, as day indexes
        std::map<std::string, std::map<std::size_t, std::string>> shown; // code: list → market
        {
            core::Statement rows(*prices,
                "SELECT d.DayDate, s.Code, s.MktNm FROM Table_ListingDay d JOIN "
                "Table_ListingSnapshot s ON s.SnapDate = d.DayDate ORDER BY d.DayDate");
            while (rows.next()) {
                const std::size_t day = indexOf(rows.columnText(0));
                if (lists.empty() || lists.back() != day) {
                    lists.push_back(day);
                }
                shown[rows.columnText(1)][lists.size() - 1] = rows.columnText(2);
            }
        }
        struct Raw
        {
            std::vector<bool> has;
            std::vector<double> o, c, factor, adjO, adjC;
            std::vector<bool> ul;
        };
        std::map<std::string, Raw> raw;
        {
            core::Statement bars(*prices,
                "SELECT BarCode, BarDate, O, C, AdjFactor, AdjO, AdjC, UL FROM Table_Bar ORDER BY BarCode, "
                "BarDate");
            while (bars.next()) {
                auto& r = raw[bars.columnText(0)];
                if (r.has.empty()) {
                    r = Raw{std::vector<bool>(n, false), std::vector<double>(n, kNone),
                        std::vector<double>(n, kNone), std::vector<double>(n, 1.0),
                        std::vector<double>(n, kNone), std::vector<double>(n, kNone),
                        std::vector<bool>(n, false)};
                }
                const std::size_t at = indexOf(bars.columnText(1));
                r.factor[at] = bars.isNull(4) ? 1.0 : bars.columnDouble(4);
                r.ul[at] = !bars.isNull(7) && bars.columnDouble(7) == 1.0;
                if (!bars.isNull(3) && !bars.isNull(6)) {
                    r.has[at] = true;
                    r.o[at] = bars.columnDouble(2);
                    r.c[at] = bars.columnDouble(3);
                    r.adjO[at] = bars.columnDouble(5);
                    r.adjC[at] = bars.columnDouble(6);
                }
            }
        }
        std::multimap<std::pair<std::string, std::size_t>, double> paid; // (code, ex-day) → yen
        {
            core::Statement rows(*prices, "SELECT name FROM sqlite_master WHERE name = 'Table_Dividend'");
            if (rows.next()) {
                core::Statement d(
                    *prices, "SELECT Code, ExDate, DivRate FROM Table_Dividend WHERE FRCode = '1'");
                while (d.next()) {
                    char* end = nullptr;
                    const std::string rate = d.columnText(2);
                    const double value = std::strtod(rate.c_str(), &end);
                    const std::size_t ex = indexOf(d.columnText(1));
                    if (!rate.empty() && end && *end == 0 && value >= 0 && ex < n
                        && w.days[ex] == d.columnText(1)) {
                        paid.emplace(std::pair{marketdata::PriceStore::listCode(d.columnText(0)), ex}, value);
                    }
                }
            }
        }
        for (const auto& [code, byList] : shown) {
            const auto it = raw.find(code);
            if (it == raw.end()) {
                continue;
            }
            const Raw& r = it->second;
            auto present = [&](std::size_t k) { return byList.count(k) > 0; };
            for (std::size_t k = 0; k < lists.size(); ++k) {
                if (!present(k) || (k > 0 && present(k - 1))) {
                    continue;
                }
                Series s;
                s.code = marketdata::PriceStore::listCode(code);
                // From its first trade after the list before, else the list's own day.
                s.first = lists[k];
                for (std::size_t d = k == 0 ? 0 : lists[k - 1] + 1; d <= lists[k]; ++d) {
                    if (r.has[d]) {
                        s.first = std::min(s.first, d);
                        break;
                    }
                }
                std::size_t gone = k + 1;
                while (gone < lists.size() && present(gone)) {
                    ++gone;
                }
                s.delisted = gone < lists.size();
                s.last = n - 1;
                if (s.delisted) {
                    s.last = lists[gone - 1];
                    for (std::size_t d = lists[gone]; d-- > s.first;) {
                        if (r.has[d]) {
                            s.last = d;
                            break;
                        }
                    }
                }
                s.traded.assign(n, false);
                s.open.assign(n, kNone);
                s.close.assign(n, kNone);
                s.raw.assign(n, kNone);
                s.openStuck.assign(n, false);
                s.closeStuck.assign(n, false);
                s.closeLow.assign(n, false);
                s.upperTouched.assign(n, false);
                s.dividend.assign(n, 0);
                s.market.assign(n, "");
                std::size_t list = k;
                double base = kNone;
                for (std::size_t d = s.first; d <= s.last; ++d) {
                    while (list + 1 < gone && lists[list + 1] <= d) {
                        ++list;
                    }
                    s.market[d] = byList.at(list);
                    s.upperTouched[d] = r.ul[d];
                    if (!std::isnan(base) && r.factor[d] != 1.0) {
                        base *= r.factor[d];
                    }
                    if (!r.has[d]) {
                        continue;
                    }
                    s.traded[d] = true;
                    s.lastTrade = d;
                    s.open[d] = r.adjO[d];
                    s.close[d] = r.adjC[d];
                    s.raw[d] = r.c[d];
                    if (!std::isnan(base)) {
                        const double width = core::PriceLimit::width(base);
                        s.openStuck[d] = r.o[d] >= base + width - 0.05;
                        s.closeStuck[d] = r.c[d] >= base + width - 0.05;
                        s.closeLow[d] = r.c[d] <= std::max(base - width, 1.0) + 0.05;
                    }
                    base = r.c[d];
                }
                for (std::size_t d = s.first; d <= s.last; ++d) {
                    const auto [from, to] = paid.equal_range({s.code, d});
                    for (auto p = from; p != to; ++p) {
                        // On the basis of the last day with a trade before the ex-date.
                        for (std::size_t t = d; t-- > s.first;) {
                            if (s.traded[t]) {
                                s.dividend[d] += p->second * s.close[t] / s.raw[t];
                                ++w.dividends;
                                break;
                            }
                        }
                    }
                }
                w.stocks.push_back(std::move(s));
            }
        }
        w.topixOpen.assign(n, kNone);
        w.topixClose.assign(n, kNone);
        core::Statement topix(*prices, "SELECT TopixDate, O, C FROM Table_Topix");
        while (topix.next()) {
            const std::size_t at = indexOf(topix.columnText(0));
            if (at < n) {
                w.topixOpen[at] = topix.columnDouble(1);
                w.topixClose[at] = topix.columnDouble(2);
            }
        }
        return w;
    }

    static sample::SampleServer* s_server;
    static test::TempFolder* s_dir;
};

sample::SampleServer* RuleMarket::s_server = nullptr;
test::TempFolder* RuleMarket::s_dir = nullptr;

// The rule of these tests straight from its definitions: a fall of 1 % or more on the day, and
// the close at or below its 5-day mean, the close carried over a day without a trade.
bool holds(const Series& s, std::size_t d)
{
    if (!s.listed(d) || !s.traded[d]) {
        return false;
    }
    std::vector<double> carried;
    for (std::size_t i = s.first; i <= d; ++i) {
        if (s.traded[i]) {
            carried.push_back(s.close[i]);
        } else if (!carried.empty()) {
            carried.push_back(carried.back());
        }
    }
    if (carried.size() < 5) {
        return false;
    }
    const std::size_t t = carried.size() - 1;
    double sum = 0;
    for (std::size_t i = t - 4; i <= t; ++i) {
        sum += carried[i];
    }
    return carried[t] / carried[t - 1] - 1 <= -0.01 && carried[t] / (sum / 5) - 1 <= 0;
}
const char* const kRule = " --chg1 :-1 --dev5 :0";

// Where a buy on day d fills: the day and its price; none when that day had no trade or was
// stuck at the upper limit.
std::optional<std::pair<std::size_t, double>> entryOf(const Series& s, std::size_t d, bool nextOpen)
{
    const std::size_t b = nextOpen ? d + 1 : d;
    if (!s.listed(b) || !s.traded[b] || (nextOpen ? s.openStuck[b] : s.closeStuck[b])) {
        return std::nullopt;
    }
    return std::pair{b, nextOpen ? s.open[b] : s.close[b]};
}

// To the close of the end day, carried from the last day with a trade on or before it, or to the
// last close of a stock delisted before it; with the dividends whose ex-day lies after the buy.
double returnOf(const Series& s, std::size_t d, int h, bool nextOpen, bool dividends = true)
{
    const auto entry = entryOf(s, d, nextOpen);
    std::size_t end = d + static_cast<std::size_t>(h);
    if (!entry || (end > s.last && !s.delisted)) {
        return kNone;
    }
    end = std::min(end, s.last);
    std::size_t last = end;
    while (last > entry->first && !s.traded[last]) {
        --last;
    }
    if (end < entry->first) {
        return kNone;
    }
    double paid = 0;
    for (std::size_t x = entry->first + 1; dividends && x <= end; ++x) {
        paid += s.dividend[x];
    }
    return (s.close[last] + paid) / entry->second - 1;
}

struct Event
{
    std::size_t day, stock;
};

// The other rule: the day touched its upper limit (ストップ高), whose close is often stuck there.
bool touchedUpper(const Series& s, std::size_t d)
{
    return s.listed(d) && s.traded[d] && s.upperTouched[d];
}
const char* const kStopHigh = " --stop-high";

std::vector<Event> eventsOf(const World& w, bool everyDay, bool (*rule)(const Series&, std::size_t) = holds)
{
    std::vector<Event> events;
    for (std::size_t d = 20; d < w.days.size(); ++d) {
        for (std::size_t s = 0; s < w.stocks.size(); ++s) {
            if (rule(w.stocks[s], d) && (everyDay || d == w.stocks[s].first || !rule(w.stocks[s], d - 1))) {
                events.push_back({d, s});
            }
        }
    }
    return events;
}

void expectRow(const json& row, const World& w, const std::vector<Event>& events, int h, bool nextOpen,
    const std::string& what, bool dividends = true)
{
    std::vector<double> returns;
    double same = 0, rises = 0, topix = 0, withTopix = 0;
    int topixCount = 0, unfilled = 0, delisted = 0;
    for (const auto& e : events) {
        unfilled += !entryOf(w.stocks[e.stock], e.day, nextOpen);
        const double r = returnOf(w.stocks[e.stock], e.day, h, nextOpen, dividends);
        if (std::isnan(r)) {
            continue;
        }
        returns.push_back(r);
        delisted += w.stocks[e.stock].delisted;
        // TOPIX from the same entry to the same end day (every day of the sample has it; an
        // event of a stock delisted ends before the store may end after it).
        if (e.day + static_cast<std::size_t>(h) < w.days.size()) {
            const double in = nextOpen ? w.topixOpen[e.day + 1] : w.topixClose[e.day];
            topix += w.topixClose[e.day + static_cast<std::size_t>(h)] / in - 1;
            withTopix += r;
            ++topixCount;
        }
        double sum = 0;
        int count = 0, up = 0;
        for (const auto& s : w.stocks) {
            if (!s.listed(e.day)) {
                continue;
            }
            const double x = returnOf(s, e.day, h, nextOpen, dividends);
            if (!std::isnan(x)) {
                sum += x;
                ++count;
                up += x > 0;
            }
        }
        same += sum / count;
        rises += static_cast<double>(up) / count;
    }
    const int n = static_cast<int>(returns.size());
    const int hits
        = static_cast<int>(std::count_if(returns.begin(), returns.end(), [](double r) { return r > 0; }));
    ASSERT_EQ(row["signal"], "条件") << what;
    ASSERT_EQ(row["horizon"], h) << what;
    ASSERT_EQ(row["count"], n) << what;
    EXPECT_EQ(row["hits"], hits) << what;
    if (n == 0) {
        EXPECT_TRUE(row["mean"].is_null()) << what;
        EXPECT_TRUE(row["sameDayMean"].is_null()) << what;
        return;
    }
    auto near = [&](const json& got, double want, const std::string& name) {
        ASSERT_TRUE(got.is_number()) << what << " " << name;
        EXPECT_NEAR(got.get<double>(), want, 1e-12) << what << " " << name;
    };
    double mean = 0;
    for (double r : returns) {
        mean += r;
    }
    mean /= n;
    std::sort(returns.begin(), returns.end());
    const double median = n % 2 ? returns[n / 2] : (returns[n / 2 - 1] + returns[n / 2]) / 2;
    // Wilson's interval at 95 %.
    const double z = 1.959963984540054, p = static_cast<double>(hits) / n;
    const double centre = (p + z * z / (2 * n)) / (1 + z * z / n);
    const double half = z / (1 + z * z / n) * std::sqrt(p * (1 - p) / n + z * z / (4.0 * n * n));
    near(row["hitRate"], p, "hitRate");
    near(row["low"], std::max(0.0, centre - half), "low");
    near(row["high"], std::min(1.0, centre + half), "high");
    near(row["mean"], mean, "mean");
    near(row["median"], median, "median");
    near(row["sameDayMean"], same / n, "sameDayMean");
    near(row["sameDayRise"], rises / n, "sameDayRise");
    near(row["excess"], mean - same / n, "excess");
    near(row["topixMean"], topix / topixCount, "topixMean");
    near(row["excessTopix"], (withTopix - topix) / topixCount, "excessTopix");
    if (row.contains("unfilled")) {
        EXPECT_EQ(row["unfilled"], unfilled) << what;
        EXPECT_EQ(row["delistedEvents"], delisted) << what;
    }
    const double share = rises / n;
    EXPECT_EQ(row["chance"], centre - half <= share && share <= centre + half) << what;
}

} // namespace

TEST_F(RuleMarket, EveryCountRateAndSameDayLineIsItsDefinitionForBothEntriesAndTheYears)
{
    const World w = world();
    ASSERT_GT(w.stocks.size(), 80U) << w.days.size();
    for (const bool everyDay : {false, true}) {
        const auto events = eventsOf(w, everyDay);
        ASSERT_GT(events.size(), 100U);
        for (const bool nextOpen : {false, true}) {
            const std::string what
                = std::string(everyDay ? "every day" : "first days") + (nextOpen ? ", next open" : ", close");
            std::string out;
            ASSERT_EQ(cli(std::string(" track") + kRule + " --horizons 1,5 --by year --json"
                              + (everyDay ? " --every-day" : "") + (nextOpen ? " --entry next-open" : ""),
                          &out),
                0)
                << out;
            const auto report = json::parse(out);
            EXPECT_EQ(report["entry"], nextOpen ? "next-open" : "close");
            EXPECT_EQ(report["evaluatedDays"], static_cast<int>(w.days.size()) - 20);
            EXPECT_EQ(report["figureDays"]["chg1"], static_cast<int>(w.days.size()) - 20);
            EXPECT_EQ(report["figureDays"]["dev5"], static_cast<int>(w.days.size()) - 20);
            // The whole selection, then each year of the evaluated days.
            std::vector<std::string> groups{"全体"};
            for (std::size_t d = 20; d < w.days.size(); ++d) {
                if (groups.back() != w.days[d].substr(0, 4)) {
                    groups.push_back(w.days[d].substr(0, 4));
                }
            }
            ASSERT_GE(groups.size(), 3U);
            ASSERT_EQ(report["groups"].size(), groups.size());
            for (std::size_t g = 0; g < groups.size(); ++g) {
                const auto& group = report["groups"][g];
                ASSERT_EQ(group["group"], groups[g]);
                std::vector<Event> mine;
                for (const auto& e : events) {
                    if (g == 0 || w.days[e.day].substr(0, 4) == groups[g]) {
                        mine.push_back(e);
                    }
                }
                ASSERT_EQ(group["rows"].size(), 2U);
                expectRow(group["rows"][0], w, mine, 1, nextOpen, what + " " + groups[g] + " 1");
                expectRow(group["rows"][1], w, mine, 5, nextOpen, what + " " + groups[g] + " 5");
            }
        }
    }

    // What the sample holds, so the cases above were met: a split inside a horizon (the raw
    // close halves, the returns above are the adjusted ones), and events whose next day had no
    // trade.
    const auto every = eventsOf(w, true);
    int acrossSplit = 0, untradedNext = 0;
    for (const auto& e : every) {
        const auto& s = w.stocks[e.stock];
        const std::size_t end = e.day + 5;
        if (end < w.days.size() && s.traded[end]) {
            const double rawRatio = s.raw[end] / s.raw[e.day];
            const double adjusted = s.close[end] / s.close[e.day];
            acrossSplit += std::abs(rawRatio / adjusted - 0.5) < 0.01;
        }
        untradedNext += e.day + 1 < w.days.size() && !s.traded[e.day + 1];
    }
    EXPECT_GT(acrossSplit, 0);
    EXPECT_GT(untradedNext, 0);
    // The past's cases: stocks since delisted with events ending at their last close, a code
    // listed twice, dividends inside a horizon.
    int delistedEnds = 0, withDividend = 0;
    std::set<std::string> delisted, codes, twice;
    for (const auto& s : w.stocks) {
        if (s.delisted) {
            delisted.insert(s.code);
        }
        if (!codes.insert(s.code).second) {
            twice.insert(s.code);
        }
    }
    for (const auto& e : every) {
        const auto& s = w.stocks[e.stock];
        delistedEnds += s.delisted && e.day + 5 > s.last && !std::isnan(returnOf(s, e.day, 5, false));
        for (std::size_t x = e.day + 1; x <= std::min(e.day + 5, s.last); ++x) {
            withDividend += s.dividend[x] > 0;
        }
    }
    EXPECT_GE(delisted.size(), 2U);
    EXPECT_EQ(twice.size(), 1U);
    EXPECT_GT(delistedEnds, 0);
    EXPECT_GT(withDividend, 0);
    EXPECT_GT(w.dividends, 4);

    // Days at the upper limit: a buy at a close stuck there fills not, nor one at an open that is.
    for (const bool nextOpen : {false, true}) {
        std::string out;
        ASSERT_EQ(cli(std::string(" track") + kStopHigh + " --every-day --horizons 1,5 --json"
                          + (nextOpen ? " --entry next-open" : ""),
                      &out),
            0)
            << out;
        const auto report = json::parse(out);
        const auto stuck = eventsOf(w, true, touchedUpper);
        ASSERT_GE(stuck.size(), 3U);
        const std::string what = std::string("stop-high") + (nextOpen ? ", next open" : ", close");
        expectRow(report["groups"][0]["rows"][0], w, stuck, 1, nextOpen, what + " 1");
        expectRow(report["groups"][0]["rows"][1], w, stuck, 5, nextOpen, what + " 5");
        int unfilled = 0;
        for (const auto& e : stuck) {
            unfilled += !entryOf(w.stocks[e.stock], e.day, nextOpen);
        }
        EXPECT_GT(unfilled, 0) << what;
    }
    // Without dividends the same rows take none.
    {
        std::string out;
        ASSERT_EQ(cli(std::string(" track") + kRule + " --horizons 1,5 --json --no-dividends", &out), 0)
            << out;
        const auto report = json::parse(out);
        expectRow(report["groups"][0]["rows"][1], w, eventsOf(w, false), 5, false, "no dividends 5", false);
    }

    // The same rows as text: the same days' lines beside the rule's.
    std::string text;
    ASSERT_EQ(cli(std::string(" track") + kRule, &text), 0);
    EXPECT_NE(text.find("同日平均"), std::string::npos) << text;
    EXPECT_NE(text.find("TOPIX平均"), std::string::npos) << text;
    EXPECT_NE(text.find("TOPIX と同じ買いの日・売りの日で比較"), std::string::npos) << text;
    EXPECT_NE(text.find("指標のあった日: 前日比"), std::string::npos) << text;
    EXPECT_EQ(text.find("全日"), std::string::npos) << text;
}

TEST_F(RuleMarket, TheSimulationsMoneyIsItsDefinition)
{
    const World w = world();
    const std::size_t n = w.days.size();
    struct Variant
    {
        bool nextOpen, dividends, tax;
    };
    for (const auto [nextOpen, dividends, tax] :
        {Variant{false, true, false}, Variant{true, true, true}, Variant{false, false, true}}) {
        // A hold of its own, apart from the rows' horizons.
        const int h = 3, slots = 3, lot = 10;
        const double cost = 0.002, capital = 200000;
        std::string out;
        ASSERT_EQ(cli(std::string(" track") + kRule
                          + " --every-day --horizons 5,1 --simulate --hold 3 --slots 3 --cost 0.2"
                          + " --capital 200000 --lot 10 --json" + (nextOpen ? " --entry next-open" : "")
                          + (dividends ? "" : " --no-dividends") + (tax ? " --tax" : ""),
                      &out),
            0)
            << out;
        const auto report = json::parse(out);
        EXPECT_EQ(report["simulation"]["hold"], h);

        // The events of each day in code order.
        std::vector<std::vector<std::size_t>> events(n);
        for (const auto& e : eventsOf(w, true)) {
            events[e.day].push_back(e.stock);
        }
        struct Held
        {
            long long shares;
            double price;
            std::size_t due, bought;
            double earned = 0; // the dividends credited while held
        };
        std::map<std::size_t, Held> held; // by stock
        double cash = capital;
        auto lastClose = [&](std::size_t s, std::size_t upTo) {
            for (std::size_t d = upTo + 1; d-- > held.at(s).bought;) {
                if (w.stocks[s].traded[d]) {
                    return w.stocks[s].close[d];
                }
            }
            return held.at(s).price;
        };
        auto worth = [&](std::size_t upTo) {
            double sum = cash;
            for (const auto& [s, p] : held) {
                sum += static_cast<double>(p.shares) * lastClose(s, upTo);
            }
            return sum;
        };
        int unfilled = 0;
        auto buy = [&](std::size_t day, const std::vector<std::size_t>& stocks, bool open, std::size_t valued,
                       std::size_t due) {
            if (stocks.empty()) {
                return;
            }
            const double each = worth(valued) / slots;
            for (const std::size_t s : stocks) {
                if (static_cast<int>(held.size()) == slots) {
                    break;
                }
                if (held.count(s)) {
                    continue;
                }
                // No fill without a trade or at the upper limit, nor on the last day before delisting.
                const auto& stock = w.stocks[s];
                if (!stock.listed(day) || !stock.traded[day]
                    || (open ? stock.openStuck[day] : stock.closeStuck[day])
                    || (stock.delisted && day == stock.lastTrade)) {
                    ++unfilled;
                    continue;
                }
                const double price = open ? stock.open[day] : stock.close[day];
                long long shares = 0;
                while (static_cast<double>(shares + lot) * price * (1 + cost) <= std::min(cash, each)) {
                    shares += lot;
                }
                if (shares > 0) {
                    cash -= static_cast<double>(shares) * price * (1 + cost);
                    held[s] = Held{shares, price, due, day, 0};
                }
            }
        };
        std::vector<double> equity, market;
        int trades = 0, wins = 0, exposed = 0, delistedSales = 0;
        double line = capital, credited = 0, paid = 0, realised = 0;
        for (std::size_t d = 20; d < n; ++d) {
            if (nextOpen && d > 20) {
                buy(d, events[d - 1], true, d - 1, d - 1 + h);
            }
            for (auto& [s, p] : held) {
                if (dividends && p.bought < d && w.stocks[s].dividend[d] > 0) {
                    const double earned = static_cast<double>(p.shares) * w.stocks[s].dividend[d];
                    p.earned += earned;
                    cash += earned;
                    credited += earned;
                    realised += earned;
                }
            }
            for (auto it = held.begin(); it != held.end();) {
                // Sold at the first close on or after the due day that is not stuck at the lower
                // limit, or at the last close there was before delisting.
                const auto& stock = w.stocks[it->first];
                const bool gone = stock.delisted && d == stock.lastTrade;
                if (!gone && (it->second.due > d || !stock.traded[d] || stock.closeLow[d])) {
                    ++it;
                    continue;
                }
                const double price = stock.close[d];
                const double proceeds = static_cast<double>(it->second.shares) * price * (1 - cost);
                const double spent = static_cast<double>(it->second.shares) * it->second.price * (1 + cost);
                ++trades;
                delistedSales += gone;
                wins += proceeds - spent + it->second.earned > 0;
                realised += proceeds - spent;
                cash += proceeds;
                it = held.erase(it);
            }
            if (!nextOpen) {
                buy(d, events[d], false, d, d + h);
            }
            if (tax && (d + 1 == n || w.days[d + 1].substr(0, 4) != w.days[d].substr(0, 4))) {
                if (realised > 0) {
                    cash -= realised * 0.20315;
                    paid += realised * 0.20315;
                }
                realised = 0;
            }
            equity.push_back(worth(d));
            exposed += !held.empty();
            if (d > 20) {
                double sum = 0;
                int count = 0;
                // Every stock listed both days by its carried close, from its first trade on.
                for (const auto& s : w.stocks) {
                    if (!s.listed(d) || !s.listed(d - 1)) {
                        continue;
                    }
                    double before = kNone, now = kNone;
                    for (std::size_t t = s.first; t <= d; ++t) {
                        if (s.traded[t]) {
                            (t < d ? before : now) = s.close[t];
                        }
                    }
                    if (!std::isnan(before)) {
                        sum += ((std::isnan(now) ? before : now) + (dividends ? s.dividend[d] : 0)) / before
                            - 1;
                        ++count;
                    }
                }
                line *= count ? 1 + sum / count : 1;
            }
            market.push_back(line);
        }
        auto drawdown = [&](const std::vector<double>& values) {
            double peak = capital, worst = 0;
            for (double v : values) {
                peak = std::max(peak, v);
                worst = std::max(worst, 1 - v / peak);
            }
            return worst;
        };
        const int days = static_cast<int>(n) - 20;
        const auto& sim = report["simulation"];
        const std::string what = std::string(nextOpen ? "next open" : "close")
            + (dividends ? ", dividends" : "") + (tax ? ", tax" : "");
        EXPECT_EQ(sim["days"], days) << what;
        EXPECT_EQ(sim["trades"], trades) << what;
        EXPECT_GT(trades, 50) << what;
        EXPECT_NEAR(sim["winRate"].get<double>(), static_cast<double>(wins) / trades, 1e-12) << what;
        EXPECT_NEAR(sim["totalReturn"].get<double>(), equity.back() / capital - 1, 1e-9) << what;
        EXPECT_NEAR(
            sim["annualReturn"].get<double>(), std::pow(equity.back() / capital, 245.0 / days) - 1, 1e-9)
            << what;
        EXPECT_NEAR(sim["maxDrawdown"].get<double>(), drawdown(equity), 1e-9) << what;
        EXPECT_NEAR(sim["exposure"].get<double>(), static_cast<double>(exposed) / days, 1e-12) << what;
        EXPECT_NEAR(sim["marketReturn"].get<double>(), market.back() / capital - 1, 1e-9) << what;
        EXPECT_NEAR(sim["marketMaxDrawdown"].get<double>(), drawdown(market), 1e-9) << what;
        if (sim.contains("tax")) {
            EXPECT_NEAR(sim["tax"].get<double>(), paid, 1e-6) << what;
            EXPECT_NEAR(sim["dividends"].get<double>(), credited, 1e-6) << what;
            EXPECT_EQ(sim["unfilled"], unfilled) << what;
        }
        // Whether a year gained depends on the sample's days; none is paid without the option.
        if (!tax) {
            EXPECT_EQ(paid, 0) << what;
        }
        ASSERT_EQ(report["equity"].size(), equity.size()) << what;
        for (std::size_t i = 0; i < equity.size(); ++i) {
            EXPECT_EQ(report["equity"][i]["date"], w.days[20 + i]);
            EXPECT_NEAR(report["equity"][i]["value"].get<double>(), equity[i], 1e-6) << what << " " << i;
            EXPECT_NEAR(report["equity"][i]["market"].get<double>(), market[i], 1e-6) << what << " " << i;
        }
        (void)delistedSales;
    }

    // The trades as a spreadsheet.
    std::string out;
    const auto csv = *s_dir / "trades.csv";
    ASSERT_EQ(cli(std::string(" track") + kRule + " --simulate --csv " + csv.string(), &out), 0) << out;
    const std::string bytes = test::readFile(csv);
    EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF"
                          "コード,買付日,買値,株数,売却日,売値,損益,配当,備考\r\n",
                  0),
        0U);

    // Without --hold a position is held for the longest horizon, in whatever order they come;
    // each trade is sold that many market days after it was bought.
    for (const auto& [horizons, hold] :
        std::vector<std::pair<std::string, int>>{{"20,1,5", 20}, {"5,1", 5}}) {
        ASSERT_EQ(cli(std::string(" track") + kRule + " --simulate --horizons " + horizons, &out), 0) << out;
        EXPECT_NE(out.find("単元 1 株、" + std::to_string(hold) + " 日保有"), std::string::npos) << out;
        ASSERT_EQ(cli(std::string(" track") + kRule + " --simulate --json --horizons " + horizons, &out), 0);
        EXPECT_EQ(json::parse(out)["simulation"]["hold"], hold);
        ASSERT_EQ(cli(std::string(" track") + kRule + " --simulate --horizons " + horizons + " --csv "
                          + csv.string(),
                      &out),
            0);
        std::istringstream rows(test::readFile(csv));
        std::string row;
        std::getline(rows, row);
        int trades = 0, onTime = 0;
        while (std::getline(rows, row)) {
            std::vector<std::string> cells;
            std::istringstream cellText(row);
            for (std::string cell; std::getline(cellText, cell, ',');) {
                cells.push_back(cell);
            }
            ASSERT_GE(cells.size(), 5U) << row;
            const auto at = [&](const std::string& day) {
                return std::lower_bound(w.days.begin(), w.days.end(), day) - w.days.begin();
            };
            // Later only where the due day had no trade, or closed at its lower limit.
            EXPECT_GE(at(cells[4]) - at(cells[1]), hold) << row;
            onTime += at(cells[4]) - at(cells[1]) == hold;
            ++trades;
        }
        EXPECT_GT(trades, 10) << horizons;
        EXPECT_GT(onTime * 10, trades * 9) << horizons;
    }
}

TEST_F(RuleMarket, APastDaysEventsAreThoseOfAStoreCutAfterItAndTheNewestDaysAreFinds)
{
    const World w = world();
    const std::string past = w.days[w.days.size() - 12];
    auto eventsOn = [](const std::filesystem::path& home, const std::string& day, const std::string& rule) {
        core::Mdl_Start module(home);
        EXPECT_TRUE(module.ReadConfigFile());
        EXPECT_TRUE(module.OpenDatabase());
        analysis::RuleTest::Options options;
        std::set<std::string> codes;
        if (rule == "signal") {
            options.conditions.signal = "買";
            options.conditions.ranges["dev25"].max = 0.02;
        } else if (rule == "growth") {
            options.conditions.ranges["op-margin"].min = 0.05;
            options.conditions.ranges["chg1"].max = 0;
        } else if (rule == "valued") {
            // A valuation beside the filings' figures: each read its own way.
            options.conditions.ranges["op-margin"].min = 0.05;
            options.conditions.ranges["per"].max = 40;
        } else if (rule == "studies") {
            options.conditions.flags.insert("below-cloud");
            options.conditions.ranges["stoch-k"].max = 30;
        } else if (rule == "macd") {
            options.conditions.crosses["macd-cross"] = 1;
        } else if (rule == "standing") {
            // Asked in another order than the figures are worked out in.
            options.conditions.ranges["rs-rank"].min = 50;
            options.conditions.ranges["rs20"].min = 0;
            options.conditions.ranges["margin-ratio"].max = 3;
        } else if (rule == "macd-hist") {
            options.conditions.ranges["macd-hist"].max = 0;
        } else if (rule == "year") {
            // The year's range and the cloud, both worked out for every day of a listing at once.
            options.conditions.ranges["from-high"].max = -0.1;
            options.conditions.flags.insert("below-cloud");
        } else {
            options.conditions.ranges["rsi"].max = 45;
            if (rule == "flag") {
                options.conditions.flags.insert("new-low");
            }
        }
        options.everyDay = true;
        options.horizons = {1};
        options.eachEvent = [&](const std::string& d, const std::string& code) {
            if (d == day) {
                codes.insert(code);
            }
        };
        const auto report = analysis::RuleTest(module).run(options);
        EXPECT_EQ(report.message, "") << rule;
        return codes;
    };
    test::TempFolder cut;
    copyDays(cut.path(), "", past);
    int seen = 0;
    for (const std::string rule : {"signal", "growth", "flag", "studies", "macd", "standing", "year"}) {
        const auto whole = eventsOn(home_(), past, rule);
        EXPECT_EQ(whole, eventsOn(cut.path(), past, rule)) << rule;
        seen += static_cast<int>(whole.size());
    }
    EXPECT_GT(seen, 0);

    // On the newest day, every day's events are the stocks find lists for the same conditions.
    std::string out;
    ASSERT_EQ(cli(" find --rsi :45 --new-low --json", &out), 0) << out;
    auto codes = [](const std::string& text) {
        std::set<std::string> out;
        const auto answer = json::parse(text);
        for (const auto& s : answer["stocks"]) {
            out.insert(s["code"].get<std::string>());
        }
        return out;
    };
    auto found = codes(out);
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "flag"), found);
    ASSERT_EQ(cli(" find --signal 買 --dev25 :2 --json", &out), 0) << out;
    found = codes(out);
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "signal"), found);
    ASSERT_EQ(cli(" find --op-margin 5: --per :40 --json", &out), 0) << out;
    found = codes(out);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "valued"), found);
    ASSERT_EQ(cli(" find --below-cloud --stoch-k :30 --json", &out), 0) << out;
    found = codes(out);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "studies"), found);
    ASSERT_EQ(cli(" find --macd-cross golden --json", &out), 0) << out;
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "macd"), codes(out));
    ASSERT_EQ(cli(" find --rs-rank 50: --rs20 0: --margin-ratio :3 --json", &out), 0) << out;
    found = codes(out);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "standing"), found);
    // The lines themselves, where a cross on one day is a handful of stocks at most.
    ASSERT_EQ(cli(" find --macd-hist :0 --json", &out), 0) << out;
    found = codes(out);
    EXPECT_GT(found.size(), 5U);
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "macd-hist"), found);
    ASSERT_EQ(cli(" find --from-high :-10 --below-cloud --json", &out), 0) << out;
    found = codes(out);
    EXPECT_GT(found.size(), 5U);
    EXPECT_EQ(eventsOn(home_(), w.days.back(), "year"), found);

    // A CSV folder's search reads each stock's own days with a trade: so does its rule.
    test::TempFolder csv;
    ASSERT_EQ(cli(" init --daily-url " + s_server->dailyBaseUrl() + " --history-url "
                      + s_server->historyBaseUrl() + " --bounds 0.9 1.2 2>&1",
                  &out, csv / "home"),
        0)
        << out;
    ASSERT_EQ(cli(" refresh 2>&1", &out, csv / "home"), 0) << out;
    ASSERT_EQ(cli(" screen 2>&1", &out, csv / "home"), 0) << out;
    ASSERT_EQ(cli(" find --rsi :45 --json", &out, csv / "home"), 0) << out;
    found = codes(out);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(eventsOn(csv / "home", w.days.back(), "rsi"), found);
    ASSERT_EQ(cli(" find --macd-hist :0 --json", &out, csv / "home"), 0) << out;
    found = codes(out);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(eventsOn(csv / "home", w.days.back(), "macd-hist"), found);
    ASSERT_EQ(cli(" find --from-high :-10 --below-cloud --json", &out, csv / "home"), 0) << out;
    found = codes(out);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(eventsOn(csv / "home", w.days.back(), "year"), found);

    // Nor does it keep dividends: asked for, they are the option's fault; by default the limits
    // say they are left out, and why.
    EXPECT_EQ(cli(" track --rsi :45 --dividends 2>&1", &out, csv / "home"), 2) << out;
    EXPECT_EQ(out, std::string("--dividends: ") + analysis::RuleTest::kNoDividendsMessage + "\n");
    ASSERT_EQ(cli(" track --rsi :45 --json", &out, csv / "home"), 0) << out;
    const auto limits = json::parse(out)["limits"];
    EXPECT_NE(std::find(limits.begin(), limits.end(),
                  "配当は含みません（配当込みの検証にはプレミアムプランの配当データが必要です）"),
        limits.end())
        << limits;
}

TEST_F(RuleMarket, BadOptionsAreRefusedByNameAndARuleThatNeverHeldSaysSo)
{
    for (const auto& [args, name] :
        std::vector<std::pair<std::string, std::string>>{{" --dev25 :0 --simulate --slots 0", "--slots"},
            {" --dev25 :0 --simulate --cost -0.1", "--cost"},
            {" --dev25 :0 --simulate --capital 9999", "--capital"},
            {" --dev25 :0 --simulate --lot 0", "--lot"}, {" --dev25 :0 --simulate --hold 0", "--hold"},
            {" --dev25 :0 --simulate --hold 251", "--hold"}, {" --dev25 :0 --hold 3", "--hold"},
            {" --hold 3", "--hold"}, {" --dev25 :0 --entry open", "--entry"}, {" --simulate", "--simulate"},
            {" --by year", "--by year"}, {" --dev25 :0 --slots 3", "--slots"}, {" --yield -3:", "--yield"},
            {" --dev25 x", "--dev25"}, {" --dev25 :0 --tax", "--tax は --simulate と一緒に"},
            {" --tax", "--tax"}, {" --dividends", "--dividends"}, {" --no-dividends", "--no-dividends"},
            {" --dev25 :0 --dividends --no-dividends", "--dividends と --no-dividends は一緒に"}}) {
        std::string out;
        EXPECT_EQ(cli(" track" + args + " 2>&1", &out), 2) << args << ": " << out;
        EXPECT_NE(out.find(name), std::string::npos) << args << ": " << out;
    }
    std::string out;
    // Each of them taken where it belongs, the limits then said in the JSON too; a former market
    // is a name like any other.
    EXPECT_NE(cli(" track --dev25 :0 --market 東証一部 --no-dividends 2>&1", &out), 2) << out;
    ASSERT_EQ(cli(" track --dev25 :0 --no-dividends --simulate --tax --json", &out), 0) << out;
    const auto taken = json::parse(out);
    ASSERT_TRUE(taken["limits"].is_array()) << out;
    EXPECT_EQ(taken["limits"].back(), "TOPIX と同じ買いの日・売りの日で比較");
    EXPECT_TRUE(taken["simulation"].contains("tax")) << out;
    ASSERT_EQ(cli(" track --chg1 5000: --json", &out), 0) << out;
    const auto report = json::parse(out);
    EXPECT_EQ(report["groups"][0]["rows"][0]["count"], 0);
    EXPECT_EQ(report["note"], analysis::RuleTest::kNeverHeldNote);
    ASSERT_EQ(cli(" track --chg1 5000:", &out), 0) << out;
    EXPECT_NE(out.find(analysis::RuleTest::kNeverHeldNote), std::string::npos) << out;

    // Without a trade there is no win rate: null, "-" in the text and blank in the window, as in
    // the rule's rows without an event; nothing bought leaves the capital as it was.
    ASSERT_EQ(cli(" track --rsi 101: --simulate --json", &out), 0) << out;
    const auto idle = json::parse(out)["simulation"];
    EXPECT_EQ(idle["trades"], 0);
    EXPECT_TRUE(idle["winRate"].is_null()) << idle;
    EXPECT_EQ(idle["totalReturn"], 0.0) << idle;
    ASSERT_EQ(cli(" track --rsi 101: --simulate", &out), 0) << out;
    EXPECT_NE(out.find("売買 0 回  勝率 -  損益 0.00%"), std::string::npos) << out;
    analysis::RuleTest::Options never;
    never.conditions.ranges["rsi"].min = 101;
    ui::RuleTestDialogModel model(home_(), never, "");
    finish(model);
    EXPECT_EQ(moneyCell(model, "売買回数"), "0");
    EXPECT_EQ(moneyCell(model, "勝率"), "");
    EXPECT_EQ(moneyCell(model, "損益"), "0.00%");
}

// A range of a rule is every variant's own single test: the report of each, every figure of its
// rows and money, equals run() with its bounds, whether it buys the first of a run or every day,
// at the close or the next open, with a varied horizon and both bounds of one figure varied.
TEST_F(RuleMarket, EachVariantOfARangeIsTheSingleTestOfItsSettings)
{
    core::Mdl_Start module(home_());
    ASSERT_TRUE(module.ReadConfigFile());
    ASSERT_TRUE(module.OpenDatabase());
    struct Case
    {
        std::function<void(analysis::RuleTest::Options&)> rule;
        std::vector<std::string> vary;
    };
    const std::vector<Case> cases{
        {[](auto& o) {
             o.conditions.signal = "買";
             o.conditions.ranges["dev25"].max = 0.02;
             o.conditions.ranges["rsi"] = {0.0, 70.0};
             o.simulation.slotCount = 5;
         },
            {"dev25.max=-4:2:3", "rsi.max=45,70"}},
        {[](auto& o) {
             o.everyDay = true;
             o.nextOpen = true;
             o.horizons = {1, 5};
             o.conditions.ranges["rsi"] = {10.0, 60.0};
             o.conditions.sort = "chg1";
             o.conditions.descending = true;
             o.simulation.lot = 100;
         },
            {"rsi.min=20,35", "rsi.max=40:60:20", "horizon=3,5"}},
    };
    int differing = 0;
    for (const auto& c : cases) {
        analysis::RuleTest::Options base;
        c.rule(base);
        std::vector<analysis::RuleGrid::Bound> bounds;
        for (const auto& v : c.vary) {
            bounds.push_back(analysis::RuleGrid::parse(v, base.conditions));
        }
        const auto plan = analysis::RuleGrid::plan(bounds, base.conditions);
        std::map<std::size_t, std::pair<std::string, std::string>> seen;
        analysis::RuleGrid::Options grid;
        grid.each = [&](std::size_t i, analysis::TrackReport&& r) { seen[i] = {r.json(), r.tradesCsv()}; };
        analysis::RuleTest test(module);
        const auto result = analysis::RuleGrid::run(test, base, bounds, grid);
        ASSERT_EQ(result.message, "");
        ASSERT_EQ(seen.size(), plan.variants.size());
        std::set<std::string> distinct;
        for (std::size_t i = 0; i < plan.variants.size(); ++i) {
            analysis::RuleTest::Options single = base;
            single.simulate = true;
            for (const auto& [name, range] : plan.variants[i].ranges) {
                single.conditions.ranges[name] = range;
            }
            if (plan.variants[i].horizon > 0) {
                single.horizons = {plan.variants[i].horizon};
            }
            const auto alone = analysis::RuleTest(module).run(single);
            ASSERT_EQ(alone.message, "");
            EXPECT_EQ(seen[i].first, alone.json()) << c.vary.front() << " variant " << i;
            EXPECT_EQ(seen[i].second, alone.tradesCsv()) << i;
            distinct.insert(seen[i].first);

            // Its row: the rule's row at its horizon and the money's figures, the Sharpe ratio of
            // the equity's daily returns from the capital.
            const auto& row = result.rows[i];
            EXPECT_EQ(row.settings, plan.settings[i]);
            const auto& rule = alone.groups.front().rows;
            const auto at = std::find_if(rule.begin(), rule.end(), [&](const auto& r) {
                return r.signal == analysis::TrackRecord::Signal::Rule && r.horizon == single.horizons.back();
            });
            ASSERT_NE(at, rule.end());
            EXPECT_EQ(row.events, at->count);
            EXPECT_EQ(row.meanExcess, at->excess);
            const auto& sim = *alone.simulation;
            EXPECT_EQ(row.totalReturn, sim.totalReturn);
            EXPECT_EQ(row.trades, sim.trades);
            std::vector<double> daily;
            double before = single.simulation.capital;
            for (const auto& p : sim.equity) {
                daily.push_back(p.value / before - 1);
                before = p.value;
            }
            double mean = 0, var = 0;
            for (const double r : daily) {
                mean += r / static_cast<double>(daily.size());
            }
            for (const double r : daily) {
                var += (r - mean) * (r - mean) / static_cast<double>(daily.size() - 1);
            }
            if (var > 0) {
                ASSERT_TRUE(row.sharpe);
                EXPECT_NEAR(*row.sharpe, mean / std::sqrt(var) * std::sqrt(245.0), 1e-9);
            } else {
                EXPECT_FALSE(row.sharpe);
            }
            ASSERT_EQ(result.returns[i].size(), daily.size());
            for (std::size_t t = 0; t < daily.size(); ++t) {
                EXPECT_EQ(result.returns[i][t], static_cast<float>(daily[t])) << t;
            }
        }
        differing += static_cast<int>(distinct.size());
        // Best first by the objective, none last.
        for (std::size_t k = 1; k < result.order.size(); ++k) {
            const auto& a = result.rows[result.order[k - 1]].sharpe;
            const auto& b = result.rows[result.order[k]].sharpe;
            EXPECT_TRUE(!b || (a && *a >= *b)) << k;
        }
    }
    EXPECT_GE(differing, 8); // the bounds did change the variants
}

// The walk-forward holds, block by block, the variant best before it: a slice of that variant's
// single test, chosen on the single tests' own returns.
TEST_F(RuleMarket, TheWalkForwardsPiecesAreSlicesOfTheChosenVariantsSingleTests)
{
    core::Mdl_Start module(home_());
    ASSERT_TRUE(module.ReadConfigFile());
    ASSERT_TRUE(module.OpenDatabase());
    analysis::RuleTest::Options base;
    base.conditions.ranges["rsi"] = {0.0, 50.0};
    base.horizons = {5};
    const std::vector<analysis::RuleGrid::Bound> bounds{
        analysis::RuleGrid::parse("rsi.max=25:50:5", base.conditions)};
    const auto plan = analysis::RuleGrid::plan(bounds, base.conditions);
    std::vector<std::vector<double>> daily;
    for (const auto& v : plan.variants) {
        analysis::RuleTest::Options single = base;
        single.simulate = true;
        single.conditions.ranges["rsi"] = v.ranges.at("rsi");
        const auto alone = analysis::RuleTest(module).run(single);
        ASSERT_TRUE(alone.simulation);
        daily.push_back(analysis::RuleGrid::dailyReturns(*alone.simulation, single.simulation.capital));
    }
    const std::size_t days = daily.front().size();
    for (const bool rolling : {false, true}) {
        analysis::RuleGrid::Options grid;
        grid.walkForward = 2;
        grid.rolling = rolling;
        analysis::RuleTest test(module);
        const auto result = analysis::RuleGrid::run(test, base, bounds, grid);
        ASSERT_EQ(result.message, "");
        ASSERT_TRUE(result.walkForward);
        const auto& w = *result.walkForward;
        const std::size_t span = days / 3, skip = days % 3;
        ASSERT_EQ(w.blocks.size(), 2U);
        std::size_t at = 0;
        for (std::size_t k = 0; k < 2; ++k) {
            const std::size_t from = rolling ? skip + span * k : skip, to = skip + span * (k + 1);
            std::size_t chosen = 0;
            double top = -INFINITY;
            for (std::size_t v = 0; v < daily.size(); ++v) {
                std::vector<double> part(
                    daily[v].begin() + static_cast<long>(from), daily[v].begin() + static_cast<long>(to));
                double mean = 0, var = 0;
                for (const double r : part) {
                    mean += r / static_cast<double>(part.size());
                }
                for (const double r : part) {
                    var += (r - mean) * (r - mean);
                }
                const double s
                    = var > 0 ? mean / std::sqrt(var / static_cast<double>(part.size() - 1)) : -INFINITY;
                if (s > top + 1e-9) {
                    top = s;
                    chosen = v;
                }
            }
            EXPECT_EQ(w.blocks[k].chosen, chosen) << rolling << k;
            EXPECT_EQ(w.blocks[k].first, to);
            double value = 1;
            for (std::size_t t = to; t < to + span; ++t, ++at) {
                EXPECT_NEAR(w.outOfSample[at], daily[chosen][t], 1e-7) << t;
                value *= 1 + static_cast<double>(static_cast<float>(daily[chosen][t]));
            }
            EXPECT_NEAR(w.blocks[k].figures.totalReturn, value - 1, 1e-12);
        }
        EXPECT_EQ(at, w.outOfSample.size());
    }
}

TEST_F(RuleMarket, ARangeOnTheCommandLineGivesItsRowsFilesAndRefusesBadRangesByName)
{
    std::string out;
    ASSERT_EQ(
        cli(" track --rsi 0:60 --vary rsi.max=30:60:10 --vary horizon=5,10 --objective return --json", &out),
        0)
        << out;
    const auto answer = json::parse(out);
    ASSERT_EQ(answer["variants"].size(), 8U) << out;
    EXPECT_EQ(answer["objective"], "return");
    EXPECT_EQ(answer["trials"], 8);
    // Under 320 tested days are fewer than 16 blocks of 20: said, no number.
    const int days = answer["days"].get<int>();
    ASSERT_LT(days, 320);
    ASSERT_GE(days, 180);
    EXPECT_TRUE(answer["pbo"].is_null());
    EXPECT_TRUE(answer["deflatedSharpe"].is_null());
    double last = INFINITY;
    for (const auto& v : answer["variants"]) {
        for (const char* key : {"events", "hitRate", "meanExcess", "totalReturn", "annualReturn",
                 "maxDrawdown", "sharpe", "trades"}) {
            EXPECT_TRUE(v.contains(key)) << key;
        }
        EXPECT_EQ(v["settings"].size(), 2U);
        EXPECT_LE(v["totalReturn"].get<double>(), last);
        last = v["totalReturn"].get<double>();
    }
    const auto best = answer["variants"][0]["settings"];
    std::string single;
    ASSERT_EQ(cli(" track --rsi 0:" + std::to_string(best["rsi.max"].get<int>()) + " --horizons "
                      + std::to_string(best["horizon"].get<int>()) + " --simulate --json",
                  &single),
        0);
    EXPECT_EQ(json::parse(single)["simulation"]["totalReturn"], answer["variants"][0]["totalReturn"]);

    test::TempFolder files;
    ASSERT_EQ(cli(" track --rsi 0:60 --vary rsi.max=40,60 --walk-forward 2 --rolling --csv "
                      + (files / "v.csv").string(),
                  &out),
        0)
        << out;
    EXPECT_NE(out.find("ウォークフォワード"), std::string::npos) << out;
    EXPECT_NE(out.find("検証した日が " + std::to_string(days) + " 日で"), std::string::npos) << out;
    std::ifstream in(files / "v.csv", std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFrsi.max,期間（日）,件数,", 0), 0U) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
    ASSERT_EQ(cli(" track --rsi 0:60 --vary rsi.max=40,60 --walk-forward 2 --json", &out), 0) << out;
    const auto walk = json::parse(out)["walkForward"];
    ASSERT_EQ(walk["blocks"].size(), 2U) << out;
    for (const char* key : {"first", "last", "chosen", "totalReturn", "sharpe"}) {
        EXPECT_TRUE(walk["blocks"][0].contains(key)) << key;
    }
    EXPECT_TRUE(walk["outOfSample"].contains("totalReturn"));
    EXPECT_TRUE(walk["inSampleBest"].contains("sharpe"));

    // The folder remembers each test: the grid as its variants, newest first.
    ASSERT_EQ(cli(" track --history --json", &out), 0) << out;
    const auto history = json::parse(out);
    ASSERT_GE(history["tests"].get<int>(), 3) << out;
    const auto& newest = history["entries"][0];
    EXPECT_EQ(newest["variants"], 2);
    EXPECT_EQ(newest["days"], days);
    EXPECT_NE(newest["rule"].get<std::string>().find("RSI 0〜60"), std::string::npos) << newest;
    EXPECT_NE(newest["rule"].get<std::string>().find("rsi.max 40〜60"), std::string::npos) << newest;
    EXPECT_EQ(newest["result"].get<std::string>().rfind("最良 rsi.max=", 0), 0U) << newest;
    EXPECT_EQ(history["entries"][1]["variants"], 2);
    EXPECT_EQ(history["entries"][2]["variants"], 1); // the single test above
    EXPECT_EQ(history["entries"][3]["variants"], 8);
    ASSERT_EQ(cli(" track --history", &out), 0) << out;
    EXPECT_EQ(out.rfind("検証履歴: ", 0), 0U) << out;

    for (const auto& [args, name] : std::vector<std::pair<std::string, std::string>>{
             {" --rsi 0:60 --vary dev25.max=1,2", "--vary: dev25.max はこのルールの条件にありません"},
             {" --rsi 0:60 --vary rsi.top=1,2", "--vary"}, {" --rsi 0:60 --vary rsi.max=", "--vary"},
             {" --rsi 0:60 --vary rsi.max=60:40:5", "--vary: rsi.max の範囲が逆です"},
             {" --rsi 0:60 --vary rsi.max=40:60:0", "--vary: rsi.max の刻みは 0 より大きく"},
             {" --rsi 0:60 --vary rsi.max=40,,50", "--vary"}, {" --rsi 0:60 --vary rsi.max=4x", "--vary"},
             {" --rsi 0:60 --vary rsi.max=1:1001:1", "--vary"},
             {" --rsi 0:60 --dev25 :0 --vary rsi.max=1:50:1 --vary dev25.max=-20:0:1", "1,050 通り"},
             {" --rsi 0:60 --dev25 -9:0 --chg1 :0 --vary rsi.max=50,60 --vary rsi.min=0,1 --vary "
              "dev25.max=-1,0"
              " --vary chg1.max=-1,0",
                 "--vary: 変える条件は 3 つまで"},
             {" --rsi 30:60 --vary rsi.max=20,40", "--vary: rsi.max=20 では RSI の下限が上限を上回ります"},
             {" --rsi 0:60 --vary horizon=0,5", "--vary"}, {" --vary rsi.max=40", "--vary は find の条件"},
             {" --rsi 0:60 --vary rsi.max=40,50 --walk-forward 1", "--walk-forward"},
             {" --rsi 0:60 --vary rsi.max=40,50 --walk-forward 11", "--walk-forward"},
             {" --rsi 0:60 --vary rsi.max=40,50 --walk-forward 4",
                 "--walk-forward: 検証した " + std::to_string(days) + " 日を 5 区間"},
             {" --rsi 0:60 --vary rsi.max=40,50 --objective best", "--objective"},
             {" --rsi 0:60 --objective sharpe", "--objective は --vary と一緒に"},
             {" --rsi 0:60 --vary rsi.max=40,50 --rolling", "--rolling は --walk-forward と一緒に"}}) {
        EXPECT_EQ(cli(" track" + args + " 2>&1", &out), 2) << args << ": " << out;
        EXPECT_NE(out.find(name), std::string::npos) << args << ": " << out;
    }
}

// The range window's model: the fields refused by name, every combination tested on its thread,
// the grid sortable, the heat map over two bounds with the best outlined and a cell opening its
// variant's own test, the walk-forward lines and the history.
TEST_F(RuleMarket, TheRangeWindowShowsEveryVariantAHeatMapAndOpensACellsTest)
{
    analysis::RuleTest::Options options;
    options.conditions.ranges["rsi"] = {0.0, 60.0};
    ui::RuleRangeModel model(home_(), options);
    ASSERT_EQ(model.fields.size(), 3U);
    EXPECT_EQ(model.fields[1].bound, "rsi.max");
    EXPECT_EQ(model.fields[1].heading, "RSI 上限");
    EXPECT_EQ(model.fields[1].from, "60");
    EXPECT_FALSE(model.start());
    EXPECT_EQ(model.message, "変える条件の範囲（始め・終わり・刻み）を 1 つ以上入力してください。");
    model.fields[1].to = "40";
    EXPECT_FALSE(model.start());
    EXPECT_EQ(model.message, "RSI 上限: rsi.max の範囲が逆です（60 が 40 より大きい）。");
    model.fields[1] = {"rsi.max", "RSI 上限", "40", "60", "10"};
    model.fields[2] = {"horizon", "日数", "5", "10", "5"};
    model.walkForward = 2;
    ASSERT_TRUE(model.start()) << model.message;
    while (!model.poll()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(model.message, "");
    ASSERT_EQ(model.grid.rows(), 7);
    EXPECT_EQ(model.grid.column(0).heading, "rsi.max");
    EXPECT_EQ(model.grid.column(8).heading, "シャープレシオ");
    EXPECT_EQ(model.grid.rowColor(1), ui::RuleRangeModel::kHighColour); // the best first
    const auto& result = model.result();
    const std::size_t best = result.order.front();

    ASSERT_TRUE(model.heatMap);
    const auto& h = *model.heatMap;
    EXPECT_EQ(h.xValues, (std::vector<std::string>{"40", "50", "60"}));
    EXPECT_EQ(h.yValues, (std::vector<std::string>{"5", "10"}));
    EXPECT_EQ(h.variant[h.bestY][h.bestX], best);
    EXPECT_EQ(h.colour[h.bestY][h.bestX], ui::RuleRangeModel::kHighColour);
    EXPECT_EQ(h.legendHigh, h.text[h.bestY][h.bestX]);
    for (std::size_t y = 0; y < 2; ++y) {
        for (std::size_t x = 0; x < 3; ++x) {
            const auto& r = result.rows[h.variant[y][x]];
            EXPECT_EQ(r.settings, (std::vector<std::string>{h.xValues[x], h.yValues[y]}));
            EXPECT_EQ(h.text[y][x],
                r.sharpe ? (std::ostringstream() << std::fixed << std::setprecision(2) << *r.sharpe).str()
                         : "-");
        }
    }
    // A cell opens its own variant: the single test of its settings.
    core::Mdl_Start module(home_());
    ASSERT_TRUE(module.ReadConfigFile());
    ASSERT_TRUE(module.OpenDatabase());
    const std::size_t corner = h.variant[1][0];
    const auto alone = analysis::RuleTest(module).run(model.optionsOf(corner));
    ASSERT_TRUE(alone.simulation);
    EXPECT_EQ(alone.simulation->totalReturn, result.rows[corner].totalReturn);
    EXPECT_EQ(alone.horizons, std::vector<int>{10});

    // Sorted by a heading, then the other way round.
    model.sortBy(2); // 件数
    for (int row = 2; row < model.grid.rows(); ++row) {
        EXPECT_GE(std::stoi(model.grid.cell(row - 1, 2).text), std::stoi(model.grid.cell(row, 2).text));
    }
    model.sortBy(2);
    EXPECT_LE(std::stoi(model.grid.cell(1, 2).text), std::stoi(model.grid.cell(2, 2).text));

    ASSERT_FALSE(model.odds.empty());
    EXPECT_EQ(model.odds.front(), result.odds.note); // too few days for the odds: said
    ASSERT_FALSE(model.walkLine.empty());
    EXPECT_EQ(model.walkLine.size(), model.walkDates.size());
    EXPECT_EQ(model.marketLine.size(), model.walkDates.size());
    EXPECT_NEAR(
        model.walkLine.back() / result.capital - 1, result.walkForward->outOfSampleFigures.totalReturn, 1e-9);
    EXPECT_EQ(model.historyHeading.rfind("検証履歴: ", 0), 0U) << model.historyHeading;
    ASSERT_FALSE(model.history.empty());
    EXPECT_NE(model.history.front().find("6 通り"), std::string::npos) << model.history.front();

    // 中止 stops it: said, no rows, nothing kept of the run.
    ASSERT_TRUE(model.start());
    model.stop();
    while (!model.poll()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(model.message, analysis::RuleTest::kStoppedMessage);
    EXPECT_EQ(model.grid.rows(), 1);
    EXPECT_FALSE(model.heatMap);
}

TEST_F(RuleMarket, AStoreOfTooFewDaysSaysHowManyItNeedsAndTheTradesFileKeepsItsHeading)
{
    const auto days = world().days;
    for (const std::size_t kept : {1, 20, 21}) {
        test::TempFolder cut;
        copyDays(cut.path(), days[days.size() - kept], days.back());
        const auto file = cut / "trades.csv";
        std::string out;
        ASSERT_EQ(cli(" track --rsi 0:100 --simulate --json --csv " + file.string(), &out, cut.path()), 0)
            << kept << ": " << out;
        const auto report = json::parse(out);
        const std::string tooFew = "検証できる日がありません。保存されている株価は " + std::to_string(kept)
            + " 日分で、検証には 21 日分以上必要です。";
        EXPECT_EQ(report["evaluatedDays"], kept > 20 ? kept - 20 : 0) << kept;
        EXPECT_EQ(report["note"], kept > 20 ? "" : tooFew) << kept;
        EXPECT_EQ(test::readFile(file).rfind("\xEF\xBB\xBF"
                                             "コード,買付日,買値,株数,売却日,売値,損益,配当,備考\r\n",
                      0),
            0U)
            << kept;
        if (kept > 20) {
            // One day evaluated: no hold asked for can end within it.
            ASSERT_EQ(cli(" track --rsi 0:100 --simulate --hold 1 2>&1", &out, cut.path()), 2) << out;
            EXPECT_NE(out.find("--hold: " + analysis::RuleTest::holdTooLongMessage(1, 1)), std::string::npos)
                << out;
            // So is the window's, always asked for.
            analysis::RuleTest::Options any;
            any.conditions.ranges["rsi"].max = 100;
            ui::RuleTestDialogModel model(cut.path(), any, "");
            auto boxes = model.boxes();
            boxes.hold = "1";
            ASSERT_TRUE(model.run(boxes));
            wait(model);
            EXPECT_EQ(model.message, analysis::RuleTest::holdTooLongMessage(1, 1));
            EXPECT_EQ(model.money.rows(), 1);
            continue;
        }
        ASSERT_TRUE(report.contains("simulation")) << out;
        EXPECT_TRUE(report["simulation"]["totalReturn"].is_null()) << report["simulation"];
        EXPECT_TRUE(report["simulation"]["marketReturn"].is_null()) << report["simulation"];
        ASSERT_EQ(cli(" track --rsi 0:100 --simulate", &out, cut.path()), 0) << out;
        EXPECT_NE(out.find(tooFew), std::string::npos) << out;
        EXPECT_EQ(out.find(analysis::RuleTest::kNeverHeldNote), std::string::npos) << out;

        analysis::RuleTest::Options any;
        any.conditions.ranges["rsi"].max = 100;
        ui::RuleTestDialogModel model(cut.path(), any, "");
        finish(model);
        EXPECT_NE(model.heading.find(tooFew), std::string::npos) << model.heading;
        EXPECT_EQ(moneyCell(model, "損益"), "");
        EXPECT_EQ(moneyCell(model, "勝率"), "");
    }
}

TEST_F(RuleMarket, TheWindowsTestRunsOnItsThreadStopsWhenAskedAndSaysWhatItRestsOn)
{
    analysis::StockFinder::Conditions c;
    c.signal = "買";
    c.ranges["dev25"].max = -0.05;
    c.ranges["rsi"].max = 35;
    EXPECT_EQ(ui::RuleTestDialogModel::describe(c), "短期シグナル 買、25日乖離 〜-5%、RSI 〜35");
    analysis::RuleTest::Options options;
    options.conditions = c;
    ui::RuleTestDialogModel model(home_(), options, ui::RuleTestDialogModel::describe(c));
    EXPECT_EQ(model.caption, "成績  条件: 短期シグナル 買、25日乖離 〜-5%、RSI 〜35");

    for (const std::string bad : {"", "0", "1,,5", "251", "1,2,3,4", "x"}) {
        EXPECT_FALSE(model.setHorizons(bad)) << bad;
    }
    ASSERT_TRUE(model.setHorizons("20、5,5"));
    EXPECT_EQ(model.options().horizons, (std::vector<int>{5, 20}));
    model.setByYear(true);
    finish(model);
    EXPECT_EQ(model.message, "");
    const auto& report = model.report();
    // Both horizons of the whole, then of each year.
    EXPECT_EQ(model.grid.rows(), 1 + 2 * static_cast<int>(report.groups.size()));
    EXPECT_GE(report.groups.size(), 3U);
    EXPECT_EQ(model.grid.cell(1, 0).text, "全体");
    EXPECT_EQ(model.grid.cell(2, 1).text, "20");
    // The days tested, what the test assumed, ending with TOPIX's line, and the caution.
    EXPECT_EQ(model.limits.rfind("株価 " + std::to_string(report.days) + " 日分、指標は "
                      + std::to_string(report.figureDays[0].second) + " 日分で検証。",
                  0),
        0U)
        << model.limits;
    const std::string tail = "TOPIX と同じ買いの日・売りの日で比較。過去の結果は将来を保証しません。";
    ASSERT_GE(model.limits.size(), tail.size());
    EXPECT_EQ(model.limits.substr(model.limits.size() - tail.size()), tail) << model.limits;
    EXPECT_EQ(model.grid.cell(0, 12).text, "TOPIX平均");
    EXPECT_EQ(model.grid.cell(1, 12).text,
        analysis::TrackReport::signedPercent(*report.groups[0].rows[0].topixMean));
    EXPECT_LT(report.figureDays[0].second, report.days); // the 25-day mean needs 25 days
    ASSERT_TRUE(report.simulation);
    EXPECT_EQ(model.dates.size(), static_cast<std::size_t>(report.days));
    EXPECT_EQ(model.equity.back(), report.simulation->equity.back().value);
    EXPECT_EQ(model.money.cell(1, 1).text, "20 日"); // none asked for: the longest horizon
    EXPECT_EQ(model.money.cell(2, 0).text, "損益");

    // The money by year too, beside the rows by year: the years compound to the whole, their
    // trades add up to its.
    const auto& sim = *report.simulation;
    ASSERT_GE(sim.years.size(), 2U);
    int row = 1;
    while (row < model.money.rows() && model.money.cell(row, 0).text != "年ごとの損益") {
        ++row;
    }
    // Each year's money, then with dividends included each year's dividends.
    const int years = static_cast<int>(sim.years.size());
    const bool dividends = report.dividends == analysis::TrackReport::Dividends::Included;
    ASSERT_EQ(model.money.rows(), row + 1 + years + (dividends ? 1 + years : 0));
    double grown = 1, marketGrown = 1;
    int trades = 0, days = 0;
    for (std::size_t y = 0; y < sim.years.size(); ++y) {
        const auto& year = sim.years[y];
        EXPECT_EQ(model.money.cell(row + 1 + static_cast<int>(y), 0).text, year.year + " 年");
        EXPECT_EQ(model.money.cell(row + 1 + static_cast<int>(y), 1).text,
            analysis::TrackReport::signedPercent(year.totalReturn));
        EXPECT_EQ(model.money.cell(row + 1 + static_cast<int>(y), 2).text,
            analysis::TrackReport::signedPercent(year.marketReturn));
        grown *= 1 + year.totalReturn;
        marketGrown *= 1 + year.marketReturn;
        trades += year.trades;
        days += year.days;
    }
    EXPECT_NEAR(grown - 1, *sim.totalReturn, 1e-9);
    EXPECT_NEAR(marketGrown - 1, *sim.marketReturn, 1e-9);
    EXPECT_EQ(trades, sim.trades);
    EXPECT_EQ(days, sim.days);
    model.setByYear(false);
    finish(model);
    EXPECT_EQ(model.money.rows(), row);

    // Stopped as soon as it starts: says so and shows nothing.
    model.start();
    model.stop();
    EXPECT_TRUE(model.poll());
    EXPECT_EQ(model.message, analysis::RuleTest::kStoppedMessage);
    EXPECT_EQ(model.grid.rows(), 1);
    EXPECT_TRUE(model.dates.empty());
}

TEST_F(RuleMarket, TheWindowsMoneySettingsAreCheckedKeptAndNamedAboveTheMoney)
{
    analysis::RuleTest::Options options;
    options.conditions.signal = "買";
    ui::RuleTestDialogModel model(home_(), options, "");
    using Box = ui::RuleTestDialogModel::Box;
    const auto defaults = model.boxes();
    EXPECT_EQ(defaults.horizons, "1,5,20");
    EXPECT_EQ(defaults.hold, "20"); // the longest horizon
    EXPECT_EQ(defaults.slotCount, "10");
    EXPECT_EQ(defaults.capital, "1,000,000");
    EXPECT_EQ(defaults.lot, 1);
    EXPECT_EQ(defaults.cost, "0.1");
    EXPECT_TRUE(defaults.dividends);
    EXPECT_FALSE(defaults.tax);
    EXPECT_EQ(defaults.market, "");

    // Each box refused with its reason, the options left as they were.
    struct Bad
    {
        std::function<void(ui::RuleTestDialogModel::Boxes&)> set;
        Box box;
        std::string says;
    };
    const std::vector<Bad> bad{{[](auto& b) { b.horizons = "0"; }, Box::Horizons, "日数には"},
        {[](auto& b) { b.hold = "0"; }, Box::Hold, "保有日数には 1〜250"},
        {[](auto& b) { b.hold = "251"; }, Box::Hold, "保有日数には 1〜250"},
        {[](auto& b) { b.hold = "5日"; }, Box::Hold, "保有日数には"},
        {[](auto& b) { b.slotCount = "0"; }, Box::Slots, "枠数には 1〜1,000"},
        {[](auto& b) { b.slotCount = "1001"; }, Box::Slots, "枠数には"},
        {[](auto& b) { b.slotCount = "2.5"; }, Box::Slots, "枠数には"},
        {[](auto& b) { b.capital = "0"; }, Box::Capital, "元手には 10,000 円以上"},
        {[](auto& b) { b.capital = "9,999"; }, Box::Capital, "元手には"},
        {[](auto& b) { b.capital = "百万"; }, Box::Capital, "元手には"},
        {[](auto& b) { b.cost = "-0.1"; }, Box::Cost, "手数料には片道 0〜10 %"},
        {[](auto& b) { b.cost = "10.5"; }, Box::Cost, "手数料には"},
        {[](auto& b) { b.cost = ""; }, Box::Cost, "手数料には"},
        {[](auto& b) { b.lot = 50; }, Box::None, "単元には 1 株か 100 株"}};
    for (const auto& b : bad) {
        auto boxes = defaults;
        b.set(boxes);
        EXPECT_FALSE(model.run(boxes)) << b.says;
        EXPECT_FALSE(model.running());
        EXPECT_EQ(model.fault, b.box) << b.says;
        EXPECT_EQ(model.message.rfind(b.says, 0), 0U) << model.message;
        EXPECT_EQ(model.options().simulation.slotCount, 10);
        EXPECT_EQ(model.options().hold, 0);
    }

    // As a Japanese input method types them, and kept for the next window.
    auto boxes = defaults;
    boxes.horizons = "５，２０";
    boxes.hold = "３";
    boxes.slotCount = "３";
    boxes.capital = "５００，０００円";
    boxes.lot = 100;
    boxes.cost = "0.25%";
    boxes.nextOpen = true;
    boxes.everyDay = true;
    boxes.dividends = false;
    boxes.tax = true;
    ASSERT_TRUE(model.run(boxes)) << model.message;
    EXPECT_EQ(model.options().dividends, std::optional<bool>(false));
    EXPECT_TRUE(model.options().tax);
    wait(model);
    EXPECT_EQ(model.message, "");
    const auto& st = model.report().simulationSettings;
    EXPECT_EQ(st.horizon, 3);
    EXPECT_EQ(st.slotCount, 3);
    EXPECT_EQ(st.capital, 500000);
    EXPECT_EQ(st.lot, 100);
    EXPECT_DOUBLE_EQ(st.cost, 0.0025);
    EXPECT_FALSE(st.dividends);
    EXPECT_TRUE(st.tax);
    EXPECT_EQ(
        model.moneyHeading, "運用: 3 枠、手数料片道 0.250%、元手 500,000 円、単元 100 株、3 日保有、税引後");
    ui::RuleTestDialogModel next(home_(), options, "");
    next.load();
    const auto kept = next.boxes();
    EXPECT_EQ(kept.horizons, "5,20");
    EXPECT_EQ(kept.hold, "3");
    EXPECT_EQ(kept.slotCount, "3");
    EXPECT_EQ(kept.capital, "500,000");
    EXPECT_EQ(kept.lot, 100);
    EXPECT_EQ(kept.cost, "0.25");
    EXPECT_TRUE(kept.nextOpen);
    EXPECT_TRUE(kept.everyDay);
    EXPECT_FALSE(kept.byYear);
    EXPECT_FALSE(kept.dividends);
    EXPECT_TRUE(kept.tax);
    // The market box offers every market of today's list first.
    {
        std::vector<std::string> listed;
        auto db = core::Connection::open(home_() / "zuvemo.db");
        core::Statement rs(*db, "SELECT DISTINCT Mgmgara FROM Table_Code");
        while (rs.next()) {
            listed.push_back(core::Utf8::trim(rs.columnText(0)));
        }
        ASSERT_FALSE(listed.empty());
        ASSERT_GE(next.markets.size(), listed.size());
        for (const auto& name : listed) {
            const auto at = std::find(next.markets.begin(), next.markets.end(), name);
            EXPECT_LT(at - next.markets.begin(), static_cast<std::ptrdiff_t>(listed.size())) << name;
        }
    }
    // A kept value now refused is left out, the others come back.
    {
        auto db = core::Connection::open(home_() / "zuvemo.db");
        db->execute("UPDATE Table_RuleTest SET CondValue = '0' WHERE CondName = 'slots'");
    }
    ui::RuleTestDialogModel third(home_(), options, "");
    third.load();
    EXPECT_EQ(third.boxes().slotCount, "10");
    EXPECT_EQ(third.boxes().hold, "3");
    EXPECT_EQ(third.message, "");

    // Bought at the next open and sold at that day's close, a position never outlasts a day:
    // the share of days that ended with one is 0, under a caption that says so.
    boxes.hold = "1";
    ASSERT_TRUE(model.run(boxes));
    wait(model);
    ASSERT_GT(model.report().simulation->trades, 0);
    EXPECT_EQ(moneyCell(model, "終値時点の保有日率"), "0.0%");
    boxes.nextOpen = false;
    ASSERT_TRUE(model.run(boxes));
    wait(model);
    EXPECT_NE(moneyCell(model, "終値時点の保有日率"), "0.0%");

    // A rule of the signal alone reads no figure, and its limits say only the prices' days.
    EXPECT_EQ(model.limits.rfind("株価 " + std::to_string(model.report().days) + " 日分で検証。", 0), 0U)
        << model.limits;
    // Put back for the other tests of the folder.
    ui::RuleTestDialogModel(home_(), options, "").save();
}

TEST_F(RuleMarket, EveryStepOfARunIsCountedInItsUnitAndTheWindowSaysWhich)
{
    core::Mdl_Start module(home_());
    ASSERT_TRUE(module.ReadConfigFile());
    ASSERT_TRUE(module.OpenDatabase());
    using Step = analysis::RuleTest::Progress::Step;
    analysis::RuleTest::Options options;
    options.conditions.ranges["op-margin"].min = 0.05; // one of JPX's figures
    std::vector<analysis::RuleTest::Progress> seen;
    options.progress = [&](const analysis::RuleTest::Progress& p) {
        seen.push_back(p);
        return true;
    };
    const auto report = analysis::RuleTest(module).run(options);
    ASSERT_EQ(report.message, "");
    // The steps in order, each from 0 to its whole, in stocks, days and listings (the stocks of
    // the selection, some perhaps without a stored day; a code listed again counts twice).
    ASSERT_FALSE(seen.empty());
    const std::size_t stocks = seen.front().total;
    const auto evaluating
        = std::find_if(seen.begin(), seen.end(), [](const auto& p) { return p.step == Step::Stocks; });
    ASSERT_NE(evaluating, seen.end());
    const std::size_t listings = evaluating->total;
    EXPECT_GE(listings, static_cast<std::size_t>(report.stocks));
    EXPECT_GE(listings, stocks);
    std::map<Step, std::pair<std::size_t, std::size_t>> steps; // first and last done
    Step last = Step::Prices;
    for (const auto& p : seen) {
        EXPECT_GE(static_cast<int>(p.step), static_cast<int>(last));
        last = p.step;
        const auto [it, fresh] = steps.emplace(p.step, std::pair{p.done, p.done});
        EXPECT_GE(p.done, it->second.second);
        it->second.second = p.done;
        EXPECT_EQ(p.figureDays, static_cast<std::size_t>(report.days) + 1);
        EXPECT_EQ(p.total,
            p.step == Step::Figures      ? p.figureDays
                : p.step == Step::Prices ? stocks
                                         : listings);
    }
    ASSERT_EQ(steps.size(), 3U);
    for (const auto& [step, range] : steps) {
        EXPECT_EQ(range.first, 0U);
        if (step == Step::Figures) {
            EXPECT_EQ(range.second + 1, static_cast<std::size_t>(report.days) + 1);
        } else {
            EXPECT_EQ(range.second, step == Step::Prices ? stocks : listings);
        }
    }
    // Stopped halfway through JPX's figures or the listings (both read on several threads):
    // nothing is counted after the stop and the run says it stopped.
    for (const Step at : {Step::Figures, Step::Stocks}) {
        seen.clear();
        options.progress = [&](const analysis::RuleTest::Progress& p) {
            seen.push_back(p);
            return p.step != at || p.done * 2 < p.total;
        };
        EXPECT_EQ(analysis::RuleTest(module).run(options).message, analysis::RuleTest::kStoppedMessage);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().step, at);
        EXPECT_LT(seen.back().done, seen.back().total);
    }
    options.progress = [&](const analysis::RuleTest::Progress& p) {
        seen.push_back(p);
        return true;
    };

    // A rule of price figures alone has no step of JPX's figures.
    seen.clear();
    options.conditions.ranges.clear();
    options.conditions.ranges["rsi"].max = 40;
    ASSERT_EQ(analysis::RuleTest(module).run(options).message, "");
    EXPECT_TRUE(
        std::none_of(seen.begin(), seen.end(), [](const auto& p) { return p.step == Step::Figures; }));
    EXPECT_EQ(seen.back().step, Step::Stocks);
    EXPECT_EQ(seen.back().done, listings);

    using Model = ui::RuleTestDialogModel;
    EXPECT_EQ(Model::progressText({Step::Prices, 800, 1471, 0}, -1), "株価を読み込み中… 800 / 1,471 銘柄");
    EXPECT_EQ(Model::progressText({Step::Figures, 600, 1206, 1206}, 65),
        "指標を読み込み中… 600 / 1,206 日  残り約 2 分");
    EXPECT_EQ(
        Model::progressText({Step::Stocks, 1181, 1471, 1206}, 5), "検証中… 1,181 / 1,471 銘柄  残り約 1 分");
}

// Over a longer sample market, whose falls below the 25-day mean tend to come back, the best of a
// range of a buy-the-dip rule stays near the top in the other half: the odds say so.
TEST(RuleRangeOdds, ARealEdgeOfTheSampleMarketIsNoAccident)
{
    sample::SampleServer::Options options;
    options.market.stocks = 400;
    options.market.days = 420;
    options.market.today = std::chrono::year_month_day{core::Clock().today()};
    options.jquants = true;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    test::TempFolder dir;
    const auto cli = test::cliCommand(dir / "home");
    std::string out;
    ASSERT_EQ(test::runCommand("JQUANTS_API_KEY=sample-key " + cli + " init --source jquants --api-url "
                      + server.apiBaseUrl() + " --plan premium --days 420 --bounds 0.9 1.2 2>&1",
                  &out),
        0)
        << out;
    ASSERT_EQ(test::runCommand("JQUANTS_API_KEY=sample-key " + cli + " refresh 2>&1", &out), 0) << out;
    core::Mdl_Start module(dir / "home");
    ASSERT_TRUE(module.ReadConfigFile());
    ASSERT_TRUE(module.OpenDatabase());
    analysis::RuleTest::Options rule;
    rule.conditions.ranges["dev25"] = {-0.5, 0.0};
    rule.horizons = {20};
    // From deep falls only to every stock below its mean and well above it.
    const std::vector<analysis::RuleGrid::Bound> bounds{
        analysis::RuleGrid::parse("dev25.max=-12:12:3", rule.conditions),
        analysis::RuleGrid::parse("horizon=10,20", rule.conditions)};
    analysis::RuleTest test(module);
    const auto result = analysis::RuleGrid::run(test, rule, bounds, {});
    ASSERT_EQ(result.message, "");
    ASSERT_GE(result.days.size(), 320U);
    ASSERT_TRUE(result.odds.pbo) << result.odds.note;
    EXPECT_EQ(result.odds.trials, 18);
    EXPECT_LT(*result.odds.pbo, 0.2);
    ASSERT_TRUE(result.odds.deflatedSharpe);
    EXPECT_GT(*result.odds.deflatedSharpe, 0.5);
}

TEST(RuleTestPace, TheShareGoesEvenlyOverStepsOfUnequalPace)
{
    using Step = analysis::RuleTest::Progress::Step;
    // 100 stocks read in 1 s, 100 days of JPX's figures in 10 s, 100 stocks evaluated in 1 s:
    // counted as units done, the figures' step would be over at half the count, five sixths of
    // the time.
    ui::RuleTestPace pace;
    // Told as each unit ends, at tenths of a second.
    auto at = [&pace](int tenths) {
        const double t = tenths / 10.0;
        if (tenths < 10) {
            pace.observe({Step::Prices, static_cast<std::size_t>(tenths * 10), 100, 100}, t);
        } else if (tenths < 110) {
            pace.observe({Step::Figures, static_cast<std::size_t>(tenths - 10), 100, 100}, t);
        } else {
            pace.observe({Step::Stocks, static_cast<std::size_t>((tenths - 110) * 10), 100, 100}, t);
        }
        return t;
    };
    for (int tenths = 0; tenths < 120; ++tenths) {
        const double t = at(tenths);
        const double share = pace.share(t);
        if (t < 1) {
            // While the days are read what follows is not known.
            EXPECT_EQ(share, -1) << t;
            EXPECT_EQ(pace.secondsLeft(t), -1) << t;
        } else if (share >= 0) {
            EXPECT_NEAR(share, t / 12, 0.03) << t;
            EXPECT_NEAR(pace.secondsLeft(t), 12 - t, 0.3) << t;
        } else {
            // Only the first moments of a step, before its pace is seen.
            EXPECT_TRUE((t >= 1 && t < 1.5) || (t >= 11 && t < 11.1)) << t;
        }
    }
    // Between two progresses the time left runs down with the clock.
    pace = ui::RuleTestPace();
    for (int tenths = 0; tenths <= 60; ++tenths) {
        at(tenths);
    }
    EXPECT_NEAR(pace.secondsLeft(6.05), 12 - 6.05, 0.01);
}

namespace {

// A tested rule as the engine hands it over: two rows of five days, one with events and some
// unfilled, one with none filled at all.
analysis::TrackReport handMadeReport()
{
    analysis::TrackReport r;
    r.rule = true;
    r.tradingDate = "2024-06-28";
    r.stocks = 3;
    r.horizons = {5, 20};
    r.days = 120;
    r.firstDay = "2024-01-04";
    r.lastDay = "2024-06-28";
    r.topixEvents = r.returnEvents = 40;
    r.listingHistory = true;
    r.dividends = analysis::TrackReport::Dividends::Off;
    analysis::TrackRecord::Row row;
    row.signal = analysis::TrackRecord::Signal::Rule;
    row.horizon = 5;
    row.count = 40;
    row.hits = 22;
    row.hitRate = 0.55;
    row.low = 0.4;
    row.high = 0.69;
    row.mean = 0.01;
    row.median = 0.005;
    row.sameDayMean = 0.002;
    row.sameDayRise = 0.5;
    row.excess = 0.008;
    row.topixMean = 0.001;
    row.excessTopix = 0.009;
    row.unfilled = 7;
    row.delistedEvents = 3;
    analysis::TrackRecord::Row none;
    none.signal = analysis::TrackRecord::Signal::Rule;
    none.horizon = 20;
    none.unfilled = 2;
    r.groups.push_back({"全体", {row, none}});
    return r;
}

// Three days of money, TOPIX missing on the middle one; two trades, the second delisted.
analysis::RuleSimulation::Result handMadeMoney()
{
    analysis::RuleSimulation::Result s;
    s.days = 3;
    s.trades = 2;
    s.winRate = 0.5;
    s.totalReturn = 0.1;
    s.annualReturn = 0.2;
    s.maxDrawdown = 0.05;
    s.exposure = 1;
    s.marketReturn = 0.03;
    s.marketAnnualReturn = 0.06;
    s.marketMaxDrawdown = 0.04;
    s.topixReturn = 0.05;
    s.topixAnnualReturn = 0.1;
    s.topixMaxDrawdown = 0.02;
    s.unfilled = 4;
    s.dividends = 1234.4;
    s.tax = 567.6;
    s.equity = {{"2023-12-28", 1000000, 1000000, 1000000.0}, {"2024-01-04", 1050000, 1010000, std::nullopt},
        {"2024-01-05", 1100000, 1030000, 1050000.0}};
    s.sold.push_back({"7203", "2023-12-28", "2024-01-04", 100, 110, 999.5, 0, 10, false});
    s.sold.push_back({"9999", "2024-01-04", "2024-01-05", 50, 40, -987.5, 12.5, 100, true});
    s.years = {{"2023", 1, 0, 0, 0, std::nullopt, 0, 0}, {"2024", 2, 2, 0.1, 0.03, 0.05, 1234.4, 567.6}};
    return s;
}

// A text's words between its spaces.
std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

std::string lineStarting(const std::string& text, const std::string& start)
{
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(start, 0) == 0) {
            return line;
        }
    }
    return {};
}

// The words of the rule's row of a horizon.
std::vector<std::string> ruleRow(const std::string& text, int horizon)
{
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        auto w = words(line);
        if (w.size() > 1 && w[0] == "条件" && w[1] == std::to_string(horizon)) {
            return w;
        }
    }
    return {};
}

} // namespace

TEST(RuleReport, TheLimitsSayWhatTheTestAssumedInOrderInEveryForm)
{
    using Dividends = analysis::TrackReport::Dividends;
    auto r = handMadeReport();
    r.listingHistory = false;
    r.delistedStocks = 2;
    r.delistedEvents = 5;
    r.marketSpans = {"プライム は 2022-04-04 から"};
    r.limitsApplied = true;
    r.dividends = Dividends::Included;
    r.dividendDaysPending = 12;
    r.taxed = true;
    const std::string limits = "値幅制限に張り付いた日と売買のない日の買いは約定しないものとし、"
                               "2 日続けて張り付いた後の制限値幅の拡大は含みません";
    const std::vector<std::string> all{
        "銘柄の履歴がないため、現在の上場銘柄だけで検証しています（上場廃止銘柄を含みません）",
        "上場廃止 2 銘柄（5 件）を含む", "プライム は 2022-04-04 から", limits,
        "配当込み（最後の 12 日分は、まだ決まっていない配当を含まないことがあります）",
        "税引後（年ごとの実現益に 20.315%、損失の繰越控除は含みません）",
        "TOPIX と同じ買いの日・売りの日で比較"};
    EXPECT_EQ(r.limitLines(), all);

    // Each on a line of its own above the rows, in the same order.
    const std::string text = r.text();
    std::size_t at = 0;
    for (const auto& line : all) {
        const auto found = text.find("\n" + line + "\n", at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << text;
        at = found + 1;
    }
    EXPECT_LT(at, text.find("■ 全体"));

    auto j = json::parse(r.json());
    EXPECT_EQ(j["limits"], json(all));
    EXPECT_EQ(j["listingHistory"], false);
    EXPECT_EQ(j["delistedStocks"], 2);
    EXPECT_EQ(j["delistedEvents"], 5);
    EXPECT_EQ(j["marketSpans"], json::array({"プライム は 2022-04-04 から"}));
    EXPECT_EQ(j["limitsApplied"], true);
    EXPECT_EQ(j["dividends"], "included");
    EXPECT_EQ(j["dividendDaysPending"], 12);
    EXPECT_EQ(j["taxed"], true);

    // What is not so says nothing, but for the dividends, which are always named.
    struct Case
    {
        Dividends dividends;
        int pending;
        std::string line, key;
    };
    for (const auto& c : std::vector<Case>{{Dividends::Included, 0, "配当込み", "included"},
             {Dividends::Off, 3, "配当は含みません", "off"},
             {Dividends::NotStored, 0,
                 "配当は含みません（配当込みの検証にはプレミアムプランの配当データが必要です）",
                 "not-stored"}}) {
        auto plain = handMadeReport();
        plain.dividends = c.dividends;
        plain.dividendDaysPending = c.pending;
        plain.topixEvents = 30;
        EXPECT_EQ(
            plain.limitLines(), (std::vector<std::string>{c.line, "TOPIX のある 30 / 40 件で TOPIX と比較"}))
            << c.key;
        j = json::parse(plain.json());
        EXPECT_EQ(j["dividends"], c.key);
        EXPECT_EQ(j["taxed"], false);
        EXPECT_EQ(j["delistedStocks"], 0);
    }

    // The signals' record has none of them.
    auto signals = handMadeReport();
    signals.rule = false;
    EXPECT_EQ(signals.text().find("配当"), std::string::npos);
    EXPECT_FALSE(json::parse(signals.json()).contains("limits"));
}

TEST(RuleReport, EachRuleRowSaysItsUnfilledEventsBesideItsCountAndItsDelistedOnes)
{
    const auto r = handMadeReport();
    const std::string text = r.text();
    // シグナル 日数 件数 約定せず 的中 …, also for the row without a filled event.
    EXPECT_EQ(words(lineStarting(text, "シグナル")).at(3), "約定せず") << text;
    const auto filled = ruleRow(text, 5);
    ASSERT_GE(filled.size(), 6U) << text;
    EXPECT_EQ(std::vector<std::string>(filled.begin(), filled.begin() + 6),
        (std::vector<std::string>{"条件", "5", "40", "7", "22", "55.0%"}));
    EXPECT_EQ(ruleRow(text, 20), (std::vector<std::string>{"条件", "20", "0", "2", "0", "-"}));

    const auto j = json::parse(r.json());
    const auto& rows = j["groups"][0]["rows"];
    EXPECT_EQ(rows[0]["unfilled"], 7);
    EXPECT_EQ(rows[0]["delistedEvents"], 3);
    EXPECT_EQ(rows[1]["unfilled"], 2);
    EXPECT_EQ(rows[1]["delistedEvents"], 0);

    // The spreadsheet keeps its columns where they were, the new one last.
    const std::string csv = r.csv();
    EXPECT_NE(csv.find(",判定,同日平均,同日上昇率,超過,TOPIX平均,TOPIX超過,約定せず\r\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",0.001,0.009,7\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",,,,,,2\r\n"), std::string::npos) << csv;
}

TEST(RuleReport, TheMoneyStandsBesideTopixWithItsDividendsTaxAndDelistedTrades)
{
    auto r = handMadeReport();
    r.simulation = handMadeMoney();
    r.simulationSettings.horizon = 20;
    r.simulationSettings.dividends = r.simulationSettings.tax = true;
    std::string text = r.text();
    EXPECT_NE(text.find("単元 1 株、20 日保有、配当込み、税引後）\n"), std::string::npos) << text;
    EXPECT_NE(text.find("保有日率 100.0%  約定せず 4 回\n"
                        "市場（全銘柄均等）  損益 +3.00%  年率 +6.00%  最大下落 4.0%\n"
                        "TOPIX  損益 +5.00%  年率 +10.00%  最大下落 2.0%\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("受取配当 1,234 円  税金 568 円\n"), std::string::npos) << text;

    auto j = json::parse(r.json());
    const auto& sim = j["simulation"];
    EXPECT_EQ(sim["topixReturn"], 0.05);
    EXPECT_EQ(sim["topixAnnualReturn"], 0.1);
    EXPECT_EQ(sim["topixMaxDrawdown"], 0.02);
    EXPECT_EQ(sim["unfilled"], 4);
    EXPECT_EQ(sim["dividends"], 1234.4);
    EXPECT_EQ(sim["tax"], 567.6);
    EXPECT_EQ(j["equity"][0]["topix"], 1000000.0);
    EXPECT_TRUE(j["equity"][1]["topix"].is_null());

    // The gain holds the dividends; the delisted trade is marked.
    EXPECT_EQ(r.tradesCsv(),
        "\xEF\xBB\xBF"
        "コード,買付日,買値,株数,売却日,売値,損益,配当,備考\r\n"
        "7203,2023-12-28,100,10,2024-01-04,110,999.5,0,\r\n"
        "9999,2024-01-04,50,100,2024-01-05,40,-987.5,12.5,上場廃止\r\n");

    // Without TOPIX, dividends or tax, none of their lines; a dividend credited shows even so.
    auto& s = *r.simulation;
    s.topixReturn = s.topixAnnualReturn = s.topixMaxDrawdown = std::nullopt;
    s.tax = 0;
    s.unfilled = 0;
    r.simulationSettings.dividends = r.simulationSettings.tax = false;
    text = r.text();
    EXPECT_EQ(text.find("TOPIX  損益"), std::string::npos) << text;
    EXPECT_EQ(text.find("税金"), std::string::npos) << text;
    EXPECT_EQ(text.find("約定せず 0 回"), std::string::npos) << text;
    EXPECT_NE(text.find("\n受取配当 1,234 円\n"), std::string::npos) << text;
    EXPECT_NE(text.find("単元 1 株、20 日保有）"), std::string::npos) << text;
    s.dividends = 0;
    EXPECT_EQ(r.text().find("受取配当"), std::string::npos);
    j = json::parse(r.json());
    EXPECT_TRUE(j["simulation"]["topixReturn"].is_null());
    EXPECT_EQ(j["simulation"]["tax"], 0.0);
}

TEST(RuleReport, TheWindowShowsTheLimitsTheUnfilledAndTopixBesideTheMoney)
{
    analysis::RuleTest::Options options;
    options.by = analysis::RuleTest::GroupBy::Year;
    ui::RuleTestDialogModel model("/nonexistent", options, "");
    auto r = handMadeReport();
    r.topixEvents = 0;
    model.show(r);
    EXPECT_EQ(model.limits,
        "株価 120 日分で検証。配当は含みません。TOPIX との比較なし（J-Quants のライトプラン以上）。"
        "過去の結果は将来を保証しません。");
    EXPECT_EQ(model.grid.cell(0, 3).text, "約定せず");
    EXPECT_EQ(model.grid.cell(1, 3).text, "7");
    EXPECT_EQ(model.grid.cell(1, 4).text, "22");
    EXPECT_EQ(model.grid.cell(2, 3).text, "2");
    EXPECT_EQ(model.grid.cell(1, 14).text, analysis::TrackReport::verdict(r.groups[0].rows[0]));

    r.simulation = handMadeMoney();
    r.simulationSettings.dividends = r.simulationSettings.tax = true;
    model.show(r);
    ASSERT_EQ(model.money.cols(), 4);
    EXPECT_EQ(model.money.column(3).heading, "TOPIX");
    std::map<std::string, std::vector<std::string>> lines; // the first of each name
    std::vector<std::string> names;
    for (int row = 1; row < model.money.rows(); ++row) {
        const auto& name = model.money.cell(row, 0).text;
        names.push_back(name);
        if (!lines.count(name)) {
            for (int c = 1; c < 4; ++c) {
                lines[name].push_back(model.money.cell(row, c).text);
            }
        }
    }
    EXPECT_EQ(lines["損益"], (std::vector<std::string>{"+10.00%", "+3.00%", "+5.00%"}));
    EXPECT_EQ(lines["最大下落"], (std::vector<std::string>{"5.0%", "4.0%", "2.0%"}));
    EXPECT_EQ(lines["最終資産"], (std::vector<std::string>{"1,100,000 円", "1,030,000 円", "1,050,000 円"}));
    EXPECT_EQ(lines["約定せず"], (std::vector<std::string>{"4", "", ""}));
    EXPECT_EQ(lines["受取配当"], (std::vector<std::string>{"1,234 円", "", ""}));
    EXPECT_EQ(lines["税金"], (std::vector<std::string>{"568 円", "", ""}));
    // Each year's returns with TOPIX's, then each year's dividends and tax.
    const auto from = std::find(names.begin(), names.end(), "年ごとの損益");
    ASSERT_NE(from, names.end());
    EXPECT_EQ(std::vector<std::string>(from, names.end()),
        (std::vector<std::string>{"年ごとの損益", "2023 年", "2024 年", "年ごとの受取配当", "2023 年",
            "2024 年", "年ごとの税金", "2023 年", "2024 年"}));
    const int year = static_cast<int>(from - names.begin()) + 1;
    EXPECT_EQ(model.money.cell(year + 1, 3).text, "");
    EXPECT_EQ(model.money.cell(year + 2, 3).text, "+5.00%");
    EXPECT_EQ(model.money.cell(year + 5, 1).text, "1,234 円");
    EXPECT_EQ(model.money.cell(year + 8, 1).text, "568 円");
    EXPECT_EQ(model.moneyHeading,
        "運用: 10 枠、手数料片道 0.100%、元手 1,000,000 円、単元 1 株、1 日保有、配当込み、税引後");
    // TOPIX's line beside the others, none on the day it lacks.
    ASSERT_EQ(model.topix.size(), 3U);
    EXPECT_EQ(model.topix[0], 1000000);
    EXPECT_TRUE(std::isnan(model.topix[1]));

    // Without TOPIX in the money: its column and line go, as do the dividends and tax unasked.
    auto& s = *r.simulation;
    s.topixReturn = std::nullopt;
    s.dividends = s.tax = 0;
    for (auto& p : s.equity) {
        p.topix = std::nullopt;
    }
    r.simulationSettings.dividends = r.simulationSettings.tax = false;
    model.show(r);
    EXPECT_EQ(model.money.cols(), 3);
    EXPECT_TRUE(model.topix.empty());
    for (int row = 1; row < model.money.rows(); ++row) {
        const auto& name = model.money.cell(row, 0).text;
        EXPECT_TRUE(name.find("配当") == std::string::npos && name.find("税金") == std::string::npos) << name;
    }
}

TEST(RuleReport, TheWindowsDividendsBoxFollowsWhatTheStoreKeepsAndTheMarketNamesTheCaption)
{
    analysis::RuleTest::Options options;
    options.conditions.signal = "買";
    ui::RuleTestDialogModel model("/nonexistent", options, "短期シグナル 買");
    // Checked by default: dividends where stored, never a test refused for want of them.
    EXPECT_TRUE(model.boxes().dividends);
    EXPECT_FALSE(model.options().dividends.has_value());
    auto boxes = model.boxes();
    boxes.dividends = false;
    boxes.tax = true;
    boxes.market = "東証一部";
    ASSERT_TRUE(model.take(boxes));
    EXPECT_EQ(model.options().dividends, std::optional<bool>(false));
    EXPECT_TRUE(model.options().tax);
    EXPECT_EQ(model.options().conditions.market, "東証一部");
    EXPECT_EQ(model.caption, "成績  条件: 市場 東証一部、短期シグナル 買");
    EXPECT_EQ(model.boxes().market, "東証一部");

    // Off says nothing of the store; a store without dividends is known from a test's report, and
    // the box then keeps the setting as it was.
    auto r = handMadeReport();
    model.show(r);
    EXPECT_TRUE(model.dividendsStored);
    r.dividends = analysis::TrackReport::Dividends::NotStored;
    model.show(r);
    EXPECT_FALSE(model.dividendsStored);
    boxes.dividends = true;
    ASSERT_TRUE(model.take(boxes));
    EXPECT_EQ(model.options().dividends, std::optional<bool>(false));
    // A failed test says nothing of it.
    model.show(analysis::TrackReport{});
    EXPECT_FALSE(model.dividendsStored);
    r.dividends = analysis::TrackReport::Dividends::Included;
    model.show(r);
    EXPECT_TRUE(model.dividendsStored);
    ASSERT_TRUE(model.take(boxes));
    EXPECT_FALSE(model.options().dividends.has_value());
}
