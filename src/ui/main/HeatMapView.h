#pragma once

#include "model/RuleRangeModel.h"

#include <QWidget>
#include <optional>

namespace zuvemo::ui {

// The objective over two varied bounds: a cell per pair with its value on one colour scale, the
// best outlined, the scale's legend beside it; a click on a cell says which.
class HeatMapView : public QWidget
{
    Q_OBJECT

public:
    explicit HeatMapView(QWidget* parent = nullptr);
    void show(const std::optional<RuleRangeModel::HeatMap>& map);
    QSize sizeHint() const override { return {520, 300}; }

signals:
    void cellClicked(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The cells' area, left of the legend and right of the row labels.
    QRectF cellArea() const;

    std::optional<RuleRangeModel::HeatMap> m_map;
};

} // namespace zuvemo::ui
