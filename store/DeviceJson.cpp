#include "store/DeviceJson.h"

#include "store/DeviceKind.h"
#include "store/DeviceRecord.h"
#include "store/DeviceWords.h"
#include "store/TextForms.h"

#include <QJsonArray>

namespace DeviceJson {

namespace {

QJsonValue when(const QDateTime& t)
{
    return t.isValid() && t > TextForms::NeverDate() ? QJsonValue(TextForms::storedDate(t)) : QJsonValue();
}

} // namespace

QJsonObject object(const DeviceRecord& d, const QString& vendor, bool online)
{
    // A store of an earlier release has no last sighting of its own: the last time online stands in.
    const QDateTime lastSeen = d.LastSeen.isValid() ? d.LastSeen : d.LastOnline;
    return QJsonObject {{QStringLiteral("mac"), d.MacAddress}, {QStringLiteral("address"), d.IpAddress},
        {QStringLiteral("name"), d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName},
        {QStringLiteral("host_name"), d.HostName}, {QStringLiteral("vendor"), vendor},
        {QStringLiteral("list"), DeviceWords::list(d.Intruder)}, {QStringLiteral("new"), d.NewDevice},
        {QStringLiteral("online"), online}, {QStringLiteral("first_seen"), when(d.FirstSeen)},
        {QStringLiteral("last_seen"), when(lastSeen)}, {QStringLiteral("watch"), DeviceWords::watch(d.Watch)},
        {QStringLiteral("type"), DeviceKind::typeWord(d.Type)},
        {QStringLiteral("type_source"), DeviceKind::sourceWord(d.TypeSource)}, {QStringLiteral("model"), d.Model},
        {QStringLiteral("model_source"), DeviceKind::sourceWord(d.ModelSource)}, {QStringLiteral("os"), d.Os},
        {QStringLiteral("os_source"), DeviceKind::sourceWord(d.OsSource)},
        {QStringLiteral("former_macs"), QJsonArray::fromStringList(d.FormerMacs)}, {QStringLiteral("note"), d.Note},
        {QStringLiteral("network"), d.Network}};
}

} // namespace DeviceJson
