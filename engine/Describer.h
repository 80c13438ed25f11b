#pragma once

#include "recognition/Clue.h"
#include "recognition/ServiceClues.h"
#include "recognition/SignatureTable.h"
#include "store/DeviceText.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class DeviceStore;
class NetPlatform;
struct HeardDatagram;
struct Heard;

// What devices say about themselves, made into their type, model and os. Every source gives a Clue; a clue's
// values replace a device's own only where DeviceKind::mayReplace allows (a stronger or equal source, never
// over a value the user set), each model and os text through the one name filter. A change is kept in the
// store at once and reported (changed), which the engine emits as a Described event. It knows devices by MAC.
class Describer final
{
public:
    struct Hooks
    {
        // which: the fields that changed, "type", "model", "os", joined by commas.
        std::function<void(const QString& mac, const QString& which)> changed;
        std::function<void(const QString& line)> log;
        // Stored values of a device: queued, then written by flush (an admission's values go first).
        std::function<void(const QString& mac, const QList<std::pair<QString, QString>>& values)> write;
        std::function<void()> flush;
        // A device's mDNS name changed (stored and flushed already): it may tell a likely return.
        std::function<void(const QString& mac)> named;
    };

    Describer(DeviceStore& devices, NetPlatform& net, Hooks hooks);
    ~Describer();
    Q_DISABLE_COPY_MOVE(Describer)

    void setSignatures(SignatureTable table) { m_signatures = std::move(table); }
    const SignatureTable& signatures() const { return m_signatures; }
    // The IEEE manufacturer of a MAC, for the weakest hint; unset, there is none.
    void setMakerLookup(std::function<QString(const QString& mac)> lookup) { m_maker = std::move(lookup); }

    // What a DHCP client of a known device says about itself (a described report).
    void dhcpOptions(const QString& mac, const Heard& dhcp);
    // The weak hints again (host-name patterns, the manufacturer): after admission and each new host name.
    void hintsChanged(const QString& mac);
    // Weighs one clue against the device's values; true when a value changed.
    bool apply(const QString& mac, const Clue& clue);

    // What a device's DHCP client said last: its identity beyond the MAC, for telling a returning device by it;
    // kept in memory and in the store ("DHCP_Identity"), so that a device gone before this run still has it.
    // Texts are filtered; clientId is hex.
    struct DhcpIdentity
    {
        QByteArray requestList;
        QString vendorClass;
        QString clientId;
        bool clientIdIsMac = false; // type 1 and the MAC itself: says nothing more than the MAC
        QString fqdn;
        quint16 maxMessageSize = 0;
        bool operator==(const DhcpIdentity&) const = default;
        // The stored text ("list=1,3,6;vendor=MSFT%205.0;..."), and back (nullopt: none, or not that form).
        QString text() const;
        static std::optional<DhcpIdentity> fromText(const QString& text);
    };
    std::optional<DhcpIdentity> dhcpIdentity(const QString& mac) const;
    // What a device offers by DNS-SD, as heard so far (its instance names name it); null when nothing.
    const DeviceServices* services(const QString& mac) const;
    void forget(const QString& mac);

    // Questions and listening (DescriberQuestions.cpp). Hears mDNS and SSDP on the swept interfaces.
    void listen(const QList<int>& ifindexes);
    // Once a second: the question under way goes on or ends (silence ends a step after kStepSeconds), the next
    // device is asked (one at a time: each online device once, soon after it is first seen; one never answered
    // again at most once an hour), and an SSDP search goes out every kSearchSeconds.
    void tick(const QDateTime& now);
    static constexpr int kStepSeconds = 2;
    static constexpr int kRetrySeconds = 3600;
    static constexpr int kSearchSeconds = 3600;
    static constexpr int kFetchTimeoutMs = 3000;
    static constexpr int kAddressSeconds = 5;
    // What was sent and heard, for the benchmark and the tests.
    struct Tally
    {
        quint64 questions = 0; // unicast DNS-SD questions sent
        quint64 answers = 0; // their answers taken
        quint64 announcements = 0; // mDNS and SSDP datagrams heard from a known device's own address
        quint64 searches = 0; // SSDP searches sent
        quint64 fetches = 0; // descriptions asked for
        quint64 ignored = 0; // datagrams from no known device, malformed, or not an answer
    };
    const Tally& tally() const { return m_tally; }

private:
    struct Known
    {
        DeviceServices services;
        QDateTime asked; // the last question's start; invalid: never asked
        bool answered = false;
        QDateTime fetched; // the last description asked for
    };
    struct Asking
    {
        QString mac;
        QString ip;
        int step = 0; // 0: the service types, 1: their instances, 2: the instances' TXT
        int handle = 0;
        quint16 id = 0;
        QDateTime since;
    };
    Known& known(const QString& mac);
    void datagramHeard(const HeardDatagram& datagram);
    void mdnsAnswer(int handle, const QByteArray& datagram);
    // The next step of the question under way, or its end; false when there is no more to ask.
    bool askStep(const QDateTime& now);
    void endAsking();
    // The services heard so far name the device: its mDNS name through the one door, kept and told when new.
    void servicesHeard(const QString& mac, Known& known, bool learnt);
    void fetchDescription(const QString& mac, const QByteArray& location, const QDateTime& now);
    QString macAt(quint32 ipv4);

    // A text from outside through the one door: the text, or empty (and one log line per device and source).
    QString admitted(const QString& mac, const QString& what, const QString& raw);

    DeviceStore& m_devices;
    NetPlatform& m_net;
    Hooks m_hooks;
    SignatureTable m_signatures;
    std::function<QString(const QString&)> m_maker;
    QHash<QString, DhcpIdentity> m_dhcp;
    DeviceText::RefusalNotes m_refusals;
    QHash<QString, Known> m_known;
    std::optional<Asking> m_asking;
    QHash<quint32, QString> m_byAddress; // online devices' addresses, rebuilt every kAddressSeconds
    QDateTime m_addressesBuilt;
    bool m_listening = false;
    QDateTime m_searched;
    QHash<int, QString> m_fetches; // handle -> MAC
    Tally m_tally;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true); // the platform's callbacks check it
};
