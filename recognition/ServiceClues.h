#pragma once

#include "platform/DnsMessage.h"
#include "recognition/Clue.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>

// What a device offers by DNS-SD, gathered from its answers and announcements, and the clue that makes: a
// printer by its IPP services (model from "ty" or "product"), a Chromecast or Google speaker by
// _googlecast._tcp ("md"), an Apple device by the model identifier in _airplay._tcp, _raop._tcp,
// _device-info._tcp or _companion-link._tcp, a HomeKit accessory by its category ("ci"), speakers and TVs by
// their streaming services, computers by SMB, SSH, VNC and avahi's workstation service. Bounded: at most
// kMaxServices service types and kMaxInstances instances, each TXT string at most 255 bytes (DNS's own bound).
class DeviceServices final
{
public:
    static constexpr qsizetype kMaxServices = 32;
    static constexpr qsizetype kMaxInstances = 32;
    static const QByteArray kEnumeration; // "_services._dns-sd._udp.local"

    // Takes in one message's records (from the device's own address: the caller checks); true when anything new
    // was learnt. ownAddress (host order, 0: unknown) tells the device's own A record from one it speaks for.
    bool add(const QList<dnsmsg::Record>& records, quint32 ownAddress = 0);
    // The service types it named ("_ipp._tcp.local"), in the order first heard.
    QList<QByteArray> serviceTypes() const { return m_types; }
    // The instances whose TXT has not been heard yet.
    QList<QByteArray> instancesWithoutTxt() const;
    Clue clue() const;
    // What the device calls itself (MdnsName's best candidate, a name every such device has only when there is
    // no other), unfiltered; empty when nothing named it.
    QString deviceName() const;
    bool isEmpty() const { return m_types.isEmpty() && m_instances.isEmpty(); }

private:
    struct Instance
    {
        QByteArray service; // "_ipp._tcp"
        QHash<QByteArray, QByteArray> txt; // keys lower-case
        bool heardEdit = false;
        QByteArray host; // its SRV target
    };
    Instance* instance(const QByteArray& name);
    void addType(const QByteArray& type);

    QList<QByteArray> m_types;
    QMap<QByteArray, Instance> m_instances;
    QByteArray m_host; // the owner of an A record for the device's own address
};

namespace ServiceClues {
// What an Apple model identifier ("iPhone14,2", "MacBookPro18,3", "AppleTV6,2", "AudioAccessory5,1") says.
Clue appleModel(const QByteArray& identifier);
// The clue of one service instance with its TXT, ranked: a higher rank says more (0: nothing).
std::pair<int, Clue> ofService(const QByteArray& service, const QHash<QByteArray, QByteArray>& txt);
} // namespace ServiceClues
