// The echo sender: batches of ICMP echo requests along the sweep cursor. Replies are never read; a request
// exists only to make the kernel resolve its target by ARP.

#include "engine/ErrorTrap.h"
#include "engine/frmClient.h"
#include "platform/NetPlatform.h"

#include <QtEndian>

namespace {
constexpr int kBatch = 32;
constexpr qint32 kPasses = 4;
constexpr int kPacketBytes = 16;
} // namespace

std::array<quint8, 2> frmClient::CountChecksum(const QByteArray& packet, int count)
{
    count = std::clamp(count, 0, int(packet.size()));
    quint32 sum = 0;
    for (int i = 0; i + 1 < count; i += 2)
        sum += (quint32(quint8(packet[i])) << 8) | quint8(packet[i + 1]);
    if (count % 2 == 1)
        sum += quint32(quint8(packet[count - 1])) << 8;
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum = (sum >> 16) + (sum & 0xFFFF);
    const auto checksum = quint16(~sum & 0xFFFF);
    return {quint8(checksum >> 8), quint8(checksum & 0xFF)};
}

QByteArray frmClient::echoRequest()
{
    QByteArray packet(kPacketBytes, char(0));
    packet[0] = char(8); // echo request, code 0
    packet[4] = char(0x55);
    packet[5] = char(0x55); // identifier 0x5555, sequence 0
    for (int i = 8; i < kPacketBytes; ++i)
        packet[i] = char(0x40);
    const auto checksum = CountChecksum(packet, kPacketBytes);
    packet[2] = char(checksum[0]);
    packet[3] = char(checksum[1]);
    return packet;
}

void frmClient::PingSend()
{
    runTrapped("PingSend", [this] {
        if (!m_running || !m_sweepReady)
            return;
        // With no interface up there is nothing to ping: the sweep ends at once, so presence still ages
        // (devices go offline while the network is gone) and the next preparation finds interfaces that
        // have come up meanwhile.
        if (m_ranges.isEmpty()) {
            FinishScan();
            return;
        }
        // A blocking socket would stall the GUI thread behind requests queued for unresolved addresses.
        if (!m_net.setNonBlocking()) {
            Log(QStringLiteral("PingSend - NonBlocking Failed"));
            return;
        }
        const QByteArray packet = echoRequest();
        for (int sent = 0; sent < kBatch; ++sent) {
            const ScanRange& range = m_ranges.at(m_rangeIndex);
            const quint32 target = (quint32(range.byte1) << 24) | (quint32(range.byte2) << 16)
                | (quint32(range.byte3) << 8) | quint32(quint8(m_hostByte));
            // A failed send (unreachable, broadcast, an interface gone since the set-up) is not noticed: the
            // cursor moves on and the next set-up sweeps whatever exists then.
            m_net.sendEcho(packet, qToBigEndian(target));

            if (m_hostByte < range.lastHost) {
                ++m_hostByte;
                continue;
            }
            if (++m_rangeIndex >= m_ranges.size()) {
                m_rangeIndex = 0;
                if (++m_passCount >= kPasses) {
                    // Every address has had its four requests: the rest of this batch is not sent.
                    FinishScan();
                    return;
                }
            }
            m_hostByte = m_ranges.at(m_rangeIndex).firstHost;
        }
    });
}
