#pragma once

#include <QMessageBox>

namespace zuvemo::ui {

// An OK box without an icon, sized to its texts: wide enough that the window manager shows the
// whole title, and lines broken only where the text breaks them (long ones still wrap, within
// the screen).
class FittedMessageBox : public QMessageBox
{
    Q_OBJECT

public:
    FittedMessageBox(const QString& title, const QString& text, QWidget* parent,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    // Shows the box modally and returns once it is closed.
    static void run(const QString& title, const QString& text, QWidget* parent);
    // はい / いいえ; true for はい.
    static bool ask(const QString& title, const QString& text, QWidget* parent);

    // The narrowest width at which the window manager has room for the whole title.
    int titleWidth() const;
};

} // namespace zuvemo::ui
