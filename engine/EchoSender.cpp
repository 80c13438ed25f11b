// The echo sender: batches of ICMP echo requests along the sweep cursor. Replies are never read; a request
// exists only to make the kernel resolve its target by ARP.

#include "engine/ErrorTrap.h"
#include "engine/frmClient.h"
#include "platform/NetPlatform.h"

namespace {
constexpr int kBatch = 32;
constexpr qint32 kPasses = 4;
} // namespace

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
        QList<quint32> batch;
        for (int sent = 0; sent < kBatch; ++sent) {
            const ScanRange& range = m_ranges.at(m_rangeIndex);
            const quint32 target = (quint32(range.byte1) << 24) | (quint32(range.byte2) << 16)
                | (quint32(range.byte3) << 8) | quint32(quint8(m_hostByte));
            // A failed send (unreachable, broadcast, an interface gone since the set-up) is not noticed: the
            // cursor moves on and the next set-up sweeps whatever exists then.
            batch.append(target);

            if (m_hostByte < range.lastHost) {
                ++m_hostByte;
                continue;
            }
            if (++m_rangeIndex >= m_ranges.size()) {
                m_rangeIndex = 0;
                if (++m_passCount >= kPasses) {
                    // Every address has had its four requests: the rest of this batch is not sent.
                    m_net.sendEchoBatch(batch);
                    FinishScan();
                    return;
                }
            }
            m_hostByte = m_ranges.at(m_rangeIndex).firstHost;
        }
        m_net.sendEchoBatch(batch);
    });
}
