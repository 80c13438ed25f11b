#include "app/DeviceActions.h"

#include "platform/DebugSink.h"
#include "store/DeviceTable.h"
#include "store/DeviceText.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

namespace {

void store(const DeviceRecord& device, const QString& name, const QString& text)
{
    modRegistry::WriteString(modRegistry::ProductKey, Keys::deviceKey(device.MacAddress), name, text);
}

} // namespace

namespace DeviceActions {

bool Acknowledge(DeviceTable& devices, qint32 slot)
{
    if (!devices.isValid(slot) || !devices[slot].NewDevice)
        return false;
    DeviceRecord& d = devices[slot];
    d.NewDevice = false;
    store(d, QStringLiteral("New_Device"), TextForms::boolText(false));
    return true;
}

bool MoveToSafe(DeviceTable& devices, qint32 slot)
{
    if (!devices.isValid(slot) || !devices[slot].Intruder)
        return false;
    DeviceRecord& d = devices[slot];
    d.NewDevice = false;
    d.Intruder = false;
    store(d, QStringLiteral("New_Device"), TextForms::boolText(false));
    store(d, QStringLiteral("Intruder"), TextForms::boolText(false));
    return true;
}

bool MoveToIntruders(DeviceTable& devices, qint32 slot, bool& holdReminder)
{
    holdReminder = false;
    if (!devices.isValid(slot) || devices[slot].Intruder)
        return false;
    bool anyIntruder = false;
    bool anyOnline = false;
    for (qint32 i = 0; i < devices.DeviceCount; ++i) {
        if (devices[i].Intruder) {
            anyIntruder = true;
            anyOnline = anyOnline || devices[i].PresenceCountdown != 0;
        }
    }
    holdReminder = !anyIntruder || anyOnline;
    DeviceRecord& d = devices[slot];
    d.Intruder = true;
    store(d, QStringLiteral("Intruder"), TextForms::boolText(true));
    return true;
}

bool Rename(DeviceTable& devices, qint32 slot, const QString& name)
{
    if (!devices.isValid(slot) || devices[slot].FriendlyName == name)
        return false;
    DeviceRecord& d = devices[slot];
    const DeviceText::Name checked = DeviceText::filterName(name);
    if (!checked.ok()) {
        Log(QStringLiteral("Rename - friendly name of %1 refused, it %2").arg(d.MacAddress, checked.refusal));
        return false;
    }
    d.FriendlyName = checked.text;
    store(d, QStringLiteral("Friendly_Name"), checked.text);
    return true;
}

} // namespace DeviceActions
