#pragma once

#include <QObject>
#include <memory>

namespace zuvemo::core {
class Clock;
class Mdl_Start;
} // namespace zuvemo::core
namespace zuvemo::marketdata {
class Downloader;
}
namespace zuvemo::exporting {
class SpreadsheetOpener;
}

namespace zuvemo::ui {

class Frm_zuvemo;
class Frm_zuvemo_pass;
class frmSplash;

// The main program's windows in turn: the splash, the sign-in, then the main window. finished()
// tells the program to end, when the main window has closed or a start check failed.
class StartSequence : public QObject
{
    Q_OBJECT

public:
    StartSequence(core::Mdl_Start& module, const core::Clock& clock, marketdata::Downloader& downloader,
        exporting::SpreadsheetOpener& opener, bool anotherCopyRunning);
    ~StartSequence() override;

    void start();

    frmSplash* splash() const { return m_splash.get(); }
    Frm_zuvemo_pass* login() const { return m_login.get(); }
    Frm_zuvemo* mainWindow() const { return m_window.get(); }

signals:
    void finished(int exitCode);

private:
    void showLogin();
    void showMainWindow();

    core::Mdl_Start& m_module;
    const core::Clock& m_clock;
    marketdata::Downloader& m_downloader;
    exporting::SpreadsheetOpener& m_opener;
    bool m_anotherCopy;
    std::unique_ptr<frmSplash> m_splash;
    std::unique_ptr<Frm_zuvemo_pass> m_login;
    std::unique_ptr<Frm_zuvemo> m_window;
};

} // namespace zuvemo::ui
