#include "FakeDownloader.h"
#include "ModuleFixture.h"
#include "analysis/CSVMDB.h"
#include "export/ChartWorkbook.h"
#include "export/GrafExcel.h"
#include "export/SheetProtection.h"
#include "export/SingleStockCommand.h"
#include "export/SpreadsheetOpener.h"
#include "export/ZipArchive.h"

#include <atomic>
#include <pugixml.hpp>
#include <sys/stat.h>

using namespace zuvemo;
using exporting::GrafExcel;

namespace {

std::filesystem::path templateFile()
{
    return test::binFolder() / "雛型EXCEL.xltx";
}

// A cell of a saved workbook as the file holds it.
struct CellInfo
{
    bool exists = false;
    std::string type;
    std::string value;
    int numFmt = 0;
    bool quotePrefix = false;
    bool formula = false;
};

class SavedWorkbook
{
public:
    explicit SavedWorkbook(const std::filesystem::path& path)
    {
        exporting::ZipArchive zip;
        std::string error;
        EXPECT_TRUE(zip.open(path, &error)) << error;
        auto sheet = zip.read("xl/worksheets/sheet1.xml");
        auto styles = zip.read("xl/styles.xml");
        types = zip.read("[Content_Types].xml").value_or("");
        EXPECT_TRUE(sheet && styles);
        m_sheet.load_string(sheet->c_str(), pugi::parse_default | pugi::parse_ws_pcdata);
        m_styles.load_string(styles->c_str());
    }
    CellInfo cell(const std::string& ref)
    {
        CellInfo info;
        auto c = m_sheet.select_node(("//c[@r='" + ref + "']").c_str()).node();
        if (!c) {
            return info;
        }
        info.exists = true;
        info.type = c.attribute("t").value();
        info.formula = static_cast<bool>(c.child("f"));
        info.value
            = info.type == "inlineStr" ? c.child("is").child("t").text().get() : c.child("v").text().get();
        int s = c.attribute("s").as_int(0);
        int i = 0;
        for (auto xf : m_styles.child("styleSheet").child("cellXfs").children("xf")) {
            if (i++ == s) {
                info.numFmt = xf.attribute("numFmtId").as_int(0);
                info.quotePrefix = xf.attribute("quotePrefix").as_int(0) == 1;
            }
        }
        return info;
    }
    pugi::xml_node protection() { return m_sheet.child("worksheet").child("sheetProtection"); }
    std::string types;

private:
    pugi::xml_document m_sheet;
    pugi::xml_document m_styles;
};

class RecordingOpener : public exporting::SpreadsheetOpener
{
public:
    bool open(const std::filesystem::path& p) override
    {
        opened.push_back(p);
        return succeed;
    }
    std::vector<std::filesystem::path> opened;
    bool succeed = true;
};

std::string history(int days, int zeroCloses = 0)
{
    std::string text = "h\r\nh\r\n";
    for (int i = 0; i < days; ++i) {
        int serial = 10000 - i; // line 0 is the newest day
        char date[32];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", 1990 + serial / 336, 1 + (serial / 28) % 12,
            1 + serial % 28);
        int close = days - 1 - i < zeroCloses ? 0 : 1000 + (i * 37) % 90;
        text += std::string(date) + ",1000,1100,900," + std::to_string(close) + ","
            + std::to_string(12345 + i) + ",1\r\n";
    }
    return text;
}

class Export : public test::ModuleFixture
{
protected:
    void SetUp() override
    {
        test::ModuleFixture::SetUp();
        std::filesystem::copy_file(templateFile(), m_dir / "雛型EXCEL.xltx");
    }
    std::filesystem::path exportRows(int days, int zeroCloses = 0)
    {
        test::writeFile(m_dir / "h.csv", history(days, zeroCloses));
        analysis::CSVMDB(*m_module, m_dir / "h.csv", 1, analysis::readBounds(*m_module));
        GrafExcel g(*m_module, m_opener);
        g.setOutput(m_dir / ("out" + std::to_string(days) + ".xlsx"));
        return g.run("1301", "O'Neil 極洋");
    }
    RecordingOpener m_opener;
};

} // namespace

