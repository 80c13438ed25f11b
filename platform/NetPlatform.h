#pragma once

#include "helper/Heard.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

// The operating-system services of the discovery engine: echo requests in batches, the adapter list with
// gateways, the kernel's IPv4 neighbour (ARP) table, and asynchronous reverse name lookups. One Linux
// implementation (createLinuxNetPlatform, LinuxNetPlatform.h) and a scripted fake for the tests
// (tests/support/FakeNetPlatform.h). Every call is made on the GUI thread and none of them blocks it.

struct AdapterAddress
{
    QString ip; // dotted decimal
    QString mask; // dotted decimal
};

struct AdapterInfo
{
    int index = 0; // interface index
    QString name; // interface name, e.g. "eth0"
    int type = 1; // 6 Ethernet, 9 TokenRing, 15 FDDI, 23 PPP, 24 Loopback, 28 Slip, 1 other
    QByteArray mac; // hardware address bytes, empty when none
    // IPv4 addresses in kernel order. The Linux layer never lists an interface without one (sweeping
    // 0.0.0.x on its behalf would be pointless); a consumer still treats an empty list as 0.0.0.0/0.0.0.0.
    QList<AdapterAddress> addresses;
    QStringList gateways; // default-route gateways through this interface, or one empty text
};

// The kinds of neighbour-table row, as NeighbourRow::type holds them.
namespace NeighbourType {
constexpr quint8 Other = 1; // NOARP: kept by the kernel itself
constexpr quint8 Invalid = 2; // INCOMPLETE or FAILED: no device answered
constexpr quint8 Dynamic = 3;
constexpr quint8 Static = 4; // PERMANENT: an administrator's entry, often an anti-spoofing one
} // namespace NeighbourType

struct NeighbourRow
{
    int ifindex = 0;
    QByteArray mac; // link-layer address bytes; empty when the row has none
    std::array<quint8, 4> ip {}; // first byte first
    quint8 type = NeighbourType::Dynamic;
};

// A row of the IPv6 neighbour table: as NeighbourRow, with the IPv6 address.
struct Neighbour6Row
{
    int ifindex = 0;
    QByteArray mac;
    std::array<quint8, 16> ip {};
    quint8 type = NeighbourType::Dynamic;
};

// A datagram of the discovery protocols heard on a swept interface: an mDNS message to 224.0.0.251:5353, or an
// SSDP NOTIFY to 239.255.255.250:1900 or an answer to this machine's search; sender is its source address (host
// order), data its bytes as sent, unchecked.
struct HeardDatagram
{
    enum class Kind : quint8 { Mdns, Ssdp };
    Kind kind = Kind::Mdns;
    quint32 sender = 0;
    quint16 port = 0;
    QByteArray data;
};

class NetPlatform
{
public:
    using LookupDone = std::function<void(int handle, int error, const QString& name)>;

    virtual ~NetPlatform() = default;

    // Failures the platform meets on its own behalf (a refused send, a refused deletion, an interface left
    // out), each with a short cause key such as "sendEcho ENOBUFS"; the engine logs each cause at most once
    // an hour.
    using ProblemReport = std::function<void(const QString& cause, const QString& detail)>;
    void setProblemReport(ProblemReport report) { m_problemReport = std::move(report); }

    // Heard ARP and DHCP client messages on the swept interfaces (only addresses inside the connected ranges of
    // the interface each was heard on), delivered from the event loop as they arrive, while the platform can
    // listen (the Linux layer: a helper with CAP_NET_RAW); otherwise never. A DHCP client's options come in a
    // report of their own, after the report of its message.
    using HeardHandler = std::function<void(const Heard&)>;
    void setHeard(HeardHandler handler) { m_heard = std::move(handler); }

    // Heard discovery datagrams, delivered from the event loop while listenDiscovery's sockets are open.
    using DatagramHeardHandler = std::function<void(const HeardDatagram&)>;
    void setDatagramHeard(DatagramHeardHandler handler) { m_datagramHeard = std::move(handler); }

    // Listens to mDNS and SSDP on these interfaces (and no others), unprivileged, sharing the ports with a local
    // avahi or UPnP stack; every datagram over the platform's rate is dropped unread. False when the sockets
    // cannot be opened (reported). The default platform hears nothing.
    virtual bool listenDiscovery(const QList<int>& ifindexes)
    {
        Q_UNUSED(ifindexes);
        return false;
    }
    // One SSDP search (M-SEARCH for all devices, TTL 2) on each interface listened to; the answers come as heard
    // datagrams (Ssdp).
    virtual void searchSsdp() { }
    // A DNS-SD question put to a device alone, as askDeviceName's mDNS question is (unicast to its port 5353
    // from a random port); done is called from the event loop for each datagram from the device's port 5353
    // until cancelled. 0 when nothing was sent.
    using DatagramDone = std::function<void(int handle, const QByteArray& datagram)>;
    virtual int askMdns(const QString& ip, const QByteArray& query, const DatagramDone& done)
    {
        Q_UNUSED(ip);
        Q_UNUSED(query);
        Q_UNUSED(done);
        return 0;
    }
    virtual void cancelMdns(int handle) { Q_UNUSED(handle); }
    // A device description (UPnP) by HTTP GET, never through a proxy: done once from the event loop with the
    // body, or with why there is none (at most maxBytes, within timeoutMs, no redirect followed). 0 when the
    // request could not be made; done is then never called.
    using FetchDone = std::function<void(int handle, const QByteArray& body, const QString& error)>;
    virtual int fetchDescription(const QString& url, qsizetype maxBytes, int timeoutMs, const FetchDone& done)
    {
        Q_UNUSED(url);
        Q_UNUSED(maxBytes);
        Q_UNUSED(timeoutMs);
        Q_UNUSED(done);
        return 0;
    }

