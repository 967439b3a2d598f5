#include "StartSequence.h"

#include "Frm_zuvemo.h"
#include "Frm_zuvemo_pass.h"
#include "frmSplash.h"

namespace zuvemo::ui {

StartSequence::StartSequence(core::Mdl_Start& module, const core::Clock& clock,
    marketdata::Downloader& downloader, exporting::SpreadsheetOpener& opener, bool anotherCopyRunning)
    : m_module(module)
    , m_clock(clock)
    , m_downloader(downloader)
    , m_opener(opener)
    , m_anotherCopy(anotherCopyRunning)
{
}

StartSequence::~StartSequence() = default;

void StartSequence::start()
{
    m_splash = std::make_unique<frmSplash>();
    m_splash->onClosed = [this] { showLogin(); };
    m_splash->show();
}

void StartSequence::showLogin()
{
    m_login = std::make_unique<Frm_zuvemo_pass>(m_module);
    m_login->onEnd = [this] { emit finished(0); };
    m_login->onSignedIn = [this] { showMainWindow(); };
    if (!m_login->load(m_anotherCopy)) {
        emit finished(1);
        return;
    }
    m_login->show();
    m_login->activateWindow();
}

void StartSequence::showMainWindow()
{
    m_window = std::make_unique<Frm_zuvemo>(m_module, m_clock, m_downloader, m_opener);
    m_window->setWindowModality(Qt::ApplicationModal);
    // Only the main window's own closing ends the program: a message box shown while it
    // loads does not.
    connect(m_window.get(), &Frm_zuvemo::closed, this, [this] { emit finished(0); });
    if (!m_window->load()) {
        emit finished(1);
        return;
    }
    m_window->show();
}

} // namespace zuvemo::ui
