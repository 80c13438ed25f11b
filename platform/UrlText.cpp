#include "platform/UrlText.h"

namespace UrlText {

QString origin(const QUrl& url)
{
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return QStringLiteral("(no URL)");
    const QString scheme = url.scheme().toLower();
    const int standard = scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1;
    const int port = url.port(standard);
    // The host as QUrl keeps it: lower case, IPv6 in brackets, no user part; a bad one made the URL invalid.
    const QString host = url.host(QUrl::EncodeUnicode);
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return port < 0 ? scheme + QLatin1String("://") + shown : QStringLiteral("%1://%2:%3").arg(scheme, shown).arg(port);
}

QString origin(const QString& text)
{
    return origin(QUrl(text.trimmed(), QUrl::StrictMode));
}

} // namespace UrlText
