// The "条件検索" dialog's logic: the same stocks as find over the sample market, the grid's order,
// the boxes' messages, the kept conditions and the candidates it adds.
#include "model/ConditionSearchModel.h"

#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "SampleServer.h"
#include "analysis/FigureTable.h"
#include "analysis/FindReport.h"
#include "analysis/ScreeningRun.h"
#include "core/Clock.h"
#include "export/SpreadsheetOpener.h"
#include "marketdata/ExchangeOrder.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/Fundamentals.h"
#include "marketdata/jquants/PriceStore.h"
#include "model/MainWindowModel.h"

#include <nlohmann/json.hpp>

using namespace zuvemo;
using namespace std::chrono;
using ui::ConditionSearchModel;

namespace {

std::vector<std::string> codes(const ConditionSearchModel& model)
{
    std::vector<std::string> out;
    for (const auto& row : model.result().rows) {
        out.push_back(row.code);
    }
    return out;
}

// The grid's column top to bottom.
std::vector<std::string> column(const ConditionSearchModel& model, int c)
{
    std::vector<std::string> out;
    for (int r = 1; r < model.grid.rows(); ++r) {
        out.push_back(model.grid.cell(r, c).text);
    }
    return out;
}

// A CSV folder's list: four stocks, 1303 suspended, signals on two.
class ConditionSearch : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        db().execute(
            "INSERT INTO Table_Code(MgCode, Mgmgara, MgMei, Mgyosyu, Wecost, Achk, Cchk, Dchk) VALUES "
            "('1301','東証プライム','極洋','水産',3000,'買','買',' '),"
            "('1302','東証スタンダード','乙','水産',150,' ',' ',' '),"
            "('1303','東証プライム','丙','鉱業',800,'買',' ','停止中'),"
            "('1304','東証プライム','丁','鉱業',0,'売','売',' ')");
    }
};

} // namespace