TEST(SheetProtection, TestVectorOfTheFormat)
{
    EXPECT_EQ(exporting::SheetProtection::hashValue("pwd", "876MLoKTq42+/DLp415iZQ=="),
        "5l3mgNHXpWiFaBPv5Yso1Xd/UifWvQWmlDnl/hsCYbFT2sJCzorjRmBCQ/3qeDu6Q/4+GIE8a1DsdaTwYh1q2g==");
    EXPECT_NE(exporting::SheetProtection::newSalt(), exporting::SheetProtection::newSalt());
}

TEST(ChartWorkbook, FormattedNumbersAreWhatTheTextShows)
{
    EXPECT_EQ(exporting::formattedNumber(12345.4, "#,##0"), 12345.0);
    EXPECT_EQ(exporting::formattedNumber(0.5, "#,##0"), 1.0);
    EXPECT_EQ(exporting::formattedNumber(1234.5, "#,##0.00"), 1234.5);
    EXPECT_EQ(exporting::formattedNumber(1.23456, "#,##0.00"), 1.23);
    EXPECT_EQ(exporting::formattedNumber(0.0525, "0.00%"), 0.0525);
    EXPECT_EQ(exporting::formattedNumber(0.123456, "0.00%"), 0.1235);
    EXPECT_EQ(exporting::formattedNumber(0, "#,##0"), 0.0);
    EXPECT_EQ(exporting::ChartWorkbook::cellName(252, 25), "Y252");
    EXPECT_EQ(exporting::ChartWorkbook::cellName(1, 27), "AA1");
}

TEST_F(Export, ThreeHundredRowsPlaceTheNewest250)
{
    auto out = exportRows(300);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(m_opener.opened, (std::vector<std::filesystem::path>{out}));
    SavedWorkbook wb(out);
    EXPECT_NE(wb.types.find("spreadsheetml.sheet.main+xml"), std::string::npos);
    EXPECT_EQ(wb.types.find("template.main+xml"), std::string::npos);
    EXPECT_EQ(wb.cell("B1").value, "1301");
    EXPECT_TRUE(wb.cell("B1").quotePrefix);
    EXPECT_EQ(wb.cell("C1").value, "O'Neil 極洋");
    EXPECT_EQ(wb.cell("A2").type, "s"); // the template's heading stays
    // The newest day is on row 252; the oldest placed day on row 3.
    EXPECT_EQ(wb.cell("A252").value, scalar(" SELECT Whi FROM WorkTemp WHERE Wcount=1"));
    EXPECT_EQ(wb.cell("A3").value, scalar(" SELECT Whi FROM WorkTemp WHERE Wcount=250"));
    EXPECT_EQ(wb.cell("A3").type, "inlineStr");
    EXPECT_TRUE(wb.cell("A3").quotePrefix);
    EXPECT_EQ(wb.cell("F3").numFmt, 3);
    EXPECT_EQ(wb.cell("F3").type, "");
    // Rows above 33 carry only A to F.
    EXPECT_FALSE(wb.cell("G32").exists);
    EXPECT_FALSE(wb.cell("Y32").exists);
    EXPECT_TRUE(wb.cell("G33").exists);
    EXPECT_EQ(wb.cell("G33").numFmt, 10);
    EXPECT_EQ(wb.cell("M33").numFmt, 4);
    EXPECT_EQ(wb.cell("H252").value, scalar(" SELECT Whatai FROM WorkTemp WHERE Wcount=1"));
    EXPECT_EQ(wb.cell("E252").value, scalar(" SELECT Wen FROM WorkTemp WHERE Wcount=1"));
    auto p = wb.protection();
    EXPECT_STREQ(p.attribute("algorithmName").value(), "SHA-512");
    EXPECT_EQ(exporting::SheetProtection::hashValue("trelvanXQZ", p.attribute("saltValue").value()),
        p.attribute("hashValue").value());
    EXPECT_STREQ(p.attribute("sheet").value(), "1");
    EXPECT_STREQ(p.attribute("scenarios").value(), "1");
    EXPECT_FALSE(p.attribute("password"));
}

