#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QDBusInterface;

// Alerts as desktop notifications through the session's freedesktop notification service
// (org.freedesktop.Notifications), each with the actions "Show" and "Acknowledge". Without the service the
// notifier writes one log line and stays quiet; a service that starts later is found at the next alert.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    explicit DesktopNotifier(std::function<void(const QString&)> log, QObject* parent = nullptr);
    ~DesktopNotifier() override;

    // Sends a notification about the device with this MAC address; false when no service took it.
    bool notify(const QString& mac, const QString& summary, const QString& body);
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
};
