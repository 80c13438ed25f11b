#pragma once

#include "FakeNetPlatform.h"
#include "TestHome.h"
#include "engine/MainWindowSeam.h"
#include "engine/frmClient.h"
#include "platform/Clock.h"
#include "platform/Hive.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"

#include <memory>

// The main window as the engine's tests see it: every call one line in order ("MacUpdateOccured 0" ...), debug
// lines apart in logs. A call starting with failOn throws, as a failing window would.
class RecordingWindow final : public MainWindowSeam
{
public:
    void AddLogEntry(qint32 i, const QString& text) override
    {
        record(QStringLiteral("AddLogEntry %1 ").arg(i) + text);
    }
    void Load_Log(qint32 i) override { record(QStringLiteral("Load_Log %1").arg(i)); }
    void MacUpdateOccured(qint32 i) override { record(QStringLiteral("MacUpdateOccured %1").arg(i)); }
    void AddNewDevice(qint32 i) override { record(QStringLiteral("AddNewDevice %1").arg(i)); }
    void SysTrayMouseEventHandlerleft() override { record(QStringLiteral("SysTrayMouseEventHandlerleft")); }
    bool isMainWindowVisible() const override { return visible; }
    void playNewIntruderSound(int v) override { record(QStringLiteral("playNewIntruderSound %1").arg(v)); }
    void playIntruderOnlineSound(int v) override { record(QStringLiteral("playIntruderOnlineSound %1").arg(v)); }
    void SendNewEmail(qint32 i) override { record(QStringLiteral("SendNewEmail %1").arg(i)); }
    void SendOnlineEmail(qint32 i) override { record(QStringLiteral("SendOnlineEmail %1").arg(i)); }
    void setLastIntruderWarning(const QDateTime&) override { record(QStringLiteral("setLastIntruderWarning")); }
    void ShowStatus() override { record(QStringLiteral("ShowStatus")); }
    void Log(const QString& text) override { logs << text; }

    QStringList calls;
    QStringList logs;
    bool visible = false;
    QString failOn;

private:
    void record(const QString& line);
};

// One engine on FakeNetPlatform with a real hive in a private home, a manual clock and a recording window.
// Its timer is stopped: tests call the tick handler, each tick moving the clock by clockStepMs.
class EngineRig final
{
public:
    EngineRig();
    ~EngineRig();

    void load(); // the engine's load, its timer stopped again at once
    void tick(int count = 1);
    // Ticks until the next harvest has run (ShowStatus); the ticks taken, -1 when none came.
    int runToHarvest(int maxTicks = 600);
    // The window calls of the next sweep, up to and including its harvest.
    QStringList nextSweep();
    // A device as the store's loading leaves it: offline since an hour ago, its name due.
    qint32 addLoadedDevice(const QString& mac, const QString& ip, bool intruder = true);
    bool answer(const QString& name, int error = 0); // answers the one pending lookup
    QString stored(const QString& mac, const QString& value) const;
    QDateTime now() const; // the clock as the engine reads it (whole seconds)
    // A history line as the engine writes it: date, tab, text.
    static QString entry(qint32 index, const QDateTime& when, const QString& text);

    static const QDateTime kStart;
    int clockStepMs = 100;

    TestHome home;
    std::unique_ptr<Hive> hive;
    ManualClock clock {kStart};
    DeviceTable devices;
    LiveSettings settings;
    FakeNetPlatform net;
    RecordingWindow window;
    frmClient engine {devices, settings, net, window};
};
