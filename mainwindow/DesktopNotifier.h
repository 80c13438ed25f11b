#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QDBusInterface;

// Alerts as desktop notifications through the session's freedesktop notification service
// (org.freedesktop.Notifications), each with the actions "Show" and "Acknowledge", at normal urgency and
// expiring after ExpireMs. Alerts that come together (each within GroupMs of the one before) share one
// notification: the first shows alone, each later one replaces it with a summary that counts them all
// ("3 new intruders on your network") and lists them. Without the service the notifier writes one log line and
// stays quiet; a service that starts later is found at the next alert. Time comes from kwclock.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    explicit DesktopNotifier(std::function<void(const QString&)> log, QObject* parent = nullptr);
    ~DesktopNotifier() override;

    enum class Topic { NewIntruder, IntruderOnline, Impersonation, Storm, LikelyReturn };
    static constexpr int ExpireMs = 15000;
    static constexpr qint64 GroupMs = 1000;

    // Sends a notification about the device with this MAC address (none for a storm); false when no service
    // took it.
    bool notify(Topic topic, const QString& mac, const QString& body);
    // "New intruder on your network"; for several alerts, their count by topic ("3 new intruders on your
    // network", "2 new intruders and 1 intruder online").
    static QString summary(const QList<Topic>& topics);
    // How many notifications a service has taken.
    int sentCount() const { return m_sent; }
    // The body as sent to a service with these capabilities: escaped when the service reads markup in bodies
    // ("body-markup"), so a device name shows as written and never as a link or an image.
    static QString bodyText(const QStringList& capabilities, const QString& body);

Q_SIGNALS:
    // The user chose an action on the notification of this device.
    void showRequested(const QString& mac);
    void acknowledgeRequested(const QString& mac);

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    bool connectService();

    std::function<void(const QString&)> m_log;
    QDBusInterface* m_service = nullptr;
    QHash<uint, QString> m_macOf; // notification id -> device
    QStringList m_capabilities; // the service's, or markup assumed when it does not say
    bool m_missingLogged = false;
    int m_sent = 0;
    // The alerts that came together: their notification (0 for none yet), topics and lines, and when the last came.
    uint m_groupId = 0;
    QList<Topic> m_groupTopics;
    QStringList m_groupLines;
    QDateTime m_groupLast;
};
