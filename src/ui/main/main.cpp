#include "Frm_zuvemo.h"
#include "Frm_zuvemo_pass.h"
#include "QtMessagePresenter.h"
#include "UiStyle.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/SingleInstance.h"
#include "export/SpreadsheetOpener.h"
#include "frmSplash.h"
#include "marketdata/CurlDownloader.h"

#include <QApplication>

// Splash, then the sign-in, then the main window; the program ends when the main window closes.
int main(int argc, char** argv)
{
    using namespace zuvemo;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::UiStyle::installFontSubstitutes();
    core::SetMessagePresenter(std::make_shared<ui::QtMessagePresenter>());

    core::SingleInstance instance("Pro_zuvemo");
    const bool anotherCopy = !instance.acquire();
    core::Mdl_Start module(core::Platform::executableFolder());
    core::Clock clock;
    marketdata::CurlDownloader downloader;
    exporting::DesktopOpener opener;

    std::unique_ptr<ui::Frm_zuvemo_pass> login;
    std::unique_ptr<ui::Frm_zuvemo> window;
    int exitCode = 0;

    ui::frmSplash splash;
    splash.onClosed = [&] {
        login = std::make_unique<ui::Frm_zuvemo_pass>(module);
        login->onEnd = [&] { QApplication::exit(exitCode); };
        login->onSignedIn = [&] {
            window = std::make_unique<ui::Frm_zuvemo>(module, clock, downloader, opener);
            window->setAttribute(Qt::WA_DeleteOnClose, false);
            window->setWindowModality(Qt::ApplicationModal);
            // Only its own closing ends the program: a message box shown while it loads does not.
            QObject::connect(window.get(), &ui::Frm_zuvemo::closed, [] { QApplication::exit(0); });
            if (!window->load()) {
                QApplication::exit(1);
                return;
            }
            window->show();
        };
        if (!login->load(anotherCopy)) {
            QApplication::exit(1);
            return;
        }
        login->show();
        login->activateWindow();
    };
    splash.show();
    int rc = app.exec();
    window.reset();
    login.reset();
    return rc;
}
