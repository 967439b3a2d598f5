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
    // A broad arrow: up moves a candidate into the watch list, down moves it back.
    QPainterPath path;
    const qreal cx = w / 2;
    const qreal top = h * 0.14;
    const qreal bottom = h * 0.86;
    const qreal head = h * 0.45;
    const qreal half = w * 0.16;
    const qreal wing = w * 0.30;
    if (direction == Direction::Up) {
        path.moveTo(cx, top);
        path.lineTo(cx + wing, top + head);
        path.lineTo(cx + half, top + head);
        path.lineTo(cx + half, bottom);
        path.lineTo(cx - half, bottom);
        path.lineTo(cx - half, top + head);
        path.lineTo(cx - wing, top + head);
    } else {
        path.moveTo(cx, bottom);
        path.lineTo(cx + wing, bottom - head);
        path.lineTo(cx + half, bottom - head);
        path.lineTo(cx + half, top);
        path.lineTo(cx - half, top);
        path.lineTo(cx - half, bottom - head);
        path.lineTo(cx - wing, bottom - head);
    }
    path.closeSubpath();
    p.setPen(QPen(QColor(0x1F, 0x4E, 0x79), 1.5));
    p.setBrush(direction == Direction::Up ? QColor(0x2E, 0x75, 0xB6) : QColor(0xC5, 0x5A, 0x11));
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
