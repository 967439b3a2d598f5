#include "analysis/TrackRun.h"

#include "SampleServer.h"
#include "TestSupport.h"
#include "analysis/CSVMDB.h"
#include "core/Clock.h"
#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/Recordset.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>

using namespace zuvemo;
using analysis::TrackRun;
using analysis::Indicators::Mark;
using test::TempFolder;

namespace {

// A program folder screened over a sample market of today: a CSV folder, or a J-Quants one
// whose histories lie in its price store.
class TrackMarket : public ::testing::Test
{
protected:
    void start(int stocks, int days, bool jquants)
    {
        sample::SampleServer::Options options;
        options.market.stocks = stocks;
        options.market.days = days;
        options.market.today = core::Clock().today();
        options.jquants = jquants;
        m_server = std::make_unique<sample::SampleServer>(options);
        ASSERT_GT(m_server->start(0), 0);
        std::string out;
        const std::string init = jquants ? " init --source jquants --api-url " + m_server->apiBaseUrl()
                + " --plan premium --days " + std::to_string(days)
                                         : " init --daily-url " + m_server->dailyBaseUrl() + " --history-url "
                + m_server->historyBaseUrl();
        ASSERT_EQ(run(init + " --bounds 0.9 1.2 2>&1", &out), 0) << out;
    }
    void screen()
    {
        std::string out;
        ASSERT_EQ(run(" refresh 2>&1", &out), 0) << out;
        ASSERT_EQ(run(" screen 2>&1", &out), 0) << out;
    }
    int run(const std::string& args, std::string* out)
    {
        return test::runCommand("JQUANTS_API_KEY=sample-key HOME=" + m_dir.path().string() + " "
                + test::cliCommand(m_dir / m_home) + args,
            out);
    }
    std::unique_ptr<core::Mdl_Start> module()
    {
        auto m = std::make_unique<core::Mdl_Start>(m_dir / m_home);
        EXPECT_TRUE(m->ReadConfigFile());
        EXPECT_TRUE(m->OpenDatabase());
        return m;
    }

    struct Marks
    {
        std::string code;
        std::vector<Mark> h, k;
    };
    // Each stock's marks of every day, as the record counted them.
    std::map<std::string, Marks> marksOf(TrackRun::Options options = {})
    {
        auto m = module();
        std::vector<Marks> byIndex(4000);
        options.eachStock = [&](std::size_t i, const std::string& code, const std::vector<Mark>& h,
                                const std::vector<Mark>& k) {
            byIndex.at(i) = Marks{code, h, k};
        };
        auto report = TrackRun(*m).run(options);
        EXPECT_EQ(report.message, "");
        std::map<std::string, Marks> out;
        for (auto& marks : byIndex) {
            if (!marks.code.empty()) {
                out[core::Utf8::trim(marks.code)] = std::move(marks);
            }
        }
        EXPECT_EQ(static_cast<int>(out.size()), report.stocks);
        return out;
    }
    // The newest day's marks of every stock the screening obtained against the record's.
    void expectNewestDaysAgree()
    {
        const auto marks = marksOf();
        auto c = core::Connection::open(m_dir / m_home / "zuvemo.db");
        int compared = 0;
        int signalled = 0;
        for (auto rs = c->openRecordset(" SELECT MgCode,Achk,Cchk FROM Table_Code WHERE Dchk='取得'");
             !rs->isEof(); rs->moveNext()) {
            const std::string code = core::Utf8::trim(rs->field(0).toText());
            ASSERT_TRUE(marks.count(code)) << code;
            const auto& m = marks.at(code);
            EXPECT_EQ(analysis::Indicators::markText(m.h.back()), core::TrimOrSpace(rs->field(1))) << code;
            EXPECT_EQ(analysis::Indicators::markText(m.k.back()), core::TrimOrSpace(rs->field(2))) << code;
            ++compared;
            signalled += m.h.back() != Mark::None;
        }
        EXPECT_GT(compared, 100);
        EXPECT_GT(signalled, 3);
    }

