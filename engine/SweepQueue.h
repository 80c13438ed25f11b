#pragma once

#include "engine/ScanRange.h"

#include <QHash>
#include <QList>
#include <QSet>

// The order and pace of the echo requests. Each cycle sends the addresses of the devices known to be about
// first, then goes on discovering the rest of the ranges from where the last cycle stopped, at most once
// round the ranges per cycle. Addresses leave in batches of at most 32 per 100 ms tick (320 per second, the
// helper's cap) and are grouped in windows: every swept address takes a row of the kernel's neighbour table
// until the harvest deletes it, so the windows in flight never hold more than three quarters of the table's
// limit. A window is harvested a settle time after its last request, while the next two are being sent: the
// settle time lets the kernel ask a second time, so that one lost ARP request or reply (Wi-Fi drops
// broadcasts) costs a second rather than a whole round of the range.
// Pure arithmetic: the engine supplies ticks and sends what it is given.
class SweepQueue final
{
public:
    static constexpr int kBatch = 32;
    // The kernel asks again a second after its first ARP request went unanswered; a LAN answers within
    // milliseconds, so the answer to the second ask is in the table 1.2 s after the request.
    static constexpr int kSettleTicks = 12;
    static constexpr int kAskedTicks = 30; // the kernel asks three times, a second apart
    static constexpr int kDefaultTableLimit = 1024; // the kernel's own gc_thresh3

    struct Window
    {
        QList<quint32> addresses;
        quint64 closedAt = 0;
        bool endsCheck = false; // the last of the cycle's known addresses is in it
    };

    // The ranges to sweep; the discovery cursor starts again when they change. A range inside an earlier
    // (or a larger) one is not swept twice.
    void setRanges(const QList<ScanRange>& ranges);
    // The kernel's neighbour table limit; 0 or less: unknown, the kernel's default is assumed.
    void setTableLimit(int limit);
    // A new cycle: the known addresses (inside the ranges, each once) go first. The windows of the last cycle
    // still in flight are harvested as usual.
    void startCycle(const QList<quint32>& known);
    // The next batch at this tick: up to kBatch addresses, fewer when the windows in flight fill the budget
    // or the cycle has nothing left to send.
    QList<quint32> nextBatch(quint64 tick);
    // Windows whose settle time is over at this tick, oldest first; they are no longer in flight.
    QList<Window> takeSettled(quint64 tick);
    // Everything sent this cycle has been harvested and nothing is left to send until the next cycle.
    bool idle() const;
    // Whether the address was asked within the last kAskedTicks (a reply from it answers the sweep).
    bool asked(quint32 address, quint64 tick) const;

    int budget() const { return m_budget; }
    int windowSize() const { return m_windowSize; }
    int inFlight() const; // addresses sent and not yet harvested
    quint64 totalAddresses() const { return m_total; }

private:
    bool nextAddress(quint32& address, bool& check);
    void closeWindow(quint64 tick);

    QList<ScanRange> m_ranges; // as given
    QList<ScanRange> m_swept; // without ranges another one holds
    quint64 m_total = 0;
    qint32 m_rangeIndex = 0;
    quint32 m_offset = 0;

    int m_budget = kDefaultTableLimit - kDefaultTableLimit / 4;
    int m_windowSize = m_budget / 3;

    QList<quint32> m_check;
    QSet<quint32> m_checkSet;
    qsizetype m_checkPos = 0;
    bool m_checkClosed = true; // the window ending the check has been closed
    quint64 m_discovered = 0; // discovery addresses passed this cycle

    Window m_open;
    QList<Window> m_flight;
    QHash<quint32, quint64> m_asked; // address -> tick it was last sent
};