TEST_F(Export, ShortAndEmptyHistories)
{
    auto out = exportRows(100);
    SavedWorkbook wb(out);
    EXPECT_FALSE(wb.cell("A152").exists);
    EXPECT_TRUE(wb.cell("A153").exists);
    EXPECT_TRUE(wb.cell("Y153").exists);

    db().execute(" DELETE FROM WorkTemp");
    GrafExcel g(*m_module, m_opener);
    g.setOutput(m_dir / "empty.xlsx");
    ASSERT_FALSE(g.run("1301", "x").empty());
    SavedWorkbook empty(m_dir / "empty.xlsx");
    EXPECT_EQ(empty.cell("B1").value, "1301");
    EXPECT_FALSE(empty.cell("A252").exists);
    EXPECT_TRUE(empty.protection());
}

// A name from the server that reads like a formula is kept as the text it is: a text cell with
// the quote prefix style, its text unchanged, no formula.
TEST_F(Export, NamesThatReadAsFormulasStayTextCells)
{
    db().execute(" DELETE FROM WorkTemp");
    for (const std::string name :
        {"=cmd|' /C calc'!A0", "=HYPERLINK(\"http://x\",\"y\")", "@SUM(1+1)", "+1", "-1", "\t=1+1"}) {
        GrafExcel g(*m_module, m_opener);
        g.setOutput(m_dir / "formula.xlsx");
        ASSERT_FALSE(g.run(name, name).empty()) << name;
        SavedWorkbook wb(m_dir / "formula.xlsx");
        for (const char* ref : {"B1", "C1"}) {
            const auto cell = wb.cell(ref);
            EXPECT_EQ(cell.type, "inlineStr") << name;
            EXPECT_EQ(cell.value, name) << ref;
            EXPECT_TRUE(cell.quotePrefix) << name;
            EXPECT_FALSE(cell.formula) << name;
        }
    }
}

TEST_F(Export, CarriedSeriesStartsAtTheFirstNonZeroCloseFromRow33)
{
    // 100 rows on sheet rows 153..252; the oldest 60 closes are 0, so the carried close stays 0
    // until the first traded day.
    std::string text = "h\r\nh\r\n";
    for (int i = 0; i < 100; ++i) {
        int oldest = 99 - i; // 0 for the oldest line
        char date[32];
        std::snprintf(date, sizeof date, "2020-%02d-%02d", 1 + oldest / 28, 1 + oldest % 28);
        int close = oldest < 60 ? 0 : 500 + oldest;
        text += std::string(date) + ",1,1,1," + std::to_string(close) + ",100,1\r\n";
    }
    test::writeFile(m_dir / "z.csv", text);
    analysis::CSVMDB(*m_module, m_dir / "z.csv", 1, analysis::readBounds(*m_module));
    GrafExcel g(*m_module, m_opener);
    g.setOutput(m_dir / "z.xlsx");
    ASSERT_FALSE(g.run("1", "z").empty());
    SavedWorkbook wb(m_dir / "z.xlsx");
    // Oldest day on row 153: rows 153..212 have carried close 0, row 213 the first non-zero.
    EXPECT_FALSE(wb.cell("V212").exists);
    EXPECT_FALSE(wb.cell("W212").exists);
    EXPECT_TRUE(wb.cell("V213").exists);
    EXPECT_TRUE(wb.cell("W252").exists);
    EXPECT_TRUE(wb.cell("U212").exists);
}

TEST_F(Export, AStopWhileWritingLeavesTheWorkbookAndNoTemporaryFile)
{
    GrafExcel g(*m_module, m_opener);
    test::writeFile(m_dir / "x.xlsx", "the workbook before");
    test::writeFile(m_dir / "x.xlsx.part", "a killed export's, of an earlier version");
    g.setOutput(m_dir / "x.xlsx");
    std::atomic<bool> stop{true};
    g.setCancel(&stop);
    EXPECT_TRUE(g.run("1", "x").empty());
    EXPECT_TRUE(m_messages.recorder().boxes.empty());
    EXPECT_TRUE(m_opener.opened.empty());
    EXPECT_EQ(test::readFile(m_dir / "x.xlsx"), "the workbook before");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m_dir.path())) {
        names.push_back(e.path().filename().string());
    }
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                  [](const std::string& n) { return n.rfind("x.xlsx.", 0) == 0; }),
        0);
    stop = false;
    EXPECT_FALSE(g.run("1", "x").empty());
}