    TempFolder m_dir;
    std::string m_home = "home";
    std::unique_ptr<sample::SampleServer> m_server;
};

const nlohmann::json& rowOf(const nlohmann::json& group, const std::string& signal, int horizon)
{
    for (const auto& row : group["rows"]) {
        if (row["signal"] == signal && row["horizon"] == horizon) {
            return row;
        }
    }
    throw std::runtime_error("no row " + signal);
}

} // namespace

TEST_F(TrackMarket, ACsvFoldersRecordAgreesWithTheScreeningAndTheAnalysisOfCutHistories)
{
    start(300, 300, false);
    screen();
    expectNewestDaysAgree();

    // Days in the middle: the analysis of the history file cut after the day (as `analyse`
    // loads it) gives the day's marks.
    const auto marks = marksOf();
    auto m = module();
    const auto bounds = analysis::readBounds(*m);
    std::string latest;
    {
        auto rs = m->SharedConnection->openRecordset(" SELECT kabuHdate FROM Table_Url");
        latest = core::Utf8::trim(core::TrimOrSpace(rs->field(0)));
    }
    int checked = 0;
    std::vector<std::string> codes;
    for (auto it = marks.begin(); it != marks.end() && codes.size() < 4; ++it) {
        codes.push_back(it->first);
    }
    for (const auto& code : codes) {
        const auto file = m_dir / "home" / "csv" / (latest + "-" + code + ".csv");
        ASSERT_TRUE(std::filesystem::exists(file)) << file;
        const std::string text = test::readFile(file);
        std::vector<std::string> lines;
        for (std::size_t from = 0; from < text.size();) {
            const auto end = text.find('\n', from);
            lines.push_back(text.substr(from, end - from + 1));
            from = end == std::string::npos ? text.size() : end + 1;
        }
        const auto& stock = marks.at(code);
        const int n = static_cast<int>(stock.h.size());
        ASSERT_EQ(n + 2, static_cast<int>(lines.size()));
        for (int day = 20; day < n; day += 7) {
            // Two heading lines, then the days newest first: drop the days after `day`.
            std::string cut = lines[0] + lines[1];
            for (std::size_t i = 2 + static_cast<std::size_t>(n - 1 - day); i < lines.size(); ++i) {
                cut += lines[i];
            }
            test::writeFile(m_dir / "cut.csv", cut);
            const std::string expected{
                analysis::Indicators::markDigit(stock.h[static_cast<std::size_t>(day)]),
                analysis::Indicators::markDigit(stock.k[static_cast<std::size_t>(day)])};
            ASSERT_EQ(analysis::CSVMDB(*m, m_dir / "cut.csv", 0, bounds), expected) << code << " day " << day;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);

    // The command's JSON: one object, the whole first, each row consistent.
    std::string out;
    ASSERT_EQ(run(" track --json --horizons 20,1,5,5", &out), 0) << out;
    const auto report = nlohmann::json::parse(out);
    EXPECT_EQ(
        report["tradingDate"], latest.substr(0, 4) + "-" + latest.substr(4, 2) + "-" + latest.substr(6, 2));
    EXPECT_EQ(report["stocks"], static_cast<int>(marks.size()));
    EXPECT_EQ(report["horizons"], nlohmann::json({1, 5, 20}));
    ASSERT_EQ(report["groups"].size(), 1u);
    const auto& all = report["groups"][0];
    EXPECT_EQ(all["group"], "全体");
    ASSERT_EQ(all["rows"].size(), 15u);
    for (const auto& row : all["rows"]) {
        ASSERT_GT(row["count"].get<int>(), 0) << row;
        EXPECT_LE(row["hits"].get<int>(), row["count"].get<int>());
        EXPECT_DOUBLE_EQ(
            row["hitRate"].get<double>(), row["hits"].get<double>() / row["count"].get<double>());
        EXPECT_LE(row["low"].get<double>(), row["hitRate"].get<double>());
        EXPECT_GE(row["high"].get<double>(), row["hitRate"].get<double>());
    }
    // Every day of every stock from the 21st on, while the horizon's day exists.
    int everyDay = 0;
    for (const auto& [code, stock] : marks) {
        everyDay += std::max(0, static_cast<int>(stock.h.size()) - 20 - 5);
    }
    EXPECT_EQ(rowOf(all, "全日", 5)["count"], everyDay);

    // Grouped by market: the groups add up to the whole, each with its own base line; and the
    // spreadsheet file holds the same rows.
    const auto csvFile = m_dir / "track.csv";
    ASSERT_EQ(run(" track --json --by market --csv " + csvFile.string(), &out), 0) << out;
    const auto byMarket = nlohmann::json::parse(out);
    ASSERT_GT(byMarket["groups"].size(), 2u);
    for (const char* signal : {"全日", "短期買", "出来高確認売"}) {
        int sum = 0;
        for (std::size_t g = 1; g < byMarket["groups"].size(); ++g) {
            sum += rowOf(byMarket["groups"][g], signal, 1)["count"].get<int>();
        }
        EXPECT_EQ(sum, rowOf(byMarket["groups"][0], signal, 1)["count"].get<int>()) << signal;
    }
    const std::string sheet = test::readFile(csvFile);
    EXPECT_EQ(sheet.rfind("\xEF\xBB\xBF基準日,グループ,シグナル,日数,件数,", 0), 0u);
    EXPECT_EQ(
        std::count(sheet.begin(), sheet.end(), '\n'), 1 + static_cast<long>(byMarket["groups"].size()) * 15);
    EXPECT_NE(sheet.find("," + byMarket["groups"][1]["group"].get<std::string>() + ",短期買,1,"),
        std::string::npos);

    // The text: a table per group.
    ASSERT_EQ(run(" track --market " + byMarket["groups"][1]["group"].get<std::string>(), &out), 0);
    EXPECT_EQ(out.rfind("基準日 ", 0), 0u) << out;
    EXPECT_NE(out.find("■ 全体\n"), std::string::npos);
    EXPECT_NE(out.find("出来高確認売"), std::string::npos);

    // The shares of the work do not change a digit.
    auto one = module();
    TrackRun::Options single;
    single.threads = 1;
    single.by = TrackRun::GroupBy::Industry;
    TrackRun::Options three = single;
    three.threads = 3;
    EXPECT_EQ(TrackRun(*one).run(single).json(), TrackRun(*one).run(three).json());
}

TEST_F(TrackMarket, AJQuantsFoldersRecordAgreesWithTheScreeningOfItsStore)
{
    start(150, 80, true);
    screen();
    expectNewestDaysAgree();
    std::string out;
    ASSERT_EQ(run(" track --json --horizons 3", &out), 0) << out;
    const auto report = nlohmann::json::parse(out);
    EXPECT_GT(report["stocks"].get<int>(), 100);
    EXPECT_GT(rowOf(report["groups"][0], "短期買", 3)["count"].get<int>(), 0);
}

TEST_F(TrackMarket, FoldersWithoutStocksOrHistoriesSaySoAndFail)
{
    std::string out;
    start(60, 40, false);
    EXPECT_EQ(run(" track 2>&1", &out), 1);
    EXPECT_EQ(out, std::string(TrackRun::kNoStocksMessage) + "\n");
    ASSERT_EQ(run(" refresh 2>&1", &out), 0) << out;
    EXPECT_EQ(run(" track 2>&1", &out), 1);
    EXPECT_EQ(out, std::string(TrackRun::kNoHistoriesMessage) + "\n");
    ASSERT_EQ(run(" screen 2>&1", &out), 0) << out;
    EXPECT_EQ(run(" track --market 火星 2>&1", &out), 1);
    EXPECT_EQ(out, std::string(TrackRun::kNoneSelectedMessage) + "\n");
    EXPECT_EQ(run(" track --by sector 2>&1", &out), 2);
    EXPECT_EQ(run(" track --horizons 1,x 2>&1", &out), 2);
    EXPECT_EQ(run(" track --horizons 0 2>&1", &out), 2);
    EXPECT_EQ(run(" track --json", &out), 0) << out;

    // A J-Quants folder before its first fill; find and a rule's test say the same, naming the
    // tool's command and the window's button alike.
    m_home = "jquants";
    start(30, 30, true);
    EXPECT_EQ(run(" track 2>&1", &out), 1);
    EXPECT_EQ(out, std::string(TrackRun::kNoStocksMessage) + "\n");
    EXPECT_NE(out.find("refresh"), std::string::npos) << out;
    EXPECT_NE(out.find("「検索開始」"), std::string::npos) << out;
    for (const std::string other : {" find", " track --rsi 0:100"}) {
        std::string said;
        EXPECT_EQ(run(other + " 2>&1", &said), 1) << other;
        EXPECT_EQ(said, out) << other;
    }
}

namespace {

// The fields of a CSV file, quoted ones unquoted.
std::vector<std::string> csvFields(const std::string& text)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',' || c == '\n') {
            fields.emplace_back();
        } else if (c != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') {
            fields.back() += c;
        }
    }
    return fields;
}

