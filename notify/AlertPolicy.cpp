#include "notify/AlertPolicy.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceWatch.h"
#include "store/LiveSettings.h"
#include "store/TextForms.h"

#include <QHostAddress>

namespace {
quint32 ipValue(const QString& address)
{
    return QHostAddress(address).toIPv4Address();
}
} // namespace

QString Alert::stormText() const
{
    QString text = QStringLiteral("%1 new devices").arg(count);
    if (!interfaceName.isEmpty())
        text += QStringLiteral(" on ") + interfaceName;
    if (!firstAddress.isEmpty())
        text += QStringLiteral(", ") + firstAddress
            + (lastAddress == firstAddress ? QString() : QStringLiteral(" to ") + lastAddress);
    return text;
}

AlertPolicy::AlertPolicy(const LiveSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &AlertPolicy::tick);
    m_timer.start();
}

Alert AlertPolicy::deviceAlert(Alert::Kind kind, const DeviceEvent& event) const
{
    const bool online = kind == Alert::Kind::IntruderOnline;
    Alert alert;
    alert.kind = kind;
    alert.time = event.time;
    alert.mac = event.mac;
    alert.impersonation = event.impersonation;
    alert.sound = online ? m_settings.alerts.onlineIntruder.sound : m_settings.alerts.newIntruder.sound;
    alert.popup = online ? m_settings.alerts.onlineIntruder.popup : m_settings.alerts.newIntruder.popup;
    alert.mail = online ? m_settings.alerts.onlineIntruder.mail : m_settings.alerts.newIntruder.mail;
    alert.notify = online ? m_settings.alerts.onlineIntruder.notify : m_settings.alerts.newIntruder.notify;
    alert.volume = m_settings.alerts.volume;
    alert.push = alert.sound || alert.popup || alert.mail || alert.notify;
    return alert;
}

void AlertPolicy::quieten(Alert& alert, const QString& earlierMac) const
{
    if (earlierMac.isEmpty() || !m_safeOf || !m_safeOf(earlierMac))
        return;
    alert.sound = alert.popup = false;
    alert.notify = true;
    alert.push = true;
}

void AlertPolicy::deviceEvent(const DeviceEvent& event)
{
    if (event.kind == DeviceEvent::Kind::Admitted && event.intruder)
        admitted(event);
    else if (event.kind == DeviceEvent::Kind::LikelyReturn && m_safeOf && m_safeOf(event.earlierMac)) {
        // Its admission alerted as any stranger's; now it is known for whom it is likely taken.
        Alert alert = deviceAlert(Alert::Kind::LikelyReturn, event);
        quieten(alert, event.earlierMac);
        alert.mail = false;
        Q_EMIT alertRaised(alert);
    } else if (event.kind == DeviceEvent::Kind::Online || (event.kind == DeviceEvent::Kind::Offline && event.logged))
        presence(event);
    else if (event.kind == DeviceEvent::Kind::Removed)
        m_lastPresenceAlert.remove(event.mac);
}

void AlertPolicy::presence(const DeviceEvent& event)
{
    const bool online = event.kind == DeviceEvent::Kind::Online;
    const bool intruderBack = online && event.intruder && event.firstSeen.secsTo(event.time) > OnlineGraceSecs;
    const bool watched = m_watchOf && DeviceWatch::covers(m_watchOf(event.mac), online);
    if (!intruderBack && !watched)
        return;
    if (quiet(event.mac, event.time))
        return;
    Alert alert = deviceAlert(intruderBack ? Alert::Kind::IntruderOnline : Alert::Kind::Watched, event);
    if (!intruderBack)
        alert.sound = alert.popup = alert.notify = false;
    alert.online = online;
    alert.mail = alert.mail || watched;
    alert.push = alert.push || watched;
    Q_EMIT alertRaised(alert);
}

bool AlertPolicy::quiet(const QString& mac, const QDateTime& time)
{
    const qint64 quietSecs = qint64(m_settings.alerts.quietMinutes) * 60;
    const auto last = m_lastPresenceAlert.constFind(mac);
    if (quietSecs > 0 && last != m_lastPresenceAlert.cend() && last->secsTo(time) < quietSecs) {
        Log(kwAlerts,
            QStringLiteral(
                "Alerts - %1 changed again within %2 minutes of its last alert: no alert, the history has it")
                .arg(mac)
                .arg(m_settings.alerts.quietMinutes));
        return true;
    }
    m_lastPresenceAlert.insert(mac, time);
    return false;
}

void AlertPolicy::admitted(const DeviceEvent& event)
{
    const QDateTime now = event.time;
    m_recent.emplace_back(now, event.address);
    while (!m_recent.empty() && m_recent.front().first.secsTo(now) >= StormWindowSecs)
        m_recent.pop_front();
    if (m_storm) {
        ++m_pending;
        ++m_total;
        widenRange(event.address);
        return;
    }
    if (int(m_recent.size()) <= StormThreshold) {
        Alert alert = deviceAlert(Alert::Kind::NewIntruder, event);
        quieten(alert, event.earlierMac);
        Q_EMIT alertRaised(alert);
        return;
    }
    m_storm = true;
    m_since = m_recent.front().first;
    m_pending = m_total = int(m_recent.size());
    m_firstAddress.clear();
    m_lastAddress.clear();
    for (const auto& recent : m_recent)
        widenRange(recent.second);
    Log(kwAlerts,
        QStringLiteral("Alerts - storm: more than %1 new devices within %2 s (%3 so far, %4 to %5); every device "
                       "is still admitted, alerts are one digest per %6 minutes while the storm lasts")
            .arg(StormThreshold)
            .arg(StormWindowSecs)
            .arg(m_total)
            .arg(m_firstAddress, m_lastAddress)
            .arg(DigestSecs / 60));
    sendDigest(now);
}

void AlertPolicy::widenRange(const QString& address)
{
    if (address.isEmpty())
        return;
    if (m_firstAddress.isEmpty() || ipValue(address) < ipValue(m_firstAddress))
        m_firstAddress = address;
    if (m_lastAddress.isEmpty() || ipValue(address) > ipValue(m_lastAddress))
        m_lastAddress = address;
}

void AlertPolicy::sendDigest(const QDateTime& now)
{
    Alert alert;
    alert.kind = Alert::Kind::Storm;
    alert.time = now;
    alert.count = m_pending;
    alert.firstAddress = m_firstAddress;
    alert.lastAddress = m_lastAddress;
    alert.interfaceName = m_interfaceOf ? m_interfaceOf(m_firstAddress) : QString();
    alert.since = m_since;
    alert.sound = m_settings.alerts.newIntruder.sound;
    alert.popup = m_settings.alerts.newIntruder.popup;
    alert.mail = m_settings.alerts.newIntruder.mail;
    alert.notify = m_settings.alerts.newIntruder.notify;
    alert.volume = m_settings.alerts.volume;
    alert.push = alert.sound || alert.popup || alert.mail || alert.notify;
    m_lastDigest = now;
    m_pending = 0;
    m_firstAddress.clear();
    m_lastAddress.clear();
    Q_EMIT alertRaised(alert);
}

void AlertPolicy::tick()
{
    if (!m_storm)
        return;
    const QDateTime now = kwclock::now();
    if (m_lastDigest.secsTo(now) < DigestSecs)
        return;
    if (m_pending > 0) {
        sendDigest(now);
        return;
    }
    m_storm = false;
    m_recent.clear();
    Log(kwAlerts,
        QStringLiteral("Alerts - the storm is over: %1 new devices since %2; each new intruder alerts again")
            .arg(m_total)
            .arg(TextForms::dateText(m_since)));
}
