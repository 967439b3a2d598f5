#pragma once

#include "model/GridData.h"

#include <QTableWidget>

namespace zuvemo::ui {

// Shows a GridData: per-cell text, alignment and colours, a fixed heading row and the column
// widths in twips. Reports clicks and double-clicks by grid row (0 is the heading row).
class GridView : public QTableWidget
{
    Q_OBJECT

public:
    explicit GridView(QWidget* parent = nullptr);

    void setEmptyAreaColor(std::uint32_t value);
    void show(const GridData& grid);

signals:
    void rowClicked(int row);
    void rowDoubleClicked(int row);

private:
    std::uint64_t m_shown = ~0ull;
    const GridData* m_last = nullptr;
};

} // namespace zuvemo::ui
