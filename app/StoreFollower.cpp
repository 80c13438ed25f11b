#include "app/StoreFollower.h"

#include "app/DeviceActions.h"
#include "platform/DebugSink.h"
#include "platform/Hive.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/DeviceWatch.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

namespace {

constexpr int kPollMs = 1000;

bool hasValue(const QList<Hive::Value>& values, const QString& name)
{
    for (const Hive::Value& v : values) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// A stored device as loadStore loads it.
DeviceRecord recordOf(const QString& mac, const QList<Hive::Value>& values)
{
    DeviceCodec::Values texts;
    for (const Hive::Value& v : values)
        texts.append({v.name, v.data});
    return DeviceCodec::decode(mac, texts).record;
}

// What a device is and its former MACs, as stored: a change made elsewhere is taken in.
QString factsText(const DeviceRecord& d)
{
    namespace N = DeviceCodec::Name;
    QStringList texts;
    for (const QString& name : {N::Type, N::TypeSource, N::Model, N::ModelSource, N::Os, N::OsSource, N::FormerMacs})
        texts << DeviceCodec::valueText(d, name);
    return texts.join(QChar(0));
}

} // namespace

StoreFollower::StoreFollower(Hive& hive, DeviceStore& devices, DeviceActions& actions, QObject* parent)
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
    for (const Hive::Value& v : m_hive.values(KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::General)))
        texts << v.name << v.data;
    return texts;
}

QHash<QString, StoreFollower::Stored> StoreFollower::readStored(bool clearRemnants)
{
    QHash<QString, Stored> stored;
    const QString devicesKey = KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::DetectedDevices);
    for (const QString& mac : m_hive.subkeys(devicesKey)) {
        const QString key = devicesKey + QLatin1Char('\\') + mac;
        const QList<Hive::Value> values = m_hive.values(key);
        // Every device is stored with its list; a key without one is what a late write of the engine left of
        // a device removed elsewhere, and it goes too.
        if (!hasValue(values, DeviceCodec::Name::Intruder)) {
            if (clearRemnants) {
                Log(kwStore,
                    QStringLiteral("StoreFollower - %1 was removed elsewhere; the values written since go too")
                        .arg(mac));
                m_hive.deleteKey(key);
            }
            continue;
        }
        const DeviceRecord d = recordOf(mac, values);
        stored.insert(mac, Stored {d.FriendlyName, d.Intruder, d.NewDevice, d.Watch, factsText(d), d.Note});
    }
    return stored;
}

void StoreFollower::poll()
{
    const quint64 changes = m_hive.outsideChanges();
    if (changes == m_changes)
        return;
    m_changes = changes;
    // Another process changed the store: kestrelwatch-ctl, as a rule (the history says so).
    const OriginScope origin(m_actions, DeviceEvent::Origin::Ctl);
    QStringList settings = readSettings();
    if (settings != m_settings && m_settingsHook)
        m_settingsHook();
    m_settings = std::move(settings);
    const QHash<QString, Stored> now = readStored(true);

    // Removed elsewhere: stored at the last look, gone now. A device admitted since is not stored yet or is
    // stored now, so it never counts as removed.
    QStringList gone;
    for (const DeviceRecord& d : std::as_const(m_devices)) {
        if (m_seen.contains(d.MacAddress) && !now.contains(d.MacAddress))
            gone.append(d.MacAddress);
    }
    for (const QString& mac : std::as_const(gone))
        m_actions.adoptRemoval(mac);
    const QString devicesKey = KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::DetectedDevices);
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
        const DeviceRecord* found = m_devices.find(it.key());
        if (!found) {
            m_actions.adoptAdded(recordOf(it.key(), m_hive.values(devicesKey + QLatin1Char('\\') + it.key())));
            continue;
        }
        const Stored& stored = it.value();
        const auto before = m_seen.constFind(it.key());
        const DeviceRecord& d = *found;
        const auto changed = [&](auto Stored::*field, const auto& inMemory) {
            return stored.*field != inMemory && (before == m_seen.constEnd() || (*before).*field != stored.*field);
        };
        const QString name = changed(&Stored::name, d.FriendlyName) ? stored.name : d.FriendlyName;
        const bool intruder = changed(&Stored::intruder, d.Intruder) ? stored.intruder : d.Intruder;
        const bool newDevice = changed(&Stored::newDevice, d.NewDevice) ? stored.newDevice : d.NewDevice;
        const quint8 watch = changed(&Stored::watch, d.Watch) ? stored.watch : d.Watch;
        const bool factsChanged = changed(&Stored::facts, factsText(d));
        const bool noteChanged = changed(&Stored::note, d.Note);
        m_actions.adoptStored(it.key(), name, intruder, newDevice, watch);
        // A hand-set type or model, or the former MACs of a merge, made elsewhere.
        if (factsChanged)
            m_actions.adoptFacts(
                it.key(), recordOf(it.key(), m_hive.values(devicesKey + QLatin1Char('\\') + it.key())));
        if (noteChanged)
            m_actions.adoptNote(it.key(), stored.note);
    }
    m_seen = now;
}
