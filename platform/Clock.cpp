#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <ctime>
#include <utility>

QDateTime SystemClock::now() const
{
    // Dates are stored to the second, so the system keeps whole seconds in memory too.
    QDateTime t = QDateTime::currentDateTime();
    return t.addMSecs(-t.time().msec());
}

qint64 SystemClock::monotonicMs() const
{
    // CLOCK_MONOTONIC on Linux: it does not count a suspend.
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

ManualClock::ManualClock(QDateTime start)
    : m_now(std::move(start))
{ }

namespace {
SystemClock s_systemClock;
Clock* s_clock = &s_systemClock;
} // namespace

namespace kwclock {
Clock& current()
{
    return *s_clock;
}

void install(Clock* clock)
{
    s_clock = clock ? clock : &s_systemClock;
}

QDateTime now()
{
    return s_clock->now();
}
} // namespace kwclock

PinnedTimeZone::PinnedTimeZone()
{
    if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QStringLiteral("/etc/localtime")))
        return;
    m_pinned = qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
    ::tzset();
}

PinnedTimeZone::~PinnedTimeZone()
{
    if (!m_pinned)
        return;
    qunsetenv("TZ");
    ::tzset();
}
