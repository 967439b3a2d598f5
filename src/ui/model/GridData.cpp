#include "GridData.h"

#include <stdexcept>

namespace zuvemo::ui {

GridData::GridData(std::vector<Column> columns)
    : m_columns(std::move(columns))
{
    setRows(1);
}

void GridData::setRows(int rows)
{
    if (rows < 1) {
        rows = 1;
    }
    std::vector<GridCell> blank(m_columns.size());
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        blank[c].align = m_columns[c].align;
    }
    if (static_cast<std::size_t>(rows) != m_cells.size()) {
        ++m_shapeRevision;
    }
    m_cells.resize(static_cast<std::size_t>(rows), blank);
    m_rowTips.resize(static_cast<std::size_t>(rows));
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        m_cells[0][c].text = m_columns[c].heading;
        m_cells[0][c].align = Align::Centre;
    }
    ++m_revision;
}

void GridData::setColumns(std::vector<Column> columns)
{
    m_columns = std::move(columns);
    m_cells.clear();
    setRows(1);
}

std::string GridData::headingTip(int column) const
{
    if (column < 0 || column >= cols()) {
        return {};
    }
    const auto it = m_tips.find(this->column(column).heading);
    return it == m_tips.end() ? std::string() : it->second;
}

bool GridData::sameColumns(const GridData& other) const
{
    if (m_columns.size() != other.m_columns.size()) {
        return false;
    }
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        const auto& a = m_columns[c];
        const auto& b = other.m_columns[c];
        if (a.heading != b.heading || a.widthTwips != b.widthTwips || a.align != b.align) {
            return false;
        }
    }
    return true;
}

const GridCell& GridData::cell(int row, int col) const
{
    return m_cells.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(col));
}

void GridData::setText(int row, int col, const std::string& text, Align align)
{
    auto& c = m_cells.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(col));
    c.text = text;
    c.align = align;
    ++m_revision;
}

void GridData::setText(int row, int col, const std::string& text)
{
    m_cells.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(col)).text = text;
    ++m_revision;
}

void GridData::setFore(int row, int col, std::uint32_t color)
{
    m_cells.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(col)).fore = color;
    ++m_revision;
}

void GridData::setRowTip(int row, std::string tip)
{
    if (row < 1 || row >= rows()) {
        return;
    }
    m_rowTips[static_cast<std::size_t>(row)] = std::move(tip);
    ++m_revision;
}

const std::string& GridData::rowTip(int row) const
{
    return m_rowTips.at(static_cast<std::size_t>(row));
}

void GridData::paintRow(int row, std::uint32_t color)
{
    if (row < 1 || row >= rows()) {
        return;
    }
    for (auto& c : m_cells[static_cast<std::size_t>(row)]) {
        c.back = color;
    }
    ++m_revision;
}

std::uint32_t GridData::rowColor(int row) const
{
    return cell(row, 0).back;
}

} // namespace zuvemo::ui