TEST(ConditionSearchFind, TheDialogFindsWhatFindFindsAndShowsItsFigures)
{
    sample::SampleServer::Options options;
    options.market.stocks = 120;
    options.market.days = 60;
    options.market.today = core::Clock().today();
    options.jquants = true;
    sample::SampleServer server(options);
    ASSERT_GT(server.start(0), 0);
    test::TempFolder dir;
    const auto home = dir.path() / "home";
    const std::string cli = "JQUANTS_API_KEY=sample-key " + test::cliCommand(home);
    ASSERT_EQ(test::runCommand(cli + " init --source jquants --api-url " + server.apiBaseUrl()
                  + " --plan premium --days 40 --bounds 0.9 1.2 >/dev/null 2>&1"),
        0);
    ASSERT_EQ(test::runCommand(cli + " refresh >/dev/null 2>&1"), 0);
    ASSERT_EQ(test::runCommand(cli + " screen >/dev/null 2>&1"), 0);

    core::Mdl_Start module(home);
    ASSERT_TRUE(module.ReadConfigFile());
    ASSERT_TRUE(module.OpenDatabase());
    // The screening keeps its day for the search's word on a list not screened yet.
    EXPECT_EQ(analysis::ScreeningRun::lastDay(*module.SharedConnection),
        marketdata::UrlSettings::listDate(*module.SharedConnection));
    EXPECT_FALSE(analysis::ScreeningRun::lastDay(*module.SharedConnection).empty());
    ConditionSearchModel model(module);
    model.load();
    EXPECT_TRUE(model.figuresEnabled);

    struct Case
    {
        std::string args;
        std::function<void(ConditionSearchModel&)> set;
    };
    const std::vector<Case> cases{
        {"", [](auto&) {}},
        {"--fwd-per :20 --yield 1:",
            [](auto& m) {
                m.box("fwd-per").high = "20";
                m.box("yield").low = "1";
            }},
        {"--pbr 0.5:1.5 --roe 5:",
            [](auto& m) {
                m.box("pbr").low = "0.5";
                m.box("pbr").high = "1.5";
                m.box("roe").low = "５"; // typed full-width
            }},
        {"--cap 100:50000 --signal 買",
            [](auto& m) {
                m.box("cap").low = "100";
                m.box("cap").high = "50,000";
                m.signal = "買";
            }},
        {"--signal 売 --confirmed --market 東証プライム",
            [](auto& m) {
                m.signal = "売";
                m.confirmed = true;
                m.market = "東証プライム";
            }},
        {"--yield 2:3.5 --roe :10",
            [](auto& m) {
                m.box("yield").low = "2";
                m.box("yield").high = "3.5";
                m.box("roe").high = "10";
            }},
        // A price figure and one of JPX's together, and the flags and the cross.
        {"--dev25 :2 --pbr :1.5",
            [](auto& m) {
                m.box("dev25").high = "２";
                m.box("pbr").high = "1.5";
            }},
        {"--rsi 30:70 --turnover 10: --per :40",
            [](auto& m) {
                m.box("rsi").low = "30";
                m.box("rsi").high = "70";
                m.box("turnover").low = "10";
                m.box("per").high = "40";
            }},
        {"--uptrend --roe 0:",
            [](auto& m) {
                m.flags = {"uptrend"};
                m.box("roe").low = "0";
            }},
        {"--cross golden --new-high",
            [](auto& m) {
                m.cross = 1;
                m.flags = {"new-high"};
            }},
        {"--below-cloud --stoch-k :30 --macd-hist :0",
            [](auto& m) {
                m.flags = {"below-cloud"};
                m.box("stoch-k").high = "30";
                m.box("macd-hist").high = "0";
            }},
        {"--macd-cross golden --bb 0:",
            [](auto& m) {
                m.crosses = {{"macd-cross", 1}};
                m.box("bb").low = "0";
            }},
    };
    int nonEmpty = 0;
    for (const auto& c : cases) {
        std::string out;
        ASSERT_EQ(test::runCommand(cli + " find --json " + c.args, &out), 0) << c.args << out;
        const auto json = nlohmann::json::parse(out);
        std::vector<std::string> expected;
        for (const auto& s : json["stocks"]) {
            expected.push_back(s["code"]);
        }
        model.clear();
        c.set(model);
        ASSERT_TRUE(model.search()) << c.args << model.message;
        EXPECT_EQ(codes(model), expected) << c.args;
        EXPECT_EQ(column(model, ConditionSearchModel::kCodeColumn), expected) << c.args;
        EXPECT_EQ(model.countLine,
            "該当 " + std::to_string(expected.size()) + " 銘柄（株価 "
                + json["tradingDate"].get<std::string>() + "、指標 "
                + json["valuationDate"].get<std::string>() + "）");
        nonEmpty += !expected.empty();
    }
    EXPECT_GE(nonEmpty, 6);

    // Every condition of the table has a box, JPX's first (the five the dialog always had),
    // each with the unit the user types in.
    std::vector<std::string> names;
    for (const auto& b : model.boxes) {
        names.push_back(b.figure->name);
        EXPECT_TRUE(b.figure->condition);
        EXPECT_EQ(b.group != ConditionSearchModel::Group::Technical,
            b.figure->source == analysis::FigureTable::Source::JQuants)
            << b.figure->name;
        // What to check before buying has a tab of its own.
        EXPECT_EQ(
            b.group == ConditionSearchModel::Group::Supply, ConditionSearchModel::isSupply(b.figure->name))
            << b.figure->name;
    }
    std::vector<std::string> conditions;
    for (const auto& f : analysis::FigureTable::figures()) {
        if (f.condition) {
            conditions.push_back(f.name);
        }
    }
    EXPECT_EQ(std::set(names.begin(), names.end()), std::set(conditions.begin(), conditions.end()));
    EXPECT_EQ(names.size(), conditions.size());
    EXPECT_EQ(std::vector(names.begin(), names.begin() + 6),
        (std::vector<std::string>{"fwd-per", "pbr", "roe", "yield", "cap", "per"}));
    EXPECT_EQ(model.box("cap").caption, "時価総額");
    EXPECT_EQ(model.box("cap").unit, "億円");
    EXPECT_EQ(model.box("turnover").unit, "百万円");
    EXPECT_EQ(model.box("dev25").unit, "%");
    EXPECT_EQ(model.box("rsi").unit, "");
    EXPECT_EQ(model.box("bb").unit, "σ");
    EXPECT_EQ(model.box("macd").unit, "円");
    // Each price figure, flag and cross in one of the technical tab's groups.
    for (const auto& b : model.boxes) {
        EXPECT_EQ(ConditionSearchModel::sectionOf(b.figure->name).empty(),
            b.group != ConditionSearchModel::Group::Technical)
            << b.figure->name;
    }
    for (const auto& f : analysis::FigureTable::flags()) {
        EXPECT_FALSE(ConditionSearchModel::sectionOf(f.name).empty()) << f.name;
    }
    for (const auto& c : analysis::FigureTable::crosses()) {
        EXPECT_FALSE(ConditionSearchModel::sectionOf(c.name).empty()) << c.name;
    }
    EXPECT_THROW(model.box("close"), std::out_of_range);

    // Bad bounds are refused as find refuses them, with its words.
    struct Bad
    {
        std::string name, low, high;
    };
    for (const auto& bad : std::vector<Bad>{{"yield", "-1", ""}, {"cap", "", "－５"}, {"pbr", "3", "1"},
             {"dev25", "1x", ""}, {"rsi", "0x10", ""}, {"roe", "inf", ""}, {"vol-ratio", "1..2", ""}}) {
        model.clear();
        model.box(bad.name).low = bad.low;
        model.box(bad.name).high = bad.high;
        EXPECT_FALSE(model.search()) << bad.name;
        const auto& error = model.box(bad.name).error;
        EXPECT_FALSE(error.empty()) << bad.name;
        std::string out;
        std::string command = cli + " find --";
        command += bad.name;
        command += " '";
        command += bad.low;
        command += ":";
        command += bad.high == "－５" ? std::string("-5") : bad.high;
        command += "' 2>&1";
        EXPECT_NE(test::runCommand(command, &out), 0);
        EXPECT_NE(out.find(error), std::string::npos) << bad.name << ": " << out;
    }

    // The shown digits, blank where JPX sent nothing (the funds).
    model.clear();
    ASSERT_TRUE(model.search());
    bool blank = false;
    for (int r = 1; r < model.grid.rows(); ++r) {
        const auto& f = model.row(r)->figures;
        const auto per = model.grid.cell(r, model.columnOf("fwd-per")).text;
        if (!f.fwdPer) {
            blank = true;
            EXPECT_EQ(per, "");
            continue;
        }
        EXPECT_EQ(per.size() - per.find('.'), 2u) << per;
        EXPECT_EQ(model.grid.cell(r, model.columnOf("fwd-per")).align, ui::Align::Right);
        if (f.marketCap && *f.marketCap >= 1e11) {
            EXPECT_NE(model.grid.cell(r, model.columnOf("cap")).text.find(','), std::string::npos);
        }
        if (f.dividendYield) {
            const auto y = model.grid.cell(r, model.columnOf("yield")).text;
            EXPECT_EQ(y.size() - y.find('.'), 4u) << y; // "2.15%"
        }
    }
    EXPECT_TRUE(blank);

    // A heading click sorts, a second the other way; the stocks without the figure stay last.
    for (int pass = 0; pass < 2; ++pass) {
        model.sortBy(model.columnOf("yield"));
        EXPECT_EQ(model.descending(), pass == 1);
        const auto& rows = model.result().rows;
        bool none = false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& y = rows[i].figures.dividendYield;
            EXPECT_FALSE(none && y) << "a figure after a none at " << i;
            none = none || !y;
            if (i > 0 && y && rows[i - 1].figures.dividendYield) {
                EXPECT_TRUE(pass == 0 ? *rows[i - 1].figures.dividendYield <= *y
                                      : *rows[i - 1].figures.dividendYield >= *y);
            }
        }
        EXPECT_TRUE(none);
    }
    // The chosen rows stay chosen through a sort, and the next search keeps the order.
    model.click(1, false, false);
    model.click(3, false, true);
    const auto chosen = model.selected();
    EXPECT_EQ(chosen.size(), 3u);
    model.sortBy(ConditionSearchModel::kNameColumn);
    EXPECT_EQ(model.selected(), chosen);
    int painted = 0;
    for (int r = 1; r < model.grid.rows(); ++r) {
        painted += model.grid.rowColor(r) == ui::GridColor::kYellow;
        EXPECT_EQ(model.grid.rowColor(r) == ui::GridColor::kYellow, chosen.count(model.row(r)->code) == 1);
    }
    EXPECT_EQ(painted, 3);
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.sortColumn(), ConditionSearchModel::kNameColumn);
    EXPECT_FALSE(model.descending());
    EXPECT_TRUE(model.selected().empty());

    // A condition off the default columns brings its own, after the figures; a click sorts by it.
    model.clear();
    model.box("dev25").high = "5";
    model.box("turnover").low = "1";
    model.flags = {"uptrend"};
    ASSERT_TRUE(model.search()) << model.message;
    auto expectedColumns = analysis::FindReport::defaultColumns();
    expectedColumns.insert(expectedColumns.begin(), {"code", "name"});
    const auto afterCap = std::find(expectedColumns.begin(), expectedColumns.end(), "cap") + 1;
    expectedColumns.insert(afterCap, {"dev25", "turnover", "uptrend"});
    EXPECT_EQ(model.columns(), expectedColumns);
    ASSERT_EQ(model.grid.cols(), static_cast<int>(expectedColumns.size()));
    const int dev25 = model.columnOf("dev25");
    EXPECT_EQ(model.grid.cell(0, dev25).text, "25日乖離");
    EXPECT_EQ(model.grid.cell(0, model.columnOf("turnover")).text, "売買代金(百万円)");
    EXPECT_EQ(model.grid.column(dev25).align, ui::Align::Right);
    EXPECT_EQ(model.grid.cell(0, model.columnOf("uptrend")).text, "上昇トレンド");
    for (int r = 1; r < model.grid.rows(); ++r) {
        EXPECT_EQ(model.grid.cell(r, model.columnOf("uptrend")).text, "○");
    }
    model.flags.clear();
    ASSERT_TRUE(model.search()) << model.message;
    EXPECT_EQ(model.columnOf("uptrend"), -1);
    ASSERT_GT(model.grid.rows(), 2);
    for (int r = 1; r < model.grid.rows(); ++r) {
        EXPECT_EQ(model.grid.cell(r, dev25).text,
            analysis::FigureTable::shown(
                *analysis::FigureTable::figure("dev25"), model.row(r)->figures.dev25));
    }
    model.sortBy(dev25);
    model.sortBy(dev25);
    EXPECT_EQ(model.sortColumn(), dev25);
    EXPECT_TRUE(model.descending());
    for (int r = 2; r < model.grid.rows(); ++r) {
        EXPECT_GE(*model.row(r - 1)->figures.dev25, *model.row(r)->figures.dev25);
    }
    // Without the condition the column goes, and the order falls back to the code.
    model.clear();
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.columnOf("dev25"), -1);
    EXPECT_EQ(model.grid.cols(), static_cast<int>(analysis::FindReport::defaultColumns().size()) + 2);
    EXPECT_EQ(model.sortColumn(), ConditionSearchModel::kCodeColumn);
    EXPECT_FALSE(model.descending());

    // The main window's watch list, holding every stock, names those of the list's day's figures
    // that announce within five trading days; the sample market has one announce on its newest day.
    marketdata::PriceStore store(module.programFolder());
    const auto figures
        = marketdata::Fundamentals::read(store, marketdata::UrlSettings::listDate(*module.SharedConnection));
    std::string soon;
    int today = 0;
    for (const auto& [code, f] : figures.byCode) {
        module.SharedConnection->execute(
            "INSERT INTO Table_KOCYU(Wmgcode, Wmgmei) VALUES ('" + code + "', 'x')");
        if (f.earningsIn && *f.earningsIn <= ui::MainWindowModel::kEarningsSoonDays) {
            soon += (soon.empty() ? "" : ", ") + code;
            today += *f.earningsIn == 0;
        }
    }
    ASSERT_GT(today, 0);
    core::FixedClock clock{year_month_day{2024y, January, 9d}};
    test::FakeDownloader fake;
    exporting::NoOpener opener;
    ui::MainWindowModel main(module, clock, fake, opener);
    main.DSP_KOCYU_Grid(2);
    EXPECT_EQ(main.earningsLine, "5 営業日以内に決算: " + soon);
    int marked = 0;
    for (int r = 1; r < main.grid2.rows(); ++r) {
        const auto& f = figures.byCode.at(main.grid2.cell(r, 0).text);
        const bool near = f.earningsIn && *f.earningsIn <= ui::MainWindowModel::kEarningsSoonDays;
        EXPECT_EQ(main.grid2.rowTip(r).empty(), !near) << r;
        marked += main.grid2.rowTip(r).ends_with("（本日）");
    }
    EXPECT_EQ(marked, today);
}

