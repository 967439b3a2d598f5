#include "GridView.h"

#include "Twips.h"
#include "UiStyle.h"

#include <QHeaderView>

namespace zuvemo::ui {

GridView::GridView(QWidget* parent)
    : QTableWidget(parent)
{
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(px(225));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setWordWrap(false);
    setFont(UiStyle::proportional(9));
    horizontalHeader()->setFont(UiStyle::proportional(9));
    // Selection is shown by the row colours of the grid data, not by the view.
    setStyleSheet(QStringLiteral("QTableWidget::item:selected { background: transparent; color: black; }"));
    connect(this, &QTableWidget::cellClicked, this, [this](int row, int) { emit rowClicked(row + 1); });
    connect(this, &QTableWidget::cellDoubleClicked, this,
        [this](int row, int) { emit rowDoubleClicked(row + 1); });
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int) { emit rowClicked(0); });
}

void GridView::setEmptyAreaColor(std::uint32_t value)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, UiStyle::color(value));
    setPalette(p);
    viewport()->setAutoFillBackground(true);
}

void GridView::show(const GridData& grid)
{
    if (m_last == &grid && m_shown == grid.revision()) {
        return;
    }
    m_last = &grid;
    m_shown = grid.revision();
    setUpdatesEnabled(false);
    if (columnCount() != grid.cols()) {
        setColumnCount(grid.cols());
        QStringList headings;
        for (int c = 0; c < grid.cols(); ++c) {
            headings << QString::fromStdString(grid.column(c).heading);
            setColumnWidth(c, std::max(0, px(grid.column(c).widthTwips)));
        }
        setHorizontalHeaderLabels(headings);
    }
    const int rows = grid.rows() - 1;
    setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < grid.cols(); ++c) {
            const GridCell& cell = grid.cell(r + 1, c);
            QTableWidgetItem* it = item(r, c);
            if (!it) {
                it = new QTableWidgetItem(); // owned by the table
                setItem(r, c, it);
            }
            it->setText(QString::fromStdString(cell.text));
            Qt::Alignment a = cell.align == Align::Right
                ? Qt::AlignRight
                : (cell.align == Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft);
            it->setTextAlignment(a | Qt::AlignVCenter);
            it->setBackground(UiStyle::color(cell.back));
            it->setForeground(cell.fore == 0 ? QBrush(Qt::black) : QBrush(UiStyle::color(cell.fore)));
        }
    }
    setUpdatesEnabled(true);
}

} // namespace zuvemo::ui
