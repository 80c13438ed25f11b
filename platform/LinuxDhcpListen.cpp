// Heard DHCP on the Linux layer: the helper is asked to listen once it is up (again), and its reports go to the
// engine as they are decoded. A helper too old to know the request refuses it, which only means DHCP
// clients are found by their ARP and the sweep, as before.

#include "platform/DebugSink.h"
#include "platform/HelperClient.h"
#include "platform/LinuxNetPlatform.h"

#include <cstring>

void LinuxNetPlatform::listenForDhcp()
{
    if (!(m_helper->flags() & helperproto::DhcpListen)) {
        Log(kwNetwork,
            QStringLiteral("NetPlatform - DHCP listening is off: the helper %1 cannot open its DHCP socket (%2); "
                           "DHCP clients are found by their ARP and the sweep")
                .arg(m_helper->program(), QString::fromLocal8Bit(std::strerror(m_helper->dhcpSocketErrno()))));
        return;
    }
    m_listenDhcpSeq = m_helper->send(helperproto::Type::ListenDhcp, {});
}

void LinuxNetPlatform::dhcpHeard(const helperproto::Reply& reply)
{
    using namespace helperproto;
    const DhcpHeardBatch batch = parseDhcpHeard(reply.payload);
    if (!batch.ok) {
        Log(kwNetwork,
            QStringLiteral("NetPlatform - the helper sent a malformed DHCP report of %1 bytes; ignored")
                .arg(reply.payload.size()));
        return;
    }
    if (reply.seq != 0 && reply.seq == m_listenDhcpSeq) {
        m_listenDhcpSeq = 0;
        Log(kwNetwork, QStringLiteral("NetPlatform - listening for DHCP clients on the swept interfaces"));
    }
    if (batch.dropped > 0)
        reportProblem(QStringLiteral("DhcpHeard dropped"),
            QStringLiteral("heard DHCP comes faster than %1 reports a second; the helper dropped %2 of them")
                .arg(kDhcpReportsPerSecond)
                .arg(batch.dropped));
    for (const Heard& s : batch.sightings)
        deliverHeard(s);
}

void LinuxNetPlatform::dhcpOptionsHeard(const helperproto::Reply& reply)
{
    const auto heard = helperproto::parseDhcpOptions(reply.payload);
    if (!heard) {
        Log(kwNetwork,
            QStringLiteral("NetPlatform - the helper sent malformed DHCP options of %1 bytes; ignored")
                .arg(reply.payload.size()));
        return;
    }
    deliverHeard(*heard);
}
