// The Describer's questions and ears: each device online is asked once, by unicast to its own port 5353, which
// services it offers (the DNS-SD enumeration), then those services' instances, then the instances' TXT records,
// one step at a time and one device at a time; a device that never answers is asked again at most once an hour.
// mDNS announcements and SSDP NOTIFYs count only from a known device's own current address, and an SSDP
// LOCATION only on that same address; each device's description is fetched at most once an hour.

#include "engine/Describer.h"

#include "engine/AddressText.h"

#include "platform/Clock.h"
#include "platform/DnsMessage.h"
#include "platform/NetPlatform.h"
#include "recognition/UpnpClues.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"

#include <QHostAddress>
#include <QRandomGenerator>

namespace {
constexpr qsizetype kQuestionsPerMessage = 16;
constexpr qsizetype kMaxKnown = 4096;

// Bytes from the network as a log line may carry them: printable ASCII, the rest as '?', cut at 120.
QString inert(const QByteArray& bytes)
{
    QString text = QString::fromLatin1(bytes.left(120));
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            c = QLatin1Char('?');
    }
    return text;
}
} // namespace

Describer::Known& Describer::known(const QString& mac)
{
    if (m_known.size() >= kMaxKnown && !m_known.contains(mac))
        m_known.clear();
    return m_known[mac];
}

void Describer::listen(const QList<int>& ifindexes)
{
    if (!m_listening)
        m_net.setDatagramHeard([this](const HeardDatagram& d) { datagramHeard(d); });
    m_listening = m_net.listenDiscovery(ifindexes) || m_listening;
}

QString Describer::macAt(quint32 ipv4)
{
    return m_byAddress.value(ipv4);
}

void Describer::tick(const QDateTime& now)
{
    // Who holds which address, for the datagrams: rebuilt every few seconds, not per datagram.
    if (!m_addressesBuilt.isValid() || m_addressesBuilt.secsTo(now) >= kAddressSeconds || now < m_addressesBuilt) {
        m_addressesBuilt = now;
        m_byAddress.clear();
        for (const DeviceRecord& r : std::as_const(m_devices)) {
            if (!r.isOnline())
                continue;
            if (const auto ip = AddressText::parseIPv4(r.IpAddress))
                m_byAddress.insert(AddressText::toNumber(*ip), r.MacAddress);
        }
    }
    if (m_listening && (!m_searched.isValid() || m_searched.secsTo(now) >= kSearchSeconds || now < m_searched)) {
        m_searched = now;
        ++m_tally.searches;
        m_net.searchSsdp();
    }
    if (m_asking) {
        if (m_asking->since.secsTo(now) < kStepSeconds && now >= m_asking->since)
            return;
        if (askStep(now))
            return;
    }
    // The next device to ask: each online device once, one never answered again after an hour.
    QString next;
    QString nextIp;
    for (const DeviceRecord& r : std::as_const(m_devices)) {
        if (!r.isOnline() || r.IpAddress.isEmpty())
            continue;
        const auto it = m_known.constFind(r.MacAddress);
        if (it != m_known.constEnd() && it->asked.isValid()
            && (it->answered || (it->asked.secsTo(now) < kRetrySeconds && now >= it->asked)))
            continue;
        next = r.MacAddress;
        nextIp = r.IpAddress;
        break;
    }
    if (next.isEmpty())
        return;
    known(next).asked = now;
    m_asking = Asking {next, nextIp, -1, 0, 0, now};
    askStep(now);
}

bool Describer::askStep(const QDateTime& now)
{
    if (m_asking->handle != 0)
        m_net.cancelMdns(std::exchange(m_asking->handle, 0));
    const DeviceServices& services = known(m_asking->mac).services;
    QList<dnsmsg::Question> questions;
    while (questions.isEmpty() && ++m_asking->step <= 2) {
        if (m_asking->step == 0) {
            questions.append({DeviceServices::kEnumeration, dnsmsg::kTypePtr});
        } else if (m_asking->step == 1) {
            for (const QByteArray& type : services.serviceTypes())
                questions.append({type, dnsmsg::kTypePtr});
        } else {
            for (const QByteArray& instance : services.instancesWithoutTxt())
                questions.append({instance, dnsmsg::kTypeTxt});
        }
    }
    if (questions.isEmpty()) {
        endAsking();
        return false;
    }
    m_asking->id = quint16(QRandomGenerator::global()->bounded(1U, 0x10000U));
    m_asking->since = now;
    m_asking->handle =
        m_net.askMdns(m_asking->ip, dnsmsg::buildQuery(m_asking->id, questions.mid(0, kQuestionsPerMessage)),
            [this, alive = std::weak_ptr<bool>(m_alive)](int handle, const QByteArray& datagram) {
                if (!alive.expired())
                    mdnsAnswer(handle, datagram);
            });
    if (m_asking->handle == 0) {
        endAsking(); // not on a directly connected link, or no socket: the platform said why
        return false;
    }
    ++m_tally.questions;
    return true;
}

