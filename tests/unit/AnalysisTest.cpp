#include "ModuleFixture.h"
#include "analysis/CSVMDB.h"
#include "core/DatabaseError.h"

using namespace zuvemo;
using analysis::CSVMDB;

namespace {

std::string dateOf(int daysBack)
{
    // Any strictly decreasing dates will do; keep them sortable as text.
    int serial = 100000 - daysBack;
    int year = 2000 + serial / 400;
    int month = 1 + (serial / 31) % 12;
    int day = 1 + serial % 28;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

// A history file, newest first, from closes given oldest first.
std::string historyText(const std::vector<double>& closesOldestFirst, const std::vector<double>& volumes = {})
{
    std::string text = "1301 極洋\r\n日付,始値,高値,安値,終値,出来高,売買代金\r\n";
    int n = static_cast<int>(closesOldestFirst.size());
    for (int i = n - 1; i >= 0; --i) {
        double c = closesOldestFirst[static_cast<std::size_t>(i)];
        double v = volumes.empty() ? 1000 : volumes[static_cast<std::size_t>(i)];
        text += dateOf(n - 1 - i) + "," + core::Value::numberText(c) + "," + core::Value::numberText(c + 5)
            + "," + core::Value::numberText(c - 5) + "," + core::Value::numberText(c) + ","
            + core::Value::numberText(v) + "," + core::Value::numberText(c * v) + "\r\n";
    }
    return text;
}

class Analysis : public test::ModuleFixture
{
protected:
    analysis::Indicators::Bounds bounds() { return analysis::readBounds(*m_module); }
};

} // namespace

TEST_F(Analysis, ImportRulesOfTheHistoryFile)
{
    auto file = writeCp932("h.csv",
        "heading, with, commas, 1, 2, 3, 4\r\n"
        "日付,始値,高値,安値,終値,出来高,売買代金\r\n"
        "2024-01-05,100,110,90,105,1000,105000,extra,fields\r\n"
        "2024-01-04,100,110,90,104,0,0\r\n"
        "2024-01-03,100,110,90,103,1000,\r\n"
        "2024-01-02,100.5,110,90,-102,1000,102000.5\r\n"
        "2023-12-29,1234.5,110,90,101,1000,101000\r\n"
        "short,line\r\n"
        "   ,1,1,1,1,1,1\r\n");
    EXPECT_EQ(CSVMDB(*m_module, file, 0, bounds()), "20");
    auto rs = db().openRecordset(" SELECT * FROM WorkTemp ORDER BY Wcount");
    ASSERT_EQ(rs->recordCount(), 4);
    EXPECT_EQ(rs->field("Whi").toText(), "2024-01-05");
    EXPECT_EQ(rs->field("Wen").toText(), "105");
    EXPECT_EQ(rs->field("Wcount").toText(), "1");
    rs->moveNext();
    // Decimal prices and turnovers keep their value; a minus sign still reads as 0.
    EXPECT_EQ(rs->field("Whi").toText(), "2024-01-02");
    EXPECT_EQ(rs->field("Wst").toText(), "100.5");
    EXPECT_EQ(rs->field("Wen").toText(), "0");
    rs->moveNext();
    EXPECT_EQ(rs->field("Whi").toText(), "2023-12-29");
    EXPECT_EQ(rs->field("Wst").toText(), "1234.5");
    EXPECT_EQ(rs->field("Wcount").toText(), "3");
    rs->moveNext();
    EXPECT_EQ(rs->field("Whi").toText(), " ");
    EXPECT_TRUE(rs->field("Wpatai").isNull());

    auto empty = writeCp932("e.csv", "a\r\nb\r\n");
    EXPECT_EQ(CSVMDB(*m_module, empty, 0, bounds()), "00");
    EXPECT_EQ(count(" SELECT * FROM WorkTemp"), 0);
    EXPECT_THROW(CSVMDB(*m_module, m_dir / "missing.csv", 0, bounds()), core::DatabaseError);
}

TEST_F(Analysis, WorkedExampleThroughTheTable)
{
    auto file = writeCp932("h.csv",
        historyText({100, 102, 101, 103, 104, 103, 105, 110, 108, 100},
            {1000, 1000, 1000, 1000, 1000, 1000, 1000, 3000, 1000, 5000}));
    EXPECT_EQ(CSVMDB(*m_module, file, 0, bounds()), "22");
    auto rows = analysis::readHistoryFile(file);
    ASSERT_TRUE(rows);
    EXPECT_EQ(analysis::signalCodeOf(*rows, bounds()), "22");
    EXPECT_EQ(CSVMDB(*m_module, file, 1, bounds()), "00");
    EXPECT_EQ(scalar(" SELECT Whatai FROM WorkTemp WHERE Wcount=1"), "買");
    EXPECT_EQ(scalar(" SELECT Wkatai FROM WorkTemp WHERE Wcount=1"), "買");
    EXPECT_EQ(scalar(" SELECT Wiatai FROM WorkTemp WHERE Wcount=1"), "買ゾ");
    EXPECT_EQ(scalar(" SELECT Wtatai FROM WorkTemp WHERE Wcount=2"), "売ゾ");
    EXPECT_EQ(scalar(" SELECT Wlatai FROM WorkTemp WHERE Wcount=1"), " ");
    EXPECT_EQ(scalar(" SELECT Wvatai FROM WorkTemp WHERE Wcount=10"), "0");
    EXPECT_EQ(scalar(" SELECT Wvatai FROM WorkTemp WHERE Wcount=1"), "100");
}

TEST_F(Analysis, ChartModeFillsTheNewest250Of300Rows)
{
    std::vector<double> closes;
    std::vector<double> volumes;
    for (int i = 0; i < 300; ++i) {
        closes.push_back(1000 + (i * 37 % 101) - 50 + i);
        volumes.push_back(1000 + (i * 53 % 997));
    }
    auto file = writeCp932("h.csv", historyText(closes, volumes));
    EXPECT_EQ(CSVMDB(*m_module, file, 1, bounds()), "00");
    EXPECT_EQ(count(" SELECT * FROM WorkTemp"), 300);
    EXPECT_EQ(count(" SELECT * FROM WorkTemp WHERE Wcount<=250 AND Wpatai IS NOT NULL AND Whatai IS NOT NULL"
                    " AND Wlatai IS NOT NULL AND Wxatai IS NOT NULL"),
        250);
    EXPECT_EQ(count(" SELECT * FROM WorkTemp WHERE Wcount>250 AND Wpatai IS NULL AND Wlatai IS NULL"), 50);

    // The stored values are those of the pure computation over the same window.
    std::vector<double> c(closes.end() - 250, closes.end());
    std::vector<double> v(volumes.end() - 250, volumes.end());
    auto s = std::make_unique<analysis::Indicators::Series>();
    analysis::Indicators::computeChart(c.data(), v.data(), 250, bounds(), *s);
    auto rs = db().openRecordset(" SELECT * FROM WorkTemp WHERE Wcount<=250 ORDER BY Wcount DESC");
    for (int k = 0; k < 250; ++k, rs->moveNext()) {
        ASSERT_EQ(rs->field("Wgatai").toDouble(), s->S[k]) << k;
        ASSERT_EQ(rs->field("Wjatai").toDouble(), s->T[k]) << k;
        ASSERT_EQ(rs->field("Woatai").toDouble(), s->M54[k]) << k;
        ASSERT_EQ(rs->field("Wxatai").toDouble(), s->AV30[k]) << k;
        ASSERT_EQ(rs->field("Whatai").toText(), analysis::Indicators::markText(s->H[k])) << k;
        ASSERT_EQ(rs->field("Wtatai").toText(), analysis::Indicators::zoneText(s->Z7[k])) << k;
    }
    // Screening mode reads the same window.
    std::string code{analysis::Indicators::markDigit(s->H[249]), analysis::Indicators::markDigit(s->K[249])};
    EXPECT_EQ(CSVMDB(*m_module, file, 0, bounds()), code);
}

TEST_F(Analysis, LongFilesAreReadWhole)
{
    std::string text = "h1\r\nh2\r\n";
    for (int i = 0; i < 33000; ++i) {
        text += dateOf(i) + ",1,1,1," + std::to_string(100 + i % 7) + ",10,1000\r\n";
    }
    test::writeFile(m_dir / "long.csv", text);
    CSVMDB(*m_module, m_dir / "long.csv", 0, bounds());
    EXPECT_EQ(count(" SELECT * FROM WorkTemp"), 33000);
    EXPECT_EQ(scalar(" SELECT max(Wcount) FROM WorkTemp"), "33000");
}

TEST_F(Analysis, BoundsComeFromTheJudgementTable)
{
    auto b = bounds();
    EXPECT_EQ(b.lower, 0.9);
    EXPECT_EQ(b.upper, 1.2);
    db().execute(" DELETE FROM Table_hantei");
    b = bounds();
    EXPECT_EQ(b.lower, 1.0);
    EXPECT_EQ(b.upper, 1.0);
}
