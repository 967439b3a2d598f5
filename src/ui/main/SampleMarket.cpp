#include "SampleMarket.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace zuvemo::ui {

namespace {
constexpr int kStartMs = 10000;
}

SampleMarket::SampleMarket(QObject* parent)
    : QObject(parent)
{
}

SampleMarket::~SampleMarket()
{
    stop();
}

void SampleMarket::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }
    m_daily.clear();
    m_history.clear();
}

QString SampleMarket::program()
{
#ifdef _WIN32
    const QString name = QStringLiteral("zuvemo-sample-server.exe");
#else
    const QString name = QStringLiteral("zuvemo-sample-server");
#endif
    const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()).filePath(name));
    return beside.isExecutable() ? beside.absoluteFilePath() : QString();
}

bool SampleMarket::running() const
{
    return m_process && m_process->state() == QProcess::Running && !m_daily.isEmpty();
}

bool SampleMarket::start(QString* error)
{
    if (running()) {
        return true;
    }
    const QString path = program();
    if (path.isEmpty()) {
        *error = QStringLiteral("サンプル市場のプログラムが見当たりません。");
        return false;
    }
    if (!m_process) {
        m_process = new QProcess(this); // owned by this object
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    // Port 0: the system picks a free one, and the server prints its addresses.
    m_process->start(path, {QStringLiteral("--port"), QStringLiteral("0")});
    QStringList lines;
    if (m_process->waitForStarted(kStartMs)) {
        while (lines.size() < 2 && m_process->waitForReadyRead(kStartMs)) {
            while (lines.size() < 2 && m_process->canReadLine()) {
                lines << QString::fromUtf8(m_process->readLine()).trimmed();
            }
        }
    }
    if (lines.size() < 2 || !lines[0].startsWith(QStringLiteral("http://127.0.0.1:"))) {
        m_process->kill();
        m_process->waitForFinished(1000);
        *error = QStringLiteral("サンプル市場を起動できません。");
        return false;
    }
    m_daily = lines[0];
    m_history = lines[1];
    return true;
}

} // namespace zuvemo::ui
