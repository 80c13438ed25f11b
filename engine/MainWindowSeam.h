#pragma once

#include <QDateTime>
#include <QString>

// Everything the discovery engine calls in the main window, and nothing more. frmMain implements it for the
// desktop; the headless front end implements it for servers and tests.
class MainWindowSeam
{
public:
    virtual ~MainWindowSeam() = default;

    virtual void AddLogEntry(qint32 index, const QString& text) = 0;
    virtual void Load_Log(qint32 index) = 0;
    virtual void MacUpdateOccured(qint32 index) = 0;
    virtual void AddNewDevice(qint32 index) = 0;

    // The pop-up: shows the main window (SysTrayMouseEventHandlerleft).
    virtual void SysTrayMouseEventHandlerleft() = 0;
    virtual bool isMainWindowVisible() const = 0;

    // The two alert players (clsAlarm_New_Intruder, clsAlarm_Intruder_Online), given the volume slider value.
    virtual void playNewIntruderSound(int volume) = 0;
    virtual void playIntruderOnlineSound(int volume) = 0;

    // A desktop notification of an intruder alert (new, or back online); the window applies its own setting.
    virtual void notifyDesktop(qint32 index, bool newIntruder)
    {
        Q_UNUSED(index);
        Q_UNUSED(newIntruder);
    }

    virtual void SendNewEmail(qint32 index) = 0;
    virtual void SendOnlineEmail(qint32 index) = 0;

    // datLastIntruderWarning: the time of the last intruder alert.
    virtual void setLastIntruderWarning(const QDateTime& when) = 0;

    // The diagnostics dump after each harvest.
    virtual void ShowStatus() = 0;
    virtual void Log(const QString& text) = 0;
};
