#include "TestSupport.h"
#include "core/JetSql.h"
#include "core/Mdl_Start.h"
#include "core/Schema.h"

#include <gtest/gtest.h>

using namespace zuvemo;
using zuvemo::test::TempFolder;

namespace {

class SqlAcceptance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        core::Schema::createDatabaseFile(
            m_dir / "z.db", core::Schema::UrlRow{"http://h/", "http://m/", ".csv", " "}, std::nullopt);
        m_module = std::make_unique<core::Mdl_Start>(m_dir.path());
        m_module->DatabasePath = m_dir / "z.db";
        ASSERT_TRUE(m_module->OpenDatabase());
    }
    void run(const std::string& sql) { m_module->SharedConnection->execute(sql); }
    int count(const std::string& sql)
    {
        return m_module->SharedConnection->openRecordset(sql)->recordCount();
    }
    std::string first(const std::string& sql, const std::string& column)
    {
        auto rs = m_module->SharedConnection->openRecordset(sql);
        return rs->isEof() ? "<none>" : rs->field(column).toText();
    }

    TempFolder m_dir;
    std::unique_ptr<core::Mdl_Start> m_module;
};

std::string insertCode(
    const std::string& code, const std::string& market, const std::string& industry, const std::string& close)
{
    return std::string("INSERT INTO Table_Code(") + "MgCode , Mgmgara, MgMei, " + "Mgyosyu, Wscost, "
        + "Wucost, Wdcost, Wecost, " + "Wccost,Wbcost" + ") VALUES (" + "'" + code + "'," + "'" + market
        + "'," + "'名前'," + "'" + industry + "'," + "100," + "110," + "90," + close + "," + "5000,"
        + "500000" + ")";
}

} // namespace

TEST_F(SqlAcceptance, DailyImportAndRefreshStatements)
{
    run(" DELETE FROM Table_Code");
    run(insertCode("1301", "東証１部", "水産・農林業", "2500"));
    run(insertCode("1332", "東証１部", "水産・農林業", "700"));
    run(insertCode("7203", "東証１部", "輸送用機器", "1102"));
    run(insertCode("9984", "東証マザーズ", "情報・通信業", "6000"));
    run(std::string(" UPDATE Table_Url SET") + " kabuHdate='" + "20240105" + "'");
    run(std::string(" UPDATE Table_Code SET") + " Achk=' '," + " Cchk=' '," + " Dchk=' '");
    EXPECT_EQ(first(" SELECT * FROM Table_Url", "kabuHdate"), "20240105");
    EXPECT_EQ(first(" SELECT * FROM Table_Code WHERE MgCode='7203'", "Wecost"), "1102");
    // A repeated code is refused by the unique index.
    EXPECT_ANY_THROW(run(insertCode("1301", "x", "y", "1")));
}

TEST_F(SqlAcceptance, PagingFiltersAndLists)
{
    for (int i = 0; i < 30; ++i) {
        run(insertCode(
            std::to_string(1300 + i), i % 2 ? "東証１部" : "東証２部", i % 3 ? "水産" : "鉱業", "100"));
    }
    run(" UPDATE Table_Code SET Achk=' ', Cchk=' ', Dchk=' '");
    run(" UPDATE Table_Code SET Achk='売' WHERE MgCode='1305'");
    const std::string start = "0000  ";
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE MgCode>='" + start + "' ORDER BY MgCode ASC"), 30);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE MgCode<'1310'" + std::string(" AND Mgmgara='東証１部'")
                  + " AND Mgyosyu='水産'" + " ORDER BY MgCode DESC"),
        3);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE MgCode>='" + start + "'"
                  + " AND (Achk<>' ' OR Cchk<>' ')" + " ORDER BY MgCode ASC"),
        1);
    EXPECT_EQ(count(" SELECT Table_Code.Mgmgara as mgara From Table_Code GROUP BY Table_Code.Mgmgara"
                    " ORDER BY Table_Code.Mgmgara"),
        2);
    EXPECT_EQ(first(" SELECT Table_Code.Mgyosyu as gyosyu From Table_Code GROUP BY Table_Code.Mgyosyu"
                    " ORDER BY Table_Code.Mgyosyu",
                  "gyosyu"),
        "水産");
    EXPECT_EQ(count(" SELECT MgCode,Mgmgara,Mgyosyu,Achk,Cchk,Dchk FROM Table_Code WHERE Mgmgara='東証１部'"
                    " AND Mgyosyu='鉱業' ORDER BY MgCode ASC"),
        5);
    EXPECT_EQ(count(" SELECT MgCode,Mgmgara,Mgyosyu,Achk,Cchk,Dchk FROM Table_Code WHERE Mgyosyu='鉱業'"
                    " ORDER BY MgCode ASC"),
        10);
    // The screening run saves its signals through its open recordset.
    auto rs = m_module->SharedConnection->openRecordset(
        " SELECT MgCode,Mgmgara,Mgyosyu,Achk,Cchk,Dchk FROM Table_Code ORDER BY MgCode ASC");
    ASSERT_TRUE(rs->updatable());
    rs->setField("Achk", core::Value("買"));
    rs->setField("Dchk", core::Value("取得"));
    rs->update();
    EXPECT_EQ(first(" SELECT * FROM Table_Code WHERE MgCode='1300'", "Dchk"), "取得");
}

