#include "ctl/DeviceExport.h"

#include "ctl/CtlStore.h"
#include "platform/Clock.h"
#include "platform/Hive.h"
#include "store/DeviceText.h"
#include "store/MacAddress.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace DeviceExport {

namespace {

const QStringList kColumns {QStringLiteral("mac"), QStringLiteral("address"), QStringLiteral("host_name"),
    QStringLiteral("name"), QStringLiteral("list"), QStringLiteral("new"), QStringLiteral("first_seen"),
    QStringLiteral("last_online"), QStringLiteral("last_offline"), QStringLiteral("mac_type")};
constexpr quint8 kDynamicType = 3; // a neighbour row learnt by ARP

QString listText(bool intruder)
{
    return intruder ? QStringLiteral("intruders") : QStringLiteral("safe");
}

QStringList fieldsOf(const DeviceRecord& d)
{
    return {d.MacAddress, d.IpAddress, d.HostName, d.FriendlyName, listText(d.Intruder),
        d.NewDevice ? QStringLiteral("true") : QStringLiteral("false"), Ctl::isoTime(d.FirstSeen),
        Ctl::isoTime(d.LastOnline), Ctl::isoTime(d.LastOffline), QString::number(d.MacType)};
}

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// One CSV line's fields (RFC 4180 quoting within the line), or nullopt when a quote is left open.
std::optional<QStringList> csvFields(const QString& line)
{
    QStringList fields {QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"'))
                fields.last() += line[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                fields.last() += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields.append(QString());
        } else {
            fields.last() += c;
        }
    }
    if (quoted)
        return std::nullopt;
    return fields;
}

// The record a device's values make, or why they make none. values maps column names to texts.
QString recordOf(const QHash<QString, QString>& values, DeviceRecord& d)
{
    d = DeviceRecord::empty();
    d.MacAddress = Ctl::normalisedMac(values.value(QStringLiteral("mac")));
    if (d.MacAddress.isEmpty() || !MacAddress::isDeviceMac(d.MacAddress))
        return QStringLiteral("\"%1\" is no device's MAC address").arg(values.value(QStringLiteral("mac")));
    d.IpAddress = values.value(QStringLiteral("address")).trimmed();
    const QHostAddress address(d.IpAddress);
    // Dotted quads only, as the store keeps them ("1" or "0x7f.1" would read as addresses too).
    if (!d.IpAddress.isEmpty()
        && (address.protocol() != QAbstractSocket::IPv4Protocol || address.toString() != d.IpAddress))
        return QStringLiteral("address \"%1\" is no IPv4 address").arg(d.IpAddress);
    for (const auto& [column, field] : {std::pair {QStringLiteral("host_name"), &DeviceRecord::HostName},
             std::pair {QStringLiteral("name"), &DeviceRecord::FriendlyName}}) {
        const DeviceText::Name name = DeviceText::filterName(values.value(column));
        if (!name.ok())
            return QStringLiteral("%1 refused, it %2").arg(column, name.refusal);
        d.*field = name.text;
    }
    const QString list = values.value(QStringLiteral("list")).trimmed().toLower();
    if (list != QLatin1String("safe") && list != QLatin1String("intruders"))
        return QStringLiteral("list \"%1\" is neither safe nor intruders").arg(list);
    d.Intruder = list == QLatin1String("intruders");
    const QString isNew = values.value(QStringLiteral("new"), QStringLiteral("false")).trimmed().toLower();
    if (isNew != QLatin1String("true") && isNew != QLatin1String("false"))
        return QStringLiteral("new \"%1\" is neither true nor false").arg(isNew);
    d.NewDevice = isNew == QLatin1String("true");
    const auto time = [&values](const QString& column, QDateTime& field, const QDateTime& absent) -> QString {
        const QString text = values.value(column).trimmed();
        if (text.isEmpty()) {
            field = absent;
            return {};
        }
        const auto when = Ctl::parseIsoTime(text);
        if (!when)
            return QStringLiteral("%1 \"%2\" is no ISO 8601 time").arg(column, text);
        field = *when;
        return {};
    };
    const QDateTime now = kwclock::now();
    for (const QString& fault : {time(QStringLiteral("first_seen"), d.FirstSeen, now.addMSecs(-now.time().msec())),
             time(QStringLiteral("last_online"), d.LastOnline, TextForms::NeverDate()),
             time(QStringLiteral("last_offline"), d.LastOffline, TextForms::NeverDate())}) {
        if (!fault.isEmpty())
            return fault;
    }
    const QString type = values.value(QStringLiteral("mac_type")).trimmed();
    if (type.isEmpty())
        d.MacType = kDynamicType;
    else if (const auto byte = TextForms::parseByte(type))
        d.MacType = *byte;
    else
        return QStringLiteral("mac_type \"%1\" is no number from 0 to 255").arg(type);
    return {};
}

// The line each device object of a JSON export starts on: objects directly inside the "devices" array.
QList<int> objectLines(const QByteArray& text)
{
    QList<int> lines;
    int line = 1;
    int depth = 0;
    bool inString = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n')
            ++line;
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth == 3 && c == '{')
                lines.append(line);
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return lines;
}

