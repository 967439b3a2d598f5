#include "QtMessagePresenter.h"
#include "QtTranslations.h"
#include "StartSequence.h"
#include "UiStyle.h"
#include "core/Clock.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "core/SingleInstance.h"
#include "export/SpreadsheetOpener.h"
#include "keyring/DesktopKeyring.h"
#include "marketdata/CurlDownloader.h"
#include "marketdata/jquants/KeyringScope.h"

#include <QApplication>

// Splash, then the sign-in, then the main window; the program ends when the main window closes.
int main(int argc, char** argv)
{
    using namespace zuvemo;
    // First of all: a core file of a window that has read the API key would hold it, and a file
    // opened on a closed standard descriptor would receive the program's output.
    core::Platform::disableCoreDumps();
    core::Platform::ensureStandardStreams();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::UiStyle::installFontSubstitutes();
    ui::QtTranslations::install();
    core::SetMessagePresenter(std::make_shared<ui::QtMessagePresenter>());
    // Ended before app, whose application object the keyring's jobs use.
    marketdata::KeyringScope keyringScope(std::make_shared<keyring::DesktopKeyring>());

    const auto folder = core::ProgramFolder::prepare();
    core::SingleInstance instance("Pro_zuvemo", folder);
    const bool anotherCopy = !instance.acquire();
    core::Mdl_Start module(folder);
    core::Clock clock;
    marketdata::CurlDownloader downloader;
    exporting::DesktopOpener opener;

    ui::StartSequence sequence(module, clock, downloader, opener, anotherCopy);
    QObject::connect(
        &sequence, &ui::StartSequence::finished, &app, [](int code) { QApplication::exit(code); });
    sequence.start();
    return app.exec();
}
