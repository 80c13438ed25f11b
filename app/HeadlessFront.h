#pragma once

#include "engine/MainWindowSeam.h"

#include <QObject>
#include <QTimer>

class MonitorCore;

// The monitor without window or tray, for servers and tests. Device events go to stdout as
// "MAC<TAB>line", debug lines to stderr; the pop-up does nothing; alerts go to the mailer. SIGINT and
// SIGTERM run the orderly shutdown, and the process ends with 0 two seconds later.
class HeadlessFront final : public QObject, public MainWindowSeam
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessFront)

public:
    explicit HeadlessFront(MonitorCore& core, QObject* parent = nullptr);
    ~HeadlessFront() override;

    // Runs the start-up steps; returns the process's exit code when start-up ends the process, else -1.
    int start();
    void Shutdown();

    void AddLogEntry(qint32 index, const QString& text) override;
    void Load_Log(qint32 index) override;
    void MacUpdateOccured(qint32 index) override;
    void AddNewDevice(qint32 index) override;
    void SysTrayMouseEventHandlerleft() override;
    bool isMainWindowVisible() const override { return false; }
    void playNewIntruderSound(int volume) override;
    void playIntruderOnlineSound(int volume) override;
    void SendNewEmail(qint32 index) override;
    void SendOnlineEmail(qint32 index) override;
    void setLastIntruderWarning(const QDateTime& when) override { m_lastIntruderWarning = when; }
    void ShowStatus() override;
    void Log(const QString& text) override;

    QDateTime datLastIntruderWarning() const { return m_lastIntruderWarning; }

    // Routes SIGINT and SIGTERM to Shutdown through the event loop.
    void watchSignals();

private:
    // One line on stderr: the ranges watched and their interfaces, or that none are watched and why.
    void announceWatch();

    MonitorCore& m_core;
    QTimer m_mailPoll;
    QTimer m_closeTimer;
    QDateTime m_lastIntruderWarning;
    bool m_shuttingDown = false;
};
