#include "app/DeviceActions.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

DeviceActions::DeviceActions(DeviceStore& devices, QObject* parent)
    : QObject(parent)
    , m_devices(devices)
{ }

void DeviceActions::store(const QString& mac, const QString& name, const QString& text)
{
    KeyStore::writeString(KeyStore::ProductKey, Keys::deviceKey(mac), name, text);
}

DeviceEvent DeviceActions::makeEvent(DeviceEvent::Kind kind, const DeviceRecord& d) const
{
    const QDateTime now = kwclock::now();
    DeviceEvent e;
    e.kind = kind;
    e.mac = d.MacAddress;
    e.time = now.addMSecs(-now.time().msec());
    e.address = d.IpAddress;
    e.name = d.FriendlyName;
    e.intruder = d.Intruder;
    e.origin = m_origin;
    return e;
}

bool DeviceActions::SetWatch(const QString& mac, quint8 mode)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || mode > DeviceWatch::Both || d->Watch == mode)
        return false;
    d->Watch = mode;
    if (mode == DeviceWatch::None)
        KeyStore::deleteValue(KeyStore::ProductKey, Keys::deviceKey(mac), DeviceCodec::Name::Watch);
    else
        store(mac, DeviceCodec::Name::Watch, DeviceCodec::valueText(*d, DeviceCodec::Name::Watch));
    Log(kwStore,
        QStringLiteral("Watch - %1: %2")
            .arg(mac,
                mode == DeviceWatch::None ? QStringLiteral("not watched")
                                          : DeviceWatch::text(DeviceWatch::Mode(mode))));
    DeviceEvent e = makeEvent(DeviceEvent::Kind::WatchChanged, *d);
    e.name = mode == DeviceWatch::None ? QStringLiteral("none") : DeviceWatch::text(DeviceWatch::Mode(mode));
    Q_EMIT deviceEvent(e);
    return true;
}

bool DeviceActions::Acknowledge(const QString& mac)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || !d->NewDevice)
        return false;
    d->NewDevice = false;
    store(mac, DeviceCodec::Name::NewDevice, DeviceCodec::valueText(*d, DeviceCodec::Name::NewDevice));
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Acknowledged, *d));
    return true;
}

bool DeviceActions::MoveToSafe(const QString& mac)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || !d->Intruder)
        return false;
    d->NewDevice = false;
    d->Intruder = false;
    // Both values in one transaction: a crash never leaves a safe device marked new, or the other way round.
    KeyStore::writeKeys(KeyStore::ProductKey,
        {{Keys::deviceKey(mac),
            {{DeviceCodec::Name::NewDevice, DeviceCodec::valueText(*d, DeviceCodec::Name::NewDevice)},
                {DeviceCodec::Name::Intruder, DeviceCodec::valueText(*d, DeviceCodec::Name::Intruder)}}}});
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, *d));
    return true;
}

bool DeviceActions::MoveToIntruders(const QString& mac)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || d->Intruder)
        return false;
    d->Intruder = true;
    store(mac, DeviceCodec::Name::Intruder, DeviceCodec::valueText(*d, DeviceCodec::Name::Intruder));
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, *d));
    return true;
}

bool DeviceActions::Rename(const QString& mac, const QString& name)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || d->FriendlyName == name)
        return false;
    const DeviceText::Name checked = DeviceText::filterName(name);
    if (!checked.ok()) {
        Log(kwStore, QStringLiteral("Rename - friendly name of %1 refused, it %2").arg(mac, checked.refusal));
        return false;
    }
    const QString before = d->FriendlyName;
    d->FriendlyName = checked.text;
    store(mac, DeviceCodec::Name::FriendlyName, checked.text);
    DeviceEvent e = makeEvent(DeviceEvent::Kind::Renamed, *d);
    e.before = before;
    Q_EMIT deviceEvent(e);
    return true;
}

bool DeviceActions::setNote(const QString& mac, const QString& note)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || d->Note == note)
        return false;
    const DeviceText::Name checked = DeviceText::filterNote(note);
    if (!checked.ok()) {
        Log(kwStore, QStringLiteral("Note - note of %1 refused, it %2").arg(mac, checked.refusal));
        return false;
    }
    const QString before = d->Note;
    d->Note = checked.text;
    if (checked.text.isEmpty())
        KeyStore::deleteValue(KeyStore::ProductKey, Keys::deviceKey(mac), DeviceCodec::Name::Note);
    else
        store(mac, DeviceCodec::Name::Note, checked.text);
    DeviceEvent e = makeEvent(DeviceEvent::Kind::NoteChanged, *d);
    e.name = checked.text;
    e.before = before;
    Q_EMIT deviceEvent(e);
    return true;
}

bool DeviceActions::removable(const DeviceRecord& d)
{
    return !d.isOnline();
}

bool DeviceActions::Remove(const QString& mac)
{
    const DeviceRecord* d = m_devices.find(mac);
    if (!d || !removable(*d))
        return false;
    KeyStore::deleteKey(KeyStore::ProductKey, Keys::deviceKey(mac));
    leave(*d);
    return true;
}

void DeviceActions::leave(const DeviceRecord& d)
{
    DeviceEvent removed = makeEvent(DeviceEvent::Kind::Removed, d);
    removed.record = std::make_shared<const DeviceRecord>(d);
    m_devices.remove(removed.mac);
    Q_EMIT deviceEvent(removed);
}

void DeviceActions::adoptStored(const QString& mac, const QString& name, bool intruder, bool newDevice, quint8 watch)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d)
        return;
    if (watch <= DeviceWatch::Both && d->Watch != watch) {
        d->Watch = watch;
        DeviceEvent e = makeEvent(DeviceEvent::Kind::WatchChanged, *d);
        e.name = watch == DeviceWatch::None ? QStringLiteral("none") : DeviceWatch::text(DeviceWatch::Mode(watch));
        Q_EMIT deviceEvent(e);
    }
    // Each event's subscribers may act on the device; it is looked up again after each.
    if ((d = m_devices.find(mac)) && d->FriendlyName != name) {
        DeviceEvent e = makeEvent(DeviceEvent::Kind::Renamed, *d);
        e.before = d->FriendlyName;
        d->FriendlyName = name;
        e.name = name;
        Q_EMIT deviceEvent(e);
    }
    if ((d = m_devices.find(mac)) && d->NewDevice && !newDevice) {
        d->NewDevice = false;
        Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Acknowledged, *d));
    }
    if (!(d = m_devices.find(mac)))
        return;
    d->NewDevice = newDevice;
    if (d->Intruder != intruder) {
        d->Intruder = intruder;
        Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, *d));
    }
}

void DeviceActions::adoptNote(const QString& mac, const QString& note)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || d->Note == note)
        return;
    DeviceEvent e = makeEvent(DeviceEvent::Kind::NoteChanged, *d);
    e.before = d->Note;
    d->Note = note;
    e.name = note;
    Q_EMIT deviceEvent(e);
}

void DeviceActions::adoptRemoval(const QString& mac)
{
    if (const DeviceRecord* d = m_devices.find(mac))
        leave(*d);
}

void DeviceActions::adoptAdded(const DeviceRecord& record)
{
    if (const DeviceRecord* d = m_devices.append(record))
        Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, *d));
}
