#pragma once

#include "helper/HelperProtocol.h"
#include "platform/NetPlatform.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QTimer>

class DescriptionFetch;
class DeviceNameQueries;
class DiscoverySockets;
class HelperClient;
class QHostInfo;
struct ifaddrs;
struct nl_sock;
struct rtnl_neigh;

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

// The Linux network services. What needs privileges (the raw ICMP socket's echo requests, deleting neighbour
// rows, listening for ARP) is done by the helper program kestrelwatch-helper, a child spoken to over a pipe
// (HelperClient); this process holds no capability. getifaddrs and rtnetlink (libnl) read adapters, routes and the
// neighbour table here, and QHostInfo makes reverse lookups. One rtnetlink socket lives as long as the object.
class LinuxNetPlatform final : public NetPlatform
{
public:
    // helperProgram empty: the helper beside this executable or in the installed libexec folder.
    explicit LinuxNetPlatform(QString helperProgram = {});
    ~LinuxNetPlatform() override;
    Q_DISABLE_COPY_MOVE(LinuxNetPlatform)

    // Starts the helper (once: waits for its first answer) and reports whether its raw socket is open.
    bool openIcmpSocket() override;
    bool icmpSocketOpen() const override;
    void sendEchoBatch(const QList<quint32>& addresses) override;
    void closeIcmpSocket() override;
    QString privilegeProblem() const override { return m_privilegeProblem; }

    std::optional<QList<AdapterInfo>> adapters() override;
    std::optional<QList<NeighbourRow>> neighbours() override;
    std::optional<QList<Neighbour6Row>> neighbours6() override;
    void deleteNeighbour(const NeighbourRow& row) override;

    int lookupAddress(const QString& ip, LookupDone done) override;
    void cancelLookup(int handle) override;
    int askDeviceName(NameQuery query, const QString& ip, NameQueryDone done) override;
    void cancelDeviceName(int handle) override;
    bool listenDiscovery(const QList<int>& ifindexes) override;
    void searchSsdp() override;
    int askMdns(const QString& ip, const QByteArray& query, const DatagramDone& done) override;
    void cancelMdns(int handle) override { cancelDeviceName(handle); }
    int fetchDescription(const QString& url, qsizetype maxBytes, int timeoutMs, const FetchDone& done) override;

    // Counters of the helper's answers since it started, for diagnostics and the namespace tests.
    struct SendCounts
    {
        quint64 sent = 0;
        quint64 failed = 0;
        quint64 bufferFull = 0; // the send buffer was full (a raw socket says ENOBUFS, not EAGAIN)
        quint64 refused = 0; // targets the helper refused: outside the connected ranges, or over its rate
        quint64 deleted = 0; // neighbour rows deleted
        quint64 deleteRefused = 0; // rows the helper would not delete (outside the ranges, static or no-ARP)
        int lastError = 0;
        QMap<int, quint64> byErrno;
    };
    SendCounts sendCounts() const { return m_sendCounts; }
    Tally tally() const override { return m_tally; }
    // The kernel's send buffer size of the helper's ICMP socket, -1 when it is not open.
    int sendBufferBytes() const;
    // Hands queued deletions to the helper now and waits for its answers to everything (tests, benchmarks).
    bool flushToHelper(int timeoutMs = 2000);
    // The helper's process id, 0 when it does not run.
    qint64 helperPid() const;
    // The default routes of the main table, in dump order; nullopt when they cannot be read.
    std::optional<QList<DefaultRouteHop>> defaultRoutes();

private:
    void scheduleFlush();
    void flushRequests();
    void helperReply(const helperproto::Reply& reply);
    void echoResult(const helperproto::EchoOutcome& o);
    void deleteResult(const helperproto::DeleteOutcome& o);
    void setProblemFromHelper();
    void listenForArp();
    void listenForDhcp();
    void helperGone();
    void restartHelper();
    void arpHeard(const helperproto::Reply& reply);
    void dhcpHeard(const helperproto::Reply& reply);
    void dhcpOptionsHeard(const helperproto::Reply& reply);

    nl_sock* route();
    // One neighbour dump of an address family, retried when the table changed meanwhile; 0 or a libnl error.
    // each gets nullptr as an attempt starts (drop what an interrupted one gave), then every neighbour.
    int dumpNeighbours(int family, const std::function<void(rtnl_neigh*)>& each);
    template<typename Row> std::optional<QList<Row>> readTable(int family, QString& lastError, const QString& name);
    void dropRoute();
    void logOnce(QString& last, const QString& text);
    void deliverLookup(int handle, const QHostInfo& info);

    QString m_helperProgram;
    std::unique_ptr<HelperClient> m_helper;
    QElapsedTimer m_helperUp; // since the helper last started; invalid while it is not running
    int m_quickEnds = 0; // helpers in a row that ended within a minute of their start
    QTimer m_restartTimer;
    QList<NeighbourRow> m_pendingDeletes;
    bool m_flushScheduled = false;
    QString m_privilegeProblem;
    std::uint32_t m_listenSeq = 0; // the ListenArp request, until its answer
    std::uint32_t m_listenDhcpSeq = 0; // the ListenDhcp request, until its answer
    SendCounts m_sendCounts;
    Tally m_tally; // never reset, unlike m_sendCounts
    nl_sock* m_route = nullptr;
    QString m_lastAdapterError;
    QString m_lastNeighbourError;
    QString m_lastNeighbour6Error;
    std::unique_ptr<QObject> m_lookupContext;
    struct PendingLookup
    {
        QString ip;
        LookupDone done;
    };
    QHash<int, PendingLookup> m_lookups;
    std::unique_ptr<DeviceNameQueries> m_nameQueries;
    std::unique_ptr<DiscoverySockets> m_discovery; // from the first listenDiscovery
    std::unique_ptr<DescriptionFetch> m_fetch; // from the first fetchDescription
};