Parsed parseJson(const QByteArray& file)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file, &error);
    if (error.error != QJsonParseError::NoError)
        return {
            {}, QStringLiteral("line %1: %2").arg(file.left(error.offset).count('\n') + 1).arg(error.errorString())};
    const QJsonValue devices = doc.object().value(QStringLiteral("devices"));
    if (!doc.isObject() || !devices.isArray())
        return {{}, QStringLiteral("line 1: no \"devices\" list (is this a kestrelwatch-ctl export?)")};
    const QList<int> lines = objectLines(file);
    Parsed parsed;
    const QJsonArray array = devices.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const int line = i < lines.size() ? lines[i] : 1;
        if (!array[i].isObject())
            return {{}, QStringLiteral("line %1: device %2 is not an object").arg(line).arg(i + 1)};
        QHash<QString, QString> values;
        const QJsonObject object = array[i].toObject();
        for (const QString& column : kColumns) {
            const QJsonValue v = object.value(column);
            if (v.isBool())
                values.insert(column, v.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
            else if (v.isDouble())
                values.insert(column, QString::number(v.toInteger()));
            else if (v.isString())
                values.insert(column, v.toString());
            else if (!v.isNull() && !v.isUndefined())
                return {{}, QStringLiteral("line %1: %2 has the wrong type").arg(line).arg(column)};
        }
        Imported device;
        device.line = line;
        const QString fault = recordOf(values, device.record);
        if (!fault.isEmpty())
            return {{}, QStringLiteral("line %1: %2").arg(line).arg(fault)};
        parsed.devices.append(device);
    }
    return parsed;
}

Parsed parseCsv(const QByteArray& file)
{
    const QStringList lines = QString::fromUtf8(file).split(QLatin1Char('\n'));
    const auto header = csvFields(lines.value(0).trimmed());
    if (!header || !header->contains(QStringLiteral("mac")) || !header->contains(QStringLiteral("list")))
        return {{},
            QStringLiteral("line 1: the header names no mac and list columns (is this a kestrelwatch-ctl "
                           "export?)")};
    Parsed parsed;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QString text = lines[i];
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        if (text.trimmed().isEmpty())
            continue;
        const int line = int(i + 1);
        const auto fields = csvFields(text);
        if (!fields)
            return {{}, QStringLiteral("line %1: a quoted field is not closed").arg(line)};
        if (fields->size() != header->size())
            return {{},
                QStringLiteral("line %1: %2 fields where the header has %3")
                    .arg(line)
                    .arg(fields->size())
                    .arg(header->size())};
        QHash<QString, QString> values;
        for (qsizetype c = 0; c < header->size(); ++c)
            values.insert(header->at(c), fields->at(c));
        Imported device;
        device.line = line;
        const QString fault = recordOf(values, device.record);
        if (!fault.isEmpty())
            return {{}, QStringLiteral("line %1: %2").arg(line).arg(fault)};
        parsed.devices.append(device);
    }
    return parsed;
}

} // namespace