bool isNumber(const std::string& field)
{
    char* end = nullptr;
    std::strtod(field.c_str(), &end);
    return !field.empty() && end == field.c_str() + field.size();
}

} // namespace

// A list from the server may name a stock, a market or an industry like a formula: a spreadsheet
// opening the files would run it, so such a text cell is written behind an apostrophe, in find's
// file, the record's and a rule's; numbers stay numbers.
TEST_F(TrackMarket, NamesThatReadAsFormulasAreTextInEverySpreadsheetFile)
{
    start(60, 40, false);
    screen();
    const std::vector<std::string> names{"=cmd|' /C calc'!A0", "=HYPERLINK(\"http://x\",\"y\")", "@SUM(1+1)",
        "+1+1", "-1+1", "\t=1+1", "\r=1+1"};
    {
        auto c = core::Connection::open(m_dir / m_home / "zuvemo.db");
        std::vector<std::string> codes;
        for (auto rs = c->openRecordset(" SELECT MgCode FROM Table_Code ORDER BY MgCode"); !rs->isEof();
             rs->moveNext()) {
            codes.push_back(rs->field(0).toText());
        }
        ASSERT_GT(codes.size(), names.size() * 2);
        for (std::size_t i = 0; i < codes.size(); ++i) {
            const std::string name = core::SqlText(names[i % names.size()]);
            c->execute(" UPDATE Table_Code SET MgMei='" + name + "', Mgmgara='" + name + "', Mgyosyu='" + name
                + "' WHERE MgCode='" + core::SqlText(codes[i]) + "'");
        }
    }
    std::string out;
    int negatives = 0;
    for (const std::string args :
        {" find --csv", " find --columns market,industry,rsi,chg1 --csv", " track --by market --csv",
            " track --by industry --csv", " track --chg1 :0 --by market --csv"}) {
        const auto file = m_dir / "sheet.csv";
        ASSERT_EQ(run(args + " " + file.string() + " 2>&1", &out), 0) << args << ": " << out;
        const auto fields = csvFields(test::readFile(file));
        for (const auto& name : names) {
            EXPECT_NE(std::count(fields.begin(), fields.end(), "'" + name), 0) << args << ": " << name;
        }
        for (const auto& field : fields) {
            if (!field.empty() && std::string("=+-@\t\r").find(field[0]) != std::string::npos) {
                EXPECT_TRUE(isNumber(field)) << args << ": " << field;
                negatives += isNumber(field);
            }
        }
    }
    EXPECT_GT(negatives, 0);

    // The simulation's trades likewise.
    analysis::TrackReport report;
    report.simulation.emplace();
    report.simulation->sold.emplace_back().code = "=1+1";
    report.simulation->sold.back().gain = -1.5;
    const auto trades = csvFields(report.tradesCsv());
    EXPECT_EQ(trades.at(9), "'=1+1");
    EXPECT_EQ(trades.at(15), "-1.5");
}
