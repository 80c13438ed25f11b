#include "web/WebServer.h"

#include "platform/DebugSink.h"
#include "store/DeviceEvent.h"

#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTcpSocket>
#include <QWebSocket>

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Error";
    }
}

QByteArray methodText(QHttpServerRequest::Method method)
{
    using M = QHttpServerRequest::Method;
    switch (method) {
    case M::Get:
        return "GET";
    case M::Post:
        return "POST";
    case M::Head:
        return "HEAD";
    case M::Put:
        return "PUT";
    case M::Delete:
        return "DELETE";
    case M::Options:
        return "OPTIONS";
    case M::Patch:
        return "PATCH";
    default:
        return "OTHER";
    }
}

// The headers every answer carries: nothing the page loads may come from another host, nothing is cached, no
// other site may frame it or read it.
const QByteArray kCommonHeaders = "Cache-Control: no-store\r\n"
                                  "X-Content-Type-Options: nosniff\r\n"
                                  "Content-Security-Policy: default-src 'self'\r\n"
                                  "Referrer-Policy: no-referrer\r\n"
                                  "X-Frame-Options: DENY\r\n";

} // namespace

WebServer::WebServer(Options options, QObject* parent)
    : QAbstractHttpServer(parent)
    , m_options(std::move(options))
    , m_listener(new WebListener(m_options.limits, this))
{
    if (m_options.tls)
        m_listener->setTls(*m_options.tls);
    if (m_options.host)
        m_files = std::make_unique<WebFiles>(m_options.files);
    // A stream's keep-alive comes well inside the listener's deadline, which it restarts.
    m_heartbeat.setInterval(std::max(100, m_options.limits.deadlineMs / 2));
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { broadcast(": keep-alive\n\n"); });
    // The library takes WebSocket upgrades by itself; the monitor speaks none, so each goes at once.
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (hasPendingWebSocketConnections())
            nextPendingWebSocketConnection()->abort();
    });
    m_startId = QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    m_logWindow.start();
}

WebServer::~WebServer() = default;

QString WebServer::listen(const WebEndpoint& where)
{
    if (!m_listener->listen(where.address, where.port)) {
        if (m_listener->serverError() == QAbstractSocket::AddressInUseError)
            return QStringLiteral("%1 is in use").arg(where.text());
        return QStringLiteral("%1 cannot be used: %2").arg(where.text(), m_listener->errorString());
    }
    if (m_options.host)
        m_api = std::make_unique<WebApi>(*m_options.host, m_options.token, where.address.isLoopback());
    bind(m_listener);
    return {};
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    send(socket, WebApi::error(404, QStringLiteral("no such page")), false);
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QByteArray method = methodText(request.method());
    const QString path = request.url().path();
    qsizetype headBytes = 0;
    WebRequest asked {method, path, {}, {}, false, {}};
    asked.query = request.url().query(QUrl::FullyEncoded);
    for (const auto& [name, value] : request.headers()) {
        headBytes += name.size() + value.size() + 4;
        if (name.compare("authorization", Qt::CaseInsensitive) == 0)
            asked.authorization = value;
        if (name.compare("host", Qt::CaseInsensitive) == 0)
            asked.host = value;
        for (const char* proxied : {"forwarded", "x-forwarded-for", "x-real-ip"})
            asked.forwarded = asked.forwarded || name.compare(proxied, Qt::CaseInsensitive) == 0;
    }
    const bool reads = m_api && (m_api->readsOpenTo(asked) || m_api->authorized(asked.authorization));
    WebReply reply;
    if (headBytes > MaxHeadBytes) {
        reply = WebApi::error(431, QStringLiteral("the request's headers are longer than %1 bytes").arg(MaxHeadBytes));
    } else if (path == QLatin1String("/metrics") && m_options.metrics) {
        if (method != "GET") {
            reply = WebApi::error(405, QStringLiteral("GET only"));
            reply.allow = "GET";
        } else if (m_api && !reads) {
            reply = WebApi::error(401, QStringLiteral("this needs the web token (Authorization: Bearer TOKEN)"));
        } else {
            reply.type = "text/plain; version=0.0.4; charset=utf-8";
            reply.body = m_options.metrics();
        }
    } else if (!m_api) {
        reply = WebApi::error(404, QStringLiteral("not found; the figures are at /metrics"));
    } else if (path == QLatin1String("/api/events")) {
        if (method == "GET" && reads) {
            openStream(socket);
            return true;
        }
        reply = WebApi::error(method == "GET" ? 401 : 405, QStringLiteral("the events need GET and, here, the token"));
    } else if (path.startsWith(QLatin1String("/api/"))) {
        asked.body = request.body();
        reply = m_api->handle(asked);
    } else if (const WebFiles::File* file = m_files->find(path); file && method == "GET") {
        reply.type = file->type;
        reply.body = file->body;
    } else {
        reply = WebApi::error(file ? 405 : 404, file ? QStringLiteral("GET only") : QStringLiteral("no such page"));
    }
    if (reply.status >= 400 || method != "GET")
        logRefusal(method, path, reply.status, *socket);
    send(socket, reply, reply.status < 400);
    return true;
}

