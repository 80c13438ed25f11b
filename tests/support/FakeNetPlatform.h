#pragma once

#include "platform/NetPlatform.h"

#include <QMap>

// A scripted NetPlatform: adapters and neighbour rows as the test sets them (or a failure), sends and
// deletions recorded (or refused and reported), lookups pending until the test completes them.
class FakeNetPlatform final : public NetPlatform
{
public:
    FakeNetPlatform() = default;
    Q_DISABLE_COPY_MOVE(FakeNetPlatform)

    bool openIcmpSocket() override;
    bool icmpSocketOpen() const override { return m_socketOpen; }
    void sendEchoBatch(const QList<quint32>& addresses) override;
    void closeIcmpSocket() override { m_socketOpen = false; }
    std::optional<QList<AdapterInfo>> adapters() override;
    std::optional<QList<NeighbourRow>> neighbours() override;
    void deleteNeighbour(const NeighbourRow& row) override;
    int lookupAddress(const QString& ip, LookupDone done) override;
    void cancelLookup(int handle) override;
    int askDeviceName(NameQuery query, const QString& ip, NameQueryDone done) override;
    void cancelDeviceName(int handle) override { m_nameQueries.remove(handle); }

    using NetPlatform::deliverHeard; // a DHCP options report, as the Linux layer delivers it
    using NetPlatform::reportProblem;
    using NetPlatform::setNeighbourTableLimit;

    void setOpenFails(bool fails) { m_openFails = fails; }
    // Every send fails from now on and is reported with this cause; empty: sends succeed.
    void setSendFailure(const QString& cause) { m_sendFailure = cause; }
    QStringList sentAddresses() const { return m_sent; } // destinations while the socket was open, in order
    void clearSent() { m_sent.clear(); }

    // "198.18.0.5/255.255.255.0 gw 198.18.0.1": addresses (mask dotted or a prefix length), then optionally
    // "gw" and gateways (else one empty gateway). Next interface index from 2, name "ethN", type 6, MAC
    // 02-00-00-00-00-<index>. The reference is valid until the next add.
    AdapterInfo& addAdapter(const QString& script);
    QList<AdapterInfo>& scriptedAdapters() { return m_adapters; }
    void setAdaptersFail(bool fails) { m_adaptersFail = fails; }
    int adapterCalls() const { return m_adapterCalls; }

    // A row from a MAC text ("AA-BB-..", with colons, or empty for none) and an address text; a text that
    // does not parse stops the test.
    NeighbourRow& addNeighbour(const QString& mac, const QString& ip, quint8 type = 3, int ifindex = 2);
    void clearNeighbours() { m_rows.clear(); }
    void setNeighboursFail(bool fails) { m_neighboursFail = fails; }
    // Refused deletions (no CAP_NET_ADMIN) keep the row and are reported as "deleteNeighbour EPERM".
    void setDeleteFails(bool fails) { m_deleteFails = fails; }
    // ARP heard from a MAC at an address (texts as addNeighbour's), delivered at once as the event loop would;
    // toHost: sent to this machine's own MAC.
    void hearArp(const QString& mac, const QString& ip, Heard::Kind kind = Heard::ArpAnnouncement, int ifindex = 2,
        bool toHost = false);
    // A DHCP client message heard, as hearArp; an empty ip is 0.0.0.0.
    void hearDhcp(const QString& mac, const QString& ip, Heard::Kind kind, const QByteArray& name, int ifindex = 2);
    QStringList deletedAddresses() const { return m_deleted; } // every deletion asked for, in order

    void setLookupsFail(bool fails) { m_lookupsFail = fails; } // lookupAddress then returns 0
    QList<int> pendingLookups() const { return m_pending.keys(); }
    QList<int> cancelledLookups() const { return m_cancelled; }
    QStringList lookedUpAddresses() const { return m_lookedUp; } // every address asked, in order
    // Delivers a pending lookup's result as the event loop would; false when it is not pending.
    bool completeLookup(int handle, int error, const QString& name);

    // IPv6 rows, as addNeighbour; they fail with the IPv4 table (setNeighboursFail).
    std::optional<QList<Neighbour6Row>> neighbours6() override;
    Neighbour6Row& addNeighbour6(const QString& mac, const QString& ip, quint8 type = 3, int ifindex = 2);
    QList<Neighbour6Row>& neighbourRows6() { return m_rows6; }
    // Devices are asked only when switched on, then stay silent until answered (false: none of that kind asked).
    void setNameQueries(bool on) { m_nameQueriesOn = on; }
    QStringList askedNames() const { return m_askedNames; } // "mdns 198.18.0.10", ... in order
    bool answerName(NameQuery query, const QString& name, const QString& ignored = {});

    // Discovery: listening works while switched on; DNS-SD questions and description fetches wait for the
    // test, which answers through the done kept here (an answer may cancel: take a copy first).
    void setDiscovery(bool on) { m_discoveryOn = on; }
    bool listenDiscovery(const QList<int>& ifindexes) override;
    void searchSsdp() override { ++m_searches; }
    int askMdns(const QString& ip, const QByteArray& query, const DatagramDone& done) override;
    void cancelMdns(int handle) override { m_mdns.remove(handle); }
    int fetchDescription(const QString& url, qsizetype maxBytes, int timeoutMs, const FetchDone& done) override;
    using NetPlatform::deliverDatagram;
    struct MdnsQuestion
    {
        QString ip;
        QByteArray query;
        DatagramDone done;
    };
    QMap<int, MdnsQuestion>& mdnsQuestions() { return m_mdns; }
    QMap<int, std::pair<QString, FetchDone>>& fetches() { return m_fetches; }
    int searches() const { return m_searches; }
    QList<int> listenedInterfaces() const { return m_listened; }

private:
    bool m_discoveryOn = false;
    QList<int> m_listened;
    int m_searches = 0;
    QMap<int, MdnsQuestion> m_mdns;
    QMap<int, std::pair<QString, FetchDone>> m_fetches;
    bool m_socketOpen = false;
    bool m_openFails = false;
    QString m_sendFailure;
    QStringList m_sent;
    QList<AdapterInfo> m_adapters;
    bool m_adaptersFail = false;
    int m_adapterCalls = 0;
    QList<NeighbourRow> m_rows;
    bool m_neighboursFail = false;
    bool m_deleteFails = false;
    QStringList m_deleted;
    bool m_lookupsFail = false;
    int m_nextHandle = 1;
    QMap<int, LookupDone> m_pending;
    QList<int> m_cancelled;
    QStringList m_lookedUp;
    QList<Neighbour6Row> m_rows6;
    QMap<int, std::pair<NameQuery, NameQueryDone>> m_nameQueries;
    QStringList m_askedNames;
    bool m_nameQueriesOn = false;
};
