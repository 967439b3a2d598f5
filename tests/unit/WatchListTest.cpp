#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "core/Clock.h"
#include "core/ValueRules.h"
#include "export/SpreadsheetOpener.h"
#include "model/MainWindowModel.h"
#include "model/PriceDialogModel.h"

using namespace zuvemo;
using namespace std::chrono;
namespace GridColor = ui::GridColor;
using ui::PriceDialogModel;

namespace {

class WatchList : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        test::ModuleFixture::SetUp();
        core::Transaction tx(db());
        for (int i = 0; i < 5; ++i) {
            std::string code = std::to_string(1301 + i);
            db().execute(
                "INSERT INTO Table_Code(MgCode , Mgmgara, MgMei, Mgyosyu, Wscost, Wucost, Wdcost, Wecost, "
                "Wccost,Wbcost) VALUES ('"
                + code + "','M','" + (i == 1 ? std::string("O''Neil") : "銘柄" + code) + "','I',100,110,90,"
                + std::to_string(1000 + i * 100) + ",1000,100000)");
        }
        db().execute(" UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
        db().execute(" UPDATE Table_Code SET Dchk='停止中' WHERE MgCode='1305'");
        tx.commit();
        m_module->CloseDatabase();
        m_model = std::make_unique<ui::MainWindowModel>(*m_module, m_clock, m_fake, m_opener);
        ui::MainWindowHooks hooks;
        hooks.beep = [this] { ++m_beeps; };
        m_model->setHooks(hooks);
        ASSERT_TRUE(m_model->Form_Load());
    }
    // Stock list row of a code on the first page.
    void toCandidates(int row) { m_model->MSFlexGrid1_DblClick(row); }
    void toWatchList(int candidateRow)
    {
        m_model->Grid_Click(3, candidateRow);
        m_model->Image1_Click();
    }
    std::string g2(int r, int c) { return m_model->grid2.cell(r, c).text; }
    std::string g3(int r, int c) { return m_model->grid3.cell(r, c).text; }

    core::FixedClock m_clock{year_month_day{2024y, January, 9d}};
    test::FakeDownloader m_fake;
    exporting::NoOpener m_opener;
    std::unique_ptr<ui::MainWindowModel> m_model;
    int m_beeps = 0;
};

} // namespace

TEST_F(WatchList, CandidatesMovesAndBack)
{
    toCandidates(3);
    toCandidates(1);
    toCandidates(3); // already a candidate: not added twice
    ASSERT_EQ(m_model->grid3.rows(), 3);
    EXPECT_EQ(g3(1, 0), "1303"); // table order after a double-click
    EXPECT_EQ(g3(2, 0), "1301");
    toCandidates(5);
    EXPECT_EQ(m_model->label1, "停止中である為、取り扱い不可");
    EXPECT_EQ(m_model->grid3.rows(), 3);
    toCandidates(2);
    EXPECT_EQ(m_model->label1, "");
    EXPECT_EQ(g3(3, 1), "O'Neil");
    toCandidates(20); // an empty row below the last stock adds nothing
    EXPECT_EQ(m_model->grid3.rows(), 4);
    toCandidates(0);
    EXPECT_EQ(m_model->grid3.rows(), 4);

    toWatchList(3); // O'Neil
    EXPECT_EQ(m_model->SelRow3, 0);
    EXPECT_EQ(m_model->grid2.rows(), 2);
    EXPECT_EQ(g2(1, 1), "O'Neil");
    EXPECT_EQ(g2(1, 2), "");
    EXPECT_EQ(g3(1, 0), "1301"); // candidate grid sorted by code again
    EXPECT_EQ(m_model->grid3.rows(), 3);

    // A candidate already on the watch list stays a candidate.
    toCandidates(2);
    EXPECT_EQ(m_model->grid3.rows(), 4);
    toWatchList(3);
    EXPECT_EQ(m_model->grid3.rows(), 4);
    EXPECT_EQ(m_model->grid2.rows(), 2);

    // Back to the candidates with its amounts gone.
    db().execute(" UPDATE Table_KOCYU SET WzuvemoK=2500");
    m_model->DSP_KOCYU_Grid(2);
    EXPECT_EQ(g2(1, 2), "2,500");
    db().execute(" DELETE FROM WorkKocyu WHERE Wmgcode='1302'");
    m_model->DSP_KOCYU_Grid(3);
    m_model->Grid_Click(2, 1);
    m_model->Image2_Click();
    EXPECT_EQ(m_model->grid2.rows(), 1);
    EXPECT_EQ(m_model->SelRow2, 0);
    EXPECT_EQ(count(" SELECT * FROM Table_KOCYU"), 0);
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu WHERE Wmgcode='1302'"), 1);
    m_model->Image2_Click(); // no selection: nothing
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu"), 3);

    EXPECT_FALSE(m_model->MSFlexGrid2_DblClick(0));
    EXPECT_FALSE(m_model->MSFlexGrid2_DblClick(1));
}

