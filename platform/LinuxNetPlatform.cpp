// The raw ICMP socket and the reverse lookups of the Linux network layer; adapters are in LinuxAdapters.cpp,
// the rtnetlink work (routes, neighbour table) in LinuxNetlink.cpp.

#include "platform/LinuxNetPlatform.h"
#include "platform/DebugSink.h"

#include <QHostAddress>
#include <QHostInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/icmp.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool isDottedQuad(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        if (p.isEmpty() || p.size() > 3 || p.toUInt(&ok) > 255 || !ok)
            return false;
        for (const QChar c : p) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
    }
    return true;
}

} // namespace

LinuxNetPlatform::LinuxNetPlatform()
    : m_lookupContext(new QObject)
{ }

LinuxNetPlatform::~LinuxNetPlatform()
{
    for (auto it = m_lookups.cbegin(); it != m_lookups.cend(); ++it)
        QHostInfo::abortHostLookup(it.key());
    m_lookups.clear();
    // Results already queued for the context die with it.
    m_lookupContext.reset();
    closeIcmpSocket();
    dropRoute();
}

std::unique_ptr<NetPlatform> createLinuxNetPlatform()
{
    return std::make_unique<LinuxNetPlatform>();
}

bool LinuxNetPlatform::openIcmpSocket()
{
    if (m_icmp >= 0)
        return true;
    m_icmp = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (m_icmp < 0) {
        const int err = errno;
        Log(QStringLiteral("NetPlatform - raw ICMP socket: %1%2")
                .arg(errnoText(err), err == EPERM ? QStringLiteral(" (the program needs cap_net_raw)") : QString()));
        return false;
    }
    m_sendCounts = {};
    // Replies are never read; without the filter they would only fill the receive buffer.
    icmp_filter dropAll {};
    dropAll.data = ~0U;
    ::setsockopt(m_icmp, SOL_RAW, ICMP_FILTER, &dropAll, sizeof dropAll);
    // Non-blocking from the start (and MSG_DONTWAIT on every send): the GUI thread never waits on this
    // socket. An echo to an unresolved address waits in the kernel's neighbour queue for about 3 s and holds
    // send-buffer space meanwhile; once that is used up the kernel refuses further echoes (ENOBUFS).
    setNonBlocking();
    return true;
}

void LinuxNetPlatform::setSocketBuffers(int bytes)
{
    if (m_icmp < 0)
        return;
    ::setsockopt(m_icmp, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    ::setsockopt(m_icmp, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int LinuxNetPlatform::sendBufferBytes() const
{
    if (m_icmp < 0)
        return -1;
    int bytes = 0;
    socklen_t len = sizeof bytes;
    if (::getsockopt(m_icmp, SOL_SOCKET, SO_SNDBUF, &bytes, &len) != 0)
        return -1;
    return bytes;
}

bool LinuxNetPlatform::setNonBlocking()
{
    if (m_icmp < 0)
        return false;
    const int flags = ::fcntl(m_icmp, F_GETFL);
    if (flags < 0)
        return false;
    return (flags & O_NONBLOCK) || ::fcntl(m_icmp, F_SETFL, flags | O_NONBLOCK) == 0;
}

void LinuxNetPlatform::sendEcho(const QByteArray& packet, quint32 addrNetworkOrder)
{
    if (m_icmp < 0)
        return;
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addrNetworkOrder;
    // MSG_DONTWAIT as well as O_NONBLOCK: this call must never wait, whatever the file flags say.
    const ssize_t n = ::sendto(m_icmp, packet.constData(), size_t(packet.size()), MSG_DONTWAIT,
        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n >= 0) {
        ++m_sendCounts.sent;
        return;
    }
    const int err = errno;
    ++m_sendCounts.failed;
    m_sendCounts.lastError = err;
    ++m_sendCounts.byErrno[err];
    if (err == ENOBUFS || err == EAGAIN || err == EWOULDBLOCK)
        ++m_sendCounts.bufferFull;
}

void LinuxNetPlatform::closeIcmpSocket()
{
    if (m_icmp < 0)
        return;
    ::close(m_icmp);
    m_icmp = -1;
}

int LinuxNetPlatform::lookupAddress(const QString& ip, LookupDone done)
{
    // Only dotted-quad texts: anything else would become a forward lookup and a query for a made-up name,
    // and the resolver's shorthand forms ("198.18.1" for 198.18.0.1) are not what the caller meant.
    QHostAddress address;
    if (!isDottedQuad(ip) || !address.setAddress(ip) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return 0;
    auto handle = std::make_shared<int>(0);
    const int id =
        QHostInfo::lookupHost(address.toString(), m_lookupContext.get(), [this, handle](const QHostInfo& info) {
            // One more trip through the event loop: the result never arrives inside lookupAddress, even from
            // Qt's cache, and a cancel made meanwhile still wins.
            QMetaObject::invokeMethod(
                m_lookupContext.get(), [this, handle, info] { deliverLookup(*handle, info); }, Qt::QueuedConnection);
        });
    if (id <= 0)
        return 0;
    *handle = id;
    m_lookups.insert(id, {address.toString(), std::move(done)});
    return id;
}

void LinuxNetPlatform::deliverLookup(int handle, const QHostInfo& info)
{
    const auto it = m_lookups.find(handle);
    if (it == m_lookups.end())
        return; // cancelled
    PendingLookup pending = std::move(*it);
    m_lookups.erase(it);

    int error = int(info.error());
    QString name;
    if (error == QHostInfo::NoError) {
        name = info.hostName();
        // Without a name the resolver hands back the address text itself.
        if (name.isEmpty() || name == pending.ip) {
            error = QHostInfo::HostNotFound;
            name.clear();
        }
    }
    pending.done(handle, error, name);
}

void LinuxNetPlatform::cancelLookup(int handle)
{
    if (m_lookups.remove(handle))
        QHostInfo::abortHostLookup(handle);
}

void LinuxNetPlatform::logOnce(QString& last, const QString& text)
{
    // A failure that repeats every sweep is logged once, until the operation succeeds again.
    if (text == last)
        return;
    last = text;
    if (!text.isEmpty())
        Log(text);
}
