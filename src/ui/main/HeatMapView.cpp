#include "HeatMapView.h"

#include "UiStyle.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

namespace zuvemo::ui {

namespace {

constexpr double kLabelWidth = 70, kLabelHeight = 22, kLegendWidth = 90;

// Grid colours keep red in the low byte.
QColor colourOf(std::uint32_t grid)
{
    return {static_cast<int>(grid & 0xFF), static_cast<int>((grid >> 8) & 0xFF),
        static_cast<int>((grid >> 16) & 0xFF)};
}

} // namespace

HeatMapView::HeatMapView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("HeatMap"));
    setMinimumSize(360, 200);
    setToolTip(QStringLiteral("セルをクリックすると、その設定の検証結果を開きます"));
}

void HeatMapView::show(const std::optional<RuleRangeModel::HeatMap>& map)
{
    m_map = map;
    update();
}

QRectF HeatMapView::cellArea() const
{
    return {kLabelWidth, kLabelHeight, std::max(10.0, width() - kLabelWidth - kLegendWidth - 10),
        std::max(10.0, height() - 2 * kLabelHeight)};
}

void HeatMapView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!m_map || m_map->xValues.empty() || m_map->yValues.empty()) {
        p.drawText(
            rect(), Qt::AlignCenter, QStringLiteral("2 つ以上の条件を変えるとヒートマップを表示します"));
        return;
    }
    const auto& m = *m_map;
    p.setFont(UiStyle::proportional(9));
    const QRectF area = cellArea();
    const double w = area.width() / static_cast<double>(m.xValues.size());
    const double h = area.height() / static_cast<double>(m.yValues.size());
    p.drawText(
        QRectF(area.left(), 0, area.width(), kLabelHeight), Qt::AlignCenter, QString::fromStdString(m.xName));
    p.drawText(QRectF(0, 0, kLabelWidth, kLabelHeight), Qt::AlignCenter, QString::fromStdString(m.yName));
    for (std::size_t x = 0; x < m.xValues.size(); ++x) {
        p.drawText(QRectF(area.left() + w * static_cast<double>(x), area.bottom(), w, kLabelHeight),
            Qt::AlignCenter, QString::fromStdString(m.xValues[x]));
    }
    for (std::size_t y = 0; y < m.yValues.size(); ++y) {
        const double top = area.top() + h * static_cast<double>(y);
        p.drawText(QRectF(0, top, kLabelWidth - 4, h), Qt::AlignRight | Qt::AlignVCenter,
            QString::fromStdString(m.yValues[y]));
        for (std::size_t x = 0; x < m.xValues.size(); ++x) {
            const QRectF cell(area.left() + w * static_cast<double>(x), top, w, h);
            p.fillRect(cell, colourOf(m.colour[y][x]));
            p.setPen(QColor(0xC0, 0xC0, 0xC0));
            p.drawRect(cell);
            p.setPen(Qt::black);
            p.drawText(cell, Qt::AlignCenter, QString::fromStdString(m.text[y][x]));
        }
    }
    // The best cell outlined over the others' borders.
    QPen best(Qt::black);
    best.setWidth(3);
    p.setPen(best);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(
        area.left() + w * static_cast<double>(m.bestX), area.top() + h * static_cast<double>(m.bestY), w, h)
                   .adjusted(1.5, 1.5, -1.5, -1.5));

    // The legend: the one scale from the lowest value to the highest.
    const QRectF bar(area.right() + 16, area.top(), 18, area.height());
    QLinearGradient gradient(bar.bottomLeft(), bar.topLeft());
    gradient.setColorAt(0, colourOf(RuleRangeModel::kLowColour));
    gradient.setColorAt(0.5, colourOf(RuleRangeModel::kMiddleColour));
    gradient.setColorAt(1, colourOf(RuleRangeModel::kHighColour));
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(gradient);
    p.drawRect(bar);
    p.setPen(Qt::black);
    p.drawText(QRectF(bar.right() + 4, bar.top() - 2, kLegendWidth, 16), Qt::AlignLeft,
        QString::fromStdString(m.legendHigh));
    p.drawText(QRectF(bar.right() + 4, bar.bottom() - 14, kLegendWidth, 16), Qt::AlignLeft,
        QString::fromStdString(m.legendLow));
}

void HeatMapView::mousePressEvent(QMouseEvent* event)
{
    if (!m_map || m_map->xValues.empty() || m_map->yValues.empty()) {
        return;
    }
    const QRectF area = cellArea();
    const QPointF at = event->position();
    if (!area.contains(at)) {
        return;
    }
    const int x = static_cast<int>(
        (at.x() - area.left()) / area.width() * static_cast<double>(m_map->xValues.size()));
    const int y = static_cast<int>(
        (at.y() - area.top()) / area.height() * static_cast<double>(m_map->yValues.size()));
    emit cellClicked(x, y);
}

} // namespace zuvemo::ui
