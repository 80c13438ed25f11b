#include "channels/ChannelMessage.h"

#include "notify/AlertPolicy.h"
#include "store/DeviceDescription.h"
#include "store/DeviceStore.h"
#include "store/DeviceWords.h"
#include "store/TextForms.h"

#include <QJsonDocument>
#include <QStringDecoder>

namespace {

// A header value in printable ASCII as it is; any other text as an RFC 2047 encoded word, which ntfy decodes.
QByteArray headerText(const QString& text)
{
    QString clean;
    for (const QChar c : text)
        clean += c.isPrint() ? c : QLatin1Char(' ');
    bool ascii = true;
    for (const QChar c : clean)
        ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (ascii)
        return clean.toLatin1();
    return "=?UTF-8?B?" + clean.toUtf8().toBase64() + "?=";
}

QString displayName(const DeviceRecord& d)
{
    return d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
}

} // namespace

QString channelName(Channel channel)
{
    switch (channel) {
    case Channel::Ntfy:
        return QStringLiteral("ntfy");
    case Channel::Gotify:
        return QStringLiteral("Gotify");
    case Channel::Webhook:
        break;
    }
    return QStringLiteral("webhook");
}

QJsonObject Notice::webhookJson() const
{
    QJsonObject o {{QStringLiteral("kind"), kind}, {QStringLiteral("mac"), mac}, {QStringLiteral("ip"), ip},
        {QStringLiteral("name"), name}, {QStringLiteral("vendor"), vendor}, {QStringLiteral("list"), list},
        {QStringLiteral("type"), type}, {QStringLiteral("model"), model}, {QStringLiteral("os"), os},
        {QStringLiteral("time"), time.toUTC().toString(Qt::ISODate)}, {QStringLiteral("text"), text}};
    if (lastSeen.isValid())
        o.insert(QStringLiteral("last_seen"), lastSeen.toUTC().toString(Qt::ISODate));
    return o;
}

QByteArray Notice::toStored() const
{
    QJsonObject o = webhookJson();
    o.insert(QStringLiteral("title"), title);
    o.insert(QStringLiteral("high"), high);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<Notice> Notice::fromStored(const QByteArray& stored)
{
    const QJsonDocument doc = QJsonDocument::fromJson(stored);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    Notice n;
    n.kind = o.value(QStringLiteral("kind")).toString();
    n.mac = o.value(QStringLiteral("mac")).toString();
    n.ip = o.value(QStringLiteral("ip")).toString();
    n.name = o.value(QStringLiteral("name")).toString();
    n.vendor = o.value(QStringLiteral("vendor")).toString();
    n.list = o.value(QStringLiteral("list")).toString();
    n.type = o.value(QStringLiteral("type")).toString();
    n.model = o.value(QStringLiteral("model")).toString();
    n.os = o.value(QStringLiteral("os")).toString();
    n.time = QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODate);
    n.lastSeen = QDateTime::fromString(o.value(QStringLiteral("last_seen")).toString(), Qt::ISODate);
    n.title = o.value(QStringLiteral("title")).toString();
    n.text = o.value(QStringLiteral("text")).toString();
    n.high = o.value(QStringLiteral("high")).toBool();
    if (n.kind.isEmpty() || !n.time.isValid())
        return std::nullopt;
    return n;
}

