#include "GridView.h"

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
    : QTableWidget(parent)
{
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
    connect(this, &QTableWidget::cellClicked, this, [this](int row, int) { emit rowClicked(row + 1); });
    connect(this, &QTableWidget::cellDoubleClicked, this,
        [this](int row, int) { emit rowDoubleClicked(row + 1); });
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
    QTableWidget::resizeEvent(event);
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
    const int before = currentRow();
    QTableWidget::keyPressEvent(event);
    const int after = currentRow();
    if (after >= 0 && after != before) {
        emit rowClicked(after + 1);
    }
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
    setUpdatesEnabled(false);
    if (columnCount() != grid.cols()) {
        setColumnCount(grid.cols());
        QStringList headings;
        for (int c = 0; c < grid.cols(); ++c) {
            headings << QString::fromStdString(grid.column(c).heading);
            setColumnWidth(c, std::max(0, px(grid.column(c).widthTwips)));
        }
        m_lastColumnWidth = grid.cols() > 0 ? std::max(0, px(grid.column(grid.cols() - 1).widthTwips)) : 0;
        setHorizontalHeaderLabels(headings);
    }
    const int rows = grid.rows() - 1;
    setRowCount(rows);
    fillWidth();
    if (refilled) {
        // A new content has no row chosen yet: the first arrow key takes its first row.
        setCurrentIndex(QModelIndex());
    }
    const QFontMetrics metrics(font());
    // The text's room in a cell: the column less the cell's margins.
    constexpr int kCellMargins = 8;
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
            const bool cut = metrics.horizontalAdvance(it->text()) > columnWidth(c) - kCellMargins;
            it->setToolTip(cut ? it->text() : QString());
        }
    }
    if (refilled && m_scrollToTop) {
        scrollToTop();
        horizontalScrollBar()->setValue(0);
    }
    setUpdatesEnabled(true);
}

} // namespace zuvemo::ui