TEST_F(Export, FailuresAreReported)
{
    db().execute(" DELETE FROM WorkTemp");
    GrafExcel g(*m_module, m_opener);
    g.setOutput(m_dir / "no-such-folder" / "x.xlsx");
    EXPECT_TRUE(g.run("1", "x").empty());
    ASSERT_EQ(m_messages.recorder().boxes.size(), 1u);
    EXPECT_NE(m_messages.recorder().boxes[0].text.find("を書き込めません。"), std::string::npos);
    EXPECT_TRUE(m_opener.opened.empty());

    // Never over a FIFO (which would block), a folder or the database; a link stays a link.
    ASSERT_EQ(::mkfifo((m_dir / "fifo.xlsx").c_str(), 0600), 0);
    for (const auto& [target, reason] : std::vector<std::pair<std::filesystem::path, std::string>>{
             {m_dir / "fifo.xlsx", "（通常のファイルではありません）"}, {m_dir.path(), "（フォルダです）"},
             {m_module->DatabasePath, "はデータベースのファイルです。"}}) {
        g.setOutput(target);
        EXPECT_TRUE(g.run("1", "x").empty()) << target;
        EXPECT_NE(m_messages.recorder().boxes.back().text.find(reason), std::string::npos)
            << m_messages.recorder().boxes.back().text;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(m_dir / "fifo.xlsx"));
    test::writeFile(m_dir / "linked.xlsx", "an older workbook");
    std::filesystem::create_symlink("linked.xlsx", m_dir / "link.xlsx");
    g.setOutput(m_dir / "link.xlsx");
    EXPECT_FALSE(g.run("1", "x").empty());
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir / "link.xlsx"));
    EXPECT_EQ(test::readFile(m_dir / "linked.xlsx").rfind("PK", 0), 0u);

    m_opener.succeed = false;
    g.setOutput(m_dir / "ok.xlsx");
    EXPECT_FALSE(g.run("1", "x").empty());
    EXPECT_TRUE(std::filesystem::exists(m_dir / "ok.xlsx"));
    EXPECT_NE(m_messages.recorder().boxes.back().text.find("を開けません。"), std::string::npos);

    std::filesystem::remove(m_dir / "雛型EXCEL.xltx");
    EXPECT_TRUE(g.run("1", "x").empty());
    EXPECT_NE(
        m_messages.recorder().boxes.back().text.find("雛型EXCEL.xltx)が見当たりません。"), std::string::npos);

    // A template without the chart sheet.
    std::filesystem::copy_file(templateFile(), m_dir / "雛型EXCEL.xltx");
    exporting::ZipArchive zip;
    ASSERT_TRUE(zip.open(m_dir / "雛型EXCEL.xltx", nullptr));
    auto workbook = *zip.read("xl/workbook.xml");
    workbook.replace(workbook.find("チャート"), std::string("チャート").size(), "Sheet1");
    ASSERT_TRUE(zip.replace("xl/workbook.xml", workbook, nullptr));
    ASSERT_TRUE(zip.close(nullptr));
    EXPECT_TRUE(g.run("1", "x").empty());
    EXPECT_NE(m_messages.recorder().boxes.back().text.find("にシート(チャート)が見当たりません。"),
        std::string::npos);
}

