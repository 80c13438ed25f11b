#include "web/WebApi.h"

#include "devicefile/DeviceExport.h"
#include "platform/Clock.h"
#include "store/DeviceEvent.h"
#include "store/DeviceJson.h"
#include "store/DeviceRecord.h"
#include "store/DeviceWatch.h"
#include "store/DeviceWords.h"
#include "store/MacAddress.h"
#include "web/WebHost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

QJsonValue when(const QDateTime& t)
{
    return t.isValid() && t.toSecsSinceEpoch() > 0 ? QJsonValue(DeviceExport::isoTime(t)) : QJsonValue();
}

// The JSON object a change carries, or nullopt when the body is none.
std::optional<QJsonObject> bodyObject(const QByteArray& body)
{
    if (body.trimmed().isEmpty())
        return QJsonObject();
    QJsonParseError problem {};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &problem);
    if (problem.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

} // namespace

WebApi::WebApi(WebHost& host, QByteArray token, bool openReading)
    : m_host(host)
    , m_token(std::move(token))
    , m_openReading(openReading)
{ }

WebReply WebApi::error(int status, const QString& reason)
{
    return json(QJsonObject {{QStringLiteral("reason"), reason}}, status);
}

WebReply WebApi::json(const QJsonValue& value, int status)
{
    WebReply reply;
    reply.status = status;
    reply.body = value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                 : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return reply;
}

bool WebApi::authorized(const QByteArray& authorization) const
{
    static const QByteArray scheme("Bearer ");
    if (m_token.isEmpty() || !authorization.startsWith(scheme))
        return false;
    const QByteArray given = authorization.mid(scheme.size()).trimmed();
    // Every byte is looked at whatever the first difference: the time taken tells nothing of the token.
    unsigned char differ = given.size() == m_token.size() ? 0 : 1;
    for (qsizetype i = 0; i < m_token.size(); ++i)
        differ |= uchar(m_token[i]) ^ uchar(i < given.size() ? given[i] : 0);
    return differ == 0;
}

bool WebApi::loopbackHost(const QByteArray& host)
{
    // "localhost", "127.0.0.1", "[::1]", each with or without its port.
    QByteArray name = host.trimmed().toLower();
    const qsizetype colon = name.lastIndexOf(':');
    if (colon >= 0 && name.indexOf(']') < colon)
        name.truncate(colon);
    if (name == "localhost" || name == "[::1]")
        return true;
    return QHostAddress(QString::fromLatin1(name)).isLoopback() && name.startsWith("127.");
}

bool WebApi::readsOpenTo(const WebRequest& request) const
{
    return m_openReading && !request.forwarded && loopbackHost(request.host);
}

QString WebApi::loggedPath(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() >= 4 && parts[1] == QLatin1String("api") && parts[2] == QLatin1String("devices"))
        parts[3] = QStringLiteral("…");
    QString shown = parts.join(QLatin1Char('/'));
    return shown.size() > 80 ? shown.left(80) + QStringLiteral("…") : shown;
}

QJsonObject WebApi::deviceObject(const DeviceRecord& d) const
{
    return DeviceJson::object(d, m_host.vendorName(d.MacAddress), d.isOnline());
}

QJsonObject WebApi::eventObject(const DeviceEvent& event) const
{
    const DeviceRecord* d = m_host.find(event.mac);
    const bool gone = event.kind == DeviceEvent::Kind::Removed || !d;
    return QJsonObject {{QStringLiteral("kind"), DeviceWords::apiEvent(event.kind)}, {QStringLiteral("mac"), event.mac},
        {QStringLiteral("time"), when(event.time)},
        {QStringLiteral("device"), gone ? QJsonValue() : QJsonValue(deviceObject(*d))}};
}

void WebApi::remember(const QJsonObject& event)
{
    m_recent.append(event);
    if (m_recent.size() > RecentEvents)
        m_recent.removeFirst();
}

const DeviceRecord* WebApi::named(const QString& mac, WebReply& refusal) const
{
    const QString normal = MacAddress::canonical(mac);
    const DeviceRecord* d = normal.isEmpty() ? nullptr : m_host.find(normal);
    if (normal.isEmpty())
        refusal = error(
            400, QStringLiteral("that is not a MAC address (six bytes in hexadecimal, such as 00:0c:29:12:34:56)"));
    else if (!d)
        refusal = error(404, QStringLiteral("no device has that MAC address"));
    return d;
}

WebReply WebApi::handle(const WebRequest& request) const
{
    const QStringList parts = request.path.split(QLatin1Char('/'));
    if (parts.size() < 3 || parts[1] != QLatin1String("api"))
        return error(404, QStringLiteral("no such page"));
    const bool change = parts.size() == 5 && parts[2] == QLatin1String("devices");
    const QByteArray wanted = change ? "POST" : "GET";
    const bool known = (parts.size() == 3
                           && (parts[2] == QLatin1String("devices") || parts[2] == QLatin1String("summary")
                               || parts[2] == QLatin1String("networks")))
        || (parts.size() == 4 && parts[2] == QLatin1String("devices")) || change;
    if (!known)
        return error(404, QStringLiteral("no such part of the API"));
    if (request.method != wanted) {
        WebReply refused = error(405, QStringLiteral("this takes %1 only").arg(QLatin1String(wanted)));
        refused.allow = wanted;
        return refused;
    }
    if ((change || !readsOpenTo(request)) && !authorized(request.authorization))
        return error(401,
            QStringLiteral(
                "this needs the web token (Authorization: Bearer TOKEN); kestrelwatch-ctl web-token prints it"));
    if (parts.size() == 3 && parts[2] == QLatin1String("networks"))
        return networks();
    if (parts.size() == 3)
        return parts[2] == QLatin1String("devices") ? devices(request.query) : summary();
    if (parts.size() == 4)
        return device(parts[3]);
    return action(parts[3], parts[4], request.body);
}

