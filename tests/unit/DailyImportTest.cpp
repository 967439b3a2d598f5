#include "ModuleFixture.h"
#include "marketdata/CsvFields.h"
#include "marketdata/DailyQuoteImport.h"

using namespace zuvemo;
using marketdata::CheckCSV;
using marketdata::CreateMDB;

namespace {

class DailyImport : public test::ModuleFixture
{
protected:
    bool import(const std::string& body, const std::string& date = "2024-01-05")
    {
        auto path = writeCp932("daily.csv", "2024年01月05日 株価一覧\r\n" + body);
        return CreateMDB(*m_module, path, date);
    }
};

} // namespace

TEST(CsvFields, SplitsTrimsAndDropsTheRest)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(marketdata::splitFields(" a , b ,c", 10), (V{"a", "b", "c"}));
    EXPECT_EQ(marketdata::splitFields("a,b,c,d", 2), (V{"a", "b"}));
    EXPECT_EQ(marketdata::splitFields("a,,", 10), (V{"a", "", ""}));
    EXPECT_EQ(marketdata::splitFields("", 10), (V{""}));
    // A trail byte of a two-byte character never splits: lines are decoded before splitting.
    EXPECT_EQ(marketdata::splitFields("表,ソ", 10), (V{"表", "ソ"}));
}

TEST_F(DailyImport, CheckCsvComparesTheDateLine)
{
    auto daily = writeCp932("d.csv", "2024年01月05日 全銘柄\r\n1301,x\r\n");
    EXPECT_TRUE(CheckCSV("H", daily, "2024年01月05日"));
    EXPECT_FALSE(CheckCSV("H", daily, "2024年01月04日"));
    EXPECT_FALSE(CheckCSV("M", daily, "2024-01-05"));
    EXPECT_FALSE(CheckCSV("X", daily, "2024年01月05日"));
    auto line2 = writeCp932("d2.csv", "株価一覧\r\n2024年01月05日\r\n");
    EXPECT_FALSE(CheckCSV("H", line2, "2024年01月05日"));
    auto history = writeCp932("h.csv", "1301 極洋\r\n日付,始値\r\n2024-01-05,1,2,3,4,5,6\r\n");
    EXPECT_TRUE(CheckCSV("M", history, "2024-01-05"));
    EXPECT_FALSE(CheckCSV("M", writeCp932("short.csv", "a\r\nb\r\n"), "2024-01-05"));
    EXPECT_FALSE(CheckCSV("H", m_dir / "missing.csv", "2024年01月05日"));
    test::writeFile(m_dir / "bin.csv", std::string("\x00\xff\x81\x7f garbage", 12));
    EXPECT_FALSE(CheckCSV("H", m_dir / "bin.csv", "2024年01月05日"));
    test::writeFile(m_dir / "html.csv", "<html><body>Service unavailable</body></html>");
    EXPECT_FALSE(CheckCSV("H", m_dir / "html.csv", "2024年01月05日"));
    // An LF-only file and a file without a final line end are read alike.
    test::writeFile(m_dir / "lf.csv", "x\ny\n2024-01-05");
    EXPECT_TRUE(CheckCSV("M", m_dir / "lf.csv", "2024-01-05"));
}

