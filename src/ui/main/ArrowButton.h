#pragma once

#include <QLabel>

namespace zuvemo::ui {

// A picture button: an arrow drawn on a plain face, clickable like the original image controls.
class ArrowButton : public QLabel
{
    Q_OBJECT

public:
    enum class Direction { Left, Right };
    ArrowButton(Direction direction, const QString& tip, QWidget* parent = nullptr);

    static QPixmap arrow(Direction direction, QSize size);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Direction m_direction;
};

} // namespace zuvemo::ui
