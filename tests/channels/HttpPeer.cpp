#include "HttpPeer.h"

#include <QJsonDocument>
#include <QRegularExpression>

bool HttpPeer::start(const QStringList& arguments, const QString& netns, const QString& host)
{
    QStringList command {QStringLiteral("/usr/bin/python3"), QStringLiteral(KW_HTTP_PEER)};
    command << arguments;
    if (!host.isEmpty())
        command << QStringLiteral("--host") << host;
    if (netns.isEmpty())
        m_process.start(command.first(), command.mid(1));
    else
        m_process.start(QStringLiteral("ip"), QStringList {"netns", "exec", netns} + command);
    const QString port = m_process.waitForLine(QRegularExpression(QStringLiteral("^PORT ")), 0, 15000);
    m_port = quint16(port.mid(5).toUInt());
    return m_port != 0;
}

QString HttpPeer::url(const QString& scheme, const QString& host, const QString& path) const
{
    return QStringLiteral("%1://%2:%3%4").arg(scheme, host).arg(m_port).arg(path);
}

QList<QJsonObject> HttpPeer::requests() const
{
    QList<QJsonObject> out;
    for (const QString& line : m_process.lines()) {
        if (line.startsWith(QLatin1String("REQ ")))
            out << QJsonDocument::fromJson(line.mid(4).toUtf8()).object();
    }
    return out;
}

bool HttpPeer::waitForRequest(qsizetype cursor, int timeoutMs)
{
    return !m_process.waitForLine(QRegularExpression(QStringLiteral("^REQ ")), cursor, timeoutMs).isEmpty();
}
