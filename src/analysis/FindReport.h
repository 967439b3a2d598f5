#pragma once

#include "StockFinder.h"

#include <string>
#include <vector>

namespace zuvemo::analysis {

// What find prints and writes: a table for the terminal, one JSON object, a spreadsheet's CSV.
class FindReport
{
public:
    // One stock a line (コード … 出来高確認), numbers right-aligned, then the count and the days.
    static std::string text(const StockFinder::Result& result);
    static std::string json(const StockFinder::Result& result);
    // The JSON's columns, UTF-8 with a byte order mark and CR LF.
    static std::string csv(const StockFinder::Result& result);
    // The shown texts of a row, in the table's columns: PER 1 decimal, PBR 2, the yield 2 and ROE 1
    // as percentages, the market value in 億円 with digits grouped; blank for none.
    static std::vector<std::string> cells(const StockFinder::Row& row);
    static std::vector<std::string> headings();
    // "該当 37 銘柄（株価 2026-12-07、指標 2026-12-07）"
    static std::string countLine(const StockFinder::Result& result);
    // Display columns of a text: East Asian wide characters take two.
    static std::size_t width(const std::string& text);
};

} // namespace zuvemo::analysis