TEST_F(ConditionSearch, BadInputIsSaidBesideItsBoxAndNothingElseChanges)
{
    ConditionSearchModel model(*m_module);
    model.load();
    // A CSV folder: the figure boxes are off and say why; the rest works.
    EXPECT_FALSE(model.figuresEnabled);
    EXPECT_EQ(model.figuresNote, "PER などの指標は J-Quants のフォルダで使えます。");
    model.signal = "買";
    ASSERT_TRUE(model.search()) << model.message;
    EXPECT_EQ(codes(model), (std::vector<std::string>{"1301", "1303"}));
    EXPECT_EQ(model.countLine, "該当 2 銘柄（株価 2024-01-04、指標 なし）");
    // Texts in JPX's boxes, off here, do not stop the search; the price boxes stay on.
    model.box("fwd-per").low = "abc";
    EXPECT_FALSE(model.enabled(model.box("fwd-per")));
    EXPECT_TRUE(model.enabled(model.box("dev25")));
    EXPECT_TRUE(model.search());
    model.box("dev25").low = "5";
    model.box("dev25").high = "-5";
    EXPECT_FALSE(model.search());
    EXPECT_EQ(model.box("dev25").error, "上限が下限より小さいです。");
    // Only the bound to mend is tinted: the one said to be smaller.
    EXPECT_FALSE(model.box("dev25").badLow);
    EXPECT_TRUE(model.box("dev25").badHigh);
    model.box("dev25").low.clear();
    model.box("dev25").high.clear();

    ASSERT_TRUE(model.search());
    // A box left in error before any search greys the result standing: it answers other
    // conditions. Fixed, the result is itself again.
    model.box("rsi").low = "5x";
    EXPECT_FALSE(model.check());
    EXPECT_EQ(model.box("rsi").error, "数字を入力してください。");
    EXPECT_TRUE(model.box("rsi").badLow);
    EXPECT_FALSE(model.box("rsi").badHigh);
    EXPECT_TRUE(model.stale());
    EXPECT_EQ(model.grid.rows(), 3);
    EXPECT_EQ(model.shownGrid().cell(1, 0).fore, ui::GridColor::kGrey);
    EXPECT_EQ(model.shownGrid().cell(2, 3).fore, ui::GridColor::kGrey);
    model.box("rsi").low = "5";
    EXPECT_TRUE(model.check());
    EXPECT_FALSE(model.stale());
    EXPECT_NE(model.shownGrid().cell(1, 0).fore, ui::GridColor::kGrey);
    model.box("rsi").low.clear();

    model.figuresEnabled = true;
    model.box("pbr").low = "3";
    model.box("pbr").high = "1";
    model.box("cap").high = "１，０００"; // full-width, grouped: a number
    model.box("yield").low = "−1";
    model.click(1, false, false);
    EXPECT_FALSE(model.search());
    EXPECT_EQ(model.box("fwd-per").error, "数字を入力してください。");
    EXPECT_EQ(model.box("pbr").error, "上限が下限より小さいです。");
    EXPECT_EQ(model.box("yield").error, "負の値は指定できません。");
    EXPECT_EQ(model.box("cap").error, "");
    EXPECT_EQ(model.box("roe").error, "");
    EXPECT_EQ(std::pair(model.box("fwd-per").badLow, model.box("fwd-per").badHigh), std::pair(true, false));
    EXPECT_EQ(std::pair(model.box("pbr").badLow, model.box("pbr").badHigh), std::pair(false, true));
    EXPECT_EQ(std::pair(model.box("yield").badLow, model.box("yield").badHigh), std::pair(true, false));
    EXPECT_EQ(std::pair(model.box("cap").badLow, model.box("cap").badHigh), std::pair(false, false));
    // The boxes are tinted, and 赤字 would read as a loss.
    EXPECT_STREQ(ConditionSearchModel::kBadInput, "条件に誤りがあります。色の付いた欄を直してください。");
    // No result is left under the errors as if it were theirs.
    EXPECT_EQ(model.grid.rows(), 1);
    EXPECT_EQ(model.countLine, "");
    EXPECT_EQ(model.message, ConditionSearchModel::kBadInput);
    EXPECT_TRUE(model.selected().empty());
    EXPECT_EQ(model.row(1), nullptr);

    // Fixed, the messages go; a figure condition in a CSV folder is find's own message.
    model.box("fwd-per").low = "-1e3";
    model.box("pbr").high = "3";
    model.box("yield").low = "0";
    // Checked once mended, the message of the errors goes before any search.
    EXPECT_TRUE(model.check());
    EXPECT_EQ(model.message, "");
    EXPECT_FALSE(model.box("yield").badLow);
    EXPECT_FALSE(model.search());
    for (const auto& b : model.boxes) {
        EXPECT_EQ(b.error, "") << b.figure->name;
    }
    EXPECT_EQ(model.message, analysis::StockFinder::kNoFiguresMessage);
    EXPECT_EQ(model.grid.rows(), 1);
}

