#pragma once

#include <QDateTime>

// The one source of "now" for every date the system writes. Production uses the wall clock; tests install a
// ManualClock and move it forward, so that rules measured in seconds run in milliseconds.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that only runs forwards and stands still while the machine sleeps: set beside
    // now(), it shows a suspend (the wall clock went on, this one did not) and a process stopped for long.
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};

class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start);
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonicMs; }
    // The wall clock alone: a jump, as a suspend or a clock set by hand makes one.
    void set(const QDateTime& when) { m_now = when; }
    // Both clocks: time passing while the process runs (or is stopped).
    void advanceSeconds(qint64 seconds) { advanceMSecs(seconds * 1000); }
    void advanceMSecs(qint64 ms)
    {
        m_now = m_now.addMSecs(ms);
        m_monotonicMs += ms;
    }

private:
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
};

namespace kwclock {
// The process-wide clock; SystemClock until a test installs another (nullptr restores the system clock).
Clock& current();
void install(Clock* clock);
QDateTime now();
} // namespace kwclock

// While it lives, the C library reads the local time zone once instead of at every conversion: with TZ unset,
// glibc looks at /etc/localtime again for each local time it converts, and loading a store of 10,000 devices
// converts hundreds of thousands of dates. Nothing changes when TZ is set already; on leaving, TZ is unset
// again, so a zone changed while the monitor runs is still followed.
class PinnedTimeZone
{
public:
    PinnedTimeZone();
    ~PinnedTimeZone();
    PinnedTimeZone(const PinnedTimeZone&) = delete;
    PinnedTimeZone& operator=(const PinnedTimeZone&) = delete;

private:
    bool m_pinned = false;
};
