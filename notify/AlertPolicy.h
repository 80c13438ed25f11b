#pragma once

#include "store/DeviceEvent.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>

struct LiveSettings;

// One alert the policy raised, and the channels the settings allow for it. The front ends play the sound and
// pop the window up (when it is not shown); the mailer, MQTT and the desktop notifier take their parts.
struct Alert
{
    // Watched: a device the user watches went offline or came back (online says which). LikelyReturn: a new
    // device named after its admission turned out to be a safe-list device with a new private address.
    enum class Kind { NewIntruder, IntruderOnline, Storm, Watched, LikelyReturn };

    Kind kind = Kind::NewIntruder;
    QDateTime time;
    QString mac; // the device (not for a storm)
    bool impersonation = false; // a new intruder that answers for the gateway while its MAC is about
    bool sound = false;
    bool popup = false;
    bool mail = false;
    bool notify = false;
    bool push = false; // the push channels (ntfy, Gotify, the webhook) carry it
    bool online = false; // Watched: it came back (else it went offline)
    int volume = 0;

    // A storm digest: how many new devices came since the last digest (the first: those that made the storm),
    // on which interface, the lowest and highest address among them, and since when the storm lasts.
    int count = 0;
    QString interfaceName;
    QString firstAddress;
    QString lastAddress;
    QDateTime since;

    // "12 new devices on eth0, 198.18.0.2 to 198.18.0.250": what the digest's mail, notification and MQTT event
    // say it was.
    QString stormText() const;
};

// Decides from the settings which alerts a device event raises: a new intruder, an intruder back online (not
// within ten seconds of its first sighting), a watched device gone offline or back (by mail and every push
// channel). A device flapping is quiet: at most one online or offline alert per device within
// alertQuietMinutes; its history still records every change. The push channels carry an intruder alert when
// any of its check boxes is on. More than StormThreshold new intruders within StormWindowSecs
// is a storm: every device is still admitted and logged, but the alerts collapse into one digest at once and
// one per DigestSecs while more come; a digest period without a new device ends the storm. Time comes from
// the events and from kwclock, so tests drive it with a manual clock and tick().
class AlertPolicy final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlertPolicy)

public:
    static constexpr int StormThreshold = 10;
    static constexpr qint64 StormWindowSecs = 60;
    static constexpr qint64 DigestSecs = 600;
    static constexpr qint64 OnlineGraceSecs = 10;

    explicit AlertPolicy(const LiveSettings& settings, QObject* parent = nullptr);

    // The interface an address lies on, for the digest; without it the digest names none.
    void setInterfaceLookup(std::function<QString(const QString& ip)> lookup) { m_interfaceOf = std::move(lookup); }
    // Whether a device is on the safe list: a likely return of one is a notification without the siren.
    void setSafeLookup(std::function<bool(const QString& mac)> lookup) { m_safeOf = std::move(lookup); }
    // A device's DeviceWatch::Mode; without it nothing is watched.
    void setWatchLookup(std::function<quint8(const QString& mac)> lookup) { m_watchOf = std::move(lookup); }

    void deviceEvent(const DeviceEvent& event);
    // Every second: the next digest, or the end of the storm.
    void tick();
    bool inStorm() const { return m_storm; }

Q_SIGNALS:
    void alertRaised(const Alert& alert);

private:
    Alert deviceAlert(Alert::Kind kind, const DeviceEvent& event) const;
    // A new intruder that is likely a safe-list device back (earlierMac): no siren, no pop-up, a notification.
    void quieten(Alert& alert, const QString& earlierMac) const;
    void admitted(const DeviceEvent& event);
    void presence(const DeviceEvent& event);
    bool quiet(const QString& mac, const QDateTime& time);
    void sendDigest(const QDateTime& now);
    void widenRange(const QString& address);

    const LiveSettings& m_settings;
    std::function<QString(const QString&)> m_interfaceOf;
    std::function<quint8(const QString&)> m_watchOf;
    std::function<bool(const QString&)> m_safeOf;
    QHash<QString, QDateTime> m_lastPresenceAlert; // per MAC, for the quiet rule
    QTimer m_timer;
    std::deque<std::pair<QDateTime, QString>> m_recent; // new intruders of the last StormWindowSecs
    bool m_storm = false;
    QDateTime m_since;
    QDateTime m_lastDigest;
    int m_pending = 0; // new intruders since the last digest
    int m_total = 0; // in the whole storm
    QString m_firstAddress;
    QString m_lastAddress;
};