TEST_F(ConditionSearch, TheConditionsComeBackAtTheNextStartAndClearEmptiesThem)
{
    {
        ConditionSearchModel model(*m_module);
        model.load();
        EXPECT_EQ(model.box("roe").low, "");
        model.box("roe").low = "8";
        model.box("cap").high = "5,000";
        model.box("dev25").high = "-5";
        model.box("vol-ratio").low = "1.5";
        model.flags = {"new-low", "uptrend"};
        model.cross = -1;
        model.crosses = {{"tenkan-cross", -1}};
        model.signal = "売";
        model.confirmed = true;
        model.market = "東証プライム";
        model.industry = "鉱業";
        model.placement = "300,120,900,700";
        model.save();
    }
    m_module->CloseDatabase();
    ASSERT_TRUE(m_module->OpenDatabase());
    ConditionSearchModel model(*m_module);
    model.load();
    EXPECT_EQ(model.box("roe").low, "8");
    EXPECT_EQ(model.box("cap").high, "5,000");
    EXPECT_EQ(model.box("dev25").high, "-5");
    EXPECT_EQ(model.box("vol-ratio").low, "1.5");
    EXPECT_EQ(model.flags, (std::set<std::string>{"new-low", "uptrend"}));
    EXPECT_EQ(model.cross, -1);
    EXPECT_EQ(model.crosses, (std::map<std::string, int>{{"tenkan-cross", -1}}));
    // The window opens where it was closed.
    EXPECT_EQ(model.placement, "300,120,900,700");
    // Each tab's title counts what it holds; JPX's boxes are off in a CSV folder and count not.
    EXPECT_EQ(model.tabTitle(ConditionSearchModel::Group::Technical), "テクニカル (6)");
    EXPECT_EQ(model.tabTitle(ConditionSearchModel::Group::Indicators), "指標");
    model.figuresEnabled = true;
    EXPECT_EQ(model.tabTitle(ConditionSearchModel::Group::Indicators), "指標 (2)");
    model.figuresEnabled = false;
    EXPECT_EQ(scalar("SELECT CondValue FROM Table_FindCondition WHERE CondName='dev25.high'"), "-5");
    model.box("dev25").high.clear();
    model.box("vol-ratio").low.clear();
    model.flags.clear();
    model.cross = 0;
    model.crosses.clear();
    EXPECT_EQ(model.signal, "売");
    EXPECT_TRUE(model.confirmed);
    EXPECT_EQ(model.market, "東証プライム");
    EXPECT_EQ(model.industry, "鉱業");
    // While a fetch runs in the background the search reads what is stored, and says so.
    model.fillRunning = true;
    ASSERT_TRUE(model.search());
    EXPECT_EQ(codes(model), std::vector<std::string>{"1304"});
    EXPECT_EQ(model.note, "株価を取得中です。保存済みの株価と指標で検索します。");
    // The note goes when the fill ends.
    model.setFillRunning(false);
    EXPECT_EQ(model.note, "");
    // The volume-confirmed column is "中期", as in the main list, its tip saying what it means.
    const int mid = model.columnOf("confirmed");
    ASSERT_GE(mid, 0);
    EXPECT_EQ(model.grid.column(mid).heading, "中期");
    EXPECT_EQ(model.grid.headingTip(mid), ui::MainWindowModel::kMidTermTip);
    EXPECT_EQ(column(model, mid), std::vector<std::string>{"売"});

    model.clear();
    EXPECT_EQ(model.box("roe").low, "");
    EXPECT_EQ(model.signal, "");
    EXPECT_FALSE(model.confirmed);
    EXPECT_EQ(model.tabTitle(ConditionSearchModel::Group::Technical), "テクニカル");
    // The result, its columns and its count go with the conditions they answered.
    EXPECT_EQ(model.grid.rows(), 1);
    EXPECT_EQ(model.grid.cols(), static_cast<int>(analysis::FindReport::defaultColumns().size()) + 2);
    EXPECT_EQ(model.columnOf("dev25"), -1);
    EXPECT_EQ(model.countLine, "");
    EXPECT_EQ(model.result().rows.size(), 0u);
    model.box("dev25").high = "1";
    ASSERT_TRUE(model.search());
    EXPECT_GE(model.columnOf("dev25"), 0);
    model.box("dev25").high = "x";
    EXPECT_FALSE(model.search());
    model.clear();
    EXPECT_EQ(model.message, "");
    EXPECT_EQ(model.columnOf("dev25"), -1);
    EXPECT_FALSE(model.stale());
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.result().count, 4);
    EXPECT_EQ(scalar("SELECT CondValue FROM Table_FindCondition WHERE CondName='market'"), "");
}

