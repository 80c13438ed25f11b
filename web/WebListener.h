#pragma once

#include <QHash>
#include <QSslConfiguration>
#include <QTcpServer>
#include <memory>
#include <optional>

class QTcpSocket;

// The listening socket under the HTTP server, holding the doors the library leaves open: at most PerPeer
// connections from one peer and Total in all, each request read within DeadlineMs of the connection's last
// answer (or its start) and at most MaxRequestBytes long. A connection that breaks a bound is closed with one
// log line. On loopback the peer is the local user who owns the other end, so one user's sockets cannot crowd
// out another's scraper. With a TLS configuration every connection is encrypted before the library sees it.
class WebListener final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebListener)

public:
    struct Limits
    {
        int perPeer = 16;
        int total = 96;
        int deadlineMs = 10000;
        qint64 maxRequestBytes = qint64(64) * 1024;
    };

    explicit WebListener(Limits limits, QObject* parent = nullptr);
    ~WebListener() override;

    void setTls(const QSslConfiguration& tls) { m_tls = tls; }
    const Limits& limits() const { return m_limits; }
    int connections() const { return m_total; }

    // The owner of a loopback peer's socket, from the kernel's table of TCP sockets (/proc/net/tcp and tcp6):
    // the uid whose socket has local port peerPort and remote port ourPort; nullopt when none is found.
    static std::optional<uint> loopbackOwner(quint16 peerPort, quint16 ourPort);
    // The uid column of the table row whose local and remote ports are these, from one table's text.
    static std::optional<uint> ownerInTable(const QByteArray& table, quint16 localPort, quint16 remotePort);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    static QString peerKey(const QTcpSocket& socket);
    void admit(QTcpSocket* socket, const QString& peer);
    void guard(QTcpSocket* socket) const;

    class Notes;
    Limits m_limits;
    std::shared_ptr<Notes> m_notes; // shared with the sockets' handlers, which may outlive the listener
    std::optional<QSslConfiguration> m_tls;
    QHash<QString, int> m_perPeer;
    int m_total = 0;
};
