#include "ChartBarsItem.h"

#include <QChart>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace zuvemo::ui {

ChartBarsItem::ChartBarsItem(QChart* chart, QValueAxis* y)
    : QGraphicsItem(chart)
    , m_chart(chart)
    , m_y(y)
{
    // Over the grid, under the lines of the series.
    setZValue(3.5);
}

void ChartBarsItem::setCandles(std::vector<Candle> candles, const QColor& up, const QColor& down)
{
    m_candles = std::move(candles);
    m_values.clear();
    m_upColour = up;
    m_downColour = down;
    m_width = 0.7;
    update();
}

void ChartBarsItem::setColumns(std::vector<double> values, std::vector<bool> up, const QColor& upColour,
    const QColor& downColour, double width)
{
    m_values = std::move(values);
    m_up = std::move(up);
    m_candles.clear();
    m_upColour = upColour;
    m_downColour = downColour;
    m_width = width;
    update();
}

void ChartBarsItem::setBars(double first, double last)
{
    m_first = first;
    m_last = last;
    update();
}

void ChartBarsItem::relayout()
{
    const QRectF area = m_chart->plotArea();
    if (area != m_area) {
        prepareGeometryChange();
        m_area = area;
    }
    update();
}

QRectF ChartBarsItem::boundingRect() const
{
    return m_area;
}

double ChartBarsItem::yOf(double value, const QRectF& area) const
{
    const double span = m_y->max() - m_y->min();
    return span > 0 ? area.bottom() - (value - m_y->min()) / span * area.height() : area.bottom();
}

void ChartBarsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QRectF area = m_area;
    const std::size_t count = std::max(m_candles.size(), m_values.size());
    if (area.isEmpty() || m_last <= m_first || count == 0) {
        return;
    }
    painter->save();
    painter->setClipRect(area);
    painter->setRenderHint(QPainter::Antialiasing, false);
    const double perBar = area.width() / (m_last - m_first);
    const double width = std::max(1.0, perBar * m_width);
    const auto from = static_cast<std::size_t>(std::max(0.0, std::floor(m_first)));
    const auto to = std::min(count - 1, static_cast<std::size_t>(std::max(0.0, std::ceil(m_last))));
    const double zero = yOf(std::clamp(0.0, m_y->min(), m_y->max()), area);
    for (std::size_t i = from; i <= to; ++i) {
        const double x = area.left() + (static_cast<double>(i) - m_first) * perBar;
        if (!m_candles.empty()) {
            const Candle& c = m_candles[i];
            if (!c.traded) {
                continue;
            }
            const QColor& colour = c.close >= c.open ? m_upColour : m_downColour;
            painter->setPen(QPen(colour, 1));
            painter->drawLine(QPointF(x, yOf(c.high, area)), QPointF(x, yOf(c.low, area)));
            const double top = yOf(std::max(c.open, c.close), area);
            const double bottom = yOf(std::min(c.open, c.close), area);
            painter->fillRect(QRectF(x - width / 2, top, width, std::max(1.0, bottom - top)), colour);
            continue;
        }
        const double v = m_values[i];
        if (!std::isfinite(v) || v == 0) {
            continue;
        }
        const bool up = m_up.empty() || m_up[i];
        const double y = yOf(v, area);
        painter->fillRect(QRectF(x - width / 2, std::min(y, zero), width, std::max(1.0, std::abs(y - zero))),
            up ? m_upColour : m_downColour);
    }
    painter->restore();
}

} // namespace zuvemo::ui
