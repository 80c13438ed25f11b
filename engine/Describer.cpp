#include "engine/Describer.h"

#include "platform/NetPlatform.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/Settings.h"

#include <QStringDecoder>
#include <QUrl>

namespace {
constexpr int kMaxIdentities = 4096; // one per device heard; the memory starts over past it

// Option bytes as text when they are UTF-8, else nothing.
QString utf8Text(const QByteArray& bytes, bool& ok)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    ok = !utf8.hasError();
    return ok ? text : QString();
}
} // namespace

Describer::Describer(DeviceStore& devices, NetPlatform& net, Hooks hooks)
    : m_devices(devices)
    , m_net(net)
    , m_hooks(std::move(hooks))
{ }

Describer::~Describer()
{
    endAsking();
    if (m_listening)
        m_net.setDatagramHeard(nullptr);
}

QString Describer::admitted(const QString& mac, const QString& what, const QString& raw)
{
    const DeviceText::Name name = DeviceText::filterName(raw);
    if (!name.ok() && m_refusals.firstTime(mac + QLatin1Char(' ') + what))
        m_hooks.log(
            QStringLiteral("Recognition - %1 of %2 refused, it %3: %4").arg(what, mac, name.refusal, raw.left(80)));
    return name.text;
}

bool Describer::apply(const QString& mac, const Clue& clue)
{
    DeviceRecord* found = m_devices.find(mac);
    if (!found || clue.isEmpty())
        return false;
    DeviceRecord& d = *found;
    const DeviceRecord before = d;
    QStringList which;
    if (clue.type != DeviceType::Unknown && DeviceKind::mayReplace(d.TypeSource, clue.source)) {
        if (d.Type != clue.type)
            which << QStringLiteral("type");
        d.Type = clue.type;
        d.TypeSource = clue.source;
    }
    const auto text = [&](const QString& raw, const char* field, QString& value, FactSource& source) {
        if (raw.isEmpty() || !DeviceKind::mayReplace(source, clue.source))
            return;
        const QString kept = admitted(mac, QString::fromLatin1(field), raw);
        if (kept.isEmpty())
            return;
        if (value != kept)
            which << QString::fromLatin1(field);
        value = kept;
        source = clue.source;
    };
    text(clue.model, "model", d.Model, d.ModelSource);
    text(clue.os, "os", d.Os, d.OsSource);
    if (d.TypeSource == before.TypeSource && d.ModelSource == before.ModelSource && d.OsSource == before.OsSource
        && which.isEmpty())
        return false;
    QList<std::pair<QString, QString>> values;
    for (const QString& name : {DeviceCodec::Name::Type, DeviceCodec::Name::TypeSource, DeviceCodec::Name::Model,
             DeviceCodec::Name::ModelSource, DeviceCodec::Name::Os, DeviceCodec::Name::OsSource})
        values.append({name, DeviceCodec::valueText(d, name)});
    m_hooks.write(mac, values);
    if (which.isEmpty())
        return false; // only a stronger source for the same values
    m_hooks.log(QStringLiteral("Recognition - %1 by %2: type %3, model \"%4\", os \"%5\"")
                    .arg(mac, DeviceKind::sourceWord(clue.source), DeviceKind::typeWord(d.Type), d.Model, d.Os));
    if (m_hooks.changed)
        m_hooks.changed(mac, which.join(QLatin1Char(',')));
    return true;
}

