#pragma once

#include <QLabel>
#include <QString>

namespace zuvemo::ui {

// A label that never asks its window for the width of its text: it has a fixed number of lines,
// each line cut to the room the layout gives it ("…"), and the whole text as its tool tip.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    ElidedLabel(int lines, Qt::TextElideMode mode, QWidget* parent = nullptr);

    // Lines separated by '\n'; lines beyond the label's count are joined to its last one.
    void setFullText(const QString& text);
    const QString& fullText() const { return m_full; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();

    int m_lines;
    Qt::TextElideMode m_mode;
    QString m_full;
};

} // namespace zuvemo::ui
