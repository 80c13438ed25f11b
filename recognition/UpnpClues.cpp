#include "recognition/UpnpClues.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

namespace UpnpClues {

std::optional<Ssdp> parseSsdp(const QByteArray& datagram)
{
    if (datagram.size() > kMaxSsdpBytes)
        return std::nullopt;
    const QList<QByteArray> lines = datagram.split('\n');
    const QByteArray start = lines.value(0).trimmed();
    if (!start.startsWith("NOTIFY * HTTP/1.") && !(start.startsWith("HTTP/1.") && start.contains(" 200")))
        return std::nullopt;
    Ssdp out;
    QByteArray nts;
    int headers = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            break;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || ++headers > kMaxSsdpHeaders)
            return std::nullopt;
        const QByteArray name = line.left(colon).trimmed().toUpper();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "LOCATION" && out.location.isEmpty())
            out.location = value;
        else if ((name == "NT" || name == "ST") && out.target.isEmpty())
            out.target = value;
        else if (name == "NTS")
            nts = value;
        else if (name == "SERVER" && out.server.isEmpty())
            out.server = value;
    }
    out.alive = nts != "ssdp:byebye";
    return out;
}

bool locationOfSender(const QByteArray& location, const QString& sender)
{
    const QUrl url(QString::fromLatin1(location), QUrl::StrictMode);
    return url.isValid() && url.scheme() == QLatin1String("http") && url.host() == sender && url.port(80) > 0
        && url.userInfo().isEmpty() && QHostAddress(sender).protocol() == QAbstractSocket::IPv4Protocol;
}

Description parseDescription(const QByteArray& xml)
{
    const auto refused = [](const QString& why) {
        Description d;
        d.error = why;
        return d;
    };
    if (xml.size() > kMaxDescriptionBytes)
        return refused(QStringLiteral("longer than %1 bytes").arg(kMaxDescriptionBytes));
    QXmlStreamReader reader(xml);
    Description d;
    int depth = 0;
    int deviceDepth = -1; // the root device's element depth once inside it
    QString field;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return refused(QStringLiteral("it holds a DTD"));
        case QXmlStreamReader::StartElement:
            if (++depth > kMaxDepth)
                return refused(QStringLiteral("nested deeper than %1").arg(kMaxDepth));
            if (deviceDepth < 0 && reader.name() == QLatin1String("device") && depth == 2)
                deviceDepth = depth;
            field = deviceDepth > 0 && depth == deviceDepth + 1 ? reader.name().toString() : QString();
            break;
        case QXmlStreamReader::EndElement:
            if (depth == deviceDepth)
                return d; // the root device is read; the devices nested in it are its parts
            --depth;
            field.clear();
            break;
        case QXmlStreamReader::Characters: {
            QString* target = field == QLatin1String("deviceType") ? &d.deviceType
                : field == QLatin1String("friendlyName")           ? &d.friendlyName
                : field == QLatin1String("manufacturer")           ? &d.manufacturer
                : field == QLatin1String("modelName")              ? &d.modelName
                                                                   : nullptr;
            if (target && target->size() < 256)
                *target += reader.text().left(256 - target->size()).toString();
            break;
        }
        default:
            break;
        }
    }
    if (reader.hasError())
        return refused(QStringLiteral("no well-formed XML (%1)").arg(reader.errorString()));
    if (deviceDepth < 0)
        return refused(QStringLiteral("no root device"));
    return d;
}

Clue clueOf(const Description& d)
{
    const QString kind = d.deviceType.section(QLatin1Char(':'), -2, -2);
    const auto says = [&d](const char* word) {
        const QRegularExpression whole(
            QStringLiteral("\\b%1\\b").arg(QLatin1String(word)), QRegularExpression::CaseInsensitiveOption);
        return d.friendlyName.contains(whole) || d.modelName.contains(whole) || d.deviceType.contains(whole);
    };
    Clue c;
    c.source = FactSource::Upnp;
    if (kind == QLatin1String("MediaRenderer"))
        c.type = says("TV") || says("Television") ? DeviceType::Tv : DeviceType::Speaker;
    else if (kind == QLatin1String("InternetGatewayDevice") || kind == QLatin1String("WANDevice")
        || kind == QLatin1String("WANConnectionDevice"))
        c.type = DeviceType::Router;
    else if (kind == QLatin1String("Printer"))
        c.type = DeviceType::Printer;
    else if (kind == QLatin1String("MediaServer"))
        c.type = says("TV") ? DeviceType::Tv : DeviceType::Nas;
    else if (kind == QLatin1String("DigitalSecurityCamera"))
        c.type = DeviceType::Camera;
    else if (kind == QLatin1String("WLANAccessPointDevice"))
        c.type = DeviceType::Network;
    else if (kind == QLatin1String("dial") || d.deviceType.contains(QLatin1String("dial-multiscreen")))
        c.type = DeviceType::Tv;
    const QString maker = d.manufacturer.simplified();
    const QString model = d.modelName.simplified();
    // "Sonos, Inc." and "Sonos Play:1": the model already names its maker.
    const QString makerWord = maker.section(QRegularExpression(QStringLiteral("[^\\w]")), 0, 0);
    c.model = model.isEmpty() || maker.isEmpty() || model.startsWith(makerWord, Qt::CaseInsensitive)
        ? model
        : maker + QLatin1Char(' ') + model;
    if (c.isEmpty())
        c.source = FactSource::None;
    return c;
}

} // namespace UpnpClues
