// A 250-row chart workbook export, beside openpyxl writing the same cells into the template.
#include "BenchSupport.h"
#include "analysis/CSVMDB.h"
#include "core/Mdl_Start.h"
#include "core/Schema.h"
#include "export/GrafExcel.h"
#include "export/SpreadsheetOpener.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace zuvemo;

int main(int argc, char** argv)
{
    std::filesystem::path bin = argc > 1 ? argv[1] : "build/bin";
    std::filesystem::path source = argc > 2 ? argv[2] : ".";
    auto dir = std::filesystem::temp_directory_path() / "zuvemo-bench-export";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(bin / "雛型EXCEL.xltx", dir / "雛型EXCEL.xltx");
    core::Schema::createDatabaseFile(
        dir / "z.db", {"http://h/", "http://m/", ".csv", "20240105"}, core::Schema::Bounds{0.9, 1.2});
    core::Mdl_Start m(dir);
    m.DatabasePath = dir / "z.db";
    if (!m.OpenDatabase()) {
        return 1;
    }
    std::string text = "h\r\nh\r\n";
    for (int i = 0; i < 250; ++i) {
        char date[16];
        std::snprintf(date, sizeof date, "2023-%02d-%02d", 12 - i / 28 % 12, 28 - i % 28);
        text += std::string(date) + ",1000,1100,900," + std::to_string(1000 + (i * 37) % 90) + ","
            + std::to_string(12345 + i * 11) + ",5000000\r\n";
    }
    std::ofstream(dir / "h.csv", std::ios::binary) << text;
    analysis::CSVMDB(m, dir / "h.csv", 1, analysis::readBounds(m));

    exporting::NoOpener opener;
    exporting::GrafExcel g(m, opener);
    g.setOutput(dir / "out.xlsx");
    g.run("1301", "極洋"); // the first export computes the protection hash once for the run
    auto ours = bench::timeRuns(21, [&] { g.run("1301", "極洋"); });
    bench::report("GrafExcel, 250 rows", ours);

    // The same cells for openpyxl.
    std::ofstream rows(dir / "rows.tsv");
    auto rs = m.SharedConnection->openRecordset(" SELECT * FROM WorkTemp ORDER BY Whi");
    const char* cols[] = {"Whi", "Wst", "Wup", "Wdn", "Wen", "Wdk", "Wgatai", "Whatai", "Wiatai", "Wjatai",
        "Wkatai", "Wlatai", "Wmatai", "Wnatai", "Woatai", "Wpatai", "Wqatai", "Wratai", "Wsatai", "Wtatai",
        "Wuatai", "Wvatai", "Wwatai", "Wxatai", "Wyatai"};
    for (; !rs->isEof(); rs->moveNext()) {
        for (int c = 0; c < 25; ++c) {
            rows << (c ? "\t" : "") << rs->field(cols[c]).toText();
        }
        rows << "\n";
    }
    rows.close();
    std::string cmd = "/usr/bin/python3 " + (source / "bench/openpyxl_export.py").string() + " "
        + (dir / "雛型EXCEL.xltx").string() + " " + (dir / "rows.tsv").string() + " "
        + (dir / "py.xlsx").string() + " 11";
    std::FILE* pipe = popen(cmd.c_str(), "r");
    std::vector<double> theirs;
    char line[64];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        theirs.push_back(std::atof(line));
    }
    if (pipe) {
        pclose(pipe);
    }
    bench::report("openpyxl, same cells (in process)", theirs);
    if (!theirs.empty()) {
        std::printf("ratio openpyxl / GrafExcel: %.1f\n", bench::median(theirs) / bench::median(ours));
    }
    m.CloseDatabase();
    std::filesystem::remove_all(dir);
    return 0;
}
