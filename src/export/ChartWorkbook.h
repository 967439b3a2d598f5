#pragma once

#include "ZipArchive.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <tuple>

namespace zuvemo::exporting {

// A workbook made from a spreadsheet template: cells of one sheet are written in place, every
// other part of the template (other cells, styles, charts) stays as it is.
class ChartWorkbook
{
public:
    enum class Result { Ok, TemplateMissing, SheetMissing, WriteFailed, Refused, Damaged, Cancelled };

    // Built-in number formats.
    static constexpr int kThousands = 3; // "#,##0"
    static constexpr int kThousandsDecimals = 4; // "#,##0.00"
    static constexpr int kPercent = 10; // "0.00%"

    // Copies the template to work on and loads the named sheet.
    Result open(const std::filesystem::path& templatePath, const std::string& sheetName, std::string* error);

    // A text cell that the spreadsheet keeps as text (the quote prefix style).
    void setText(int row, int column, const std::string& text);
    // A number; with numberFormat 0 the cell keeps its style, otherwise it gets that format.
    void setNumber(int row, int column, double value, int numberFormat = 0);
    // A cell without a value (keeps its style).
    void setEmpty(int row, int column);

    // Protects the sheet with the password (SHA-512), contents, objects and scenarios.
    void protect(const std::string& password);

    // Writes a normal workbook (not a template) to path, replacing it in one step.
    // Writes a temporary file beside path and puts it in place when whole; a cancel set by then
    // leaves path as it was. A link is followed to its file; a folder, device or FIFO is refused.
    Result save(
        const std::filesystem::path& path, std::string* error, const std::atomic<bool>* cancel = nullptr);

    static std::string cellName(int row, int column);

private:
    pugi::xml_node cell(int row, int column);
    int derivedStyle(int base, int numberFormat, bool quotePrefix);

    std::filesystem::path m_template;
    std::string m_sheetPart;
    pugi::xml_document m_sheet;
    pugi::xml_document m_styles;
    pugi::xml_node m_sheetData;
    std::map<int, pugi::xml_node> m_rows;
    std::map<std::pair<int, int>, pugi::xml_node> m_cells;
    std::map<std::tuple<int, int, bool>, int> m_styleCache;
    int m_maxRow = 0;
    int m_maxColumn = 0;
};

} // namespace zuvemo::exporting
