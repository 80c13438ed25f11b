#include "devicefile/DeviceExport.h"

#include "devicefile/ImportReader.h"

#include "platform/Clock.h"
#include "platform/Hive.h"
#include "store/DeviceCodec.h"
#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/DeviceWords.h"
#include "store/KeyStore.h"
#include "store/MacAddress.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QBuffer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <tuple>

namespace DeviceExport {

namespace {

const QStringList kColumns {QStringLiteral("mac"), QStringLiteral("address"), QStringLiteral("host_name"),
    QStringLiteral("name"), QStringLiteral("list"), QStringLiteral("new"), QStringLiteral("first_seen"),
    QStringLiteral("last_online"), QStringLiteral("last_offline"), QStringLiteral("last_seen"),
    QStringLiteral("mac_type"), QStringLiteral("type"), QStringLiteral("type_source"), QStringLiteral("model"),
    QStringLiteral("model_source"), QStringLiteral("os"), QStringLiteral("os_source"), QStringLiteral("former_macs"),
    QStringLiteral("note"), QStringLiteral("network"), QStringLiteral("watch"), QStringLiteral("mdns_name"),
    QStringLiteral("intervals")};
// What a device is and its former MACs: an import takes them as the file has them.
const QStringList kFacts {DeviceCodec::Name::Type, DeviceCodec::Name::TypeSource, DeviceCodec::Name::Model,
    DeviceCodec::Name::ModelSource, DeviceCodec::Name::Os, DeviceCodec::Name::OsSource, DeviceCodec::Name::FormerMacs};
// The intervals column of a CSV export: "FROM/TO ADDRESS" (ISO 8601's interval form), ";" between them.
const QString kIntervalSep = QStringLiteral(";");
constexpr quint8 kDynamicType = 3; // a neighbour row learnt by ARP

// The device's values in kColumns' order, but for its intervals.
QStringList fieldsOf(const DeviceRecord& d)
{
    return {d.MacAddress, d.IpAddress, d.HostName, d.FriendlyName, DeviceWords::list(d.Intruder),
        d.NewDevice ? QStringLiteral("true") : QStringLiteral("false"), isoTime(d.FirstSeen), isoTime(d.LastOnline),
        isoTime(d.LastOffline), isoTime(d.LastSeen), QString::number(d.MacType), DeviceKind::typeWord(d.Type),
        DeviceKind::sourceWord(d.TypeSource), d.Model, DeviceKind::sourceWord(d.ModelSource), d.Os,
        DeviceKind::sourceWord(d.OsSource), d.FormerMacs.join(QLatin1Char(' ')), d.Note, d.Network,
        DeviceWatch::text(DeviceWatch::Mode(d.Watch)), d.MdnsName};
}

// What a device is and its former MACs, as a file gives them; why not, otherwise.
QString factsOf(const QHash<QString, QString>& values, DeviceRecord& d)
{
    const auto source = [&values](const QString& column, FactSource& field) -> QString {
        const QString word = values.value(column).trimmed();
        field = DeviceKind::sourceFromWord(word);
        if (!word.isEmpty() && field == FactSource::None)
            return QStringLiteral("%1 \"%2\" is none of %3")
                .arg(column, word.left(40), QStringLiteral("user, mdns, upnp, dhcp, hostname, vendor"));
        return {};
    };
    const QString type = values.value(QStringLiteral("type")).trimmed();
    d.Type = DeviceKind::typeFromWord(type);
    if (!type.isEmpty() && d.Type == DeviceType::Unknown && type.compare(QLatin1String("unknown"), Qt::CaseInsensitive))
        return QStringLiteral("type \"%1\" is none of %2").arg(type.left(40), DeviceKind::typeWords().join(", "));
    for (const auto& [column, field] : {std::pair {QStringLiteral("model"), &DeviceRecord::Model},
             std::pair {QStringLiteral("os"), &DeviceRecord::Os}}) {
        const DeviceText::Name text = DeviceText::filterName(values.value(column));
        if (!text.ok())
            return QStringLiteral("%1 refused, it %2").arg(column, text.refusal);
        d.*field = text.text;
    }
    for (const QString& fault : {source(QStringLiteral("type_source"), d.TypeSource),
             source(QStringLiteral("model_source"), d.ModelSource), source(QStringLiteral("os_source"), d.OsSource)}) {
        if (!fault.isEmpty())
            return fault;
    }
    for (const QString& text :
        values.value(QStringLiteral("former_macs")).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString mac = MacAddress::canonical(text);
        if (mac.isEmpty() || !MacAddress::isDeviceMac(mac))
            return QStringLiteral("former MAC \"%1\" is no device's MAC address").arg(text.left(40));
        if (mac != d.MacAddress && !d.FormerMacs.contains(mac) && d.FormerMacs.size() < 16)
            d.FormerMacs.append(mac);
    }
    return {};
}

// An interval as a file gives it, checked; why not, otherwise.
QString intervalOf(
    const QString& from, const QString& to, const QString& address, const QDateTime& latest, PresenceInterval& interval)
{
    const auto start = parseIsoTime(from);
    const auto end = parseIsoTime(to);
    if (!start || !end)
        return QStringLiteral("interval \"%1\" to \"%2\" is not two ISO 8601 times").arg(from, to);
    if (*end < *start)
        return QStringLiteral("interval %1 to %2 ends before it starts").arg(from, to);
    if (*end > latest)
        return QStringLiteral("interval %1 to %2 lies in the future").arg(from, to);
    const QHostAddress ip(address);
    if (!address.isEmpty() && (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.toString() != address))
        return QStringLiteral("interval address \"%1\" is no IPv4 address").arg(address);
    interval = PresenceInterval {*start, *end, address, false};
    return {};
}

// A spreadsheet takes a cell that begins with one of the first six as a formula ("=HYPERLINK(...)" in a DHCP
// name). An apostrophe before it keeps the cell text; one the text began with is doubled, so that the reader
// takes exactly one away and the round trip stays exact.
const QString kFormulaStarts = QStringLiteral("=+-@\t\r'");

QString csvField(const QString& text)
{
    QString field = !text.isEmpty() && kFormulaStarts.contains(text[0]) ? QLatin1Char('\'') + text : text;
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')))
        return field;
    return QLatin1Char('"') + QString(field).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
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
    for (QString& field : fields) {
        if (field.startsWith(QLatin1Char('\'')))
            field.remove(0, 1); // the export's guard against formulas
    }
    return fields;
}

// The record a device's values make, or why they make none. values maps column names to texts.
QString recordOf(const QHash<QString, QString>& values, const QDateTime& latest, DeviceRecord& d)
{
    d = DeviceRecord::empty();
    d.MacAddress = MacAddress::canonical(values.value(QStringLiteral("mac")));
    if (d.MacAddress.isEmpty() || !MacAddress::isDeviceMac(d.MacAddress))
        return QStringLiteral("\"%1\" is no device's MAC address").arg(values.value(QStringLiteral("mac")));
    d.IpAddress = values.value(QStringLiteral("address")).trimmed();
    const QHostAddress address(d.IpAddress);
    // Dotted quads only, as the store keeps them ("1" or "0x7f.1" would read as addresses too).
    if (!d.IpAddress.isEmpty()
        && (address.protocol() != QAbstractSocket::IPv4Protocol || address.toString() != d.IpAddress))
        return QStringLiteral("address \"%1\" is no IPv4 address").arg(d.IpAddress);
    for (const auto& [column, field] : {std::pair {QStringLiteral("host_name"), &DeviceRecord::HostName},
             std::pair {QStringLiteral("name"), &DeviceRecord::FriendlyName},
             std::pair {QStringLiteral("mdns_name"), &DeviceRecord::MdnsName}}) {
        const DeviceText::Name name = DeviceText::filterName(values.value(column));
        if (!name.ok())
            return QStringLiteral("%1 refused, it %2").arg(column, name.refusal);
        d.*field = name.text;
    }
    const DeviceText::Name note = DeviceText::filterNote(values.value(QStringLiteral("note")));
    if (!note.ok())
        return QStringLiteral("note refused, it %1").arg(note.refusal);
    d.Note = note.text;
    // Which of its departures and returns alert: offline, online, both, or none (empty, as an older file has it).
    const QString watch = values.value(QStringLiteral("watch")).trimmed().toLower();
    const auto mode = DeviceWatch::parse(watch == QLatin1String("none") ? QString() : watch);
    if (!mode)
        return QStringLiteral("watch \"%1\" is none of offline, online and both").arg(watch.left(32));
    d.Watch = *mode;
    const QString list = values.value(QStringLiteral("list")).trimmed().toLower();
    if (list != QLatin1String("safe") && list != QLatin1String("intruders"))
        return QStringLiteral("list \"%1\" is neither safe nor intruders").arg(list);
    d.Intruder = list == QLatin1String("intruders");
    const QString isNew = values.value(QStringLiteral("new"), QStringLiteral("false")).trimmed().toLower();
    if (isNew != QLatin1String("true") && isNew != QLatin1String("false"))
        return QStringLiteral("new \"%1\" is neither true nor false").arg(isNew);
    d.NewDevice = isNew == QLatin1String("true");
    const auto time = [&values, &latest](const QString& column, QDateTime& field, const QDateTime& absent) -> QString {
        const QString text = values.value(column).trimmed();
        if (text.isEmpty()) {
            field = absent;
            return {};
        }
        const auto when = parseIsoTime(text);
        if (!when)
            return QStringLiteral("%1 \"%2\" is no ISO 8601 time").arg(column, text);
        if (*when > latest)
            return QStringLiteral("%1 %2 lies in the future").arg(column, text);
        field = *when;
        return {};
    };
    const QDateTime now = kwclock::now();
    for (const QString& fault : {time(QStringLiteral("first_seen"), d.FirstSeen, now.addMSecs(-now.time().msec())),
             time(QStringLiteral("last_online"), d.LastOnline, TextForms::NeverDate()),
             time(QStringLiteral("last_offline"), d.LastOffline, TextForms::NeverDate()),
             time(QStringLiteral("last_seen"), d.LastSeen, QDateTime())}) {
        if (!fault.isEmpty())
            return fault;
    }
    // The network it was admitted on: a gateway's MAC (or "-") and a subnet, nothing else.
    const QString network = values.value(QStringLiteral("network")).trimmed();
    static const QRegularExpression networkForm(
        QStringLiteral("^(-|[0-9A-F]{2}(-[0-9A-F]{2}){5}) \\d{1,3}(\\.\\d{1,3}){3}/\\d{1,2}$"));
    if (!network.isEmpty() && !networkForm.match(network).hasMatch())
        return QStringLiteral("network \"%1\" is no gateway MAC and subnet").arg(network.left(64));
    d.Network = network;
    // A file of an earlier release has no sighting: the later presence date is the nearest it knows.
    if (!d.LastSeen.isValid())
        d.LastSeen = std::max(d.LastOnline, d.LastOffline);
    const QString type = values.value(QStringLiteral("mac_type")).trimmed();
    if (type.isEmpty())
        d.MacType = kDynamicType;
    else if (const auto byte = TextForms::parseByte(type))
        d.MacType = *byte;
    else
        return QStringLiteral("mac_type \"%1\" is no number from 0 to 255").arg(type);
    return factsOf(values, d);
}

// One JSON device object as the values recordOf takes, or the column that has the wrong type.
QString valuesOf(const QJsonObject& object, QHash<QString, QString>& values)
{
    for (const QString& column : kColumns.mid(0, kColumns.size() - 1)) {
        const QJsonValue v = object.value(column);
        if (v.isBool())
            values.insert(column, v.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        else if (v.isDouble())
            values.insert(column, QString::number(v.toInteger()));
        else if (v.isString())
            values.insert(column, v.toString());
        else if (!v.isNull() && !v.isUndefined())
            return QStringLiteral("%1 has the wrong type").arg(column);
    }
    return {};
}

// A JSON device's intervals, appended to device; why not, with its line, otherwise.
QString jsonIntervals(const ImportReader::Record& r, const QDateTime& latest, Imported& device)
{
    const QJsonValue intervals = r.object.value(QStringLiteral("intervals"));
    if (!intervals.isUndefined() && !intervals.isArray())
        return QStringLiteral("line %1: intervals has the wrong type").arg(r.line);
    const QJsonArray list = intervals.toArray();
    for (qsizetype k = 0; k < list.size(); ++k) {
        const int at = r.innerLines.value(k, r.line);
        const QJsonObject o = list[k].toObject();
        const auto field = [&o](const char* name) { return o.value(QLatin1String(name)); };
        if (!list[k].isObject() || !field("from").isString() || !field("to").isString()
            || !(field("address").isString() || field("address").isUndefined()))
            return QStringLiteral("line %1: interval %2 is not an object of from, to and address texts")
                .arg(at)
                .arg(k + 1);
        PresenceInterval interval;
        const QString why =
            intervalOf(field("from").toString(), field("to").toString(), field("address").toString(), latest, interval);
        if (!why.isEmpty())
            return QStringLiteral("line %1: %2").arg(at).arg(why);
        device.intervals.append(interval);
    }
    return {};
}

// A CSV device's intervals column, appended to device; why not otherwise.
QString csvIntervals(const QString& column, const QDateTime& latest, Imported& device)
{
    for (const QString& text : column.split(kIntervalSep, Qt::SkipEmptyParts)) {
        static const QRegularExpression form(QStringLiteral("^\\s*([^/\\s]+)/(\\S+)(?:\\s+(\\S+))?\\s*$"));
        const QRegularExpressionMatch m = form.match(text);
        PresenceInterval interval;
        const QString why = m.hasMatch() ? intervalOf(m.captured(1), m.captured(2), m.captured(3), latest, interval)
                                         : QStringLiteral("interval \"%1\" is not FROM/TO ADDRESS").arg(text);
        if (!why.isEmpty())
            return QStringLiteral("line %1: %2").arg(device.line).arg(why);
        device.intervals.append(interval);
    }
    return {};
}

const QString kNoHeader =
    QStringLiteral("the header names no mac and list columns (is this a kestrelwatch-ctl export?)");

// The bounds a monitor's own data keeps, so that a file brings no more: why a device's intervals pass them not.
QString staysBound(const Imported& device)
{
    QHash<QDate, int> begun;
    for (const PresenceInterval& i : device.intervals) {
        const QDate day = i.from.toUTC().date();
        if (++begun[day] > PresenceStore::MaxStaysPerDay)
            return QStringLiteral("line %1: %2 has more than %3 stays beginning on %4, the most a day keeps")
                .arg(device.line)
                .arg(device.record.MacAddress)
                .arg(PresenceStore::MaxStaysPerDay)
                .arg(day.toString(Qt::ISODate));
    }
    return {};
}

// Every device of the file, read one at a time, checked against the store's bounds as it comes.
Parsed readAll(ImportReader& reader)
{
    const QDateTime latest = kwclock::now().addSecs(FutureSkewSecs);
    Parsed parsed;
    std::optional<QStringList> header;
    qsizetype intervals = 0;
    ImportReader::Record r;
    for (;;) {
        const ImportReader::Step step = reader.next(r);
        if (step == ImportReader::Step::Fault)
            return {{}, reader.fault()};
        if (step == ImportReader::Step::End)
            break;
        QHash<QString, QString> values;
        if (!reader.isJson() && !header) {
            header = csvFields(r.text.trimmed());
            // A spreadsheet's export in another locale separates by semicolons or tabs: say so, not just "no header".
            for (const auto& [separator, word] :
                {std::pair {QLatin1Char(';'), "semicolon"}, std::pair {QLatin1Char('\t'), "tab"}}) {
                if (header && header->size() == 1 && r.text.contains(separator))
                    return {{},
                        QStringLiteral(
                            "line %1: the file is %2-separated: use commas, as kestrelwatch-ctl export writes")
                            .arg(r.line)
                            .arg(QLatin1String(word))};
            }
            if (!header || !header->contains(QStringLiteral("mac")) || !header->contains(QStringLiteral("list")))
                return {{}, QStringLiteral("line %1: %2").arg(r.line).arg(kNoHeader)};
            continue;
        }
        if (reader.isJson()) {
            const QString wrong = valuesOf(r.object, values);
            if (!wrong.isEmpty())
                return {{}, QStringLiteral("line %1: %2").arg(r.line).arg(wrong)};
        } else {
            const auto fields = csvFields(r.text);
            if (!fields)
                return {{}, QStringLiteral("line %1: a quoted field is not closed").arg(r.line)};
            if (fields->size() != header->size())
                return {{},
                    QStringLiteral("line %1: %2 fields where the header has %3")
                        .arg(r.line)
                        .arg(fields->size())
                        .arg(header->size())};
            for (qsizetype c = 0; c < header->size(); ++c)
                values.insert(header->at(c), fields->at(c));
        }
        if (parsed.devices.size() >= DeviceStore::MaxDevices)
            return {{},
                QStringLiteral("line %1: the file holds more than %2 devices, the most a store keeps")
                    .arg(r.line)
                    .arg(DeviceStore::MaxDevices)};
        Imported device;
        device.line = r.line;
        QString fault = recordOf(values, latest, device.record);
        device.watchGiven = values.contains(QStringLiteral("watch"));
        if (!fault.isEmpty())
            return {{}, QStringLiteral("line %1: %2").arg(r.line).arg(fault)};
        fault = reader.isJson() ? jsonIntervals(r, latest, device)
                                : csvIntervals(values.value(QStringLiteral("intervals")), latest, device);
        if (fault.isEmpty())
            fault = staysBound(device);
        if (!fault.isEmpty())
            return {{}, fault};
        intervals += device.intervals.size();
        if (intervals > MaxIntervals)
            return {{},
                QStringLiteral("line %1: the file holds more than %2 intervals, the most an import takes")
                    .arg(r.line)
                    .arg(MaxIntervals)};
        parsed.devices.append(std::move(device));
    }
    if (!reader.isJson() && !header)
        return {{}, QStringLiteral("line 1: ") + kNoHeader};
    return parsed;
}

// The intervals of a device for the export: all it has, from the oldest.
QList<PresenceInterval> intervalsOf(const PresenceStore* presence, const QString& mac, const QDateTime& openUntil)
{
    if (!presence)
        return {};
    return presence->intervals(
        mac, QDateTime::fromSecsSinceEpoch(0), QDateTime(QDate(9999, 12, 31), QTime(0, 0), Qt::UTC), openUntil);
}

} // namespace

QString isoTime(const QDateTime& when)
{
    if (!when.isValid() || when <= TextForms::NeverDate())
        return {};
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate);
}

std::optional<QDateTime> parseIsoTime(const QString& text)
{
    const QDateTime when = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    return when.toLocalTime();
}

QString exportText(const DeviceStore& devices, Format format, const PresenceStore* presence, const QDateTime& openUntil)
{
    QStringList lines;
    if (format == Format::Csv) {
        lines.append(kColumns.join(QLatin1Char(',')));
        for (const DeviceRecord& d : devices) {
            QStringList fields = fieldsOf(d);
            QStringList intervals;
            for (const PresenceInterval& s : intervalsOf(presence, d.MacAddress, openUntil))
                intervals.append(
                    (isoTime(s.from) + QLatin1Char('/') + isoTime(s.to) + QLatin1Char(' ') + s.address).trimmed());
            fields.append(intervals.join(kIntervalSep));
            for (QString& f : fields)
                f = csvField(f);
            lines.append(fields.join(QLatin1Char(',')));
        }
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    lines.append(QStringLiteral("{\"format\": \"kestrelwatch-devices\", \"version\": 1, \"devices\": ["));
    qsizetype left = devices.size();
    for (const DeviceRecord& d : devices) {
        const QStringList fields = fieldsOf(d);
        QJsonObject object;
        for (qsizetype c = 0; c < fields.size(); ++c)
            object.insert(kColumns[c], fields[c]);
        object.insert(QStringLiteral("new"), d.NewDevice);
        object.insert(QStringLiteral("mac_type"), int(d.MacType));
        if (presence) {
            QJsonArray intervals;
            for (const PresenceInterval& s : intervalsOf(presence, d.MacAddress, openUntil))
                intervals.append(QJsonObject {{QStringLiteral("from"), isoTime(s.from)},
                    {QStringLiteral("to"), isoTime(s.to)}, {QStringLiteral("address"), s.address}});
            object.insert(QStringLiteral("intervals"), intervals);
        }
        const QString sep = --left > 0 ? QStringLiteral(",") : QString();
        lines.append(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + sep);
    }
    lines.append(QStringLiteral("]}"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

Parsed parse(const QByteArray& file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    return parse(buffer);
}

Parsed parse(QIODevice& file)
{
    ImportReader reader(file);
    Parsed parsed = readAll(reader);
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

Merged merge(
    DeviceStore& devices, const QList<Imported>& imported, bool replace, PresenceStore* presence, const Adopt& adopt)
{
    Merged merged;
    const auto fresh = std::count_if(imported.cbegin(), imported.cend(),
        [&devices](const Imported& device) { return !devices.contains(device.record.MacAddress); });
    if (devices.size() + fresh > DeviceStore::MaxDevices) {
        merged.stored = false;
        merged.refused = QStringLiteral("the store holds %1 devices and the file %2 more, past the %3 a store keeps")
                             .arg(devices.size())
                             .arg(fresh)
                             .arg(DeviceStore::MaxDevices);
        return merged;
    }
    QHash<QString, QList<PresenceInterval>> intervals;
    QList<std::pair<QString, KeyStore::ValueTexts>> keys;
    QList<std::pair<bool, DeviceRecord>> changes; // (known, the file's record)
    for (const Imported& device : imported) {
        const DeviceRecord& d = device.record;
        const bool known = devices.contains(d.MacAddress); // both in the store's form
        if (!device.intervals.isEmpty())
            intervals.insert(d.MacAddress, device.intervals);
        if (known && !replace) {
            ++merged.kept;
            continue;
        }
        if (known) {
            KeyStore::ValueTexts values {{DeviceCodec::Name::FriendlyName, d.FriendlyName},
                {DeviceCodec::Name::Note, d.Note},
                {DeviceCodec::Name::NewDevice, DeviceCodec::valueText(d, DeviceCodec::Name::NewDevice)},
                {DeviceCodec::Name::Intruder, DeviceCodec::valueText(d, DeviceCodec::Name::Intruder)}};
            for (const QString& name : kFacts)
                values.append({name, DeviceCodec::valueText(d, name)});
            if (device.watchGiven)
                values.append({DeviceCodec::Name::Watch, DeviceCodec::valueText(d, DeviceCodec::Name::Watch)});
            keys.append({Keys::deviceKey(d.MacAddress), values});
            DeviceRecord replacing = d;
            if (const DeviceRecord* current = devices.find(d.MacAddress); current && !device.watchGiven)
                replacing.Watch = current->Watch;
            changes.append({true, replacing});
            ++merged.replaced;
            continue;
        }
        keys.append({Keys::deviceKey(d.MacAddress), DeviceCodec::encode(d)});
        changes.append({false, d});
        ++merged.added;
    }
    const auto mergeIntervals = [&] {
        if (presence && !intervals.isEmpty() && !presence->merge(intervals, kwclock::now()))
            merged.presenceError = QStringLiteral("the intervals could not be written to %1").arg(presence->fileName());
        return merged;
    };
    if (keys.isEmpty())
        return mergeIntervals();
    QList<Hive::KeyValues> batch;
    for (const auto& [subkey, texts] : keys) {
        Hive::KeyValues& key = batch.emplace_back();
        key.keyPath = KeyStore::fullKeyPath(KeyStore::ProductKey, subkey);
        for (const auto& [name, text] : texts)
            key.values.append(Hive::Value {name, text});
    }
    Hive* hive = KeyStore::attached();
    merged.stored = hive && hive->setValues(batch);
    if (!merged.stored)
        return merged;
    for (const auto& [known, d] : changes) {
        DeviceRecord* inMemory = devices.find(d.MacAddress);
        if (known && adopt.replaced) {
            adopt.replaced(d);
        } else if (known && inMemory) {
            inMemory->FriendlyName = d.FriendlyName;
            inMemory->Note = d.Note;
            inMemory->Watch = d.Watch;
            inMemory->NewDevice = d.NewDevice;
            inMemory->Intruder = d.Intruder;
            std::tie(inMemory->Type, inMemory->TypeSource, inMemory->Model, inMemory->ModelSource, inMemory->Os,
                inMemory->OsSource, inMemory->FormerMacs) =
                std::tie(d.Type, d.TypeSource, d.Model, d.ModelSource, d.Os, d.OsSource, d.FormerMacs);
        } else if (!known && adopt.added) {
            adopt.added(d);
        } else if (!known) {
            devices.append(d);
        }
    }
    return mergeIntervals();
}

QString summary(const Merged& merged)
{
    return QStringLiteral("%1 added, %2 replaced, %3 kept as they were")
        .arg(merged.added)
        .arg(merged.replaced)
        .arg(merged.kept);
}

} // namespace DeviceExport