void Describer::endAsking()
{
    if (m_asking && m_asking->handle != 0)
        m_net.cancelMdns(m_asking->handle);
    m_asking.reset();
}

void Describer::mdnsAnswer(int handle, const QByteArray& datagram)
{
    if (!m_asking || handle != m_asking->handle)
        return;
    const dnsmsg::Records answer = dnsmsg::parseRecords(datagram, m_asking->id);
    const QString mac = m_asking->mac;
    if (!answer.error.isEmpty()) {
        ++m_tally.ignored;
        if (m_refusals.firstTime(mac + QStringLiteral(" DNS-SD answer")))
            m_hooks.log(QStringLiteral("Recognition - DNS-SD answer of %1 ignored: %2").arg(mac, answer.error));
        return;
    }
    ++m_tally.answers;
    Known& k = known(mac);
    k.answered = true;
    const auto ip = AddressText::parseIPv4(m_asking->ip);
    servicesHeard(mac, k, k.services.add(answer.records, ip ? AddressText::toNumber(*ip) : 0));
    // The answer is in: the next step at once.
    askStep(m_asking->since);
}

void Describer::servicesHeard(const QString& mac, Known& k, bool learnt)
{
    // Read before the clue is told: a subscriber of that event may remove the device, and forget k with it.
    const QString raw = learnt ? k.services.deviceName() : QString();
    if (learnt)
        apply(mac, k.services.clue());
    m_hooks.flush();
    DeviceRecord* device = raw.isEmpty() ? nullptr : m_devices.find(mac);
    if (!device)
        return;
    const QString name = admitted(mac, QStringLiteral("mDNS name"), raw);
    if (name.isEmpty() || name == device->MdnsName)
        return;
    device->MdnsName = name;
    m_hooks.write(mac, {{DeviceCodec::Name::MdnsName, name}});
    m_hooks.flush();
    m_hooks.log(QStringLiteral("Recognition - %1 calls itself \"%2\" over mDNS").arg(mac, name));
    if (m_hooks.named)
        m_hooks.named(mac);
}

void Describer::datagramHeard(const HeardDatagram& datagram)
{
    const QString mac = macAt(datagram.sender);
    if (mac.isEmpty()) {
        ++m_tally.ignored;
        return; // nobody known speaks from there: an answer for another host counts for nobody
    }
    const QString ip = QHostAddress(datagram.sender).toString();
    if (datagram.kind == HeardDatagram::Kind::Mdns) {
        const dnsmsg::Records heard = dnsmsg::parseRecords(datagram.data, std::nullopt);
        if (!heard.error.isEmpty() || heard.records.isEmpty()) {
            ++m_tally.ignored;
            return; // questions are no announcements, and a malformed one was logged by nobody: too common
        }
        ++m_tally.announcements;
        Known& k = known(mac);
        servicesHeard(mac, k, k.services.add(heard.records, datagram.sender));
        return;
    }
    const auto ssdp = UpnpClues::parseSsdp(datagram.data);
    if (!ssdp || !ssdp->alive || ssdp->location.isEmpty()) {
        ++m_tally.ignored;
        return;
    }
    ++m_tally.announcements;
    if (!UpnpClues::locationOfSender(ssdp->location, ip)) {
        if (m_refusals.firstTime(mac + QStringLiteral(" SSDP location")))
            m_hooks.log(QStringLiteral("Recognition - SSDP location of %1 refused, it is not plain HTTP on %2: %3")
                            .arg(mac, ip, inert(ssdp->location)));
        return;
    }
    fetchDescription(mac, ssdp->location, kwclock::now());
}

void Describer::fetchDescription(const QString& mac, const QByteArray& location, const QDateTime& now)
{
    Known& k = known(mac);
    if (k.fetched.isValid() && k.fetched.secsTo(now) < kRetrySeconds && now >= k.fetched)
        return; // once an hour at most, whatever it announces meanwhile
    k.fetched = now;
    const int handle = m_net.fetchDescription(QString::fromLatin1(location), UpnpClues::kMaxDescriptionBytes,
        kFetchTimeoutMs,
        [this, alive = std::weak_ptr<bool>(m_alive)](int handle, const QByteArray& body, const QString& error) {
            if (alive.expired())
                return; // the engine is gone; the platform outlives it
            const QString mac = m_fetches.take(handle);
            if (mac.isEmpty())
                return;
            const UpnpClues::Description d =
                error.isEmpty() ? UpnpClues::parseDescription(body) : UpnpClues::Description {{}, {}, {}, {}, error};
            if (!d.error.isEmpty()) {
                if (m_refusals.firstTime(mac + QStringLiteral(" UPnP description")))
                    m_hooks.log(QStringLiteral("Recognition - UPnP description of %1 ignored: %2").arg(mac, d.error));
                return;
            }
            apply(mac, UpnpClues::clueOf(d));
        });
    if (handle == 0)
        return;
    ++m_tally.fetches;
    m_fetches.insert(handle, mac);
}
