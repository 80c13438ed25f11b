#include "mqtt/MqttPayloads.h"

#include "store/DeviceStore.h"
#include "store/DeviceWords.h"
#include "store/TextForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace MqttPayloads {

namespace {

const QString kDiscoveryPrefix = QStringLiteral("homeassistant");
const QString kTrackerTemplate = QStringLiteral("{{ 'home' if value_json.online else 'not_home' }}");

QJsonValue dateValue(const QDateTime& when)
{
    const QString text = isoDate(when);
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString sanitized(const QString& text)
{
    static const QRegularExpression outside(QStringLiteral("[^A-Za-z0-9_-]"));
    QString out = text;
    return out.replace(outside, QStringLiteral("_"));
}

QJsonObject availability(const Base& base)
{
    return {
        {QStringLiteral("availability_topic"), base.status()},
        {QStringLiteral("payload_available"), QString::fromLatin1(Online)},
        {QStringLiteral("payload_not_available"), QString::fromLatin1(Offline)},
    };
}

} // namespace

QString isoDate(const QDateTime& when)
{
    if (!when.isValid() || when == TextForms::NeverDate() || when == TextForms::ZeroDate())
        return {};
    return when.toUTC().toString(Qt::ISODate);
}

QByteArray deviceState(const DeviceRecord& d, const QString& manufacturer)
{
    return compact({
        {QStringLiteral("mac"), d.MacAddress}, {QStringLiteral("ip"), d.IpAddress},
        {QStringLiteral("host_name"), d.HostName}, {QStringLiteral("friendly_name"), d.FriendlyName},
        {QStringLiteral("manufacturer"), manufacturer}, {QStringLiteral("intruder"), d.Intruder},
        {QStringLiteral("acknowledged"), !d.NewDevice}, {QStringLiteral("online"), d.isOnline()},
        {QStringLiteral("first_seen"), dateValue(d.FirstSeen)},
        {QStringLiteral("last_online"), dateValue(d.LastOnline)},
        {QStringLiteral("last_offline"), dateValue(d.LastOffline)},
        {QStringLiteral("last_seen"), dateValue(d.LastSeen)}, {QStringLiteral("type"), DeviceKind::typeWord(d.Type)},
        {QStringLiteral("model"), d.Model}, {QStringLiteral("os"), d.Os},
        {QStringLiteral("former_macs"), QJsonArray::fromStringList(d.FormerMacs)},
        {QStringLiteral("network"), d.Network}, // the network it was admitted on
    });
}

QString typeIcon(DeviceType type)
{
    switch (type) {
    case DeviceType::Router:
        return QStringLiteral("mdi:router-wireless");
    case DeviceType::Computer:
        return QStringLiteral("mdi:laptop");
    case DeviceType::Phone:
        return QStringLiteral("mdi:cellphone");
    case DeviceType::Tablet:
        return QStringLiteral("mdi:tablet");
    case DeviceType::Tv:
        return QStringLiteral("mdi:television");
    case DeviceType::Speaker:
        return QStringLiteral("mdi:speaker");
    case DeviceType::Printer:
        return QStringLiteral("mdi:printer");
    case DeviceType::Camera:
        return QStringLiteral("mdi:cctv");
    case DeviceType::Console:
        return QStringLiteral("mdi:gamepad-variant");
    case DeviceType::Nas:
        return QStringLiteral("mdi:nas");
    case DeviceType::SmartHome:
        return QStringLiteral("mdi:home-automation");
    case DeviceType::Wearable:
        return QStringLiteral("mdi:watch");
    case DeviceType::Network:
        return QStringLiteral("mdi:switch");
    case DeviceType::Unknown:
        break;
    }
    return QStringLiteral("mdi:lan-connect");
}

QString announcedAs(const DeviceRecord& d)
{
    return displayName(d) + QLatin1Char('\n') + DeviceKind::typeWord(d.Type) + QLatin1Char('\n') + d.Model;
}

QByteArray event(const QString& mac, const QDateTime& time, DeviceEvent::Kind kind, const QString& text)
{
    return compact({
        {QStringLiteral("mac"), mac},
        {QStringLiteral("time"), dateValue(time)},
        {QStringLiteral("kind"), DeviceWords::historyEvent(kind)},
        {QStringLiteral("text"), text},
    });
}

QByteArray stormEvent(const QDateTime& time, int count, const QString& interfaceName, const QString& firstAddress,
    const QString& lastAddress, const QString& text)
{
    return compact({
        {QStringLiteral("mac"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("time"), dateValue(time)},
        {QStringLiteral("kind"), QStringLiteral("storm")},
        {QStringLiteral("text"), text},
        {QStringLiteral("count"), count},
        {QStringLiteral("interface"), interfaceName},
        {QStringLiteral("first_address"), firstAddress},
        {QStringLiteral("last_address"), lastAddress},
    });
}

QString displayName(const DeviceRecord& d)
{
    if (!d.FriendlyName.isEmpty())
        return d.FriendlyName;
    if (!d.HostName.isEmpty() && d.HostName != DeviceRecord::unknownHostName())
        return d.HostName;
    return d.MacAddress;
}

QString objectId(const Base& base, const QString& mac)
{
    QString id = QStringLiteral("kestrelwatch_") + sanitized(base.sensor);
    if (!mac.isEmpty())
        id += QLatin1Char('_') + sanitized(mac);
    return id;
}

QString trackerConfigTopic(const Base& base, const QString& mac)
{
    return kDiscoveryPrefix + QStringLiteral("/device_tracker/") + objectId(base, mac) + QStringLiteral("/config");
}

QByteArray trackerConfig(const Base& base, const DeviceRecord& d, const QString& manufacturer)
{
    const QString stateTopic = base.device(d.MacAddress);
    // Home Assistant writes MAC connections lower case with colons.
    const QString colonMac = d.MacAddress.toLower().replace(QLatin1Char('-'), QLatin1Char(':'));
    // A list of [type, value] pairs. Built by append: a braced list holding one QJsonArray reads as a copy
    // of it under one compiler and as a list around it under another.
    QJsonArray connections;
    connections.append(QJsonArray {QStringLiteral("mac"), colonMac});
    QJsonObject device {
        {QStringLiteral("identifiers"), QJsonArray {objectId(base, d.MacAddress)}},
        {QStringLiteral("connections"), connections},
        {QStringLiteral("name"), displayName(d)},
        {QStringLiteral("via_device"), objectId(base)},
    };
    if (!manufacturer.isEmpty())
        device.insert(QStringLiteral("manufacturer"), manufacturer);
    if (!d.Model.isEmpty())
        device.insert(QStringLiteral("model"), d.Model);
    QJsonObject config = availability(base);
    config.insert(QStringLiteral("name"), QJsonValue(QJsonValue::Null)); // the entity takes the device's name
    config.insert(QStringLiteral("unique_id"), objectId(base, d.MacAddress));
    config.insert(QStringLiteral("state_topic"), stateTopic);
    config.insert(QStringLiteral("value_template"), kTrackerTemplate);
    config.insert(QStringLiteral("payload_home"), QStringLiteral("home"));
    config.insert(QStringLiteral("payload_not_home"), QStringLiteral("not_home"));
    config.insert(QStringLiteral("json_attributes_topic"), stateTopic);
    config.insert(QStringLiteral("source_type"), QStringLiteral("router"));
    config.insert(QStringLiteral("icon"), typeIcon(d.Type));
    config.insert(QStringLiteral("device"), device);
    return compact(config);
}

QString intruderSensorConfigTopic(const Base& base)
{
    return kDiscoveryPrefix + QStringLiteral("/binary_sensor/") + objectId(base) + QStringLiteral("/config");
}

QByteArray intruderSensorConfig(const Base& base)
{
    QJsonObject config = availability(base);
    config.insert(QStringLiteral("name"), QStringLiteral("Intruder online"));
    config.insert(QStringLiteral("unique_id"), objectId(base) + QStringLiteral("_intruder_online"));
    config.insert(QStringLiteral("state_topic"), base.intruderOnline());
    config.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
    config.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
    config.insert(QStringLiteral("device_class"), QStringLiteral("safety"));
    config.insert(QStringLiteral("device"),
        QJsonObject {
            {QStringLiteral("identifiers"), QJsonArray {objectId(base)}},
            {QStringLiteral("name"), QStringLiteral("Kestrelwatch ") + base.sensor},
            {QStringLiteral("manufacturer"), QStringLiteral("Brackmoor")},
            {QStringLiteral("model"), QStringLiteral("Kestrelwatch")},
            {QStringLiteral("sw_version"), QStringLiteral(KW_VERSION)},
        });
    return compact(config);
}

} // namespace MqttPayloads
