#pragma once

#include <QString>

class QWidget;

namespace zuvemo::ui {

// The programs' save dialog: Qt's own (the same on every desktop, in the programs' language),
// starting in the user's pictures folder, and never reading the files it lists, so it cannot
// disturb the locks on an open database, wherever the user goes with it.
class SaveFileDialog
{
public:
    // The chosen path, or an empty text when the user cancelled. folder empty: the user's
    // pictures folder (the home folder when there is none).
    static QString ask(QWidget* parent, const QString& caption, const QString& fileName,
        const QString& filter, const QString& folder = {});

    static QString picturesFolder();
};

} // namespace zuvemo::ui
