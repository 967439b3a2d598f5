#pragma once

#include "model/GridData.h"

#include <QAbstractTableModel>
#include <functional>

namespace zuvemo::ui {

// A GridData as an item model: the view asks only for the cells it draws, so a grid of thousands
// of rows costs no more to show than the rows on the screen. Row 0 of the data (the headings) is
// the header; data row 1 is the model's row 0.
class GridTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit GridTableModel(QObject* parent = nullptr);

    // Whether a cell's text is wider than its column shows; such a cell has its text as tool tip.
    void setCutTest(std::function<bool(int column, const QString& text)> cut) { m_cut = std::move(cut); }

    // Takes a copy of the grid, so the view never reads what its owner has freed, and tells the
    // views what changed: a column change resets them, a row count change inserts or removes
    // rows (their scroll position stays), and every cell is redrawn as far as it is visible.
    void setGrid(const GridData& grid);
    const GridData& grid() const { return m_grid; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    GridData m_grid;
    std::function<bool(int, const QString&)> m_cut;
};

} // namespace zuvemo::ui
