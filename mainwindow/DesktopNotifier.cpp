#include "mainwindow/DesktopNotifier.h"

#include "platform/Clock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kShow = QStringLiteral("show");
const QString kAcknowledge = QStringLiteral("acknowledge");

} // namespace

DesktopNotifier::DesktopNotifier(std::function<void(const QString&)> log, QObject* parent)
    : QObject(parent)
    , m_log(std::move(log))
{ }

DesktopNotifier::~DesktopNotifier() = default;

bool DesktopNotifier::connectService()
{
    if (m_service && m_service->isValid())
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    // A bus that names the service may still start it on demand: only its absence from both lists counts.
    const bool there = bus.isConnected() && bus.interface()
        && (bus.interface()->isServiceRegistered(kService).value()
            || bus.interface()->activatableServiceNames().value().contains(kService));
    if (!there) {
        if (!m_missingLogged)
            m_log(QStringLiteral("Notify - no desktop notification service on the session bus; alerts use "
                                 "sound, pop-up and mail only"));
        m_missingLogged = true;
        return false;
    }
    delete m_service;
    m_service = new QDBusInterface(kService, kPath, kService, bus, this);
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus.connect(
        kService, kPath, kService, QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint)));
    const QDBusReply<QStringList> capabilities = m_service->call(QStringLiteral("GetCapabilities"));
    m_capabilities = capabilities.isValid() ? capabilities.value() : QStringList {QStringLiteral("body-markup")};
    return true;
}

QString DesktopNotifier::summary(const QList<Topic>& topics)
{
    if (topics.size() == 1) {
        switch (topics.first()) {
        case Topic::NewIntruder:
            return QStringLiteral("New intruder on your network");
        case Topic::IntruderOnline:
            return QStringLiteral("Intruder online");
        case Topic::Impersonation:
            return QStringLiteral("A device is impersonating your network gateway");
        case Topic::Storm:
            return QStringLiteral("Many new devices on your network");
        case Topic::LikelyReturn:
            return QStringLiteral("A known device is back with a new private address");
        }
    }
    const qsizetype online = topics.count(Topic::IntruderOnline);
    const qsizetype fresh = topics.size() - online;
    const QString news = fresh == 1 ? QStringLiteral("1 new intruder") : QStringLiteral("%1 new intruders").arg(fresh);
    const QString back =
        online == 1 ? QStringLiteral("1 intruder online") : QStringLiteral("%1 intruders online").arg(online);
    if (online == 0)
        return news + QStringLiteral(" on your network");
    return fresh == 0 ? back : news + QStringLiteral(" and ") + back;
}

bool DesktopNotifier::notify(Topic topic, const QString& mac, const QString& body)
{
    if (!connectService())
        return false;
    const QDateTime now = kwclock::now();
    const bool together = m_groupId != 0 && m_groupLast.isValid() && m_groupLast.msecsTo(now) >= 0
        && m_groupLast.msecsTo(now) <= GroupMs && m_macOf.contains(m_groupId);
    if (!together) {
        m_groupId = 0;
        m_groupTopics.clear();
        m_groupLines.clear();
    }
    m_groupTopics.append(topic);
    m_groupLines.append(body.section(QLatin1Char('\n'), 0, 0));
    m_groupLast = now;
    QString text = body;
    QStringList actions {kShow, QStringLiteral("Show"), kAcknowledge, QStringLiteral("Acknowledge")};
    if (m_groupTopics.size() > 1) {
        // A summary shows the window; which device to acknowledge is the user's choice there.
        constexpr qsizetype kListed = 5;
        text = m_groupLines.mid(0, kListed).join(QLatin1Char('\n'));
        if (m_groupLines.size() > kListed)
            text += QStringLiteral("\n\u2026 and %1 more").arg(m_groupLines.size() - kListed);
        actions = QStringList {kShow, QStringLiteral("Show")};
    } else if (topic == Topic::Storm) {
        actions = QStringList {kShow, QStringLiteral("Show")};
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrelwatch"));
    const QDBusReply<uint> reply = m_service->call(QStringLiteral("Notify"), QStringLiteral("Kestrelwatch"), m_groupId,
        QStringLiteral("kestrelwatch"), summary(m_groupTopics), bodyText(m_capabilities, text), actions, hints,
        int(ExpireMs));
    if (!reply.isValid()) {
        m_log(QStringLiteral("Notify - the notification service refused: ") + reply.error().message());
        return false;
    }
    m_missingLogged = false;
    if (m_groupId != 0 && m_groupId != reply.value())
        m_macOf.remove(m_groupId);
    m_groupId = reply.value();
    // A summary stands for several devices: its "Show" opens the window on none in particular.
    m_macOf.insert(m_groupId, m_groupTopics.size() > 1 ? QString() : mac);
    ++m_sent;
    return true;
}

QString DesktopNotifier::bodyText(const QStringList& capabilities, const QString& body)
{
    return capabilities.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body;
}

void DesktopNotifier::actionInvoked(uint id, const QString& action)
{
    if (!m_macOf.contains(id))
        return;
    const QString mac = m_macOf.value(id);
    if (action == kShow || action == QLatin1String("default"))
        Q_EMIT showRequested(mac);
    else if (action == kAcknowledge)
        Q_EMIT acknowledgeRequested(mac);
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    m_macOf.remove(id);
}
