#include "web/WebListener.h"

#include "platform/DebugSink.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSslSocket>
#include <QTimer>

#include <unistd.h>

namespace {

// A peer as the log shows it: its address only (never a port that would make every line unique).
QString shownPeer(const QTcpSocket& socket)
{
    return socket.peerAddress().toString();
}

} // namespace

// A flood of refused connections makes twenty lines a minute and then one that says how many went unsaid.
class WebListener::Notes
{
public:
    void say(const QString& line)
    {
        if (!m_window.isValid() || m_window.elapsed() > 60000) {
            if (m_unsaid > 0)
                Log(kwWeb, QStringLiteral("Web - %1 more such lines in the last minute were left out").arg(m_unsaid));
            m_window.start();
            m_said = 0;
            m_unsaid = 0;
        }
        if (++m_said <= 20)
            Log(kwWeb, line);
        else
            ++m_unsaid;
    }

private:
    QElapsedTimer m_window;
    int m_said = 0;
    int m_unsaid = 0;
};

WebListener::WebListener(Limits limits, QObject* parent)
    : QTcpServer(parent)
    , m_limits(limits)
    , m_notes(std::make_shared<Notes>())
{
    setMaxPendingConnections(m_limits.total);
}

WebListener::~WebListener()
{
    // The sockets are the library's children by now; their ends must not count down into a dead listener.
    for (QTcpSocket* socket : findChildren<QTcpSocket*>())
        QObject::disconnect(socket, nullptr, this, nullptr);
}

std::optional<uint> WebListener::ownerInTable(const QByteArray& table, quint16 localPort, quint16 remotePort)
{
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid ..."
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 8 || !f[0].endsWith(':'))
            continue;
        const auto port = [](const QByteArray& address) {
            bool ok = false;
            const uint value = address.mid(address.indexOf(':') + 1).toUInt(&ok, 16);
            return ok && address.contains(':') ? int(value) : -1;
        };
        bool ok = false;
        const uint uid = f[7].toUInt(&ok);
        if (ok && port(f[1]) == localPort && port(f[2]) == remotePort)
            return uid;
    }
    return std::nullopt;
}

std::optional<uint> WebListener::loopbackOwner(quint16 peerPort, quint16 ourPort)
{
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (const auto uid = ownerInTable(file.readAll(), peerPort, ourPort))
            return uid;
    }
    return std::nullopt;
}

QString WebListener::peerKey(const QTcpSocket& socket)
{
    const QHostAddress peer = socket.peerAddress();
    if (!peer.isLoopback())
        return peer.toString();
    const auto uid = loopbackOwner(socket.peerPort(), socket.localPort());
    return uid ? QStringLiteral("uid %1").arg(*uid) : peer.toString();
}

void WebListener::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(int(descriptor));
        delete socket;
        return;
    }
    const QString peer = peerKey(*socket);
    if (m_total >= m_limits.total || m_perPeer.value(peer) >= m_limits.perPeer) {
        m_notes->say(QStringLiteral("Web - refused a connection from %1: %2")
                         .arg(shownPeer(*socket),
                             m_total >= m_limits.total ? QStringLiteral("%1 connections are open").arg(m_total)
                                                       : QStringLiteral("it has %1 open").arg(m_limits.perPeer)));
        socket->abort();
        delete socket;
        return;
    }
    admit(socket, peer);
    guard(socket);
    auto* tls = qobject_cast<QSslSocket*>(socket);
    if (!tls) {
        addPendingConnection(socket);
        return;
    }
    tls->setSslConfiguration(*m_tls);
    connect(tls, &QSslSocket::encrypted, this, [this, tls] { addPendingConnection(tls); });
    connect(tls, &QSslSocket::sslErrors, tls, [tls, notes = m_notes] {
        notes->say(QStringLiteral("Web - a TLS handshake from %1 failed").arg(shownPeer(*tls)));
        tls->abort();
    });
    tls->startServerEncryption();
}

void WebListener::admit(QTcpSocket* socket, const QString& peer)
{
    ++m_total;
    ++m_perPeer[peer];
    connect(socket, &QObject::destroyed, this, [this, peer] {
        --m_total;
        if (--m_perPeer[peer] <= 0)
            m_perPeer.remove(peer);
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void WebListener::guard(QTcpSocket* socket) const
{
    // Counted before the library reads: this slot is connected first, so bytesAvailable() is what just came.
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    deadline->setInterval(m_limits.deadlineMs);
    auto received = std::make_shared<qint64>(0);
    const qint64 most = m_limits.maxRequestBytes;
    connect(deadline, &QTimer::timeout, socket, [socket, notes = m_notes] {
        notes->say(
            QStringLiteral("Web - closed a connection from %1: no whole request in time").arg(shownPeer(*socket)));
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::readyRead, socket, [socket, received, most, notes = m_notes] {
        *received += socket->bytesAvailable();
        if (*received <= most)
            return;
        notes->say(QStringLiteral("Web - closed a connection from %1: a request longer than %2 bytes")
                       .arg(shownPeer(*socket))
                       .arg(most));
        socket->abort();
        socket->deleteLater();
    });
    // An answer (or a stream's keep-alive) opens the time for the next request.
    connect(socket, &QTcpSocket::bytesWritten, socket, [deadline, received] {
        *received = 0;
        deadline->start();
    });
    deadline->start();
}
