#pragma once

#include "model/TrackDialogModel.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace zuvemo::ui {

class GridView;

// "成績": how often the signals were right for the main window's selection, modal over it.
class Frm_Track : public QDialog
{
    Q_OBJECT

public:
    explicit Frm_Track(TrackDialogModel& model, QWidget* parent = nullptr);

    TrackDialogModel& model() { return m_model; }
    GridView* grid() const { return m_grid; }
    QLabel* heading() const { return m_heading; }

private:
    TrackDialogModel& m_model;
    QLabel* m_heading = nullptr;
    GridView* m_grid = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace zuvemo::ui
