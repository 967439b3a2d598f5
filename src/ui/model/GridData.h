#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zuvemo::ui {

// Grid colour values as the forms use them: red in the low byte.
namespace GridColor {
constexpr std::uint32_t kWhite = 16777215;
constexpr std::uint32_t kYellow = 65535;
constexpr std::uint32_t kOrange = 33023;
constexpr std::uint32_t kRed = 255;
constexpr std::uint32_t kDarkRed = 192;
constexpr std::uint32_t kLightOrange = 0x80C0FF; // red 255, green 192, blue 128
constexpr std::uint32_t kGrey = 0x808080;
// The system highlight colour (system colour index 13).
constexpr std::uint32_t kHighlight = 0x8000000D;
} // namespace GridColor

enum class Align { Left, Centre, Right };

struct GridCell
{
    std::string text;
    Align align = Align::Left;
    std::uint32_t back = GridColor::kWhite;
    std::uint32_t fore = 0; // 0: the grid's normal text colour
};

// The content of one grid control: a heading row 0 and data rows below it, with per-cell text,
// alignment and colours. The widgets only show what this holds.
class GridData
{
public:
    struct Column
    {
        std::string heading;
        int widthTwips;
        Align align;
    };

    explicit GridData(std::vector<Column> columns = {});

    int rows() const { return static_cast<int>(m_cells.size()); }
    int cols() const { return static_cast<int>(m_columns.size()); }
    const Column& column(int c) const { return m_columns.at(static_cast<std::size_t>(c)); }
    // New columns and no data rows; a view redraws its headings and widths.
    void setColumns(std::vector<Column> columns);
    bool sameColumns(const GridData& other) const;
    // What a heading means, shown as its tip wherever the heading is; kept over new columns.
    void setHeadingTip(const std::string& heading, std::string tip) { m_tips[heading] = std::move(tip); }
    std::string headingTip(int column) const;

    // Sets the row count as the original grid did: rows that stay keep their content, new rows
    // are empty with the normal background. Row 0 (the headings) always stays.
    void setRows(int rows);

    const GridCell& cell(int row, int col) const;
    void setText(int row, int col, const std::string& text, Align align);
    void setText(int row, int col, const std::string& text);
    void setFore(int row, int col, std::uint32_t color);
    // A data row's own tip, shown over any of its cells; empty: none. A refill's new rows have none.
    void setRowTip(int row, std::string tip);
    const std::string& rowTip(int row) const;

    // Paints the background of every cell of a data row; rows that do not exist are left alone.
    void paintRow(int row, std::uint32_t color);
    std::uint32_t rowColor(int row) const;

    // Bumped on every change, so a view knows when to redraw.
    std::uint64_t revision() const { return m_revision; }
    // Bumped whenever the row count changes, so a view can tell a refill from a repaint.
    std::uint64_t shapeRevision() const { return m_shapeRevision; }

private:
    std::vector<Column> m_columns;
    std::map<std::string, std::string> m_tips;
    std::vector<std::vector<GridCell>> m_cells;
    std::vector<std::string> m_rowTips;
    std::uint64_t m_revision = 0;
    std::uint64_t m_shapeRevision = 0;
};

} // namespace zuvemo::ui