Notice Notice::fromAlert(const Alert& alert, const DeviceStore& table, const QString& vendor)
{
    Notice n;
    n.time = alert.time;
    n.high = alert.kind != Alert::Kind::Watched;
    if (alert.kind == Alert::Kind::Storm) {
        n.kind = QStringLiteral("storm");
        n.title = QStringLiteral("Many new devices on the network");
        n.text = alert.stormText();
        return n;
    }
    n.mac = alert.mac;
    n.vendor = vendor;
    if (const DeviceRecord* found = table.find(alert.mac)) {
        const DeviceRecord& d = *found;
        n.ip = d.IpAddress;
        n.name = displayName(d);
        n.list = DeviceWords::list(d.Intruder);
        n.type = DeviceKind::typeWord(d.Type);
        n.model = d.Model;
        n.os = d.Os;
        if (d.LastSeen > TextForms::NeverDate())
            n.lastSeen = d.LastSeen;
    }
    // "Unknown Android phone (private address), probably Anna's phone, with a new private address" says more
    // than "Unknown Device".
    const DeviceRecord* device = table.find(alert.mac);
    const QString who = device ? DeviceDescription::alertName(table, *device) : n.mac;
    const QString where = QStringLiteral("%1 (%2, MAC %3%4)")
                              .arg(who, n.ip.isEmpty() ? QStringLiteral("no address") : n.ip, n.mac,
                                  vendor.isEmpty() ? QString() : QStringLiteral(", ") + vendor);
    switch (alert.kind) {
    case Alert::Kind::NewIntruder:
        n.kind = alert.impersonation ? QStringLiteral("impersonation") : QStringLiteral("new_intruder");
        n.title = alert.impersonation ? QStringLiteral("A device is impersonating your network gateway")
                                      : QStringLiteral("New device on the network");
        n.text = QStringLiteral("New device: ") + where;
        break;
    case Alert::Kind::IntruderOnline:
        n.kind = QStringLiteral("intruder_online");
        n.title = QStringLiteral("An intruder is back online");
        n.text = QStringLiteral("Intruder online: ") + where;
        break;
    case Alert::Kind::LikelyReturn:
        n.kind = QStringLiteral("likely_return");
        n.title = QStringLiteral("A known device is back with a new private address");
        n.text = QStringLiteral("New address: ") + where;
        break;
    case Alert::Kind::Watched:
        n.kind = alert.online ? QStringLiteral("online") : QStringLiteral("offline");
        n.title = who + (alert.online ? QStringLiteral(" is back online") : QStringLiteral(" went offline"));
        n.text = (alert.online ? QStringLiteral("Online: ") : QStringLiteral("Offline: ")) + where;
        break;
    case Alert::Kind::Storm:
        break;
    }
    return n;
}

Notice Notice::test(const QDateTime& now)
{
    Notice n;
    n.kind = QStringLiteral("test");
    n.time = now;
    n.title = QStringLiteral("Kestrelwatch test");
    n.text = QStringLiteral("A test message from Kestrelwatch: this channel works.");
    return n;
}

BuiltRequest buildRequest(Channel channel, const ChannelTarget& target, const Notice& notice)
{
    QUrl url(target.server.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {std::nullopt, QStringLiteral("\"%1\" is not an http or https URL").arg(target.server.left(200))};
    ChannelRequest r;
    const QByteArray bearer = "Bearer " + target.token.trimmed().toUtf8();
    const bool token = !target.token.trimmed().isEmpty();
    switch (channel) {
    case Channel::Ntfy:
        r.url = url;
        r.headers = {{"Title", headerText(notice.title)}, {"Priority", notice.high ? "high" : "default"},
            {"Tags",
                notice.kind == QLatin1String("offline")      ? "red_circle"
                    : notice.kind == QLatin1String("online") ? "green_circle"
                    : notice.kind == QLatin1String("test")   ? "white_check_mark"
                                                             : "warning"},
            {"Content-Type", "text/plain; charset=utf-8"}};
        if (token)
            r.headers.append({"Authorization", bearer});
        r.body = notice.text.toUtf8();
        break;
    case Channel::Gotify:
        url.setPath(url.path().endsWith(QLatin1Char('/')) ? url.path() + QStringLiteral("message")
                                                          : url.path() + QStringLiteral("/message"));
        r.url = url;
        r.headers = {{"Content-Type", "application/json"}};
        if (token)
            r.headers.append({"X-Gotify-Key", target.token.trimmed().toUtf8()});
        r.body = QJsonDocument(
            QJsonObject {{QStringLiteral("title"), notice.title}, {QStringLiteral("message"), notice.text},
                {QStringLiteral("priority"), notice.high ? 8 : 5}})
                     .toJson(QJsonDocument::Compact);
        break;
    case Channel::Webhook:
        r.url = url;
        r.headers = {{"Content-Type", "application/json"}};
        if (token)
            r.headers.append({"Authorization", bearer});
        r.body = QJsonDocument(notice.webhookJson()).toJson(QJsonDocument::Compact);
        break;
    }
    return {r, {}};
}

QString replyText(const QByteArray& body, int maxChars)
{
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(body.left(maxChars * 4));
    QString out;
    for (const QChar c : text) {
        if (out.size() >= maxChars)
            break;
        if (c.isSpace())
            out += QLatin1Char(' ');
        else if (c.isPrint() && !c.isSurrogate() && c.category() != QChar::Other_Format)
            out += c;
        else
            out += QChar(0xFFFD);
    }
    return out.simplified();
}
