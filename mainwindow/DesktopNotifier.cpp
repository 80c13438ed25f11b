#include "mainwindow/DesktopNotifier.h"

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

bool DesktopNotifier::notify(const QString& mac, const QString& summary, const QString& body)
{
    if (!connectService())
        return false;
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrelwatch"));
    const QStringList actions {kShow, QStringLiteral("Show"), kAcknowledge, QStringLiteral("Acknowledge")};
    const QDBusReply<uint> reply = m_service->call(QStringLiteral("Notify"), QStringLiteral("Kestrelwatch"), uint(0),
        QStringLiteral("kestrelwatch"), summary, bodyText(m_capabilities, body), actions, hints, int(-1));
    if (!reply.isValid()) {
        m_log(QStringLiteral("Notify - the notification service refused: ") + reply.error().message());
        return false;
    }
    m_missingLogged = false;
    m_macOf.insert(reply.value(), mac);
    ++m_sent;
    return true;
}

QString DesktopNotifier::bodyText(const QStringList& capabilities, const QString& body)
{
    return capabilities.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body;
}

void DesktopNotifier::actionInvoked(uint id, const QString& action)
{
    const QString mac = m_macOf.value(id);
    if (mac.isEmpty())
        return;
    if (action == kShow || action == QLatin1String("default"))
        Q_EMIT showRequested(mac);
    else if (action == kAcknowledge)
        Q_EMIT acknowledgeRequested(mac);
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    m_macOf.remove(id);
}
