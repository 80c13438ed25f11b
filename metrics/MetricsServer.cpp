#include "metrics/MetricsServer.h"

#include "platform/DebugSink.h"

#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reply(const QByteArray& status, const QByteArray& body, const QByteArray& type = "text/plain; charset=utf-8")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

MetricsServer::MetricsServer(std::function<QByteArray()> render, QObject* parent)
    : QObject(parent)
    , m_render(std::move(render))
{
    m_server.setMaxPendingConnections(MaxClients);
    connect(&m_server, &QTcpServer::newConnection, this, &MetricsServer::accept);
}

MetricsServer::~MetricsServer()
{
    // The sockets die with the server below; their ends must not count down here then.
    const QList<QTcpSocket*> sockets = m_server.findChildren<QTcpSocket*>();
    for (QTcpSocket* socket : sockets)
        QObject::disconnect(socket, nullptr, this, nullptr);
}

std::optional<MetricsServer::Endpoint> MetricsServer::parseEndpoint(const QString& text)
{
    QString host = QStringLiteral("127.0.0.1");
    QString portText = text;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        host = text.left(colon);
        portText = text.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    Endpoint where;
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    if (!where.address.setAddress(host)) {
        // A name serves only when it is the machine's own loopback name, known without a lookup: no name
        // server hears of it, and no name can point the responder at another interface.
        static const QStringList v4 {QStringLiteral("localhost"), QStringLiteral("localhost.localdomain"),
            QStringLiteral("localhost4"), QStringLiteral("localhost4.localdomain4")};
        static const QStringList v6 {QStringLiteral("ip6-localhost"), QStringLiteral("ip6-loopback"),
            QStringLiteral("localhost6"), QStringLiteral("localhost6.localdomain6")};
        if (v4.contains(host, Qt::CaseInsensitive))
            where.address = QHostAddress(QHostAddress::LocalHost);
        else if (v6.contains(host, Qt::CaseInsensitive))
            where.address = QHostAddress(QHostAddress::LocalHostIPv6);
        else
            return std::nullopt;
    }
    where.port = quint16(port);
    return where;
}

QString MetricsServer::listen(const Endpoint& where)
{
    if (m_server.listen(where.address, where.port))
        return {};
    const QString at = where.address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]:%2").arg(where.address.toString()).arg(where.port)
        : QStringLiteral("%1:%2").arg(where.address.toString()).arg(where.port);
    if (m_server.serverError() == QAbstractSocket::AddressInUseError)
        return QStringLiteral("%1 is in use").arg(at);
    return QStringLiteral("%1 cannot be used: %2").arg(at, m_server.errorString());
}

void MetricsServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_clients >= MaxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_clients;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this] { --m_clients; });
        QTimer::singleShot(TimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
    }
}

void MetricsServer::readFrom(QTcpSocket* socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    // Only the head matters: a GET has no body.
    const QByteArray head = socket->peek(MaxRequestBytes + 1);
    const bool complete = head.contains("\r\n\r\n") || head.contains("\n\n");
    if (!complete && head.size() <= MaxRequestBytes)
        return;
    socket->readAll();
    socket->setProperty("answered", true);
    socket->write(complete ? respond(head, m_render) : reply("431 Request Header Fields Too Large", "too large\n"));
    socket->disconnectFromHost();
}

QByteArray MetricsServer::respond(const QByteArray& head, const std::function<QByteArray()>& render)
{
    const QList<QByteArray> words = head.left(head.indexOf('\n')).trimmed().split(' ');
    if (words.size() != 3 || !words[2].startsWith("HTTP/1."))
        return reply("400 Bad Request", "bad request\n");
    if (words[0] != "GET")
        return reply("405 Method Not Allowed", "GET only\n");
    const QByteArray path = words[1].left(words[1].indexOf('?') < 0 ? words[1].size() : words[1].indexOf('?'));
    if (path != "/metrics")
        return reply("404 Not Found", "not found; the figures are at /metrics\n");
    return reply("200 OK", render(), "text/plain; version=0.0.4; charset=utf-8");
}