void Describer::dhcpOptions(const QString& mac, const Heard& dhcp)
{
    if (!dhcp.options)
        return;
    const Heard::DhcpOptions& o = *dhcp.options;
    const auto bytes = [](const auto& value) {
        return QByteArray(reinterpret_cast<const char*>(value.data()), qsizetype(value.size()));
    };
    DhcpIdentity id;
    id.requestList = bytes(o.requestList);
    bool utf8 = true;
    id.vendorClass = admitted(mac, QStringLiteral("DHCP vendor class"), utf8Text(bytes(o.vendorClass), utf8));
    if (!utf8 && m_refusals.firstTime(mac + QStringLiteral(" DHCP vendor class bytes")))
        m_hooks.log(QStringLiteral("Recognition - DHCP vendor class of %1 refused, it is no UTF-8 text").arg(mac));
    id.fqdn = admitted(mac, QStringLiteral("DHCP FQDN"), utf8Text(bytes(o.fqdn), utf8));
    const QByteArray clientId = bytes(o.clientId);
    id.clientId = QString::fromLatin1(clientId.toHex());
    // Type 1 (Ethernet) and the hardware address: the MAC again, nothing that outlives a new private address.
    id.clientIdIsMac = clientId.size() == 7 && clientId[0] == 1 && clientId.mid(1) == bytes(dhcp.mac);
    id.maxMessageSize = o.maxMessageSize;
    const auto known = m_dhcp.constFind(mac);
    if (known != m_dhcp.constEnd() && *known == id)
        return; // the same client again: nothing new to weigh
    if (m_dhcp.size() >= kMaxIdentities)
        m_dhcp.clear();
    m_dhcp.insert(mac, id);
    m_hooks.write(mac, {{QStringLiteral("DHCP_Identity"), id.text()}});
    QStringList codes;
    for (const char c : std::as_const(id.requestList))
        codes << QString::number(quint8(c));
    m_hooks.log(QStringLiteral("Recognition - DHCP client %1: request list %2, vendor class \"%3\"%4")
                    .arg(mac, codes.join(QLatin1Char(',')), id.vendorClass,
                        id.clientIdIsMac ? QStringLiteral(", client id its MAC") : QString()));
    apply(mac, m_signatures.matchDhcp(id.requestList, id.vendorClass));
    m_hooks.flush();
}

void Describer::hintsChanged(const QString& mac)
{
    const DeviceRecord* device = m_devices.find(mac);
    if (!device)
        return;
    const QString host = device->HostName;
    if (m_maker)
        apply(mac, m_signatures.matchMaker(m_maker(mac)));
    if (host != DeviceRecord::unknownHostName())
        apply(mac, m_signatures.matchHostName(host));
}

std::optional<Describer::DhcpIdentity> Describer::dhcpIdentity(const QString& mac) const
{
    const auto it = m_dhcp.constFind(mac);
    if (it != m_dhcp.constEnd())
        return *it;
    return DhcpIdentity::fromText(
        KeyStore::readString(KeyStore::ProductKey, Keys::deviceKey(mac), QStringLiteral("DHCP_Identity")));
}

QString Describer::DhcpIdentity::text() const
{
    QStringList codes;
    for (const char c : requestList)
        codes << QString::number(quint8(c));
    const auto enc = [](const QString& t) { return QString::fromLatin1(QUrl::toPercentEncoding(t)); };
    return QStringLiteral("list=%1;vendor=%2;client=%3;client_is_mac=%4;fqdn=%5;max=%6")
        .arg(codes.join(QLatin1Char(',')), enc(vendorClass), clientId,
            clientIdIsMac ? QStringLiteral("1") : QStringLiteral("0"), enc(fqdn))
        .arg(maxMessageSize);
}

std::optional<Describer::DhcpIdentity> Describer::DhcpIdentity::fromText(const QString& text)
{
    if (!text.startsWith(QLatin1String("list=")))
        return std::nullopt;
    QHash<QString, QString> f;
    for (const QString& part : text.split(QLatin1Char(';')))
        f.insert(part.section(QLatin1Char('='), 0, 0),
            QUrl::fromPercentEncoding(part.section(QLatin1Char('='), 1).toLatin1()));
    DhcpIdentity id;
    for (const QString& code : f.value(QStringLiteral("list")).split(QLatin1Char(','), Qt::SkipEmptyParts))
        id.requestList.append(char(code.toUInt() & 0xff));
    // Written by this program, read through the one door all the same: the store may have been edited.
    id.vendorClass = DeviceText::filterName(f.value(QStringLiteral("vendor"))).text;
    id.fqdn = DeviceText::filterName(f.value(QStringLiteral("fqdn"))).text;
    const QString client = f.value(QStringLiteral("client"));
    id.clientId = QByteArray::fromHex(client.toLatin1()).toHex() == client.toLatin1() ? client : QString();
    id.clientIdIsMac = f.value(QStringLiteral("client_is_mac")) == QLatin1String("1");
    id.maxMessageSize = quint16(f.value(QStringLiteral("max")).toUInt());
    return id;
}

const DeviceServices* Describer::services(const QString& mac) const
{
    const auto it = m_known.constFind(mac);
    return it == m_known.constEnd() || it->services.isEmpty() ? nullptr : &it->services;
}

void Describer::forget(const QString& mac)
{
    m_dhcp.remove(mac);
    m_known.remove(mac);
}
