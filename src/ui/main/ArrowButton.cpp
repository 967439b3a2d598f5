#include "ArrowButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace zuvemo::ui {

ArrowButton::ArrowButton(Direction direction, const QString& tip, QWidget* parent)
    : QLabel(parent)
    , m_direction(direction)
{
    setToolTip(tip);
    setCursor(Qt::PointingHandCursor);
    setAlignment(Qt::AlignCenter);
}

QPixmap ArrowButton::arrow(Direction direction, QSize size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();
    QRectF face(1, 1, w - 2, h - 2);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.setBrush(QColor(0xFF, 0xF2, 0xCC));
    p.drawRoundedRect(face, 6, 6);
    // A broad arrow pointing towards the list it moves the stock into: left to the watch list
    // beside it, right to the candidates.
    const qreal cy = h / 2;
    const qreal tip = w * 0.12;
    const qreal tail = w * 0.88;
    const qreal head = w * 0.40;
    const qreal half = h * 0.17;
    const qreal wing = h * 0.36;
    const qreal dir = direction == Direction::Left ? 1 : -1;
    const qreal x0 = direction == Direction::Left ? tip : w - tip;
    const qreal x1 = direction == Direction::Left ? tail : w - tail;
    QPainterPath path;
    path.moveTo(x0, cy);
    path.lineTo(x0 + dir * head, cy - wing);
    path.lineTo(x0 + dir * head, cy - half);
    path.lineTo(x1, cy - half);
    path.lineTo(x1, cy + half);
    path.lineTo(x0 + dir * head, cy + half);
    path.lineTo(x0 + dir * head, cy + wing);
    path.closeSubpath();
    p.setPen(QPen(QColor(0x1F, 0x4E, 0x79), 1.5));
    p.setBrush(direction == Direction::Left ? QColor(0x2E, 0x75, 0xB6) : QColor(0xC5, 0x5A, 0x11));
    p.drawPath(path);
    return pm;
}

void ArrowButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void ArrowButton::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    setPixmap(arrow(m_direction, size()));
}

} // namespace zuvemo::ui
