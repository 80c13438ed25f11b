#pragma once

#include "platform/NetPlatform.h"

#include <QMap>

// A scripted NetPlatform for tests of the engine: adapters and neighbour rows as the test sets them (or a
// failure), every sent packet and deleted row recorded, and reverse lookups held pending until the test
// completes them. Nothing reaches a real network.
class FakeNetPlatform final : public NetPlatform
{
public:
    struct SentPacket
    {
        QByteArray bytes;
        quint32 addrNetworkOrder = 0;
        QString ipText() const; // dotted decimal of the destination
    };

    FakeNetPlatform() = default;
    Q_DISABLE_COPY_MOVE(FakeNetPlatform)

    // --- NetPlatform
    bool openIcmpSocket() override;
    bool icmpSocketOpen() const override { return m_socketOpen; }
    void setSocketBuffers(int bytes) override { m_socketBuffers = bytes; }
    bool setNonBlocking() override;
    void sendEcho(const QByteArray& packet, quint32 addrNetworkOrder) override;
    void closeIcmpSocket() override { m_socketOpen = false; }
    std::optional<QList<AdapterInfo>> adapters() override;
    std::optional<QList<NeighbourRow>> neighbours() override;
    void deleteNeighbour(const NeighbourRow& row) override;
    int lookupAddress(const QString& ip, LookupDone done) override;
    void cancelLookup(int handle) override;

    // --- socket script
    void setOpenFails(bool fails) { m_openFails = fails; }
    void setNonBlockingFails(bool fails) { m_nonBlockingFails = fails; }
    int socketBuffers() const { return m_socketBuffers; } // last value given, 0 when never set
    int nonBlockingCalls() const { return m_nonBlockingCalls; }
    int openCalls() const { return m_openCalls; }
    // Packets sent while the socket was open, in order.
    const QList<SentPacket>& sentPackets() const { return m_sent; }
    QStringList sentAddresses() const;
    void clearSent() { m_sent.clear(); }

    // --- adapter script
    // "198.18.0.5/255.255.255.0 gw 198.18.0.1": addresses (mask dotted or as a prefix length, "/24"), then
    // optionally "gw" and gateways. Without gw the adapter has one empty gateway text. The adapter gets the
    // next interface index (from 2), the name "ethN", type 6 and MAC 02-00-00-00-00-<index>. The reference
    // is for adjusting the new adapter at once (it is valid until the next add).
    AdapterInfo& addAdapter(const QString& script);
    void setAdapters(const QList<AdapterInfo>& adapters) { m_adapters = adapters; }
    void clearAdapters() { m_adapters.clear(); }
    QList<AdapterInfo>& scriptedAdapters() { return m_adapters; }
    void setAdaptersFail(bool fails) { m_adaptersFail = fails; }
    int adapterCalls() const { return m_adapterCalls; }

    // --- neighbour table script
    // A row from texts: MAC "AA-BB-CC-DD-EE-FF" (or with colons; empty for none) and "198.18.0.7". A text
    // that does not parse is a mistake in the test and stops it.
    static NeighbourRow row(const QString& mac, const QString& ip, quint8 type = 3, int ifindex = 2);
    NeighbourRow& addNeighbour(const QString& mac, const QString& ip, quint8 type = 3, int ifindex = 2);
    void setNeighbours(const QList<NeighbourRow>& rows) { m_rows = rows; }
    void clearNeighbours() { m_rows.clear(); }
    const QList<NeighbourRow>& scriptedNeighbours() const { return m_rows; }
    void setNeighboursFail(bool fails) { m_neighboursFail = fails; }
    // A deleted row leaves the scripted table, unless deletes are set to fail (no cap_net_admin).
    void setDeleteFails(bool fails) { m_deleteFails = fails; }
    const QList<NeighbourRow>& deletedRows() const { return m_deleted; }
    QStringList deletedAddresses() const;
    void clearDeleted() { m_deleted.clear(); }

    // --- lookups
    void setLookupsFail(bool fails) { m_lookupsFail = fails; } // lookupAddress then returns 0
    QList<int> pendingLookups() const { return m_pending.keys(); }
    QString lookupAddressOf(int handle) const; // empty when not pending
    int pendingLookupFor(const QString& ip) const; // 0 when none
    const QList<int>& cancelledLookups() const { return m_cancelled; }
    QStringList lookedUpAddresses() const { return m_lookedUp; } // every address asked, in order
    // Delivers the result of a pending lookup (synchronously, as the event loop would); false when the
    // handle is not pending, e.g. after a cancel.
    bool completeLookup(int handle, int error, const QString& name);

private:
    struct Pending
    {
        QString ip;
        LookupDone done;
    };

    bool m_socketOpen = false;
    bool m_openFails = false;
    bool m_nonBlockingFails = false;
    int m_socketBuffers = 0;
    int m_nonBlockingCalls = 0;
    int m_openCalls = 0;
    QList<SentPacket> m_sent;

    QList<AdapterInfo> m_adapters;
    bool m_adaptersFail = false;
    int m_adapterCalls = 0;

    QList<NeighbourRow> m_rows;
    bool m_neighboursFail = false;
    bool m_deleteFails = false;
    QList<NeighbourRow> m_deleted;

    bool m_lookupsFail = false;
    int m_nextHandle = 1;
    QMap<int, Pending> m_pending;
    QList<int> m_cancelled;
    QStringList m_lookedUp;
};
