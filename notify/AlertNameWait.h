#pragma once

#include "notify/AlertPolicy.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

class DeviceStore;

// Holds the mail and the desktop notification of a device's alert until the device has a name, so that they
// do not say "Unknown Device" when its host name comes a moment later: an alert goes on (ready) as soon as the
// device has a host or friendly name or its name lookup has ended without one, and at the latest WaitMs after
// it was raised. A storm digest names no device and goes on at once. The sound and the pop-up never wait:
// they take the policy's alert directly. Time comes from kwclock; tests drive it with a manual clock and tick().
class AlertNameWait final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlertNameWait)

public:
    static constexpr qint64 WaitMs = 3000;

    explicit AlertNameWait(const DeviceStore& devices, QObject* parent = nullptr);

    void hold(const Alert& alert);
    // A name found or given, or a device removed: the alerts waiting for it go on.
    void deviceEvent(const DeviceEvent& event);
    // Every 200 ms while an alert waits: those whose device is named now or whose time is up go on.
    void tick();
    int waiting() const { return int(m_held.size()); }

Q_SIGNALS:
    // The alert; its device may be gone by now.
    void ready(const Alert& alert);

private:
    // Whether the device of mac has a name to show, or is gone.
    bool named(const QString& mac) const;

    struct Held
    {
        Alert alert;
        QDateTime until;
    };
    const DeviceStore& m_devices;
    QList<Held> m_held;
    QTimer m_timer;
};
