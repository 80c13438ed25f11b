#include "web/WebEndpoint.h"

std::optional<WebEndpoint> WebEndpoint::parse(const QString& text)
{
    QString host = QStringLiteral("127.0.0.1");
    QString portText = text.trimmed();
    const qsizetype colon = portText.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        host = portText.left(colon);
        portText = portText.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        // The one name taken without a lookup: what every tool means by it.
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            host = QStringLiteral("127.0.0.1");
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    WebEndpoint where;
    if (!ok || port == 0 || port > 65535 || !where.address.setAddress(host))
        return std::nullopt;
    where.port = quint16(port);
    return where;
}

QString WebEndpoint::text() const
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]:%2").arg(address.toString()).arg(port)
        : QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}
