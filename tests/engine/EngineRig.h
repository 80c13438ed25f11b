#pragma once

#include "RecordingWindow.h"
#include "TestHome.h"
#include "engine/frmClient.h"
#include "platform/Clock.h"
#include "platform/FakeNetPlatform.h"
#include "platform/Hive.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"

#include <memory>

// One engine on the scripted network of FakeNetPlatform, with a real hive in a private home, a manual clock and a
// recording main window. The engine's own timer is stopped: tests drive it by calling the tick handler, each tick
// moving the clock by 100 ms.
class EngineRig final
{
public:
    EngineRig();
    ~EngineRig();

    // The engine's load, with its timer stopped again at once.
    void load();
    void tick(int count = 1);
    // Ticks until the next harvest has run (ShowStatus); the number of ticks taken, -1 when none came.
    int runToHarvest(int maxTicks = 600);
    // A device as the store's loading leaves it: not online, name lookup due.
    qint32 addLoadedDevice(const QString& mac, const QString& ip, bool intruder = true,
        const QDateTime& lastOnline = {}, const QDateTime& lastOffline = {});
    // Answers the one pending reverse lookup; false when not exactly one is pending.
    bool answer(const QString& name, int error = 0);
    QString stored(const QString& mac, const QString& value) const;
    QStringList storedNames(const QString& mac) const;
    // The stamp the engine puts in front of a history line written at `when`.
    static QString stamp(const QDateTime& when);

    // The clock's time as the engine reads it (whole seconds).
    QDateTime now() const;

    static const QDateTime kStart;
    int clockStepMs = 100; // how far each tick moves the clock; 0 freezes it

    TestHome home;
    std::unique_ptr<Hive> hive;
    ManualClock clock {kStart};
    DeviceTable devices;
    LiveSettings settings;
    FakeNetPlatform net;
    RecordingWindow window;
    frmClient engine {devices, settings, net, window};
};
