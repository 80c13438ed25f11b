#pragma once

#include "engine/ScanRange.h"
#include "engine/Sight.h"
#include "engine/SweepQueue.h"
#include "platform/NetPlatform.h"
#include "store/DeviceEvent.h"
#include "store/DeviceStore.h"
#include "store/DeviceText.h"
#include "store/NetworkBook.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

class Describer;
class DeviceStore;
struct DeviceRecord;
struct Heard;
struct NeighbourRow;
class NetPlatform;

// The discovery engine. Every 100 ms sweepTimer sends one batch of at most 32 ICMP echo requests, so that
// the kernel resolves their targets by ARP: every cycle of about six seconds first the addresses of the devices
// known to be about, then the next part of the local ranges (SweepQueue). Each window of requests is harvested
// from the neighbour table and pruned from it, new MAC addresses are admitted as devices, presence is judged
// once per cycle when the known addresses have been checked, and host names are resolved in the background,
// one device at a time.
//
// What it finds it emits as typed device events and calls nothing above it: the history, the alerts, mail,
// MQTT and the front ends subscribe. Everything runs on the GUI thread. The device table and the platform
// belong to the caller and must outlive the engine.
class DiscoveryEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DiscoveryEngine)

public:
    // The most devices the table holds; past it a new MAC is not admitted, and a log line says so.
    static constexpr qint32 MaxDevices = qint32(DeviceStore::MaxDevices);
    // A device's PresenceCountdown after a sighting (a harvested row, heard ARP or DHCP): one missed sweep
    // is tolerated.
    static constexpr qint16 SightedCountdown = 2;

    DiscoveryEngine(DeviceStore& devices, NetPlatform& net, QObject* parent = nullptr);
    ~DiscoveryEngine() override;

    // The engine's load: opens the raw socket, starts sweepTimer and the first sweep. Without a socket it
    // logs "Startup - Failed to create socket" and stays stopped for the life of the process.
    void Load();
    void StartSystem();
    // Stops sweeping and cancels a pending name lookup. It also drops the sweep in progress (prepared flag and
    // cursor), so that the next StartSystem begins with a fresh sweep.
    void StopSystem();
    // StopSystem, then closes the socket and stops the timer. The destructor runs it when nobody did.
    void Shutdown();

    // One tick of sweepTimer (100 ms): a batch of echo requests, and every tenth tick the one-second
    // bookkeeping (name-lookup time-out and refresh, next sweep). Tests call it directly.
    void sweepTick();

    // Rebuilds the range and gateway tables from the adapters and ages presence; true when a sweep may start.
    bool SetupForNewScan();
    // One batch of up to 32 echo requests, and the harvest of the windows whose replies have had their time.
    void PingSend();
    // Completion of the pending reverse lookup: its handle, 0 or an error code, and the name found.
    void HostScanReply(int handle, int error, const QString& name);
    // A reply to a question put to the device itself (NetPlatform::askDeviceName): its name, or why the reply
    // was ignored.
    void DeviceNameReply(int handle, const QString& name, const QString& ignored);
    // One range for the diagnostics dump: "192.168.1.0 to 192.168.1.255"; empty for an index out of range.
    QString rangeText(qint32 rangeIndex) const;

    bool isRunning() const { return m_running; }
    bool isSweepReady() const { return m_sweepReady; }
    bool isSweepPrepared() const { return m_sweepPrepared; }
    bool socketOpen() const;
    const SweepQueue& sweep() const { return m_sweep; }
    const QList<ScanRange>& ranges() const { return m_ranges; }
    const QStringList& gateways() const { return m_gateways; }
    const QList<LocalAdapter>& localAdapters() const { return m_adapters; }
    quint32 SecondsCounter() const { return m_secondsCounter; }
    quint32 preparationTime() const { return m_preparationTime; }
    int HostLookupHandle() const { return m_hostLookupHandle; }
    // The device whose name is being looked up, or empty.
    QString lookupMac() const { return m_lookupMac; }
    QTimer& pingTimer() { return m_sweepTimer; }
    // What devices say about themselves (type, model, os): its signature table and maker lookup are set here.
    Describer& describer() { return *m_describer; }

    // What the monitor can see now (Sight.h): watching, not connected to a network, or waking up.
    Sight::State sightState() const { return m_sight.state(); }
    qint64 blindSeconds() const;
    // logind's PrepareForSleep: true before the machine sleeps, false when it has woken (SightKeeping.cpp).
    void PrepareForSleep(bool sleeping);
    // Devices whose network the monitor cannot see now; neither present nor absent.
    bool isOutOfSight(const QString& mac) const { return m_outOfSight.contains(mac); }

    // NetworkWatch.cpp. How a new network is taken while the store's WatchNetworks says nothing: watched at once
    // (All, a server) or asked about (Asked, the window).
    void setNetworkPolicyDefault(NetworkBook::Policy policy) { m_networkPolicyDefault = policy; }
    const NetworkBook& networks() const { return m_networks; }
    // The user's answer about a network: Watched, NotNow or Never.
    void answerNetwork(const QString& id, NetworkBook::Watch watch);
    // The network the monitor is on through the range's adapter (empty while its gateway has not answered).
    QString networkOfRange(qint32 range) const;
    // The networks on the adapters now, each once (those whose gateway has answered).
    QStringList networksInView() const;

