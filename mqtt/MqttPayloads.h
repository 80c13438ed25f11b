#pragma once

#include "store/DeviceEvent.h"
#include "store/DeviceKind.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct DeviceRecord;

// The topics and JSON payloads the monitor publishes. Pure functions of their arguments, so tests and the
// benchmark call them directly. Dates are ISO 8601 in UTC; "never" (and a date that was never loaded) is null.
namespace MqttPayloads {

// Where one monitor publishes: "<topic>/<sensor>". The sensor is the name of this monitor on the broker.
struct Base
{
    QString topic;
    QString sensor;

    QString root() const { return topic + QLatin1Char('/') + sensor; }
    QString status() const { return root() + QStringLiteral("/status"); }
    // What the monitor can see: "watching", "not_connected" or "waking_up" (retained).
    QString sight() const { return root() + QStringLiteral("/sight"); }
    QString events() const { return root() + QStringLiteral("/events"); }
    QString device(const QString& mac) const { return root() + QStringLiteral("/devices/") + mac; }
    QString intruderOnline() const { return root() + QStringLiteral("/intruder_online"); }
    QString commandFilter() const { return root() + QStringLiteral("/set/+"); }
    QString commandPrefix() const { return root() + QStringLiteral("/set/"); }
};

inline const QByteArray Online = QByteArrayLiteral("online");
inline const QByteArray Offline = QByteArrayLiteral("offline");

// A date as ISO 8601 text, or an empty string for "never".
QString isoDate(const QDateTime& when);

// The retained state of one device.
QByteArray deviceState(const DeviceRecord& device, const QString& manufacturer);
// Home Assistant's icon of a device type ("mdi:cellphone").
QString typeIcon(DeviceType type);
// What the discovery config shows of a device (name, type, model): a change sends the config again.
QString announcedAs(const DeviceRecord& device);

// One history line of a device as an event: its MAC, time, the line's text and its kind
// (DeviceWords::historyEvent: "admission", "connected", "disconnected", "address", "name", "warning", "other"...).
QByteArray event(const QString& mac, const QDateTime& time, DeviceEvent::Kind kind, const QString& text);
// The digest of a storm of new devices: kind "storm", how many came, on which interface, the address range.
QByteArray stormEvent(const QDateTime& time, int count, const QString& interfaceName, const QString& firstAddress,
    const QString& lastAddress, const QString& text);

// Home Assistant discovery: a device_tracker per device and a binary_sensor "intruder online" per monitor.
// A topic holds only [A-Za-z0-9_-] in its object id.
QString objectId(const Base& base, const QString& mac = QString());
QString trackerConfigTopic(const Base& base, const QString& mac);
QByteArray trackerConfig(const Base& base, const DeviceRecord& device, const QString& manufacturer);
QString intruderSensorConfigTopic(const Base& base);
QByteArray intruderSensorConfig(const Base& base);
// The name a device goes by: its friendly name, else its host name, else its MAC.
QString displayName(const DeviceRecord& device);

} // namespace MqttPayloads