void WebServer::send(QTcpSocket* socket, const WebReply& reply, bool keepAlive)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) + "\r\n"
        + "Content-Type: " + reply.type + "\r\nContent-Length: " + QByteArray::number(reply.body.size()) + "\r\n"
        + kCommonHeaders;
    if (reply.status == 401)
        head += "WWW-Authenticate: Bearer\r\n";
    if (!reply.allow.isEmpty())
        head += "Allow: " + reply.allow + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket->write(head + reply.body);
    // A refused request's connection goes: whatever else it carries is not read.
    if (!keepAlive)
        socket->disconnectFromHost();
}

void WebServer::openStream(QTcpSocket* socket)
{
    // Each stream starts by naming this run of the monitor: a page that sees another name after reconnecting
    // knows the monitor restarted and reads the devices again.
    // A reverse proxy such as nginx passes the stream on at once when told so.
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nX-Accel-Buffering: no\r\n" + kCommonHeaders
        + "Connection: close\r\n\r\nretry: 2000\nevent: hello\ndata: {\"run\":\"" + m_startId + "\"}\n\n");
    // Events are small and must not wait for an acknowledgement of the one before (Nagle's delay).
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_streams.append(QPointer<QTcpSocket>(socket));
    if (!m_heartbeat.isActive())
        m_heartbeat.start();
}

void WebServer::deviceEvent(const DeviceEvent& event)
{
    if (!m_api)
        return;
    const QJsonObject object = m_api->eventObject(event);
    m_api->remember(object);
    if (m_streams.isEmpty())
        return;
    broadcast("id: " + QByteArray::number(++m_eventId)
        + "\nevent: device\ndata: " + QJsonDocument(object).toJson(QJsonDocument::Compact) + "\n\n");
}

void WebServer::broadcast(const QByteArray& text)
{
    m_streams.removeIf(
        [](const QPointer<QTcpSocket>& s) { return !s || s->state() != QAbstractSocket::ConnectedState; });
    for (const QPointer<QTcpSocket>& socket : std::as_const(m_streams)) {
        // A page that stopped reading is let go rather than buffered for.
        if (socket->bytesToWrite() > MaxStreamBacklog) {
            Log(kwWeb,
                QStringLiteral("Web - dropped an event stream to %1 that stopped reading")
                    .arg(socket->peerAddress().toString()));
            socket->abort();
            continue;
        }
        socket->write(text);
    }
    if (m_streams.isEmpty())
        m_heartbeat.stop();
}

void WebServer::logRefusal(const QByteArray& method, const QString& path, int status, const QTcpSocket& socket)
{
    // A flood of bad requests makes twenty lines a minute, not one each.
    if (m_logWindow.elapsed() > 60000) {
        m_logWindow.restart();
        m_logged = 0;
    }
    if (++m_logged > 20)
        return;
    Log(kwWeb,
        QStringLiteral("Web - %1 %2 %3 from %4")
            .arg(QLatin1String(method.left(8)), WebApi::loggedPath(path))
            .arg(status)
            .arg(socket.peerAddress().toString()));
}
