// The "条件検索" dialog's logic: the same stocks as find over the sample market, the grid's order,
// the boxes' messages, the kept conditions and the candidates it adds.
#include "model/ConditionSearchModel.h"

#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "SampleServer.h"
#include "core/Clock.h"
#include "export/SpreadsheetOpener.h"
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
    ConditionSearchModel model(module);
    model.load();
    EXPECT_TRUE(model.figuresEnabled);

    struct Case
    {
        std::string args;
        std::function<void(ConditionSearchModel&)> set;
    };
    using F = ConditionSearchModel::Figure;
    const std::vector<Case> cases{
        {"", [](auto&) {}},
        {"--fwd-per :20 --yield 1:",
            [](auto& m) {
                m.high[F::FwdPer] = "20";
                m.low[F::Yield] = "1";
            }},
        {"--pbr 0.5:1.5 --roe 5:",
            [](auto& m) {
                m.low[F::Pbr] = "0.5";
                m.high[F::Pbr] = "1.5";
                m.low[F::Roe] = "５"; // typed full-width
            }},
        {"--cap 100:50000 --signal 買",
            [](auto& m) {
                m.low[F::Cap] = "100";
                m.high[F::Cap] = "50,000";
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
                m.low[F::Yield] = "2";
                m.high[F::Yield] = "3.5";
                m.high[F::Roe] = "10";
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
        EXPECT_EQ(column(model, ConditionSearchModel::Code), expected) << c.args;
        EXPECT_EQ(model.countLine,
            "該当 " + std::to_string(expected.size()) + " 銘柄（株価 "
                + json["tradingDate"].get<std::string>() + "、指標 "
                + json["valuationDate"].get<std::string>() + "）");
        nonEmpty += !expected.empty();
    }
    EXPECT_GE(nonEmpty, 4);

    // The shown digits, blank where JPX sent nothing (the funds).
    model.clear();
    ASSERT_TRUE(model.search());
    bool blank = false;
    for (int r = 1; r < model.grid.rows(); ++r) {
        const auto& f = model.row(r)->figures;
        const auto per = model.grid.cell(r, ConditionSearchModel::FwdPerColumn).text;
        if (!f.fwdPer) {
            blank = true;
            EXPECT_EQ(per, "");
            continue;
        }
        EXPECT_EQ(per.size() - per.find('.'), 2u) << per;
        EXPECT_EQ(model.grid.cell(r, ConditionSearchModel::FwdPerColumn).align, ui::Align::Right);
        if (f.marketCap && *f.marketCap >= 1e11) {
            EXPECT_NE(model.grid.cell(r, ConditionSearchModel::CapColumn).text.find(','), std::string::npos);
        }
        if (f.dividendYield) {
            const auto y = model.grid.cell(r, ConditionSearchModel::YieldColumn).text;
            EXPECT_EQ(y.size() - y.find('.'), 4u) << y; // "2.15%"
        }
    }
    EXPECT_TRUE(blank);

    // A heading click sorts, a second the other way; the stocks without the figure stay last.
    for (int pass = 0; pass < 2; ++pass) {
        model.sortBy(ConditionSearchModel::YieldColumn);
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
    model.sortBy(ConditionSearchModel::Name);
    EXPECT_EQ(model.selected(), chosen);
    int painted = 0;
    for (int r = 1; r < model.grid.rows(); ++r) {
        painted += model.grid.rowColor(r) == ui::GridColor::kYellow;
        EXPECT_EQ(model.grid.rowColor(r) == ui::GridColor::kYellow, chosen.count(model.row(r)->code) == 1);
    }
    EXPECT_EQ(painted, 3);
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.sortColumn(), ConditionSearchModel::Name);
    EXPECT_FALSE(model.descending());
    EXPECT_TRUE(model.selected().empty());
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
    // Texts in boxes that are off do not stop the search.
    model.low[ConditionSearchModel::FwdPer] = "abc";
    EXPECT_TRUE(model.search());

    model.figuresEnabled = true;
    model.low[ConditionSearchModel::Pbr] = "3";
    model.high[ConditionSearchModel::Pbr] = "1";
    model.high[ConditionSearchModel::Cap] = "１，０００"; // full-width, grouped: a number
    const auto revision = model.grid.revision();
    EXPECT_FALSE(model.search());
    EXPECT_EQ(model.errors[ConditionSearchModel::FwdPer], "数字を入力してください。");
    EXPECT_EQ(model.errors[ConditionSearchModel::Pbr], "上限が下限より小さいです。");
    EXPECT_EQ(model.errors[ConditionSearchModel::Cap], "");
    EXPECT_EQ(model.errors[ConditionSearchModel::Roe], "");
    EXPECT_EQ(model.grid.revision(), revision);
    EXPECT_EQ(model.countLine, "該当 2 銘柄（株価 2024-01-04、指標 なし）");

    // Fixed, the messages go; a figure condition in a CSV folder is find's own message.
    model.low[ConditionSearchModel::FwdPer] = "-1e3";
    model.high[ConditionSearchModel::Pbr] = "3";
    EXPECT_FALSE(model.search());
    EXPECT_EQ(model.errors, (std::array<std::string, ConditionSearchModel::kFigures>{}));
    EXPECT_EQ(model.message, analysis::StockFinder::kNoFiguresMessage);
    EXPECT_EQ(model.grid.rows(), 1);
}

TEST_F(ConditionSearch, TheConditionsComeBackAtTheNextStartAndClearEmptiesThem)
{
    {
        ConditionSearchModel model(*m_module);
        model.load();
        EXPECT_EQ(model.low[ConditionSearchModel::Roe], "");
        model.low[ConditionSearchModel::Roe] = "8";
        model.high[ConditionSearchModel::Cap] = "5,000";
        model.signal = "売";
        model.confirmed = true;
        model.market = "東証プライム";
        model.industry = "鉱業";
        model.save();
    }
    m_module->CloseDatabase();
    ASSERT_TRUE(m_module->OpenDatabase());
    ConditionSearchModel model(*m_module);
    model.load();
    EXPECT_EQ(model.low[ConditionSearchModel::Roe], "8");
    EXPECT_EQ(model.high[ConditionSearchModel::Cap], "5,000");
    EXPECT_EQ(model.signal, "売");
    EXPECT_TRUE(model.confirmed);
    EXPECT_EQ(model.market, "東証プライム");
    EXPECT_EQ(model.industry, "鉱業");
    // While a fetch runs in the background the search reads what is stored, and says so.
    model.fillRunning = true;
    ASSERT_TRUE(model.search());
    EXPECT_EQ(codes(model), std::vector<std::string>{"1304"});
    EXPECT_EQ(model.note, "株価を取得中です。保存済みの株価と指標で検索します。");
    model.fillRunning = false;

    model.clear();
    EXPECT_EQ(model.low[ConditionSearchModel::Roe], "");
    EXPECT_EQ(model.signal, "");
    EXPECT_FALSE(model.confirmed);
    ASSERT_TRUE(model.search());
    EXPECT_EQ(model.result().count, 4);
    EXPECT_EQ(scalar("SELECT CondValue FROM Table_FindCondition WHERE CondName='market'"), "");
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
        "確認注目株に 1 銘柄を追加しました。（1 銘柄は追加済み） 停止中である為、取り扱い不可（1303）");
    EXPECT_EQ(main.label1, "停止中である為、取り扱い不可");
    EXPECT_EQ(count("SELECT * FROM WorkKocyu"), 2);
    EXPECT_EQ(main.grid3.rows(), 3);
    // A second Ctrl click takes a row away again.
    model.click(4, true, false);
    EXPECT_EQ(model.selected(), (std::set<std::string>{"1301", "1303"}));
}
