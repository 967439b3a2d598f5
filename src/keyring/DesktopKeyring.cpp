#include "DesktopKeyring.h"

#include "core/Platform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace zuvemo::keyring {

namespace {

// A keyring that asks the user to unlock it may wait for ever; a daily run must not.
constexpr int kAnswerMs = 15000;

int g_argc = 1;
char g_name[] = "zuvemo";
char* g_argv[] = {g_name, nullptr};

// Runs a job to its end; false when it did not end in time.
bool finish(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QTimer::singleShot(kAnswerMs, &loop, &QEventLoop::quit);
    job.start();
    if (!ended) {
        loop.exec();
    }
    return ended;
}

} // namespace

DesktopKeyring::DesktopKeyring() = default;

DesktopKeyring::~DesktopKeyring() = default;

bool DesktopKeyring::reachable()
{
#ifndef _WIN32
    // Without a session bus there is no Secret Service; asking would only start one.
    const auto bus = core::Platform::environment("DBUS_SESSION_BUS_ADDRESS");
    if (!bus || bus->empty()) {
        return false;
    }
#endif
    if (!QCoreApplication::instance()) {
        m_application = std::make_unique<QCoreApplication>(g_argc, g_argv);
    }
    return true;
}

marketdata::SecretStore::Status DesktopKeyring::read(std::string& secret)
{
    if (!reachable()) {
        return Status::Unavailable;
    }
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromLatin1(kEntry));
    if (!finish(job)) {
        return Status::Unavailable;
    }
    if (job.error() == QKeychain::EntryNotFound) {
        return Status::NotFound;
    }
    if (job.error() != QKeychain::NoError) {
        return Status::Unavailable;
    }
    secret = job.textData().toStdString();
    return Status::Found;
}

bool DesktopKeyring::write(const std::string& secret)
{
    if (!reachable()) {
        return false;
    }
    QKeychain::WritePasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromLatin1(kEntry));
    job.setTextData(QString::fromStdString(secret));
    return finish(job) && job.error() == QKeychain::NoError;
}

bool DesktopKeyring::remove()
{
    if (!reachable()) {
        return false;
    }
    QKeychain::DeletePasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromLatin1(kEntry));
    return finish(job) && (job.error() == QKeychain::NoError || job.error() == QKeychain::EntryNotFound);
}

} // namespace zuvemo::keyring