TEST_F(Export, SingleStockCommandUsesTheFileOnDiskOrDownloads)
{
    test::FakeDownloader fake;
    exporting::SingleStockCommand command(*m_module, fake, m_opener, analysis::readBounds(*m_module));
    command.setOutput(m_dir / "single.xlsx");
    std::filesystem::create_directories(m_dir / "csv");
    test::writeFile(m_dir / "csv" / "20240105-1301.csv", history(40));
    auto r = command.run("1301", "極洋", "2024-01-05 状況");
    EXPECT_EQ(r.outcome, exporting::SingleStockCommand::Outcome::Exported);
    EXPECT_TRUE(fake.requested.empty());
    EXPECT_EQ(count(" SELECT * FROM WorkTemp WHERE Wgatai IS NOT NULL"), 40);

    // Not on disk: downloaded; a history that does not reach the date is not exported.
    fake.bodies["http://127.0.0.1:1/h/1302?download=csv"] = "h\r\nh\r\n2024-01-04,1,1,1,1,1,1\r\n";
    r = command.run("1302", "x", "2024-01-05 状況");
    EXPECT_EQ(r.outcome, exporting::SingleStockCommand::Outcome::NotCurrent);
    EXPECT_EQ(r.label1, "停止中で準備が出来ていません");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "csv" / "20240105-1302.csv"));
    // The file stays, so the next use analyses it without the date check.
    r = command.run("1302", "x", "2024-01-05 状況");
    EXPECT_EQ(r.outcome, exporting::SingleStockCommand::Outcome::Exported);

    r = command.run("1303", "x", "2024-01-05 状況");
    EXPECT_EQ(r.outcome, exporting::SingleStockCommand::Outcome::DownloadFailed);
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "読込してファイルダウンロードできませんでした。");

    db().execute(" DELETE FROM Table_Url");
    r = command.run("1304", "x", "");
    EXPECT_EQ(r.outcome, exporting::SingleStockCommand::Outcome::NoAddress);
    EXPECT_EQ(m_messages.recorder().boxes.back().text, "取得するURLが見当たりません。");
}

TEST_F(Export, SpreadsheetReadersSeeTheWorkbookAsIntended)
{
    for (int days : {300, 100, 0}) {
        std::filesystem::path out;
        if (days == 0) {
            db().execute(" DELETE FROM WorkTemp");
            GrafExcel g(*m_module, m_opener);
            g.setOutput(m_dir / "out0.xlsx");
            out = g.run("1301", "O'Neil 極洋");
        } else {
            out = exportRows(days);
        }
        ASSERT_FALSE(out.empty());
        std::string report;
        std::string script
            = (std::filesystem::path(ZUVEMO_SOURCE_DIR) / "tests/e2e/check_workbook.py").string();
        int rc = test::runCommand("/usr/bin/python3 " + script + " " + out.string() + " 1301 \"O'Neil 極洋\" "
                + std::to_string(days) + " 2>&1",
            &report);
        EXPECT_EQ(rc, 0) << days << ": " << report;
        if (test::runCommand("command -v soffice >/dev/null 2>&1") == 0) {
            auto pdfDir = m_dir / ("pdf" + std::to_string(days));
            rc = test::runCommand("soffice --headless --convert-to pdf --outdir " + pdfDir.string() + " "
                    + out.string() + " 2>&1",
                &report);
            EXPECT_EQ(rc, 0) << report;
            EXPECT_TRUE(std::filesystem::exists(pdfDir / (out.stem().string() + ".pdf"))) << report;
        }
    }
}

TEST_F(Export, NumbersBeyondTheDoubleRangeLeaveEmptyCellsNotAnInvalidWorkbook)
{
    // 308-digit prices: their sums and products overflow to infinity.
    const std::string huge = "9" + std::string(307, '9');
    std::string text = "h\r\nh\r\n";
    for (int i = 0; i < 60; ++i) {
        char date[16];
        std::snprintf(date, sizeof date, "2023-%02d-%02d", 12 - i / 28, 28 - i % 28);
        text += std::string(date) + "," + huge + "," + huge + "," + huge + "," + huge + "," + huge + ",1\r\n";
    }
    test::writeFile(m_dir / "h.csv", text);
    analysis::CSVMDB(*m_module, m_dir / "h.csv", 1, analysis::readBounds(*m_module));
    GrafExcel g(*m_module, m_opener);
    g.setOutput(m_dir / "huge.xlsx");
    auto out = g.run("1301", "x");
    ASSERT_FALSE(out.empty());
    std::string xml;
    ASSERT_EQ(test::runCommand("unzip -p " + out.string() + " xl/worksheets/sheet1.xml", &xml), 0);
    EXPECT_EQ(xml.find(">inf<"), std::string::npos);
    EXPECT_EQ(xml.find(">nan<"), std::string::npos);
    EXPECT_EQ(xml.find(">-nan<"), std::string::npos);
    std::string report;
    EXPECT_EQ(
        test::runCommand("/usr/bin/python3 -c \"import openpyxl,sys; openpyxl.load_workbook(sys.argv[1])\" "
                + out.string() + " 2>&1",
            &report),
        0)
        << report;
}
