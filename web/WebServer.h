#pragma once

#include "web/WebApi.h"
#include "web/WebEndpoint.h"
#include "web/WebFiles.h"
#include "web/WebListener.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

struct DeviceEvent;

// The monitor's HTTP server: Qt HttpServer parses each request, on a WebListener that bounds connections and
// time. It serves /metrics when given the figures, and with a host the web page (its files), the API (WebApi)
// and the live events (GET /api/events, Server-Sent Events). Answers carry a Content-Security-Policy of
// "default-src 'self'", no cookie and no CORS header. A log line names a refused request by its route, never by
// a MAC or a name.
class WebServer final : public QAbstractHttpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebServer)

public:
    static constexpr qsizetype MaxHeadBytes = 8192;
    static constexpr qint64 MaxStreamBacklog = qint64(256) * 1024;

    struct Options
    {
        std::function<QByteArray()> metrics; // serves /metrics when set
        WebHost* host = nullptr; // serves the page and the API when set
        QByteArray token;
        QString files; // the page's folder
        WebListener::Limits limits;
        std::optional<QSslConfiguration> tls;
    };

    explicit WebServer(Options options, QObject* parent = nullptr);
    ~WebServer() override;

    // Starts listening; an empty text, or what went wrong ("127.0.0.1:9464 is in use").
    QString listen(const WebEndpoint& where);
    quint16 port() const { return m_listener->serverPort(); }
    int streams() const { return int(m_streams.size()); }
    WebListener& listener() { return *m_listener; }

    // A device event goes to every open stream.
    void deviceEvent(const DeviceEvent& event);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    static void send(QTcpSocket* socket, const WebReply& reply, bool keepAlive);
    void openStream(QTcpSocket* socket);
    void broadcast(const QByteArray& text);
    void logRefusal(const QByteArray& method, const QString& path, int status, const QTcpSocket& socket);

    Options m_options;
    WebListener* m_listener;
    std::unique_ptr<WebApi> m_api;
    std::unique_ptr<WebFiles> m_files;
    QList<QPointer<QTcpSocket>> m_streams;
    QTimer m_heartbeat;
    QElapsedTimer m_logWindow;
    int m_logged = 0;
    quint64 m_eventId = 0;
    QByteArray m_startId;
};