TEST_F(WatchList, RegistrationExamples)
{
    toCandidates(1);
    toWatchList(1);
    ASSERT_TRUE(m_model->MSFlexGrid2_DblClick(1));
    EXPECT_EQ(m_model->textCode, "1301");
    EXPECT_EQ(m_model->textRow, "1");

    struct Case
    {
        bool percent;
        const char* target;
        const char* storedM;
        const char* storedPc;
        const char* gridTarget;
    };
    for (const Case& c : {Case{false, "1,200", "1200", "0", "1,200"}, Case{true, "10", "1155", "10", "1,155"},
             Case{true, "5", "1103", "5", "1,103"}, Case{true, "10.", "1155", "10", "1,155"},
             Case{true, "10.5", "1155", "10", "1,155"}, Case{true, "11.5", "1176", "12", "1,176"}}) {
        PriceDialogModel dialog(*m_module);
        ASSERT_TRUE(dialog.load(m_model->textCode));
        dialog.text1[2] = "1,050";
        if (c.percent) {
            dialog.choosePercent();
        } else {
            dialog.chooseAmount();
        }
        dialog.text1[4] = c.target;
        auto saved = dialog.registerPrices();
        ASSERT_TRUE(saved) << c.target << ": " << dialog.label3;
        m_model->updateWatchRow(1, saved->purchase, saved->target);
        EXPECT_EQ(scalar(" SELECT WzuvemoK FROM Table_KOCYU"), "1050");
        EXPECT_EQ(scalar(" SELECT WzuvemoP FROM Table_KOCYU"), c.percent ? "1" : "0");
        EXPECT_EQ(scalar(" SELECT WzuvemoM FROM Table_KOCYU"), c.storedM) << c.target;
        EXPECT_EQ(scalar(" SELECT WzuvemoPc FROM Table_KOCYU"), c.storedPc) << c.target;
        EXPECT_EQ(g2(1, 2), "1,050");
        EXPECT_EQ(g2(1, 4), c.gridTarget);
        EXPECT_EQ(m_model->grid2.rowColor(1), GridColor::kWhite);
    }
    // Reopened in percent mode: "%" and the percentage with its point.
    m_model->DSP_KobuHante();
    PriceDialogModel again(*m_module);
    ASSERT_TRUE(again.load("1301"));
    EXPECT_TRUE(again.option2);
    EXPECT_EQ(again.label2, "%");
    EXPECT_EQ(again.text1[4], "12.");
    EXPECT_EQ(again.text1[2], "1,050");
    EXPECT_EQ(again.text1[3], "1,000");
}

TEST_F(WatchList, ValidationMessages)
{
    toCandidates(1);
    toWatchList(1);
    PriceDialogModel d(*m_module);
    ASSERT_TRUE(d.load("1301"));
    EXPECT_TRUE(d.option1);
    EXPECT_EQ(d.text1[2], "");
    EXPECT_EQ(d.text1[4], "");
    struct Case
    {
        const char* purchase;
        bool percent;
        const char* target;
        const char* message;
    };
    for (const Case& c :
        {Case{"", false, "1", "購入時株価が金額でない"}, Case{"10.5", false, "1", "購入時株価が金額でない"},
            Case{",,,", false, "1", "購入時株価が金額でない"},
            Case{"99,999,999,999", false, "1", "購入時株価が金額でない"},
            Case{"1,050", false, "", "希望株価額が金額でない"},
            Case{"1,050", false, "10%", "希望株価額が金額でない"},
            Case{"1,050", false, "1.5", "希望株価額が金額でない"},
            Case{"1,050", true, "10%", "希望株価額が％でない"},
            Case{"1,050", true, "1.2.3", "希望株価額が％でない"}}) {
        d.text1[2] = c.purchase;
        c.percent ? d.choosePercent() : d.chooseAmount();
        d.text1[4] = c.target;
        EXPECT_FALSE(d.registerPrices()) << c.purchase << " " << c.target;
        EXPECT_EQ(d.label3, c.message) << c.purchase << " " << c.target;
    }
    EXPECT_EQ(scalar(" SELECT WzuvemoK FROM Table_KOCYU"), "0");

    // The row went away before the dialog opened: nothing is registered.
    db().execute(" DELETE FROM Table_KOCYU");
    PriceDialogModel gone(*m_module);
    EXPECT_FALSE(gone.load("1301"));
    EXPECT_EQ(gone.label3, "個別売買指定株に登録されていません");
    gone.text1[2] = "1";
    gone.text1[4] = "1";
    EXPECT_FALSE(gone.registerPrices());
}

