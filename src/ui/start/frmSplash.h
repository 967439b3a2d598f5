#pragma once

#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

class QFrame;
class QLabel;

namespace zuvemo::ui {

// The splash of the main program: version, product and maker, and the link to the manual. The
// product has no web site: the link opens the README the program carries, which needs no network.
// Closes after five seconds, on a key press or on a click on its frame.
class frmSplash : public QWidget
{
    Q_OBJECT

public:
    explicit frmSplash(QWidget* parent = nullptr);

    // The manual the link opens (found beside the programs at start); none leaves the link inert.
    void setManual(const std::optional<std::filesystem::path>& manual);

    static QString versionText();

    // Called once when the splash closes.
    std::function<void()> onClosed;
    // Hands the manual's address (a file: URL) to the desktop; replaceable in tests.
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
    QString m_address;
    QTimer m_timer;
    bool m_done = false;
    bool m_cursorSet = false;
    bool m_keyboardGrabbed = false;
};

} // namespace zuvemo::ui
