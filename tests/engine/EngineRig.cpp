#include "EngineRig.h"

#include "Devices.h"

#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

const QDateTime EngineRig::kStart = QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0));

EventRecorder::EventRecorder(DiscoveryEngine& engine, const DeviceStore& devices)
{
    QObject::connect(&engine, &DiscoveryEngine::deviceEvent, &engine, [this, &devices](const DeviceEvent& event) {
        events << event;
        calls << describe(event, devices);
    });
    QObject::connect(&engine, &DiscoveryEngine::harvested, &engine, [this] { calls << QStringLiteral("harvested"); });
}

QString EventRecorder::describe(const DeviceEvent& e, const DeviceStore& devices)
{
    static const char* const kinds[] = {"Admitted", "Impersonation", "Online", "Offline", "AddressChanged",
        "NameChanged", "AddressesChanged", "Described", "LikelyReturn"};
    QStringList parts {QLatin1String(kinds[int(e.kind)]), QString::number(positionOf(devices, e.mac))};
    for (const QString& field : {e.address, e.name, e.earlierMac}) {
        if (!field.isEmpty())
            parts << field;
    }
    if (e.intruder)
        parts << QStringLiteral("intruder");
    if (e.impersonation)
        parts << QStringLiteral("impersonation");
    if (!e.logged)
        parts << QStringLiteral("unlogged");
    return parts.join(QLatin1Char(' '));
}

EngineRig::EngineRig()
{
    hive = Hive::open(home.paths().hiveFile()).hive;
    KeyStore::attach(hive.get());
    kwclock::install(&clock);
}

EngineRig::~EngineRig()
{
    engine.Shutdown();
    kwclock::install(nullptr);
    KeyStore::attach(nullptr);
}

void EngineRig::load()
{
    engine.Load();
    engine.pingTimer().stop();
}

void EngineRig::tick(int count)
{
    for (int i = 0; i < count; ++i) {
        clock.advanceMSecs(clockStepMs);
        engine.sweepTick();
    }
}

int EngineRig::runToHarvest(int maxTicks)
{
    const auto harvests = [this] { return window.calls.count(QStringLiteral("harvested")); };
    const qsizetype before = harvests();
    for (int i = 1; i <= maxTicks; ++i) {
        tick();
        if (harvests() > before)
            return i;
    }
    return -1;
}

QStringList EngineRig::nextSweep()
{
    window.calls.clear();
    window.events.clear();
    return runToHarvest() < 0 ? QStringList {QStringLiteral("no harvest")} : window.calls;
}

DeviceRecord& EngineRig::addLoadedDevice(const QString& mac, const QString& ip, bool intruder)
{
    DeviceRecord& d = appendDevice(devices, mac, ip, kStart.addDays(-1));
    d.NewDevice = d.Intruder = intruder;
    d.NameLookupPending = true;
    d.LastOffline = kStart.addSecs(-3600);
    d.LastSeen = d.LastOffline;
    return d;
}

bool EngineRig::answer(const QString& name, int error)
{
    const QList<int> pending = net.pendingLookups();
    return pending.size() == 1 && net.completeLookup(pending.first(), error, name);
}

QString EngineRig::stored(const QString& mac, const QString& value) const
{
    return KeyStore::readString(KeyStore::ProductKey, Keys::deviceKey(mac), value, QStringLiteral("<missing>"));
}

QDateTime EngineRig::now() const
{
    const QDateTime t = clock.now();
    return t.addMSecs(-t.time().msec());
}
