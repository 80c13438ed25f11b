#include "store/DeviceCodec.h"

#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/MacAddress.h"
#include "store/TextForms.h"

#include <QHash>

namespace DeviceCodec {

namespace {

QString macList(const QStringList& macs)
{
    return macs.join(QLatin1Char(','));
}

} // namespace

Values encode(const DeviceRecord& d)
{
    Values values {
        {Name::IpAddress, d.IpAddress},
        {Name::HostName, d.HostName},
        {Name::FriendlyName, d.FriendlyName},
        {Name::NewDevice, TextForms::boolText(d.NewDevice)},
        {Name::Intruder, TextForms::boolText(d.Intruder)},
        {Name::FirstSeen, TextForms::storedDate(d.FirstSeen)},
        {Name::LastOnline, TextForms::storedDate(d.LastOnline)},
        {Name::LastOffline, TextForms::storedDate(d.LastOffline)},
        {Name::MacType, QString::number(d.MacType)},
    };
    const auto optional = [&values](const QString& name, const QString& text) {
        if (!text.isEmpty())
            values.append({name, text});
    };
    optional(Name::Watch, DeviceWatch::text(DeviceWatch::Mode(d.Watch)));
    if (d.Type != DeviceType::Unknown) {
        values.append({Name::Type, DeviceKind::typeWord(d.Type)});
        values.append({Name::TypeSource, DeviceKind::sourceWord(d.TypeSource)});
    }
    if (!d.Model.isEmpty()) {
        values.append({Name::Model, d.Model});
        values.append({Name::ModelSource, DeviceKind::sourceWord(d.ModelSource)});
    }
    if (!d.Os.isEmpty()) {
        values.append({Name::Os, d.Os});
        values.append({Name::OsSource, DeviceKind::sourceWord(d.OsSource)});
    }
    optional(Name::FormerMacs, macList(d.FormerMacs));
    optional(Name::Note, d.Note);
    optional(Name::Network, d.Network);
    if (d.LastSeen.isValid())
        values.append({Name::LastSeen, TextForms::storedDate(d.LastSeen)});
    optional(Name::MdnsName, d.MdnsName);
    return values;
}

QString valueText(const DeviceRecord& d, const QString& name)
{
    for (const auto& [n, text] : encode(d)) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return text;
    }
    return {};
}

Decoded decode(const QString& mac, const Values& values)
{
    QHash<QString, QString> byName;
    for (const auto& [name, text] : values)
        byName.insert(name.toUpper(), text);
    const auto value = [&byName](const QString& name) -> std::optional<QString> {
        const auto it = byName.constFind(name.toUpper());
        return it == byName.constEnd() ? std::nullopt : std::optional<QString>(*it);
    };

    Decoded out;
    DeviceRecord& d = out.record;
    d = DeviceRecord::empty();
    d.MacAddress = mac;
    d.NameLookupPending = true;
    const auto problem = [&out](const QString& name, const std::optional<QString>& text) {
        out.problems.append(
            text ? QStringLiteral("%1 \"%2\"").arg(name, text->left(80)) : name + QStringLiteral(" missing"));
    };
    const auto text = [&](const QString& name, QString& field, const QString& fallback) {
        const auto t = value(name);
        field = t.value_or(fallback);
        if (!t)
            problem(name, t);
    };
    text(Name::IpAddress, d.IpAddress, QString());
    text(Name::HostName, d.HostName, DeviceRecord::unknownHostName());
    text(Name::FriendlyName, d.FriendlyName, QString());
    const auto flag = [&](const QString& name, bool& field) {
        const auto t = value(name);
        const auto b = t ? TextForms::parseBool(*t) : std::nullopt;
        // Nobody vouched for a device whose flag is lost: it is new and an intruder.
        field = b.value_or(true);
        if (!b)
            problem(name, t);
    };
    flag(Name::NewDevice, d.NewDevice);
    flag(Name::Intruder, d.Intruder);
    const auto date = [&](const QString& name, QDateTime& field, bool required) {
        const auto t = value(name);
        if (!t && !required)
            return;
        const auto when = t ? TextForms::parseStoredDate(*t) : std::nullopt;
        field = when ? when->when : TextForms::NeverDate();
        if (when)
            out.oldDates = out.oldDates || when->oldForm;
        else
            problem(name, t);
    };
    date(Name::FirstSeen, d.FirstSeen, true);
    date(Name::LastOnline, d.LastOnline, true);
    date(Name::LastOffline, d.LastOffline, true);
    const auto type = value(Name::MacType);
    const auto byte = type ? TextForms::parseByte(*type) : std::nullopt;
    d.MacType = byte.value_or(0);
    if (!byte)
        problem(Name::MacType, type);

    if (const auto watch = value(Name::Watch)) {
        if (const auto mode = DeviceWatch::parse(*watch))
            d.Watch = *mode;
        else
            problem(Name::Watch, watch);
    }
    if (const auto t = value(Name::Type)) {
        d.Type = DeviceKind::typeFromWord(*t);
        d.TypeSource = DeviceKind::sourceFromWord(value(Name::TypeSource).value_or(QString()));
    }
    if (const auto t = value(Name::Model)) {
        d.Model = *t;
        d.ModelSource = DeviceKind::sourceFromWord(value(Name::ModelSource).value_or(QString()));
    }
    if (const auto t = value(Name::Os)) {
        d.Os = *t;
        d.OsSource = DeviceKind::sourceFromWord(value(Name::OsSource).value_or(QString()));
    }
    if (const auto t = value(Name::FormerMacs)) {
        for (const QString& former : t->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString m = MacAddress::canonical(former);
            if (!MacAddress::isDeviceMac(m))
                problem(Name::FormerMacs, former);
            else if (m != mac && !d.FormerMacs.contains(m))
                d.FormerMacs.append(m);
        }
    }
    d.Note = value(Name::Note).value_or(QString());
    d.Network = value(Name::Network).value_or(QString());
    date(Name::LastSeen, d.LastSeen, false);
    // Heard from the device: through the one door again, the store may have been edited.
    d.MdnsName = DeviceText::filterName(value(Name::MdnsName).value_or(QString())).text;
    // A store of an earlier release has no sighting of its own: the later of the two presence dates is the
    // nearest it knows.
    if (!d.LastSeen.isValid() || d.LastSeen <= TextForms::NeverDate())
        d.LastSeen = std::max(d.LastOnline, d.LastOffline);
    return out;
}

} // namespace DeviceCodec