WebReply WebApi::devices(const QString& query) const
{
    WebReply refusal;
    const QString network = askedNetwork(query, refusal);
    if (refusal.status != 200)
        return refusal;
    QJsonArray array;
    for (const DeviceRecord* d : m_host.devices()) {
        if (network.isEmpty() || d->Network.isEmpty() || d->Network == network)
            array.append(deviceObject(*d));
    }
    return json(array);
}

WebReply WebApi::summary() const
{
    const QList<const DeviceRecord*> all = m_host.devices();
    int online = 0;
    int intrudersOnline = 0;
    int waiting = 0;
    for (const DeviceRecord* d : all) {
        online += d->isOnline() ? 1 : 0;
        intrudersOnline += d->isOnline() && d->Intruder ? 1 : 0;
        waiting += d->NewDevice ? 1 : 0;
    }
    QJsonArray recent;
    // Newest first.
    for (const QJsonObject& e : m_recent)
        recent.prepend(e);
    return json(QJsonObject {{QStringLiteral("devices"), int(all.size())}, {QStringLiteral("online"), online},
        {QStringLiteral("intruders_online"), intrudersOnline}, {QStringLiteral("waiting"), waiting},
        {QStringLiteral("recent"), recent}});
}

WebReply WebApi::device(const QString& mac) const
{
    WebReply refusal;
    const DeviceRecord* found = named(mac, refusal);
    if (!found)
        return refusal;
    const DeviceRecord& d = *found;
    QJsonObject object = deviceObject(d);
    QJsonArray lines;
    for (QString line : m_host.history(d.MacAddress).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        lines.append(QJsonObject {{QStringLiteral("time"), tab < 0 ? QString() : line.left(tab)},
            {QStringLiteral("text"), tab < 0 ? line : line.mid(tab + 1)}});
    }
    object.insert(QStringLiteral("history"), lines);
    // Thirty days cover the page's three spans (24 hours, 7 days, 30 days).
    const QDateTime now = kwclock::now();
    QJsonArray stays;
    for (const PresenceInterval& i : m_host.intervals(d.MacAddress, now.addDays(-30), now))
        stays.append(QJsonObject {{QStringLiteral("from"), when(i.from)}, {QStringLiteral("to"), when(i.to)},
            {QStringLiteral("address"), i.address}, {QStringLiteral("open"), i.open}});
    object.insert(QStringLiteral("intervals"), stays);
    return json(object);
}

WebReply WebApi::action(const QString& mac, const QString& verb, const QByteArray& body) const
{
    using Action = WebHost::Action;
    if (body.size() > MaxBodyBytes)
        return error(413, QStringLiteral("the body is longer than %1 bytes").arg(MaxBodyBytes));
    WebReply refusal;
    const DeviceRecord* found = named(mac, refusal);
    if (!found)
        return refusal;
    const std::optional<QJsonObject> args = bodyObject(body);
    if (!args)
        return error(400, QStringLiteral("the body is no JSON object"));
    Action act = Action::Acknowledge;
    QString argument;
    if (verb == QLatin1String("ack")) {
        act = Action::Acknowledge;
    } else if (verb == QLatin1String("remove")) {
        act = Action::Remove;
    } else if (verb == QLatin1String("move")) {
        const QString list = args->value(QStringLiteral("list")).toString();
        if (list != QLatin1String("safe") && list != QLatin1String("intruders"))
            return error(400, QStringLiteral("move takes {\"list\": \"safe\"} or {\"list\": \"intruders\"}"));
        act = list == QLatin1String("safe") ? Action::MoveSafe : Action::MoveIntruders;
    } else if (verb == QLatin1String("rename")) {
        const QJsonValue name = args->value(QStringLiteral("name"));
        if (!name.isString())
            return error(400, QStringLiteral("rename takes {\"name\": \"...\"}"));
        act = Action::Rename;
        argument = name.toString();
    } else if (verb == QLatin1String("note")) {
        const QJsonValue note = args->value(QStringLiteral("note"));
        if (!note.isString())
            return error(400, QStringLiteral("note takes {\"note\": \"...\"} (\"\" clears it)"));
        act = Action::Note;
        argument = note.toString();
    } else if (verb == QLatin1String("watch")) {
        argument = args->value(QStringLiteral("watch")).toString();
        if (argument != QLatin1String("none") && !DeviceWatch::parse(argument))
            return error(400, QStringLiteral("watch takes offline, online, both or none"));
        act = Action::Watch;
    } else {
        return error(404, QStringLiteral("no such action (ack, move, rename, note, watch, remove)"));
    }
    const QString deviceMac = found->MacAddress;
    const WebHost::Result result = m_host.act(deviceMac, act, argument);
    if (result.outcome == WebHost::Outcome::Refused)
        return error(act == Action::Remove ? 409 : 400, result.reason);
    QJsonObject answer {{QStringLiteral("changed"), result.outcome == WebHost::Outcome::Changed}};
    if (const DeviceRecord* now = m_host.find(deviceMac); act != Action::Remove && now)
        answer.insert(QStringLiteral("device"), deviceObject(*now));
    return json(answer);
}
