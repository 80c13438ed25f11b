#pragma once

#include "platform/NetPlatform.h"

#include <QHash>
#include <QMap>
#include <QObject>

class QHostInfo;
struct ifaddrs;
struct nl_sock;

// One default route's next hop: the interface it leaves by and its gateway text.
struct DefaultRouteHop
{
    int ifindex = 0;
    QString gateway;
};

// ARPHRD_* value of an interface to the adapter type numbers the engine knows.
int adapterTypeFromArphrd(int arphrd);
// NUD_* state bits of a neighbour row to its type byte.
quint8 neighbourTypeFromState(int nudState);
// The adapter list out of a getifaddrs list and the default routes; pure, so tests feed it a built list.
QList<AdapterInfo> adaptersFromIfaddrs(const ifaddrs* list, const QList<DefaultRouteHop>& routes);

// The Linux network services: a raw ICMP socket, getifaddrs and rtnetlink (libnl) for adapters, routes and
// the neighbour table, QHostInfo for reverse lookups. One rtnetlink socket lives as long as the object.
class LinuxNetPlatform final : public NetPlatform
{
public:
    LinuxNetPlatform();
    ~LinuxNetPlatform() override;
    Q_DISABLE_COPY_MOVE(LinuxNetPlatform)

    bool openIcmpSocket() override;
    bool icmpSocketOpen() const override { return m_icmp >= 0; }
    void setSocketBuffers(int bytes) override;
    bool setNonBlocking() override;
    void sendEcho(const QByteArray& packet, quint32 addrNetworkOrder) override;
    void closeIcmpSocket() override;

    std::optional<QList<AdapterInfo>> adapters() override;
    std::optional<QList<NeighbourRow>> neighbours() override;
    void deleteNeighbour(const NeighbourRow& row) override;

    int lookupAddress(const QString& ip, LookupDone done) override;
    void cancelLookup(int handle) override;

    // Counters of sendEcho since the socket was opened, for diagnostics and the namespace tests.
    struct SendCounts
    {
        quint64 sent = 0;
        quint64 failed = 0;
        quint64 bufferFull = 0; // the send buffer was full (a raw socket says ENOBUFS, not EAGAIN)
        int lastError = 0;
        QMap<int, quint64> byErrno;
    };
    SendCounts sendCounts() const { return m_sendCounts; }
    int icmpDescriptor() const { return m_icmp; } // -1 when closed
    // The kernel's send buffer size of the ICMP socket (twice the requested value, capped), -1 when closed.
    int sendBufferBytes() const;
    // The default routes of the main table, in dump order; nullopt when they cannot be read.
    std::optional<QList<DefaultRouteHop>> defaultRoutes();

private:
    nl_sock* route();
    void dropRoute();
    void logOnce(QString& last, const QString& text);
    void deliverLookup(int handle, const QHostInfo& info);

    int m_icmp = -1;
    SendCounts m_sendCounts;
    nl_sock* m_route = nullptr;
    QString m_lastAdapterError;
    QString m_lastNeighbourError;
    std::unique_ptr<QObject> m_lookupContext;
    struct PendingLookup
    {
        QString ip;
        LookupDone done;
    };
    QHash<int, PendingLookup> m_lookups;
};
