// Names from the devices themselves, for those without a reverse DNS name: one mDNS reverse question and one
// NetBIOS node-status question per device and refresh, the first answer wins, two seconds of silence end it.
// The name is kept as the device gives it, in the form that reaches it again: "myphone.local" (mDNS, the
// trailing dot dropped as reverse DNS names have none) or "MYPHONE" (NetBIOS, as Windows shows it).

#include "engine/AddressText.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"

#include <QPointer>

namespace {
constexpr qint64 kAskTimeoutMs = 2000;
constexpr int kIgnoredLines = 3; // log lines about ignored replies per device and refresh
} // namespace

bool DiscoveryEngine::askDevice(const DeviceRecord& device)
{
    const QString ip = device.IpAddress;
    if (!AddressText::parseIPv4(ip).has_value())
        return false;
    QPointer<DiscoveryEngine> self(this);
    auto done = [self](int handle, const QString& name, const QString& ignored) {
        if (self)
            self->DeviceNameReply(handle, name, ignored);
    };
    // The platform answers from the event loop only, so both handles are known before any reply.
    m_ask = DeviceAsk {device.MacAddress, ip, kwclock::now()};
    m_ask->mdns = m_net.askDeviceName(NetPlatform::NameQuery::Mdns, ip, done);
    m_ask->netbios = m_net.askDeviceName(NetPlatform::NameQuery::NetBios, ip, done);
    if (m_ask->mdns == 0 && m_ask->netbios == 0)
        m_ask.reset();
    return m_ask.has_value();
}

void DiscoveryEngine::endAsk()
{
    if (!m_ask)
        return;
    for (const int handle : {m_ask->mdns, m_ask->netbios}) {
        if (handle != 0)
            m_net.cancelDeviceName(handle);
    }
    m_ask.reset();
}

void DiscoveryEngine::checkAskTimeout()
{
    if (!m_ask)
        return;
    // A clock set back must not hold the lookups up until it catches up again.
    const qint64 waited = m_ask->started.msecsTo(kwclock::now());
    if (waited >= 0 && waited < kAskTimeoutMs)
        return;
    const QString mac = m_ask->mac;
    endAsk();
    // Silence is no name; the next refresh asks again.
    if (DeviceRecord* device = m_devices.find(mac))
        device->NameLookupPending = false;
    ScanNextName();
}

void DiscoveryEngine::DeviceNameReply(int handle, const QString& name, const QString& ignored)
{
    runTrapped("DeviceNameReply", [&] {
        if (!m_ask || handle == 0 || (handle != m_ask->mdns && handle != m_ask->netbios))
            return;
        if (!ignored.isEmpty() || name.isEmpty()) {
            if (++m_ask->ignored > kIgnoredLines)
                return;
            const QString source = handle == m_ask->mdns ? QStringLiteral("mDNS") : QStringLiteral("NetBIOS");
            Log(kwEngine,
                QStringLiteral("DeviceNameReply - %1 reply for %2 ignored: %3")
                    .arg(source, m_ask->ip, ignored.isEmpty() ? QStringLiteral("empty name") : ignored));
            return;
        }
        DeviceRecord* device = m_devices.find(m_ask->mac);
        const QString ip = m_ask->ip;
        // Removed meanwhile, or at another address now: the answer is discarded as a reverse lookup's would be.
        if (!device || device->IpAddress != ip) {
            endAsk();
            ScanNextName();
            return;
        }
        // A refused name is no answer: the other question may still bring one.
        const QString host =
            admittedName(*device, handle == m_ask->mdns ? QStringLiteral("mDNS") : QStringLiteral("NetBIOS"), name);
        if (host.isEmpty())
            return;
        const QString mac = device->MacAddress;
        endAsk();
        if (device->PresenceCountdown != 0 && !sharesOnlineAddress(*device) && host != device->HostName)
            storeHostName(*device, host);
        if ((device = m_devices.find(mac)))
            device->NameLookupPending = false;
        ScanNextName();
    });
}
