#pragma once

#include "model/LauncherModel.h"

#include <QWidget>
#include <functional>

class QLineEdit;
class QPushButton;

namespace zuvemo::ui {

// The launcher's first-use window: user name and password (twice).
class Frm_Start : public QWidget
{
    Q_OBJECT

public:
    explicit Frm_Start(LauncherModel& model, QWidget* parent = nullptr);

    std::function<void()> onSaved;
    std::function<void()> onCancelled;

    QLineEdit* box(int i) const { return m_text[i]; }
    QPushButton* executeButton() const { return m_execute; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape is "キャンセル", as in any dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    LauncherModel& m_model;
    QLineEdit* m_text[3] = {};
    QPushButton* m_execute = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_done = false;
};

} // namespace zuvemo::ui
