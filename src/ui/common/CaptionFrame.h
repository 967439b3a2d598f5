#pragma once

#include <QGroupBox>

namespace zuvemo::ui {

// A frame whose caption sits on its top border, as the forms were laid out: the children are
// placed from the frame's top edge, so the caption must keep to the few pixels above the first of
// them instead of taking a title row of its own.
class CaptionFrame : public QGroupBox
{
    Q_OBJECT

public:
    explicit CaptionFrame(const QString& caption, QWidget* parent = nullptr);

    // The y of the border line, and the first row below the caption's ink, in pixels from the top.
    int borderY() const;
    int captionBottom() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zuvemo::ui