TEST_F(SqlAcceptance, HistoryWorkTable)
{
    run(" DELETE FROM WorkTemp");
    for (int i = 1; i <= 3; ++i) {
        run(std::string("INSERT INTO WorkTemp(") + "Whi , Wst, Wup, " + "Wdn, Wen, Wdk, " + "Wbb, Wcount"
            + ") VALUES (" + "'" + "2024-01-0" + std::to_string(6 - i) + "'," + "100," + "110," + "90,"
            + "105," + "1000," + "105000," + std::to_string(i) + ")");
    }
    std::string window = std::string(" SELECT whi,Wen,Wcount,Wpatai,Wqatai,Wgatai,Wjatai") + ",Wdk,Wbb"
        + ",Whatai,Wiatai,Wkatai,Wlatai,Wmatai,Wnatai" + ",Woatai,Wratai,Wsatai,Wtatai,Wuatai,Wvatai"
        + ",Wwatai,Wxatai,Wyatai" + " FROM WorkTemp" + " WHERE Wcount<=250" + " ORDER BY Wcount DESC";
    EXPECT_EQ(first(window, "whi"), "2024-01-03");
    EXPECT_EQ(first(" SELECT * FROM WorkTemp ORDER BY Whi", "Wcount"), "3");
}

TEST_F(SqlAcceptance, WatchListStatementsAndTheJoinUpdate)
{
    run(insertCode("7203", "東証１部", "輸送用機器", "1102"));
    run(insertCode("1301", "東証１部", "水産", "2500"));
    run(" DELETE FROM WorkKocyu");
    run(std::string(" INSERT INTO WorkKocyu(") + " Wmgcode,Wmgmei) VALUES (" + " '7203'," + " 'トヨタ')");
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu"), 1);
    EXPECT_EQ(count(" SELECT * FROM WorkKocyu WHERE Wmgcode='7203'"), 1);
    run(" DELETE FROM WorkKocyu WHERE Wmgcode='7203'");
    run(std::string(" INSERT INTO Table_KOCYU(") + " Wmgcode,Wmgmei) VALUES (" + " '7203'," + " 'トヨタ')");
    run(std::string(" INSERT INTO Table_KOCYU(") + " Wmgcode,Wmgmei) VALUES (" + " '9999'," + " '未上場')");
    EXPECT_EQ(count(" SELECT * FROM Table_KOCYU WHERE Wmgcode='7203'"), 1);
    EXPECT_EQ(first(" SELECT * FROM Table_KOCYU WHERE WmgCode='7203'", "WzuvemoK"), "0");

    run(std::string(" UPDATE Table_KOCYU INNER JOIN Table_Code ON")
        + " Table_KOCYU.Wmgcode = Table_Code.MgCode" + " SET Table_KOCYU.WzuvemoG = Table_Code.Wecost");
    EXPECT_EQ(first(" SELECT * FROM Table_KOCYU ORDER BY WmgCode ASC", "WzuvemoG"), "1102");
    // A watched stock that did not trade keeps its old price.
    EXPECT_EQ(first(" SELECT * FROM Table_KOCYU WHERE Wmgcode='9999'", "WzuvemoG"), "0");

    run(std::string(" UPDATE Table_KOCYU SET") + " WzuvemoK=1050," + " WzuvemoP=1," + " WzuvemoM=1102.5,"
        + " WzuvemoPc=5" + " WHERE WmgCode='7203'");
    EXPECT_EQ(first(" SELECT * FROM Table_KOCYU WHERE WmgCode='7203'", "WzuvemoM"), "1102.5");
    run(" DELETE FROM Table_KOCYU WHERE Wmgcode='9999'");
    EXPECT_EQ(count(" SELECT * FROM Table_KOCYU"), 1);
}

TEST_F(SqlAcceptance, UserStatements)
{
    EXPECT_EQ(count(" SELECT * FROM Table_User"), 0);
    run("INSERT INTO Table_User (UserKeyA,UsernameA,PassWordA,StartdateA,UpdatedateA) VALUES "
        "(1,'user','pass','20240105',' ')");
    run(std::string(" UPDATE Table_User SET") + " UsernameA='" + "u2" + "'," + " PassWordA='" + "p2" + "'"
        + " WHERE UserKeyA=1");
    run(std::string(" UPDATE Table_User SET") + " UpdatedateA='" + "20240106" + "'" + " WHERE UserKeyA=1");
    EXPECT_EQ(first(" SELECT * FROM Table_User WHERE UserKeyA=1", "UpdatedateA"), "20240106");
    EXPECT_EQ(first(" SELECT * FROM Table_hantei", "CFGb3"), "<none>");
}

TEST(JetSql, JoinUpdateTranslation)
{
    EXPECT_EQ(core::JetSql::translate(" UPDATE Table_KOCYU INNER JOIN Table_Code ON Table_KOCYU.Wmgcode = "
                                      "Table_Code.MgCode SET Table_KOCYU.WzuvemoG = Table_Code.Wecost"),
        "UPDATE Table_KOCYU SET WzuvemoG = Table_Code.Wecost FROM Table_Code WHERE (Table_KOCYU.Wmgcode = "
        "Table_Code.MgCode)");
    EXPECT_EQ(
        core::JetSql::translate("update A inner join B on A.x=B.y set A.c=B.d, A.e='in, quote' where A.z=1"),
        "UPDATE A SET c = B.d, e = 'in, quote' FROM B WHERE (A.x=B.y) AND (A.z=1)");
    const std::string plain = " UPDATE Table_Code SET Achk=' ' WHERE MgCode='INNER JOIN'";
    EXPECT_EQ(core::JetSql::translate(plain), plain);
    EXPECT_EQ(core::JetSql::translate(" SELECT * FROM Table_Url"), " SELECT * FROM Table_Url");
}
