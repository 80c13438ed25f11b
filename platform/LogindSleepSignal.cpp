#include "platform/LogindSleepSignal.h"

#include <QDBusConnection>

LogindSleepSignal::LogindSleepSignal()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    m_listening = bus.isConnected()
        && bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
            SLOT(onPrepareForSleep(bool)));
}

void LogindSleepSignal::onPrepareForSleep(bool sleeping)
{
    Q_EMIT prepareForSleep(sleeping);
}

std::unique_ptr<SleepSignal> createLogindSleepSignal()
{
    return std::make_unique<LogindSleepSignal>();
}
