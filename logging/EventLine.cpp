#include "logging/EventLine.h"

#include "logging/DeviceLog.h"
#include "platform/DebugSink.h"
#include "store/DeviceStore.h"

namespace EventLine {

namespace {

QString field(const QString& text)
{
    const QString shown = escapeLogText(text.trimmed(), Tabs::Escape);
    return shown.isEmpty() ? QStringLiteral("-") : shown;
}

} // namespace

QString isoTime(const QDateTime& when)
{
    const int offset = when.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QStringList texts(const DeviceEvent& event)
{
    using Kind = DeviceEvent::Kind;
    switch (event.kind) {
    case Kind::Acknowledged:
        return {QStringLiteral("Acknowledged")};
    case Kind::Moved:
        return {event.intruder ? QStringLiteral("Moved to the intruders") : QStringLiteral("Moved to the safe list")};
    case Kind::Renamed:
        return {event.name.isEmpty() ? QStringLiteral("Friendly name cleared")
                                     : QStringLiteral("Renamed to ") + event.name};
    case Kind::Removed:
        return {QStringLiteral("Removed")};
    case Kind::Merged:
        return {QStringLiteral("Merged: formerly ") + event.earlierMac};
    default:
        break;
    }
    QStringList out;
    for (const DeviceLog::Entry& entry : DeviceLog::entries(event))
        out.append(entry.text);
    return out;
}

QStringList lines(const DeviceEvent& event, const DeviceRecord* device, const QString& vendor)
{
    QString mac = event.mac;
    QString address = event.address;
    QString name;
    if (device) {
        mac = device->MacAddress;
        address = device->IpAddress;
        name = device->FriendlyName.isEmpty() ? device->HostName : device->FriendlyName;
        if (name == DeviceRecord::unknownHostName())
            name.clear();
    }
    const QString head = isoTime(event.time) + QLatin1Char('\t') + field(mac) + QLatin1Char('\t') + field(address)
        + QLatin1Char('\t') + field(name) + QLatin1Char('\t') + field(vendor) + QLatin1Char('\t');
    QStringList out;
    for (const QString& text : texts(event))
        out.append(head + field(text));
    return out;
}

} // namespace EventLine
