#pragma once

#include "recognition/Clue.h"
#include "recognition/SignatureTable.h"
#include "store/DeviceText.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>

class DeviceTable;
class NetPlatform;
struct HeardDhcp;

// What devices say about themselves, made into their type, model and os. Every source gives a Clue; a clue's
// values replace a device's own only where DeviceKind::mayReplace allows (a stronger or equal source, never
// over a value the user set), each model and os text through the one name filter. A change is kept in the
// store at once and reported (changed), which the engine emits as a Described event. It knows devices by MAC.
class Describer final
{
public:
    // which: the fields that changed, "type", "model", "os", joined by commas.
    using Changed = std::function<void(const QString& mac, const QString& which)>;
    using Log = std::function<void(const QString& line)>;

    Describer(DeviceTable& devices, NetPlatform& net, Changed changed, Log log);
    Q_DISABLE_COPY_MOVE(Describer)

    void setSignatures(SignatureTable table) { m_signatures = std::move(table); }
    const SignatureTable& signatures() const { return m_signatures; }
    // The IEEE manufacturer of a MAC, for the weakest hint; unset, there is none.
    void setMakerLookup(std::function<QString(const QString& mac)> lookup) { m_maker = std::move(lookup); }

    // What a DHCP client of a known device says about itself (a described report).
    void dhcpOptions(const QString& mac, const HeardDhcp& dhcp);
    // The weak hints again (host-name patterns, the manufacturer): after admission and each new host name.
    void hintsChanged(const QString& mac);
    // Weighs one clue against the device's values; true when a value changed.
    bool apply(const QString& mac, const Clue& clue);

    // What a device's DHCP client said last, in memory: its identity beyond the MAC, for telling a returning
    // device by it. Texts are filtered; clientId is hex.
    struct DhcpIdentity
    {
        QByteArray requestList;
        QString vendorClass;
        QString clientId;
        bool clientIdIsMac = false; // type 1 and the MAC itself: says nothing more than the MAC
        QString fqdn;
        quint16 maxMessageSize = 0;
        bool operator==(const DhcpIdentity&) const = default;
    };
    const DhcpIdentity* dhcpIdentity(const QString& mac) const;
    void forget(const QString& mac);

private:
    // A text from outside through the one door: the text, or empty (and one log line per device and source).
    QString admitted(const QString& mac, const QString& what, const QString& raw);

    DeviceTable& m_devices;
    NetPlatform& m_net;
    Changed m_changed;
    Log m_log;
    SignatureTable m_signatures;
    std::function<QString(const QString&)> m_maker;
    QHash<QString, DhcpIdentity> m_dhcp;
    DeviceText::RefusalNotes m_refusals;
};
