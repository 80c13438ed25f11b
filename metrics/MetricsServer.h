#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <functional>
#include <optional>

class QTcpSocket;

// A tiny HTTP responder for Prometheus: GET /metrics answers with the exposition text, anything else with an
// error status; one request per connection. A request is read up to its blank line and refused past
// MaxRequestBytes or after TimeoutMs, so a slow or endless client holds nothing for long.
class MetricsServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsServer)

public:
    static constexpr qsizetype MaxRequestBytes = 8192;
    static constexpr int MaxClients = 16;
    static constexpr int TimeoutMs = 5000;
    struct Endpoint
    {
        QHostAddress address;
        quint16 port = 0;
    };

    explicit MetricsServer(std::function<QByteArray()> render, QObject* parent = nullptr);
    ~MetricsServer() override;

    // "ADDRESS:PORT", "[v6]:PORT", "localhost:PORT" (a loopback name, read without a lookup), or a bare PORT
    // (on 127.0.0.1: loopback unless told otherwise); nullopt when the text is none of them.
    static std::optional<Endpoint> parseEndpoint(const QString& text);
    // Starts listening; an empty text, or what went wrong ("127.0.0.1:9464 is in use").
    QString listen(const Endpoint& where);
    quint16 port() const { return m_server.serverPort(); }

    // The answer to one request head (pure, so the tests call it): status line, headers and body.
    static QByteArray respond(const QByteArray& head, const std::function<QByteArray()>& render);

private:
    void accept();
    void readFrom(QTcpSocket* socket);

    std::function<QByteArray()> m_render;
    QTcpServer m_server;
    int m_clients = 0;
};
