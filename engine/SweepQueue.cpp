#include "engine/SweepQueue.h"

#include <algorithm>

void SweepQueue::setRanges(const QList<ScanRange>& ranges)
{
    if (ranges == m_ranges)
        return;
    m_ranges = ranges;
    m_swept.clear();
    m_total = 0;
    for (qsizetype r = 0; r < ranges.size(); ++r) {
        const ScanRange& range = ranges.at(r);
        // Blocks of a mask are either apart or one inside the other: a range is left to the one holding it.
        bool held = false;
        for (qsizetype o = 0; o < ranges.size() && !held; ++o) {
            const ScanRange& other = ranges.at(o);
            held = o != r && other.contains(range.first) && other.contains(range.last)
                && (other.size() > range.size() || o < r);
        }
        if (held)
            continue;
        m_swept.append(range);
        m_total += range.size();
    }
    m_rangeIndex = 0;
    m_offset = 0;
}

void SweepQueue::setTableLimit(int limit)
{
    if (limit <= 0)
        limit = kDefaultTableLimit;
    m_budget = std::max(limit - limit / 4, 2 * kBatch);
    // Three windows in flight: the first is harvested while the third is sent, so the settle time stops no
    // send as long as it is shorter than sending two windows.
    m_windowSize = std::max(m_budget / 3, kBatch);
}

void SweepQueue::startCycle(const QList<quint32>& known)
{
    m_check.clear();
    m_checkSet.clear();
    for (const quint32 a : known) {
        const bool inRange =
            std::any_of(m_swept.cbegin(), m_swept.cend(), [a](const ScanRange& r) { return r.holdsHost(a); });
        if (inRange && !m_checkSet.contains(a)) {
            m_checkSet.insert(a);
            m_check.append(a);
        }
    }
    m_checkPos = 0;
    m_checkClosed = false;
    m_discovered = 0;
}

bool SweepQueue::nextAddress(quint32& address, bool& check)
{
    if (m_checkPos < m_check.size()) {
        address = m_check.at(m_checkPos++);
        check = true;
        return true;
    }
    check = false;
    while (m_discovered < m_total) {
        const ScanRange& range = m_swept.at(m_rangeIndex);
        address = range.first + m_offset;
        ++m_discovered;
        if (++m_offset >= range.size()) {
            m_offset = 0;
            m_rangeIndex = (m_rangeIndex + 1) % qint32(m_swept.size());
        }
        if (!m_checkSet.contains(address))
            return true;
    }
    return false;
}

QList<quint32> SweepQueue::nextBatch(quint64 tick)
{
    QList<quint32> batch;
    int flight = inFlight();
    while (batch.size() < kBatch && flight < m_budget) {
        quint32 address = 0;
        bool check = false;
        if (!nextAddress(address, check))
            break;
        batch.append(address);
        m_open.addresses.append(address);
        m_asked.insert(address, tick);
        ++flight;
        if (check && m_checkPos == m_check.size())
            m_open.endsCheck = true;
        if (m_open.addresses.size() >= m_windowSize)
            closeWindow(tick);
    }
    // The cycle's work is sent: its last window need not wait to fill.
    if (m_checkPos == m_check.size() && m_discovered >= m_total)
        closeWindow(tick);
    return batch;
}

// A cycle without known addresses ends its check with the first window it closes, even an empty one, so that
// its presence verdict still comes.
void SweepQueue::closeWindow(quint64 tick)
{
    if (m_open.addresses.isEmpty() && !m_open.endsCheck && (m_checkClosed || !m_check.isEmpty()))
        return;
    if (!m_checkClosed && m_check.isEmpty())
        m_open.endsCheck = true;
    if (m_open.endsCheck)
        m_checkClosed = true;
    m_open.closedAt = tick;
    m_flight.append(std::move(m_open));
    m_open = Window();
}

QList<SweepQueue::Window> SweepQueue::takeSettled(quint64 tick)
{
    QList<Window> settled;
    while (!m_flight.isEmpty() && m_flight.first().closedAt + kSettleTicks <= tick)
        settled.append(m_flight.takeFirst());
    if (!settled.isEmpty()) {
        for (auto it = m_asked.begin(); it != m_asked.end();)
            it = it.value() + kAskedTicks < tick ? m_asked.erase(it) : std::next(it);
    }
    return settled;
}

bool SweepQueue::idle() const
{
    return m_flight.isEmpty() && m_open.addresses.isEmpty() && m_checkClosed && m_checkPos == m_check.size()
        && m_discovered >= m_total;
}

bool SweepQueue::asked(quint32 address, quint64 tick) const
{
    const auto it = m_asked.constFind(address);
    return it != m_asked.constEnd() && it.value() + kAskedTicks >= tick;
}

int SweepQueue::inFlight() const
{
    int n = int(m_open.addresses.size());
    for (const Window& w : m_flight)
        n += int(w.addresses.size());
    return n;
}
