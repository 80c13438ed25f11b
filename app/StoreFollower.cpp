#include "app/StoreFollower.h"

#include "app/DeviceActions.h"
#include "platform/DebugSink.h"
#include "platform/Hive.h"
#include "store/DeviceTable.h"
#include "store/DeviceWatch.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

namespace {

constexpr int kPollMs = 1000;

QString valueOf(const QList<Hive::Value>& values, const QString& name)
{
    for (const Hive::Value& v : values) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return v.data;
    }
    return {};
}

bool hasValue(const QList<Hive::Value>& values, const QString& name)
{
    for (const Hive::Value& v : values) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// A stored device as Load_Registry would load it (dates and flags that do not read keep the empty slot's).
DeviceRecord recordOf(const QString& mac, const QList<Hive::Value>& values)
{
    DeviceRecord d = DeviceRecord::empty();
    d.MacAddress = mac;
    d.IpAddress = valueOf(values, QStringLiteral("IP_Address"));
    d.HostName = valueOf(values, QStringLiteral("Host_Name"));
    d.FriendlyName = valueOf(values, QStringLiteral("Friendly_Name"));
    d.NewDevice = TextForms::parseBool(valueOf(values, QStringLiteral("New_Device"))).value_or(false);
    d.Intruder = TextForms::parseBool(valueOf(values, QStringLiteral("Intruder"))).value_or(true);
    d.NameLookupPending = true;
    const auto date = [&values](const char* name, QDateTime& field) {
        if (const auto when = TextForms::parseDateAnyLocale(valueOf(values, QString::fromLatin1(name))))
            field = *when;
    };
    date("Last_Online", d.LastOnline);
    date("Last_Offline", d.LastOffline);
    date("First_Seen", d.FirstSeen);
    d.MacType = TextForms::parseByte(valueOf(values, QStringLiteral("Mac_Type"))).value_or(0);
    d.Network = valueOf(values, QStringLiteral("Network"));
    // A watch that does not read is none, as at loading (which logs it).
    d.Watch = DeviceWatch::parse(valueOf(values, DeviceWatch::Value)).value_or(DeviceWatch::None);
    return d;
}

} // namespace

StoreFollower::StoreFollower(Hive& hive, DeviceTable& devices, DeviceActions& actions, QObject* parent)
    : QObject(parent)
    , m_hive(hive)
    , m_devices(devices)
    , m_actions(actions)
{
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &StoreFollower::poll);
}

void StoreFollower::start()
{
    m_changes = m_hive.outsideChanges();
    m_seen = readStored(false);
    m_settings = readSettings();
    m_timer.start();
}

QStringList StoreFollower::readSettings()
{
    QStringList texts;
    for (const Hive::Value& v : m_hive.values(modRegistry::FullKeyPath(modRegistry::ProductKey, Keys::General)))
        texts << v.name << v.data;
    return texts;
}

QHash<QString, StoreFollower::Stored> StoreFollower::readStored(bool clearRemnants)
{
    QHash<QString, Stored> stored;
    const QString devicesKey = modRegistry::FullKeyPath(modRegistry::ProductKey, Keys::DetectedDevices);
    for (const QString& mac : m_hive.subkeys(devicesKey)) {
        const QString key = devicesKey + QLatin1Char('\\') + mac;
        const QList<Hive::Value> values = m_hive.values(key);
        // Every device is stored with its list; a key without one is what a late write of the engine left of
        // a device removed elsewhere, and it goes too.
        if (!hasValue(values, QStringLiteral("Intruder"))) {
            if (clearRemnants) {
                Log(QStringLiteral("StoreFollower - %1 was removed elsewhere; the values written since go too")
                        .arg(mac));
                m_hive.deleteKey(key);
            }
            continue;
        }
        const DeviceRecord d = recordOf(mac, values);
        stored.insert(mac, Stored {d.FriendlyName, d.Intruder, d.NewDevice, d.Watch});
    }
    return stored;
}

void StoreFollower::poll()
{
    const quint64 changes = m_hive.outsideChanges();
    if (changes == m_changes)
        return;
    m_changes = changes;
    QStringList settings = readSettings();
    if (settings != m_settings && m_settingsHook)
        m_settingsHook();
    m_settings = std::move(settings);
    const QHash<QString, Stored> now = readStored(true);

    // Removed elsewhere: stored at the last look, gone now. A device admitted since is not stored yet or is
    // stored now, so it never counts as removed.
    for (qint32 slot = m_devices.DeviceCount - 1; slot >= 0; --slot) {
        const QString& mac = m_devices[slot].MacAddress;
        if (m_seen.contains(mac) && !now.contains(mac))
            m_actions.adoptRemoval(slot);
    }
    const QString devicesKey = modRegistry::FullKeyPath(modRegistry::ProductKey, Keys::DetectedDevices);
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
        const qint32 slot = m_devices.indexOfMac(it.key());
        if (slot < 0) {
            m_actions.adoptAdded(recordOf(it.key(), m_hive.values(devicesKey + QLatin1Char('\\') + it.key())));
            continue;
        }
        const Stored& stored = it.value();
        const auto before = m_seen.constFind(it.key());
        const DeviceRecord& d = m_devices[slot];
        const auto changed = [&](auto Stored::*field, const auto& inMemory) {
            return stored.*field != inMemory && (before == m_seen.constEnd() || (*before).*field != stored.*field);
        };
        const QString name = changed(&Stored::name, d.FriendlyName) ? stored.name : d.FriendlyName;
        const bool intruder = changed(&Stored::intruder, d.Intruder) ? stored.intruder : d.Intruder;
        const bool newDevice = changed(&Stored::newDevice, d.NewDevice) ? stored.newDevice : d.NewDevice;
        const quint8 watch = changed(&Stored::watch, d.Watch) ? stored.watch : d.Watch;
        m_actions.adoptStored(slot, name, intruder, newDevice, watch);
    }
    m_seen = now;
}
