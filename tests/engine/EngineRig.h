#pragma once

#include "FakeNetPlatform.h"
#include "LogCapture.h"
#include "TestHome.h"
#include "engine/DiscoveryEngine.h"
#include "platform/Clock.h"
#include "platform/Hive.h"
#include "store/DeviceStore.h"

#include <memory>

// The engine's events as its tests see them: one line per event in order, the device by where it stands in
// the store ("Admitted 0 198.18.0.7 intruder",
// "Online 0 198.18.0.7 unlogged", "harvested"), the events themselves alongside.
class EventRecorder final
{
public:
    EventRecorder(DiscoveryEngine& engine, const DeviceStore& devices);
    // The device is named by where it stands in the store when the event comes.
    static QString describe(const DeviceEvent& event, const DeviceStore& devices);

    QStringList calls;
    QList<DeviceEvent> events;
};

// One engine on FakeNetPlatform with a real hive in a private home, a manual clock and an event recorder.
// Its timer is stopped: tests call the tick handler, each tick moving the clock by clockStepMs.
class EngineRig final
{
public:
    EngineRig();
    ~EngineRig();

    void load(); // the engine's load, its timer stopped again at once
    void tick(int count = 1);
    // Ticks until the next harvest has run; the ticks taken, -1 when none came.
    int runToHarvest(int maxTicks = 600);
    // The events of the next sweep, up to and including its harvest.
    QStringList nextSweep();
    // A device as the store's loading leaves it: offline since an hour ago, its name due.
    DeviceRecord& addLoadedDevice(const QString& mac, const QString& ip, bool intruder = true);
    bool answer(const QString& name, int error = 0); // answers the one pending lookup
    QString stored(const QString& mac, const QString& value) const;
    QDateTime now() const; // the clock as the engine reads it (whole seconds)

    static const QDateTime kStart;
    int clockStepMs = 100;

    TestHome home;
    std::unique_ptr<Hive> hive;
    ManualClock clock {kStart};
    DeviceStore devices;
    FakeNetPlatform net;
    LogCapture log;
    DiscoveryEngine engine {devices, net};
    EventRecorder window {engine, devices};
};
