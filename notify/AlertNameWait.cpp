#include "notify/AlertNameWait.h"

#include "platform/Clock.h"
#include "store/DeviceStore.h"

AlertNameWait::AlertNameWait(const DeviceStore& devices, QObject* parent)
    : QObject(parent)
    , m_devices(devices)
{
    m_timer.setInterval(200);
    connect(&m_timer, &QTimer::timeout, this, &AlertNameWait::tick);
}

bool AlertNameWait::named(const QString& mac) const
{
    const DeviceRecord* d = m_devices.find(mac);
    return !d || !d->FriendlyName.isEmpty() || d->HostName != DeviceRecord::unknownHostName() || !d->NameLookupPending;
}

void AlertNameWait::hold(const Alert& alert)
{
    if (alert.kind == Alert::Kind::Storm || named(alert.mac)) {
        Q_EMIT ready(alert);
        return;
    }
    m_held.append({alert, kwclock::now().addMSecs(WaitMs)});
    if (!m_timer.isActive())
        m_timer.start();
}

void AlertNameWait::deviceEvent(const DeviceEvent& event)
{
    using Kind = DeviceEvent::Kind;
    if (!m_held.isEmpty()
        && (event.kind == Kind::NameChanged || event.kind == Kind::Renamed || event.kind == Kind::Removed))
        tick();
}

void AlertNameWait::tick()
{
    const QDateTime now = kwclock::now();
    // Taken out before any goes on: a receiver may raise or remove while ready is emitted.
    QList<Alert> going;
    for (qsizetype i = 0; i < m_held.size();) {
        const Alert& alert = m_held[i].alert;
        if (named(alert.mac) || m_held[i].until <= now) {
            going.append(alert);
            m_held.removeAt(i);
        } else {
            ++i;
        }
    }
    if (m_held.isEmpty())
        m_timer.stop();
    for (const Alert& alert : going)
        Q_EMIT ready(alert);
}
