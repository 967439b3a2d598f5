#pragma once

#include <QObject>
#include <QString>

class QProcess;

namespace zuvemo::ui {

// The synthetic market server installed beside the programs, started on a loopback port for as
// long as this program runs: a way to try the program without an account.
class SampleMarket : public QObject
{
    Q_OBJECT

public:
    explicit SampleMarket(QObject* parent = nullptr);
    ~SampleMarket() override;

    // The server's program beside this one; empty when it is not installed.
    static QString program();
    static bool available() { return !program().isEmpty(); }

    // Starts it once; false with a Japanese reason when it did not answer with its addresses.
    bool start(QString* error);
    // Ends the server, when the folder takes its data from elsewhere.
    void stop();
    bool running() const;
    const QString& dailyUrl() const { return m_daily; }
    const QString& historyUrl() const { return m_history; }

private:
    QProcess* m_process = nullptr;
    QString m_daily;
    QString m_history;
};

} // namespace zuvemo::ui