TEST_F(WatchList, RefreshJudgesAndTheListSurvives)
{
    const std::string kOtherStocks
        = "1303,M,c,I,1,1,1,1,1,1\r\n1304,M,d,I,1,1,1,1,1,1\r\n1305,M,e,I,1,1,1,1,1,1\r\n";
    toCandidates(1);
    toWatchList(1);
    toCandidates(2);
    toWatchList(1);
    db().execute(" UPDATE Table_KOCYU SET WzuvemoM=1000 WHERE Wmgcode='1301'"); // close 1000: reached
    db().execute(" UPDATE Table_KOCYU SET WzuvemoM=1100 WHERE Wmgcode='1302'"); // close 1100: reached
    m_fake.bodies["http://127.0.0.1:1/d/2024-01-09?download=csv"] = *core::TextCodec::encodeCp932(
        "2024年01月09日\r\n1301,M,a,I,1,1,1,1000,1,1\r\n1302,M,b,I,1,1,1,1200,1,1\r\n" + kOtherStocks);
    toCandidates(3);
    m_model->Command_kensaku_Click();
    EXPECT_EQ(m_beeps, 6);
    EXPECT_EQ(m_model->grid2.rowColor(1), GridColor::kRed);
    EXPECT_EQ(m_model->grid2.rowColor(2), GridColor::kRed);
    EXPECT_EQ(m_model->grid3.rows(), 1);
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu"), 0);

    // A new day below the target: white again, no beeps.
    db().execute(" UPDATE Table_Url SET kabuHdate='20240105'");
    m_fake.bodies["http://127.0.0.1:1/d/2024-01-09?download=csv"] = *core::TextCodec::encodeCp932(
        "2024年01月09日\r\n1301,M,a,I,1,1,1,999,1,1\r\n1302,M,b,I,1,1,1,1200,1,1\r\n" + kOtherStocks);
    m_beeps = 0;
    m_model->Command_kensaku_Click();
    EXPECT_EQ(m_beeps, 3);
    EXPECT_EQ(m_model->grid2.rowColor(1), GridColor::kWhite);
    EXPECT_EQ(m_model->grid2.rowColor(2), GridColor::kRed);

    // A restart keeps the watch list.
    EXPECT_TRUE(m_model->Form_Unload());
    ui::MainWindowModel again(*m_module, m_clock, m_fake, m_opener);
    ASSERT_TRUE(again.Form_Load());
    EXPECT_EQ(again.grid2.rows(), 3);
    EXPECT_EQ(again.grid2.cell(1, 3).text, "999");
    EXPECT_EQ(again.grid3.rows(), 1);
}

TEST(PriceDialog, WholeNumberConversion)
{
    EXPECT_EQ(PriceDialogModel::toWholeNumber("1,050"), 1050);
    EXPECT_EQ(PriceDialogModel::toWholeNumber("10."), 10);
    EXPECT_EQ(PriceDialogModel::toWholeNumber("10.5"), 10);
    EXPECT_EQ(PriceDialogModel::toWholeNumber("11.5"), 12);
    EXPECT_EQ(PriceDialogModel::toWholeNumber("2147483647"), 2147483647);
    EXPECT_FALSE(PriceDialogModel::toWholeNumber("2147483648"));
    EXPECT_FALSE(PriceDialogModel::toWholeNumber(","));
    EXPECT_FALSE(PriceDialogModel::toWholeNumber("."));
    EXPECT_FALSE(PriceDialogModel::toWholeNumber("1.2.3"));
}
