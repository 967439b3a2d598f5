#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

class QFrame;
class QLabel;

namespace zuvemo::ui {

// The splash of the main program: version, product and maker, the product's web address.
// Closes after five seconds, on a key press or on a click on its frame.
class frmSplash : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* kAddress = "https://zuvemo.example/";

    explicit frmSplash(QWidget* parent = nullptr);

    static QString versionText();

    // Called once when the splash closes.
    std::function<void()> onClosed;
    // Hands the address to the browser; replaceable in tests.
    std::function<void(const QString&)> openAddress;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void finish();

    QFrame* m_frame = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_label5 = nullptr;
    QTimer m_timer;
    bool m_done = false;
    bool m_cursorSet = false;
    bool m_keyboardGrabbed = false;
};

} // namespace zuvemo::ui
