#pragma once

#include "GridView.h"

#include <QBrush>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

namespace zuvemo::test {

// What the user sees of a grid's cells: the colours come from a rendering of the viewport, not
// from the items, so a selection fill or a focus frame drawn over a cell shows up here.
class GridPixels
{
public:
    explicit GridPixels(ui::GridView* grid)
        : m_grid(grid)
        , m_image(grid->viewport()->grab().toImage())
    {
    }

    // The colour just inside the top left and top right corners of a cell (data row from 0),
    // away from the text; invalid when the two differ.
    QColor cell(int row, int col) const
    {
        const QRect r = m_grid->visualRect(m_grid->model()->index(row, col));
        const QColor left = m_image.pixelColor(r.left() + 2, r.top() + 2);
        const QColor right = m_image.pixelColor(r.right() - 2, r.top() + 2);
        return left == right ? left : QColor();
    }

    // Every visible cell of the row shows exactly this colour.
    void expectRow(int row, const QColor& colour) const
    {
        for (int c = 0; c < m_grid->columnCount(); ++c) {
            if (m_grid->columnWidth(c) < 6) {
                continue; // the hidden column
            }
            EXPECT_EQ(cell(row, c).name(), colour.name()) << "row " << row << " column " << c;
        }
    }

private:
    ui::GridView* m_grid;
    QImage m_image;
};

// A cell of a grid's data (data row from 0), as its model gives it to the view.
inline QVariant cellData(const ui::GridView* grid, int row, int col, int role)
{
    return grid->model()->index(row, col).data(role);
}
inline QString cellText(const ui::GridView* grid, int row, int col)
{
    return cellData(grid, row, col, Qt::DisplayRole).toString();
}
inline QColor cellBack(const ui::GridView* grid, int row, int col)
{
    return cellData(grid, row, col, Qt::BackgroundRole).value<QBrush>().color();
}
inline QString cellTip(const ui::GridView* grid, int row, int col)
{
    return cellData(grid, row, col, Qt::ToolTipRole).toString();
}
inline Qt::Alignment cellAlign(const ui::GridView* grid, int row, int col)
{
    return cellData(grid, row, col, Qt::TextAlignmentRole).value<Qt::Alignment>();
}
// The middle of a cell in the viewport, where a click goes.
inline QPoint cellCentre(const ui::GridView* grid, int row, int col)
{
    return grid->visualRect(grid->model()->index(row, col)).center();
}
inline QString heading(const ui::GridView* grid, int col)
{
    return grid->model()->headerData(col, Qt::Horizontal).toString();
}

} // namespace zuvemo::test
