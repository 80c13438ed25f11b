// What the user says a device is: its type and model by hand, and "Not mine" for a likely return.

#include "app/DeviceActions.h"

#include "platform/DebugSink.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/DeviceText.h"
#include "store/KeyStore.h"
#include "store/Settings.h"

namespace {

// A value and its source in one transaction; an empty value goes from the store, as the codec leaves it out.
void storeFact(const DeviceRecord& d, const QString& value, const QString& source)
{
    const QString key = Keys::deviceKey(d.MacAddress);
    if (DeviceCodec::valueText(d, value).isEmpty()) {
        KeyStore::deleteValue(KeyStore::ProductKey, key, value);
        KeyStore::deleteValue(KeyStore::ProductKey, key, source);
        return;
    }
    KeyStore::writeKeys(KeyStore::ProductKey,
        {{key, {{value, DeviceCodec::valueText(d, value)}, {source, DeviceCodec::valueText(d, source)}}}});
}

} // namespace

bool DeviceActions::SetType(const QString& mac, DeviceType type)
{
    DeviceRecord* d = m_devices.find(mac);
    const FactSource source = type == DeviceType::Unknown ? FactSource::None : FactSource::User;
    if (!d || (d->Type == type && d->TypeSource == source))
        return false;
    d->Type = type;
    d->TypeSource = source;
    storeFact(*d, DeviceCodec::Name::Type, DeviceCodec::Name::TypeSource);
    DeviceEvent event = makeEvent(DeviceEvent::Kind::Described, *d);
    event.name = QStringLiteral("type");
    Q_EMIT deviceEvent(event);
    return true;
}

bool DeviceActions::SetModel(const QString& mac, const QString& model)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d)
        return false;
    const DeviceText::Name checked = DeviceText::filterName(model.trimmed());
    if (!checked.ok()) {
        Log(kwStore, QStringLiteral("Model - model of %1 refused, it %2").arg(mac, checked.refusal));
        return false;
    }
    const FactSource source = checked.text.isEmpty() ? FactSource::None : FactSource::User;
    if (d->Model == checked.text && d->ModelSource == source)
        return false;
    d->Model = checked.text;
    d->ModelSource = source;
    storeFact(*d, DeviceCodec::Name::Model, DeviceCodec::Name::ModelSource);
    DeviceEvent event = makeEvent(DeviceEvent::Kind::Described, *d);
    event.name = QStringLiteral("model");
    Q_EMIT deviceEvent(event);
    return true;
}

bool DeviceActions::NotLikelyReturn(const QString& mac)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d || d->LikelyReturnOf.isEmpty())
        return false;
    Log(kwStore, QStringLiteral("Merge - %1 is not %2, says the user").arg(mac, d->LikelyReturnOf));
    d->LikelyReturnOf.clear();
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Described, *d));
    return true;
}
