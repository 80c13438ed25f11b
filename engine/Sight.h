#pragma once

#include "engine/ScanRange.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

struct AdapterInfo;

// What the monitor can see. A device is judged absent only when the monitor looked and did not find it: its
// view (the subnet it was seen on) stayed on an adapter that was up, had carrier and kept its address through a
// whole cycle, and the machine did not sleep meanwhile. Sleep shows three ways: the system says so (logind), a
// look comes far too late (the process was stopped or the machine slept), or the wall clock moved apart from the
// monotonic one (a suspend). After sleep the first two cycles re-establish presence. The time the monitor is blind
// (no network, or waking up) is counted. Pure bookkeeping: the engine supplies adapters, times and verdicts.
class Sight final
{
public:
    enum class State { Watching, NotConnected, WakingUp };
    // A look this much later than the one before means the process did not run meanwhile.
    static constexpr qint64 LateLookMs = 10000;
    // The wall clock moving this much more (or less) than the monotonic one between two looks is a suspend.
    static constexpr qint64 ClockJumpMs = 5000;
    // Cycles after waking that only re-establish presence.
    static constexpr int WakingCycles = 2;

    // subnet ("198.18.0.0/24") -> what stands for it on the adapters: their indexes and own addresses there.
    using Views = QMap<QString, QString>;
    static Views viewsOf(const QList<AdapterInfo>& adapters);
    static QString keyOf(const ScanRange& range);
    static QString keyOf(quint32 ip, int prefix);

    // A look at the clocks (each tick, each packet heard); true when they say the machine slept since the last.
    bool clocksSaySlept(const QDateTime& wall, qint64 monotonicMs);
    // When the last look before now was taken (the last moment the monitor surely ran).
    QDateTime lastLook() const { return m_lastWall; }
    // The machine goes to sleep (or was found to have slept) after lastAwake: the cycle under way proves nothing
    // and the next WakingCycles only re-establish presence.
    void slept(const QDateTime& lastAwake);
    // logind's PrepareForSleep: true before the sleep, false after it.
    void systemSleeping(bool sleeping, const QDateTime& now);

    void cycleStarted(const Views& views, const QDateTime& now);
    // The cycle's verdict: the views that stayed in sight from its start to now, the same on the same adapters,
    // without sleep between.
    QSet<QString> cycleJudged(const Views& views, const QDateTime& now);

    State state() const;
    static QString stateText(State state); // empty while watching
    // Whole seconds blind (not connected, or asleep and waking) for the life of the process.
    qint64 blindSeconds(const QDateTime& now) const;

private:
    void settle(const QDateTime& when);

    Views m_startViews; // the cycle's views that were as at the last verdict (or new since)
    Views m_judgedViews;
    bool m_connected = true; // until the first cycle says otherwise
    bool m_broken = false; // slept since the cycle started
    bool m_asleep = false;
    int m_waking = 0;
    QDateTime m_lastWall;
    qint64 m_lastMonotonic = 0;
    QDateTime m_blindSince;
    qint64 m_blindMs = 0;
};
