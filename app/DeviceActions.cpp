#include "app/DeviceActions.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceTable.h"
#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

DeviceActions::DeviceActions(DeviceTable& devices, QObject* parent)
    : QObject(parent)
    , m_devices(devices)
{ }

void DeviceActions::store(qint32 slot, const QString& name, const QString& text)
{
    modRegistry::WriteString(modRegistry::ProductKey, Keys::deviceKey(m_devices[slot].MacAddress), name, text);
}

DeviceEvent DeviceActions::makeEvent(DeviceEvent::Kind kind, qint32 slot) const
{
    const DeviceRecord& d = m_devices[slot];
    const QDateTime now = kwclock::now();
    DeviceEvent e;
    e.kind = kind;
    e.index = slot;
    e.mac = d.MacAddress;
    e.time = now.addMSecs(-now.time().msec());
    e.address = d.IpAddress;
    e.name = d.FriendlyName;
    e.intruder = d.Intruder;
    e.origin = m_origin;
    return e;
}

bool DeviceActions::SetWatch(qint32 slot, quint8 mode)
{
    if (!m_devices.isValid(slot) || mode > DeviceWatch::Both || m_devices[slot].Watch == mode)
        return false;
    m_devices[slot].Watch = mode;
    if (mode == DeviceWatch::None)
        modRegistry::DeleteValue(
            modRegistry::ProductKey, Keys::deviceKey(m_devices[slot].MacAddress), DeviceWatch::Value);
    else
        store(slot, DeviceWatch::Value, DeviceWatch::text(DeviceWatch::Mode(mode)));
    Log(QStringLiteral("Watch - %1: %2")
            .arg(m_devices[slot].MacAddress,
                mode == DeviceWatch::None ? QStringLiteral("not watched")
                                          : DeviceWatch::text(DeviceWatch::Mode(mode))));
    DeviceEvent e = makeEvent(DeviceEvent::Kind::WatchChanged, slot);
    e.name = mode == DeviceWatch::None ? QStringLiteral("none") : DeviceWatch::text(DeviceWatch::Mode(mode));
    Q_EMIT deviceEvent(e);
    return true;
}

bool DeviceActions::Acknowledge(qint32 slot)
{
    if (!m_devices.isValid(slot) || !m_devices[slot].NewDevice)
        return false;
    m_devices[slot].NewDevice = false;
    store(slot, QStringLiteral("New_Device"), TextForms::boolText(false));
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Acknowledged, slot));
    return true;
}

bool DeviceActions::MoveToSafe(qint32 slot)
{
    if (!m_devices.isValid(slot) || !m_devices[slot].Intruder)
        return false;
    DeviceRecord& d = m_devices[slot];
    d.NewDevice = false;
    d.Intruder = false;
    store(slot, QStringLiteral("New_Device"), TextForms::boolText(false));
    store(slot, QStringLiteral("Intruder"), TextForms::boolText(false));
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, slot));
    return true;
}

bool DeviceActions::MoveToIntruders(qint32 slot)
{
    if (!m_devices.isValid(slot) || m_devices[slot].Intruder)
        return false;
    m_devices[slot].Intruder = true;
    store(slot, QStringLiteral("Intruder"), TextForms::boolText(true));
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, slot));
    return true;
}

bool DeviceActions::Rename(qint32 slot, const QString& name)
{
    if (!m_devices.isValid(slot) || m_devices[slot].FriendlyName == name)
        return false;
    DeviceRecord& d = m_devices[slot];
    const DeviceText::Name checked = DeviceText::filterName(name);
    if (!checked.ok()) {
        Log(QStringLiteral("Rename - friendly name of %1 refused, it %2").arg(d.MacAddress, checked.refusal));
        return false;
    }
    const QString before = d.FriendlyName;
    d.FriendlyName = checked.text;
    store(slot, QStringLiteral("Friendly_Name"), checked.text);
    DeviceEvent e = makeEvent(DeviceEvent::Kind::Renamed, slot);
    e.before = before;
    Q_EMIT deviceEvent(e);
    return true;
}

bool DeviceActions::setNote(qint32 slot, const QString& note)
{
    if (!m_devices.isValid(slot) || m_devices[slot].Note == note)
        return false;
    DeviceRecord& d = m_devices[slot];
    const DeviceText::Name checked = DeviceText::filterNote(note);
    if (!checked.ok()) {
        Log(QStringLiteral("Note - note of %1 refused, it %2").arg(d.MacAddress, checked.refusal));
        return false;
    }
    const QString before = d.Note;
    d.Note = checked.text;
    if (checked.text.isEmpty())
        modRegistry::DeleteValue(modRegistry::ProductKey, Keys::deviceKey(d.MacAddress), QStringLiteral("Note"));
    else
        store(slot, QStringLiteral("Note"), checked.text);
    DeviceEvent e = makeEvent(DeviceEvent::Kind::NoteChanged, slot);
    e.name = checked.text;
    e.before = before;
    Q_EMIT deviceEvent(e);
    return true;
}

bool DeviceActions::removable(const DeviceRecord& d)
{
    return !d.isOnline();
}

bool DeviceActions::Remove(qint32 slot)
{
    if (!m_devices.isValid(slot) || !removable(m_devices[slot]))
        return false;
    // The event names the slot that closed and the device that was in it.
    const DeviceEvent removed = makeEvent(DeviceEvent::Kind::Removed, slot);
    modRegistry::DeleteKey(modRegistry::ProductKey, Keys::deviceKey(removed.mac));
    m_devices.removeSlot(slot);
    Q_EMIT deviceEvent(removed);
    return true;
}

void DeviceActions::adoptStored(qint32 slot, const QString& name, bool intruder, bool newDevice, quint8 watch)
{
    if (!m_devices.isValid(slot))
        return;
    DeviceRecord& d = m_devices[slot];
    if (watch <= DeviceWatch::Both && d.Watch != watch) {
        d.Watch = watch;
        DeviceEvent e = makeEvent(DeviceEvent::Kind::WatchChanged, slot);
        e.name = watch == DeviceWatch::None ? QStringLiteral("none") : DeviceWatch::text(DeviceWatch::Mode(watch));
        Q_EMIT deviceEvent(e);
    }
    if (d.FriendlyName != name) {
        DeviceEvent e = makeEvent(DeviceEvent::Kind::Renamed, slot);
        e.before = d.FriendlyName;
        d.FriendlyName = name;
        e.name = name;
        Q_EMIT deviceEvent(e);
    }
    if (d.NewDevice && !newDevice) {
        d.NewDevice = false;
        Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Acknowledged, slot));
    }
    d.NewDevice = newDevice;
    if (d.Intruder != intruder) {
        d.Intruder = intruder;
        Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, slot));
    }
}

void DeviceActions::adoptRemoval(qint32 slot)
{
    if (!m_devices.isValid(slot))
        return;
    const DeviceEvent removed = makeEvent(DeviceEvent::Kind::Removed, slot);
    m_devices.removeSlot(slot);
    Q_EMIT deviceEvent(removed);
}

void DeviceActions::adoptAdded(const DeviceRecord& record)
{
    const qint32 slot = m_devices.DeviceCount;
    m_devices.ResizeDeviceTable(slot + 1);
    m_devices[slot] = record;
    m_devices.DeviceCount = slot + 1;
    m_devices.macChanged();
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Moved, slot));
}
