// The echo sender: batches of ICMP echo requests in the order SweepQueue gives, and the harvest of each window
// once its replies have had their time. Replies are never read; a request exists only to make the kernel
// resolve its target by ARP.

#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "platform/NetPlatform.h"

void DiscoveryEngine::PingSend()
{
    runTrapped("PingSend", [this] {
        if (!m_running || !m_sweepReady)
            return;
        // With no interface up there is nothing to ping: the cycle ends at once, so presence still ages
        // (devices go offline while the network is gone) and the next preparation finds interfaces that
        // have come up meanwhile.
        if (m_ranges.isEmpty()) {
            FinishScan({}, true);
            m_sweepReady = false;
            return;
        }
        // The settled windows first: their rows make room for this tick's batch.
        const QList<SweepQueue::Window> settled = m_sweep.takeSettled(m_ticks);
        if (!settled.isEmpty()) {
            const bool judged =
                std::any_of(settled.cbegin(), settled.cend(), [](const SweepQueue::Window& w) { return w.endsCheck; });
            FinishScan(settled, judged);
        }
        // A failed send (unreachable, broadcast, an interface gone since the set-up) is not noticed: the
        // cursor moves on and the next set-up sweeps whatever exists then.
        const QList<quint32> batch = m_sweep.nextBatch(m_ticks);
        if (!batch.isEmpty())
            m_net.sendEchoBatch(batch);
        if (m_sweep.idle())
            m_sweepReady = false;
    });
}