TEST_F(ConditionSearch, ASignalBeforeTheDaysScreeningSaysWhyNoStockMeetsIt)
{
    // A refresh blanks every mark until the screening.
    db().execute("UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
    ConditionSearchModel model(*m_module);
    model.load();
    model.signal = "買";
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.grid.rows(), 1);
    EXPECT_EQ(model.message, "本日の注目株検査がまだのため、シグナルの条件に合う銘柄はありません。");
    analysis::ScreeningRun::keepDay(db(), "2024-01-03");
    model.signal.clear();
    model.confirmed = true;
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.message,
        "本日の注目株検査がまだのため、シグナルの条件に合う銘柄はありません。（最後の注目株検査 "
        "2024-01-03）");
    // Without a signal the list answers as always.
    model.confirmed = false;
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.message, "");
    EXPECT_EQ(model.result().count, 4);
    // The list's own day screened without a single mark: nothing is missing, none is found.
    const auto listDay = marketdata::UrlSettings::listDate(db());
    ASSERT_FALSE(listDay.empty());
    analysis::ScreeningRun::keepDay(db(), listDay);
    model.signal = "買";
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.message, "");
    EXPECT_EQ(model.result().count, 0);
    // Screened, a day without a mark of that kind finds none and says nothing more.
    db().execute("UPDATE Table_Code SET Dchk='取得'");
    model.signal = "売";
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.message, "");
    EXPECT_EQ(model.result().count, 0);
}

