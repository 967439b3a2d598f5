#include "CaptionFrame.h"

#include <QFontMetrics>
#include <QPainter>

namespace zuvemo::ui {

namespace {

constexpr int kCaptionLeft = 6;
constexpr int kCaptionPad = 2;

} // namespace

CaptionFrame::CaptionFrame(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent)
{
}

int CaptionFrame::captionBottom() const
{
    const QRect ink = QFontMetrics(font()).tightBoundingRect(title());
    return ink.height();
}

int CaptionFrame::borderY() const
{
    return title().isEmpty() ? 0 : captionBottom() / 2;
}

void CaptionFrame::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int y = borderY();
    const QRect box(0, y, width() - 1, height() - 1 - y);
    // An etched line: dark, with a light line inside it.
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(box.adjusted(1, 1, 0, 0));
    if (title().isEmpty()) {
        return;
    }
    const QFontMetrics fm(font());
    const QRect ink = fm.tightBoundingRect(title());
    p.fillRect(QRect(kCaptionLeft, 0, fm.horizontalAdvance(title()) + 2 * kCaptionPad, ink.height()),
        palette().color(QPalette::Window));
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    // The baseline is set from the ink, so the caption's glyphs start at the top edge.
    p.drawText(kCaptionLeft + kCaptionPad, -ink.top(), title());
}

} // namespace zuvemo::ui
