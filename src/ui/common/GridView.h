#pragma once

#include "model/GridData.h"

#include <QTableView>

namespace zuvemo::ui {

class GridTableModel;

// Shows a GridData: per-cell text, alignment and colours, a fixed heading row and the column
// widths in twips. Reports clicks and double-clicks by grid row (0 is the heading row).
//
// The row colours of the grid data are the only selection the user sees: the view draws no
// selection and no current-cell marker of its own, and an arrow key moves the selection as a
// click on the new row would. Tab leaves the grid for the next control; a cell whose text its
// column cuts shows the whole text as its tool tip. The view draws only the rows on the screen, so
// a grid of thousands of rows fills as fast as a page of them.
class GridView : public QTableView
{
    Q_OBJECT

public:
    explicit GridView(QWidget* parent = nullptr);

    void setEmptyAreaColor(std::uint32_t value);
    // A grid that shows one page at a time starts each new content at its first row.
    void setScrollToTopOnShow(bool on) { m_scrollToTop = on; }
    // The last column reaches the grid's right edge: no strip of the empty area beside the rows.
    void setFillWidth(bool on) { m_fillWidth = on; }
    // PageDown and PageUp ask for the next and the previous page instead of scrolling.
    void setPageKeys(bool on) { m_pageKeys = on; }
    void show(const GridData& grid);
    int rowCount() const;
    int columnCount() const;

    // The height of every data row, and of the heading row, in pixels.
    static int rowHeight();
    static int headingHeight();

signals:
    void rowClicked(int row);
    void rowDoubleClicked(int row);
    void nextPageRequested();
    void previousPageRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    GridTableModel* m_cells = nullptr;
    std::uint64_t m_shown = ~0ull;
    std::uint64_t m_shape = ~0ull;
    const GridData* m_last = nullptr;
    bool m_scrollToTop = false;
    bool m_pageKeys = false;
    bool m_fillWidth = false;
    int m_lastColumnWidth = 0;

    void fillWidth();
};

} // namespace zuvemo::ui