QString exportText(const DeviceTable& devices, Format format, const QList<Extra>& extras)
{
    QStringList lines;
    if (format == Format::Csv) {
        lines.append(kColumns.join(QLatin1Char(',')));
        for (qint32 i = 0; i < devices.DeviceCount; ++i) {
            QStringList fields = fieldsOf(devices[i]);
            for (QString& f : fields)
                f = csvField(f);
            lines.append(fields.join(QLatin1Char(',')));
        }
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    lines.append(QStringLiteral("{\"format\": \"kestrelwatch-devices\", \"version\": 1, \"devices\": ["));
    for (qint32 i = 0; i < devices.DeviceCount; ++i) {
        const QStringList fields = fieldsOf(devices[i]);
        QJsonObject object;
        for (qsizetype c = 0; c < kColumns.size(); ++c)
            object.insert(kColumns[c], fields[c]);
        object.insert(QStringLiteral("new"), devices[i].NewDevice);
        object.insert(QStringLiteral("mac_type"), int(devices[i].MacType));
        for (const Extra& extra : extras)
            extra(devices[i], object);
        const QString sep = i + 1 < devices.DeviceCount ? QStringLiteral(",") : QString();
        lines.append(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + sep);
    }
    lines.append(QStringLiteral("]}"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

Parsed parse(const QByteArray& file)
{
    const QByteArray start = file.trimmed().left(1);
    Parsed parsed = start == "{" ? parseJson(file) : parseCsv(file);
    if (!parsed.fault.isEmpty())
        return parsed;
    QSet<QString> seen;
    for (const Imported& device : std::as_const(parsed.devices)) {
        if (seen.contains(device.record.MacAddress))
            return {
                {}, QStringLiteral("line %1: %2 is in the file twice").arg(device.line).arg(device.record.MacAddress)};
        seen.insert(device.record.MacAddress);
    }
    return parsed;
}

Merged merge(DeviceTable& devices, const QList<Imported>& imported, bool replace)
{
    Merged merged;
    QList<std::pair<QString, modRegistry::ValueTexts>> keys;
    QList<std::pair<qint32, DeviceRecord>> changes;
    for (const Imported& device : imported) {
        const DeviceRecord& d = device.record;
        const qint32 slot = devices.indexOfMac(d.MacAddress); // both in the store's form
        if (slot >= 0 && !replace) {
            ++merged.kept;
            continue;
        }
        if (slot >= 0) {
            keys.append({Keys::deviceKey(devices[slot].MacAddress),
                {{QStringLiteral("Friendly_Name"), d.FriendlyName},
                    {QStringLiteral("New_Device"), TextForms::boolText(d.NewDevice)},
                    {QStringLiteral("Intruder"), TextForms::boolText(d.Intruder)}}});
            changes.append({slot, d});
            ++merged.replaced;
            continue;
        }
        keys.append({Keys::deviceKey(d.MacAddress),
            {{QStringLiteral("IP_Address"), d.IpAddress}, {QStringLiteral("Host_Name"), d.HostName},
                {QStringLiteral("Friendly_Name"), d.FriendlyName},
                {QStringLiteral("New_Device"), TextForms::boolText(d.NewDevice)},
                {QStringLiteral("Intruder"), TextForms::boolText(d.Intruder)},
                {QStringLiteral("First_Seen"), TextForms::dateText(d.FirstSeen)},
                {QStringLiteral("Last_Online"), TextForms::dateText(d.LastOnline)},
                {QStringLiteral("Last_Offline"), TextForms::dateText(d.LastOffline)},
                {QStringLiteral("Mac_Type"), QString::number(d.MacType)}}});
        changes.append({-1, d});
        ++merged.added;
    }
    if (keys.isEmpty())
        return merged;
    QList<Hive::KeyValues> batch;
    for (const auto& [subkey, texts] : keys) {
        Hive::KeyValues& key = batch.emplace_back();
        key.keyPath = modRegistry::FullKeyPath(modRegistry::ProductKey, subkey);
        for (const auto& [name, text] : texts)
            key.values.append(Hive::Value {name, text});
    }
    Hive* hive = modRegistry::attached();
    merged.stored = hive && hive->setValues(batch);
    if (!merged.stored)
        return merged;
    for (const auto& [slot, d] : changes) {
        if (slot >= 0) {
            devices[slot].FriendlyName = d.FriendlyName;
            devices[slot].NewDevice = d.NewDevice;
            devices[slot].Intruder = d.Intruder;
            continue;
        }
        const qint32 at = devices.DeviceCount;
        devices.DeviceCount = at + 1;
        devices.ResizeDeviceTable(devices.DeviceCount);
        devices[at] = d;
    }
    devices.macChanged();
    return merged;
}

} // namespace DeviceExport
