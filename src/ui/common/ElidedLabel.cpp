#include "ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStringList>

namespace zuvemo::ui {

ElidedLabel::ElidedLabel(int lines, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent)
    , m_lines(std::max(1, lines))
    , m_mode(mode)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void ElidedLabel::setFullText(const QString& text)
{
    if (text == m_full) {
        return;
    }
    m_full = text;
    elide();
}

QSize ElidedLabel::sizeHint() const
{
    return minimumSizeHint();
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins m = contentsMargins();
    return {m.left() + m.right(), fontMetrics().lineSpacing() * m_lines + m.top() + m.bottom() + 2};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        elide();
    }
}

void ElidedLabel::elide()
{
    QStringList lines = m_full.split(QLatin1Char('\n'));
    while (lines.size() > m_lines) {
        const QString tail = lines.takeLast();
        lines.last() += QStringLiteral("  ") + tail;
    }
    const QFontMetrics metrics(font());
    const int room = std::max(0, contentsRect().width());
    for (QString& line : lines) {
        line = metrics.elidedText(line, m_mode, room);
    }
    QLabel::setText(lines.join(QLatin1Char('\n')));
    setToolTip(m_full);
}

} // namespace zuvemo::ui
