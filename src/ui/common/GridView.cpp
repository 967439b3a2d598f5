#include "GridView.h"

#include "GridTableModel.h"
#include "Twips.h"
#include "UiStyle.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace zuvemo::ui {

namespace {

// Paints a cell in its own colours only: no selection fill and no focus frame over them.
class PlainCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem plain(option);
        plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        QStyledItemDelegate::paint(painter, plain, index);
    }
};

} // namespace

GridView::GridView(QWidget* parent)
    : QTableView(parent)
    , m_cells(new GridTableModel(this)) // owned by the view
{
    setModel(m_cells);
    // The text's room in a cell: the column less the cell's margins.
    m_cells->setCutTest([this](int column, const QString& text) {
        constexpr int kCellMargins = 8;
        return fontMetrics().horizontalAdvance(text) > columnWidth(column) - kCellMargins;
    });
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    // The rows keep the height set whatever the font would ask for, so a page of 25 fits.
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeight());
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setFixedHeight(headingHeight());
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setItemDelegate(new PlainCellDelegate(this)); // owned by the view
    setWordWrap(false);
    setTabKeyNavigation(false);
    setFont(UiStyle::proportional(9));
    horizontalHeader()->setFont(UiStyle::proportional(9));
    connect(this, &QAbstractItemView::clicked, this,
        [this](const QModelIndex& index) { emit rowClicked(index.row() + 1); });
    connect(this, &QAbstractItemView::doubleClicked, this,
        [this](const QModelIndex& index) { emit rowDoubleClicked(index.row() + 1); });
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int) { emit rowClicked(0); });
}

int GridView::rowHeight()
{
    return px(225);
}

int GridView::headingHeight()
{
    return px(300);
}

void GridView::setEmptyAreaColor(std::uint32_t value)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, UiStyle::color(value));
    setPalette(p);
    viewport()->setAutoFillBackground(true);
}

void GridView::fillWidth()
{
    const int last = columnCount() - 1;
    if (!m_fillWidth || last < 0) {
        return;
    }
    int others = 0;
    for (int c = 0; c < last; ++c) {
        others += columnWidth(c);
    }
    setColumnWidth(last, std::max(m_lastColumnWidth, viewport()->width() - others));
}

void GridView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    fillWidth();
}

void GridView::keyPressEvent(QKeyEvent* event)
{
    if (m_pageKeys && (event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp)) {
        event->accept();
        if (event->key() == Qt::Key_PageDown) {
            emit nextPageRequested();
        } else {
            emit previousPageRequested();
        }
        return;
    }
    const int before = currentIndex().row();
    QTableView::keyPressEvent(event);
    const int after = currentIndex().row();
    if (after >= 0 && after != before) {
        emit rowClicked(after + 1);
    }
}

int GridView::rowCount() const
{
    return m_cells->rowCount();
}

int GridView::columnCount() const
{
    return m_cells->columnCount();
}

void GridView::show(const GridData& grid)
{
    if (m_last == &grid && m_shown == grid.revision()) {
        return;
    }
    const bool refilled = m_last != &grid || m_shape != grid.shapeRevision();
    m_last = &grid;
    m_shape = grid.shapeRevision();
    m_shown = grid.revision();
    const bool newColumns = !m_cells->grid().sameColumns(grid);
    m_cells->setGrid(grid);
    if (newColumns) {
        for (int c = 0; c < grid.cols(); ++c) {
            setColumnWidth(c, std::max(0, px(grid.column(c).widthTwips)));
        }
        m_lastColumnWidth = grid.cols() > 0 ? std::max(0, px(grid.column(grid.cols() - 1).widthTwips)) : 0;
    }
    fillWidth();
    if (refilled) {
        // A new content has no row chosen yet: the first arrow key takes its first row.
        setCurrentIndex(QModelIndex());
        if (m_scrollToTop) {
            scrollToTop();
            horizontalScrollBar()->setValue(0);
        }
    }
}

} // namespace zuvemo::ui