TEST_F(DailyImport, AcceptsOnlyCompleteLinesOfTradedStocks)
{
    ASSERT_TRUE(import("1301,東証１部,極洋,水産・農林業,2500,2550,2480,2520,15000,37800000\r\n"
                       "1234567,東証１部,長すぎる,化学,1,1,1,1,1,1\r\n"
                       ",東証１部,空コード,化学,1,1,1,1,1,1\r\n"
                       "1302,東証１部,始値なし,化学,-,1,1,1,1,1\r\n"
                       "1303,東証１部,出来高なし,化学,1,1,1,1,-,1\r\n"
                       "1304,東証１部,代金なし,化学,1,1,1,1,1,-\r\n"
                       "1305,東証１部,六項目,化学,1,2\r\n"
                       "1306,東証１部,小数,化学,10.5,1,1,1,1,1,extra,fields\r\n"
                       "  1307  , 東証２部 ,  空白  , 建設業 , 007 ,1,1,1,1,1\r\n"
                       "1308,東証１部,O'Neil,小売業,1,1,1,1,1,1\r\n"
                       "13'9,東証１部,引用符,小売業,1,1,1,1,1,1\r\n"));
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 5);
    EXPECT_EQ(scalar(" SELECT Wecost FROM Table_Code WHERE MgCode='1301'"), "2520");
    EXPECT_EQ(scalar(" SELECT Wbcost FROM Table_Code WHERE MgCode='1301'"), "37800000");
    EXPECT_EQ(scalar(" SELECT MgMei FROM Table_Code WHERE MgCode='1301'"), "極洋");
    EXPECT_EQ(scalar(" SELECT Wscost FROM Table_Code WHERE MgCode='1306'"), "10.5");
    EXPECT_EQ(scalar(" SELECT Wscost FROM Table_Code WHERE MgCode='1307'"), "7");
    EXPECT_EQ(scalar(" SELECT MgMei FROM Table_Code WHERE MgCode='1307'"), "空白");
    EXPECT_EQ(scalar(" SELECT MgMei FROM Table_Code WHERE MgCode='1308'"), "O'Neil");
    EXPECT_EQ(scalar(" SELECT MgMei FROM Table_Code WHERE MgCode='13''9'"), "引用符");
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE MgCode='1305'"), 0);
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240105");
    // Prices are stored as numbers and names as text, as their literals would be.
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE typeof(Wscost)='real' AND typeof(Wbcost)='real'"
                    " AND typeof(MgCode)='text' AND typeof(Mgyosyu)='text'"),
        5);
}

TEST_F(DailyImport, InvalidBytesInANameKeepTheStock)
{
    auto path = m_dir / "daily.csv";
    test::writeFile(
        path, *core::TextCodec::encodeCp932("2024年01月05日\r\n") + "1301,M,\x81\x20name,I,1,2,3,4,5,6\r\n");
    ASSERT_TRUE(CreateMDB(*m_module, path, "2024-01-05"));
    EXPECT_EQ(scalar(" SELECT Wecost FROM Table_Code WHERE MgCode='1301'"), "4");
}

TEST_F(DailyImport, OnlyTheDateLineEmptiesTheList)
{
    ASSERT_TRUE(import("1301,M,N,I,1,1,1,1,1,1\r\n"));
    ASSERT_TRUE(import("", "2024-01-09"));
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 0);
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240109");
}

TEST_F(DailyImport, FailureRollsBackToThePreviousList)
{
    db().execute(" INSERT INTO Table_Url(kabuHUrl) VALUES ('http://second/')");
    ASSERT_TRUE(import("1301,M,N,I,1,1,1,1,1,1\r\n1302,M,N,I,1,1,1,1,1,1\r\n"));
    // Both rows of the URL table get the date.
    EXPECT_EQ(count(" SELECT * FROM Table_Url WHERE kabuHdate='20240105'"), 2);
    // A repeated code fails half way through the new list.
    EXPECT_FALSE(import(
        "1401,M,N,I,1,1,1,1,1,1\r\n1401,M,N,I,1,1,1,1,1,1\r\n1402,M,N,I,1,1,1,1,1,1\r\n", "2024-01-09"));
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 2);
    EXPECT_EQ(count(" SELECT * FROM Table_Code WHERE MgCode='1401'"), 0);
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240105");
    EXPECT_FALSE(CreateMDB(*m_module, m_dir / "missing.csv", "2024-01-09"));
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 2);
    // A NUL in a name refuses the list, as it always did.
    EXPECT_FALSE(import(std::string("1501,M,N\0x,I,1,1,1,1,1,1\r\n", 26), "2024-01-09"));
    EXPECT_EQ(count(" SELECT * FROM Table_Code"), 2);
    EXPECT_EQ(scalar(" SELECT kabuHdate FROM Table_Url"), "20240105");
}