TEST_F(ConditionSearch, ConditionsKeptBeforeEveryFigureHadABoxStillLoad)
{
    db().execute("CREATE TABLE Table_FindCondition (CondName TEXT PRIMARY KEY, CondValue TEXT NOT NULL)");
    db().execute("INSERT INTO Table_FindCondition VALUES ('fwdPer.low','12'),('fwdPer.high','30'),"
                 "('pbr.high','1.5'),('roe.low','8'),('yield.low','3'),('cap.high','5000'),('signal','買')");
    ConditionSearchModel model(*m_module);
    model.load();
    EXPECT_EQ(model.box("fwd-per").low, "12");
    EXPECT_EQ(model.box("fwd-per").high, "30");
    EXPECT_EQ(model.box("pbr").high, "1.5");
    EXPECT_EQ(model.box("roe").low, "8");
    EXPECT_EQ(model.box("yield").low, "3");
    EXPECT_EQ(model.box("cap").high, "5000");
    EXPECT_EQ(model.signal, "買");
    EXPECT_TRUE(model.flags.empty());
    EXPECT_EQ(model.cross, 0);
    // Kept again under the figures' names, and read back from them.
    model.save();
    EXPECT_EQ(scalar("SELECT CondValue FROM Table_FindCondition WHERE CondName='fwd-per.low'"), "12");
    EXPECT_EQ(count("SELECT * FROM Table_FindCondition WHERE CondName='fwdPer.low'"), 0);
    ConditionSearchModel again(*m_module);
    again.load();
    EXPECT_EQ(again.box("fwd-per").high, "30");
}

