// What the user says a device is: its type and model by hand, and "Not mine" for a likely return.

#include "app/DeviceActions.h"

#include "platform/DebugSink.h"
#include "store/DeviceFacts.h"
#include "store/DeviceTable.h"
#include "store/DeviceText.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

namespace {

void storeFacts(const DeviceRecord& d)
{
    modRegistry::WriteKeys(modRegistry::ProductKey, {{Keys::deviceKey(d.MacAddress), DeviceFacts::values(d)}});
}

} // namespace

bool DeviceActions::SetType(qint32 slot, DeviceType type)
{
    if (!m_devices.isValid(slot))
        return false;
    DeviceRecord& d = m_devices[slot];
    const FactSource source = type == DeviceType::Unknown ? FactSource::None : FactSource::User;
    if (d.Type == type && d.TypeSource == source)
        return false;
    d.Type = type;
    d.TypeSource = source;
    storeFacts(d);
    DeviceEvent event = makeEvent(DeviceEvent::Kind::Described, slot);
    event.name = QStringLiteral("type");
    Q_EMIT deviceEvent(event);
    return true;
}

bool DeviceActions::SetModel(qint32 slot, const QString& model)
{
    if (!m_devices.isValid(slot))
        return false;
    DeviceRecord& d = m_devices[slot];
    const DeviceText::Name checked = DeviceText::filterName(model.trimmed());
    if (!checked.ok()) {
        Log(QStringLiteral("Model - model of %1 refused, it %2").arg(d.MacAddress, checked.refusal));
        return false;
    }
    const FactSource source = checked.text.isEmpty() ? FactSource::None : FactSource::User;
    if (d.Model == checked.text && d.ModelSource == source)
        return false;
    d.Model = checked.text;
    d.ModelSource = source;
    storeFacts(d);
    DeviceEvent event = makeEvent(DeviceEvent::Kind::Described, slot);
    event.name = QStringLiteral("model");
    Q_EMIT deviceEvent(event);
    return true;
}

bool DeviceActions::NotLikelyReturn(qint32 slot)
{
    if (!m_devices.isValid(slot) || m_devices[slot].LikelyReturnOf.isEmpty())
        return false;
    Log(QStringLiteral("Merge - %1 is not %2, says the user")
            .arg(m_devices[slot].MacAddress, m_devices[slot].LikelyReturnOf));
    m_devices[slot].LikelyReturnOf.clear();
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Described, slot));
    return true;
}
