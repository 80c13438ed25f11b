#pragma once

#include "engine/MainWindowSeam.h"

#include <QStringList>
#include <functional>

// The main window as the engine's tests see it: every call recorded in order as one line ("AddLogEntry 0
// <text>", "MacUpdateOccured 0", "ShowStatus" ...), debug lines apart in logs. failOn names a call that
// throws, to show that an operation's error trap ends it quietly.
class RecordingWindow final : public MainWindowSeam
{
public:
    void AddLogEntry(qint32 index, const QString& text) override;
    void Load_Log(qint32 index) override;
    void MacUpdateOccured(qint32 index) override;
    void AddNewDevice(qint32 index) override;
    void SysTrayMouseEventHandlerleft() override;
    bool isMainWindowVisible() const override { return visible; }
    void playNewIntruderSound(int volume) override;
    void playIntruderOnlineSound(int volume) override;
    void SendNewEmail(qint32 index) override;
    void SendOnlineEmail(qint32 index) override;
    void setLastIntruderWarning(const QDateTime& when) override;
    void ShowStatus() override;
    void Log(const QString& text) override { logs << text; }

    // Calls whose line starts with prefix.
    QStringList callsStartingWith(const QString& prefix) const;
    int count(const QString& call) const { return int(calls.count(call)); }
    void clear()
    {
        calls.clear();
        logs.clear();
    }

    QStringList calls;
    QStringList logs;
    bool visible = false;
    QString failOn; // a call line prefix that throws std::runtime_error
    QDateTime lastIntruderWarning;

private:
    void record(const QString& line);
};