TEST_F(ConditionSearch, ChosenRowsJoinTheCandidatesByTheMainWindowsRules)
{
    core::FixedClock clock{year_month_day{2024y, January, 9d}};
    test::FakeDownloader fake;
    exporting::NoOpener opener;
    ui::MainWindowModel main(*m_module, clock, fake, opener);
    ConditionSearchModel model(*m_module);
    model.load();
    ASSERT_TRUE(model.search());
    model.addSelected(main);
    EXPECT_EQ(model.note, "選択されていません");

    model.click(1, false, false); // 1301
    model.addSelected(main);
    EXPECT_EQ(model.note, "確認注目株に 1 銘柄を追加しました。");
    ASSERT_EQ(main.grid3.rows(), 2);
    EXPECT_EQ(main.grid3.cell(1, 1).text, "極洋");

    // Ctrl adds the suspended one and a new one; the one already there is not added twice.
    model.click(3, true, false);
    model.click(4, true, false);
    model.addSelected(main);
    EXPECT_EQ(model.note,
        "確認注目株に 1 銘柄を追加しました。ほかの 1 銘柄はすでに確認注目株にあります。"
        " 停止中である為、取り扱い不可（1303）");
    EXPECT_EQ(main.label1, "停止中である為、取り扱い不可");
    EXPECT_EQ(count("SELECT * FROM WorkKocyu"), 2);
    EXPECT_EQ(main.grid3.rows(), 3);
    // A second Ctrl click takes a row away again.
    model.click(4, true, false);
    EXPECT_EQ(model.selected(), (std::set<std::string>{"1301", "1303"}));
    // Only stocks already there: said so, without a count of none added.
    model.click(1, false, false);
    model.click(4, true, false);
    model.addSelected(main);
    EXPECT_EQ(model.note, "選んだ 2 銘柄はすでに確認注目株にあります。");
}

TEST(ConditionSearchLists, MarketsAndIndustriesComeInTheExchangesOrder)
{
    using marketdata::ExchangeOrder;
    // As a CSV folder's list names them, and as J-Quants does; "all" stays first.
    EXPECT_EQ(ExchangeOrder::markets(
                  {"", "名証メイン", "東証グロース", "東証スタンダード", "東証プライム", "札証", "Ｚ"}),
        (std::vector<std::string>{
            "", "東証プライム", "東証スタンダード", "東証グロース", "名証メイン", "札証", "Ｚ"}));
    EXPECT_EQ(ExchangeOrder::markets({"その他", "グロース", "TOKYO PRO MARKET", "スタンダード", "プライム"}),
        (std::vector<std::string>{"プライム", "スタンダード", "グロース", "TOKYO PRO MARKET", "その他"}));
    EXPECT_EQ(ExchangeOrder::industries(
                  {"", "鉱業", "化学", "サービス業", "水産・農林業", "その他", "銀行業", "不明"}),
        (std::vector<std::string>{
            "", "水産・農林業", "鉱業", "化学", "銀行業", "サービス業", "その他", "不明"}));
}