Q_SIGNALS:
    // One thing that happened to one device, in the order it happened.
    void deviceEvent(const DeviceEvent& event);
    // A harvest has ended (the diagnostics dump follows it).
    void harvested();
    // The harvest that judged the cycle's presence has ended.
    void cycleJudged();
    // The monitor began or stopped being blind (sightState()).
    void sightChanged(Sight::State state);
    // A present device's network went out of the monitor's sight; it was last seen at lastSeen. No event: the
    // presence record pauses its stay there.
    void sightLost(const QString& mac, const QDateTime& lastSeen);
    // A network joined that the user has not chosen to watch: nothing is admitted or alerts there until answered.
    void networkJoined(const QString& id);
    // The monitor sees none of the networks it watches (blind, asleep, or away on another), from when; or sees
    // again.
    void awayChanged(bool away, const QDateTime& when);
    // An out-of-sight device seen again, still present.
    void sightRegained(const QString& mac, const QString& address, const QDateTime& when);

private:
    // An event of the device, its kind, MAC and time filled in.
    static DeviceEvent newEvent(DeviceEvent::Kind kind, const DeviceRecord& device, const QDateTime& when);
    void emitEvent(
        DeviceEvent::Kind kind, const DeviceRecord& device, const QDateTime& when, const QString& address = {});
    void StartScan();
    void AddNetwork(const QString& address, const QString& mask);
    void AddGateway(const QString& gateway);
    // The harvest of settled windows; judged: the cycle's known addresses have all been checked, so presence
    // may go offline too.
    void FinishScan(const QList<SweepQueue::Window>& windows, bool judged);
    void harvestRows(const QDateTime& now, const QSet<quint32>& settled);
    // Presence changes since the last call: online always; offline only when judged. With onlyDevice, of that
    // device alone.
    void trackPresence(const QDateTime& now, DeviceRecord* onlyDevice = nullptr, bool judged = true);
    void trackOne(DeviceRecord& device, const QDateTime& now, bool judged);
    void arpHeard(const Heard& arp);
    void dhcpHeard(const Heard& dhcp); // DhcpHeard.cpp
    // A REQUEST's address is only asked for: a stranger asking is admitted once it answers for that address (its
    // ARP, or the harvest's row), and then takes the name the REQUEST gave.
    void dhcpConfirmed(const QString& mac, const QString& ip);
    void describeDhcpClient(const QString& mac, const Heard& dhcp);
    void nameFromDhcp(DeviceRecord& device, const QByteArray& name);
    // A MAC heard speaking at a swept address (HeardArp.cpp): admitted through the harvest's own admission when
    // unknown and mayAdmit, else sighted; the device, or null when nobody was admitted. `what` ends the log lines.
    DeviceRecord* heardSighting(
        const QString& mac, const QString& ip, qint32 range, bool mayAdmit, const QString& source, const QString& what);
    qint32 rangeOf(const std::array<quint8, 4>& ip) const;
    QList<quint32> knownAddresses() const;
    // The admitted device, or null when the store is full.
    DeviceRecord* AddNewMacEntry(const QString& mac, const QString& ip, quint8 type);
    // The admissions and presence dates gathered since the last call, in one transaction.
    void storeWrites();
    // Every device's last sighting that is a minute newer than the stored one (or that went offline) joins
    // the next transaction.
    void noteSightings();
    // Gateway addresses (GatewayWatch.cpp): a MAC found answering for one is remembered with the time, so
    // that a second MAC answering while the first is still about is taken for the ARP spoofing it looks like.
    void noteGatewaySighting(const QString& mac, const QString& ip, const QDateTime& now);
    bool gatewayHeldByOther(const QString& ip, const QString& mac, const QDateTime& now) const;
    void warnGatewayImpersonation(const DeviceRecord& device, const QString& ip, const QDateTime& now);
    // LikelyReturn.cpp: the known device that is away and whose identity a private-MAC newcomer shares, or null;
    // and the link made on a new device once its identity is known (its host name set), with the event that
    // tells of it (intruder: the earlier device's list). Never merges.
    const DeviceRecord* likelyEarlier(const DeviceRecord& newcomer) const;
    std::optional<DeviceEvent> linkLikelyReturn(DeviceRecord& device);
    // A device gone: the private-MAC newcomers online that share its identity, named while it still counted as
    // online (a phone that took a new MAC without leaving), are linked now; not one seen beside it for minutes.
    void linkReturnsOf(const QString& departedMac);
    void agePresence();
    // SightKeeping.cpp: the clocks at every tick and every packet heard; a sleep found voids the cycle's verdict.
    void lookAtClocks();
    void afterSleep(const QString& how);
    // Present devices whose view is not in inSight keep their presence (the next two cycles re-establish it).
    void holdOutOfSight(const QSet<QString>& inSight, const QDateTime& now);
    // A sighting of the device in range: when and where it was last seen.
    void noteSighting(DeviceRecord& device, qint32 range, const QDateTime& now);
    // When a device found gone left: now, or when it was last seen if the monitor was blind since.
    QDateTime offlineTime(const DeviceRecord& device, const QDateTime& now);
    void reportSight();
    bool heardQuiet() const;
    void setAway(bool away, const QDateTime& when);
    // NetworkWatch.cpp: the networks read again and the views without a gateway named, at each set-up; the
    // gateways' rows name the others at each harvest.
    void loadNetworks();
    void identifyNetworks(const QList<NeighbourRow>& rows, const QDateTime& now);
    void networkResolved(const QString& view, const NetworkBook::Resolution& resolution);
    // Whether devices in this range are admitted and sighted: its network is watched.
    bool rangeWatched(qint32 range) const;
    // A view and the network on it now: what a sighting records and a verdict compares.
    QString sightKey(qint32 range) const;
    QList<quint32> gatewayAddresses() const;
    void ScanNextName();
    void refuseLookup();
    bool sharesOnlineAddress(const DeviceRecord& device);
    bool askDevice(const DeviceRecord& device);
    void endAsk();
    void checkAskTimeout();
    // A name from a lookup or the device itself through the one name filter: the name, or empty when refused.
    QString admittedName(const DeviceRecord& device, const QString& source, const QString& raw);
    // The one place a device's host name changes: memory, store, history and the lists.
    void storeHostName(DeviceRecord& device, const QString& host);
    void cancelLookup();
    void logProblem(const QString& cause, const QString& detail);
    // Whether a cause of trouble may be logged now: once, then again at most once an hour while it lasts.
    bool dueToLog(const QString& cause);
    // The one MAC check of every path that finds a device (harvest, heard ARP, IPv6 rows), made before it is
    // admitted or sighted: a zero, broadcast or group (multicast) address is nobody's own. A refusal is logged
    // once an hour per cause, as heard ARP can be flooded.
    bool isDeviceMac(const QByteArray& mac, const QString& ip, const QString& where);
    void resetCursor();
    // "Now" to the second, as every stored date and every history line carries it.
    static QDateTime currentTime();

    DeviceStore& m_devices;
    NetPlatform& m_net;
    std::unique_ptr<Describer> m_describer;
    QTimer m_sweepTimer;

    bool m_loaded = false;
    bool m_shutDown = false;
    bool m_running = false;
    bool m_sweepReady = false;
    bool m_sweepPrepared = false;
    quint32 m_preparationTime = 0;

    QList<ScanRange> m_ranges;
    QStringList m_gateways;
    QList<LocalAdapter> m_adapters;

    SweepQueue m_sweep;
    quint64 m_ticks = 0; // every tick of sweepTimer, the sweep's time
    QSet<QString> m_wideLogged; // adapter addresses whose range is wider than a /16, said once each

    // The seconds counter wraps instead of trapping: every rule reads a difference of two counter values,
    // which unsigned arithmetic keeps right across the wrap.
    quint16 m_tickCounter = 0;
    quint32 m_secondsCounter = 0;

    int m_hostLookupHandle = 0;
    quint32 m_lookupStart = 0;
    quint32 m_lastRefresh = 0;
    QString m_lookupMac; // the device of the lookup in flight
    // The walk of the name lookups: the MACs still to visit, in the store's order, taken afresh when it ends.
    QStringList m_nameWalk;
    qsizetype m_nameWalkAt = 0;
    int m_lastRefusedHandle = 0; // refused lookups get handles of their own, below 0

    // The device asked for its own name after reverse DNS had none: one mDNS and one NetBIOS question, the
    // first answer wins, silence ends it after two seconds. Lookups stay one device at a time.
    struct DeviceAsk
    {
        QString mac;
        QString ip;
        QDateTime started;
        int mdns = 0;
        int netbios = 0;
        int ignored = 0; // replies ignored so far; a device that floods gets a few lines, not thousands
    };
    std::optional<DeviceAsk> m_ask;
    struct PendingDhcp
    {
        QString ip;
        QByteArray name;
        std::optional<Heard> options; // the request's options report, weighed once the device is admitted
    };
    static constexpr qsizetype MaxPendingDhcp = 256; // a flood of forged REQUESTs holds no more
    QHash<QString, PendingDhcp> m_dhcpPending; // by MAC
    DeviceText::RefusalNotes m_nameRefusals; // device and source of each refused name logged

    // How many online devices carry each address, built once per change of presence instead of a scan of
    // every device per name reply.
    QHash<QString, int> m_onlineAddresses;
    bool m_onlineAddressesValid = false;

    // Admissions of the harvest under way, each a subkey with all its values, and the presence dates and
    // sightings it changed, stored in one transaction when the harvest ends: a device is in the store whole or
    // not at all, and a burst of hundreds of new devices costs one commit.
    QList<std::pair<QString, QList<std::pair<QString, QString>>>> m_unstored;
    QHash<QString, QDateTime> m_sightingStored; // MAC -> the Last_Seen last written
    QSet<QString> m_sightingDue; // MACs whose sighting is written at the next transaction whatever its age

    QHash<QString, QDateTime> m_gatewaySightings; // MAC -> the last harvest that found it at a gateway address
    QSet<QString> m_returnsNoted; // MACs whose likely earlier self has been noted
    // The host name a DHCP request brought for a MAC about to be admitted, so that the admission knows it.
    QHash<QString, QString> m_admissionNames;

    Sight m_sight;
    Sight::State m_reportedSight = Sight::State::Watching;
    QHash<QString, QString> m_seenOn; // MAC -> the view and network (sightKey) it was last seen in

    NetworkBook m_networks;
    NetworkBook::Policy m_networkPolicyDefault = NetworkBook::Policy::All;
    NetworkBook::Policy m_networkPolicy = NetworkBook::Policy::All;
    QHash<QString, QString> m_viewNetwork; // view (Sight::keyOf) -> the network on it now
    QSet<QString> m_networksAsked; // networks asked about since they were joined
    QSet<QString> m_networksRefusedLogged; // unwatched networks whose refusals were logged
    QSet<QString> m_outOfSight; // present devices whose view was lost since their last sighting
    bool m_away = false;
    qint64 m_heardQuietUntil = 0; // monotonic ms: heard packets queued while asleep tell of before it

    bool m_tableFullLogged = false; // the full device table is logged once, not per refused MAC
    QHash<QString, QDateTime> m_problemLogged; // cause -> when it was last logged
};
