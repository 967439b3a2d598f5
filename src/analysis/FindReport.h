#pragma once

#include "StockFinder.h"

#include <string>
#include <vector>

namespace zuvemo::analysis {

// What find prints and writes: a table for the terminal, one JSON object, a spreadsheet's CSV.
class FindReport
{
public:
    // The columns after コード and 銘柄名: a figure's name (FigureTable), a flag's, "golden" and
    // "dead" (the day's crosses), or "market", "industry", "signal", "confirmed".
    static const std::vector<std::string>& defaultColumns();
    static bool isColumn(const std::string& name);
    // Every name a column may have, for a message.
    static std::string columnNames();

    // One stock a line (コード, 銘柄名, the columns), numbers right-aligned, then the count and
    // the days.
    static std::string text(const StockFinder::Result& result, const std::vector<std::string>& columns = {});
    // Every figure of every stock, the price figures when they were computed.
    static std::string json(const StockFinder::Result& result);
    // UTF-8 with a byte order mark and CR LF: without columns the JSON's fields up to
    // dividendDisclosed; with them, code, name and those columns by their JSON keys.
    static std::string csv(const StockFinder::Result& result, const std::vector<std::string>& columns = {});
    // The shown texts of a row, in the columns (the default ones when none): PER 1 decimal, PBR 2,
    // the yield 2 and ROE 1 as percentages, the market value in 億円 with digits grouped; blank
    // for none.
    static std::vector<std::string> cells(
        const StockFinder::Row& row, const std::vector<std::string>& columns = {});
    static std::vector<std::string> headings(const std::vector<std::string>& columns = {});
    // "該当 37 銘柄（株価 2026-12-07、指標 2026-12-07）"
    static std::string countLine(const StockFinder::Result& result);
    // Display columns of a text: East Asian wide characters take two.
    static std::size_t width(const std::string& text);
};

} // namespace zuvemo::analysis