    // Makes echo requests possible (the Linux layer starts its helper, which opens the raw ICMP socket); false
    // when they cannot be sent, and privilegeProblem() then says why.
    virtual bool openIcmpSocket() = 0;
    virtual bool icmpSocketOpen() const = 0;
    // One echo request to each address (first byte in the high bits), in order; never blocks. The platform
    // builds the request itself. Failures (ENOBUFS with a full send buffer, ENETUNREACH, a target refused) are
    // reported (reportProblem) by cause and otherwise ignored; a range's network and broadcast addresses are
    // skipped without a report.
    virtual void sendEchoBatch(const QList<quint32>& addresses) = 0;
    virtual void closeIcmpSocket() = 0;
    // Why sweeping or pruning does not work, in one sentence that ends with the command that fixes it; empty
    // when nothing is missing.
    virtual QString privilegeProblem() const { return {}; }
    // Totals for the life of the process, for the metrics.
    struct Tally
    {
        quint64 echoesSent = 0;
        quint64 helperRestarts = 0;
    };
    virtual Tally tally() const { return {}; }

    // Interfaces that can be swept: up with carrier, doing ARP, neither loopback nor point-to-point, with an
    // IPv4 address; in interface-index order. An interface with an address that is left out is reported
    // (reportProblem) with the reason. nullopt when the list cannot be read; an empty list is no failure.
    virtual std::optional<QList<AdapterInfo>> adapters() = 0;

    // The most rows the kernel's neighbour table holds (its gc_thresh3), as learnt by the last adapters()
    // call; 0 while unknown. Every swept address takes one row.
    int neighbourTableLimit() const { return m_neighbourTableLimit; }

    // The IPv4 neighbour table in dump order; nullopt when it cannot be read.
    virtual std::optional<QList<NeighbourRow>> neighbours() = 0;
    // The IPv6 neighbour table in dump order, only ever read; nullopt when it cannot be read.
    virtual std::optional<QList<Neighbour6Row>> neighbours6() { return QList<Neighbour6Row> {}; }
    // Deletes one row (needs CAP_NET_ADMIN); a failure is reported (reportProblem), nothing more.
    virtual void deleteNeighbour(const NeighbourRow& row) = 0;

    // Starts a reverse lookup of an IPv4 address text; done is called later from the event loop (never
    // from inside this call) with the handle, an error code (0 when a name was found) and the name.
    // Returns the handle, 0 when it could not be started (for example a text that is no IPv4 address);
    // done is then never called.
    virtual int lookupAddress(const QString& ip, LookupDone done) = 0;
    // A cancelled lookup never calls done.
    virtual void cancelLookup(int handle) = 0;

    // Asking a device itself for its name, for the many home devices without a reverse DNS record: an mDNS
    // reverse question or a NetBIOS node-status question, sent to the device alone (never by multicast), each
    // from its own unprivileged UDP socket with a random source port and a random id; only the device's own
    // answer from the port asked, with that id, names it. Only addresses on a directly connected link are asked. done
    // is called from the event loop for every reply until the query is cancelled: with the name, or with why the reply
    // was ignored. Queries never time out by themselves. Returns the handle, 0 when nothing was sent. The default
    // platform asks nobody.
    enum class NameQuery { Mdns, NetBios };
    using NameQueryDone = std::function<void(int handle, const QString& name, const QString& ignored)>;
    virtual int askDeviceName(NameQuery, const QString&, NameQueryDone) { return 0; }
    virtual void cancelDeviceName(int) { }

protected:
    void deliverHeard(const Heard& heard) const
    {
        if (m_heard)
            m_heard(heard);
    }
    void deliverDatagram(const HeardDatagram& datagram) const
    {
        if (m_datagramHeard)
            m_datagramHeard(datagram);
    }
    void setNeighbourTableLimit(int rows) { m_neighbourTableLimit = rows; }
    void reportProblem(const QString& cause, const QString& detail) const
    {
        if (m_problemReport)
            m_problemReport(cause, detail);
    }

private:
    ProblemReport m_problemReport;
    HeardHandler m_heard;
    DatagramHeardHandler m_datagramHeard;
    int m_neighbourTableLimit = 0;
};

std::unique_ptr<NetPlatform> createLinuxNetPlatform();
