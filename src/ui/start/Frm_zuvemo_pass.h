#pragma once

#include "model/LoginModel.h"

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace zuvemo::ui {

// The sign-in dialog: user name and password against the user row.
class Frm_zuvemo_pass : public QWidget
{
    Q_OBJECT

public:
    explicit Frm_zuvemo_pass(core::Mdl_Start& module, QWidget* parent = nullptr);

    // The start checks; false when the program must end.
    bool load(bool anotherCopyRunning);

    // Called on a successful sign-in, after the dialog has closed itself.
    std::function<void()> onSignedIn;
    // Called when the dialog closes without a sign-in, or the program must end.
    std::function<void()> onEnd;

    QLineEdit* userBox() const { return m_user; }
    QLineEdit* passwordBox() const { return m_password; }
    QPushButton* confirmButton() const { return m_confirm; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void confirm();

    LoginModel m_model;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_confirm = nullptr;
    bool m_signedIn = false;
};

} // namespace zuvemo::ui
