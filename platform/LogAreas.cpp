#include "platform/LogAreas.h"

Q_LOGGING_CATEGORY(kwMonitor, "kw.monitor")
Q_LOGGING_CATEGORY(kwEngine, "kw.engine")
Q_LOGGING_CATEGORY(kwNetwork, "kw.network")
Q_LOGGING_CATEGORY(kwStore, "kw.store")
Q_LOGGING_CATEGORY(kwHistory, "kw.history")
Q_LOGGING_CATEGORY(kwAlerts, "kw.alerts")
Q_LOGGING_CATEGORY(kwMail, "kw.mail")
Q_LOGGING_CATEGORY(kwPush, "kw.push")
Q_LOGGING_CATEGORY(kwMqtt, "kw.mqtt")
Q_LOGGING_CATEGORY(kwWeb, "kw.web")
Q_LOGGING_CATEGORY(kwWindow, "kw.window")
Q_LOGGING_CATEGORY(kwSound, "kw.sound")

namespace LogAreas {

const QList<Area>& all()
{
    static const QList<Area> areas {
        {QString::fromLatin1(kwMonitor().categoryName()), QStringLiteral("Monitor")},
        {QString::fromLatin1(kwEngine().categoryName()), QStringLiteral("Discovery")},
        {QString::fromLatin1(kwNetwork().categoryName()), QStringLiteral("Network")},
        {QString::fromLatin1(kwStore().categoryName()), QStringLiteral("Store")},
        {QString::fromLatin1(kwHistory().categoryName()), QStringLiteral("Device history")},
        {QString::fromLatin1(kwAlerts().categoryName()), QStringLiteral("Alerts")},
        {QString::fromLatin1(kwMail().categoryName()), QStringLiteral("Mail")},
        {QString::fromLatin1(kwPush().categoryName()), QStringLiteral("Push")},
        {QString::fromLatin1(kwMqtt().categoryName()), QStringLiteral("MQTT")},
        {QString::fromLatin1(kwWeb().categoryName()), QStringLiteral("Web")},
        {QString::fromLatin1(kwWindow().categoryName()), QStringLiteral("Window")},
        {QString::fromLatin1(kwSound().categoryName()), QStringLiteral("Sound")},
    };
    return areas;
}

QString wordsOf(QStringView name)
{
    for (const Area& area : all()) {
        if (area.name == name)
            return area.words;
    }
    return {};
}

} // namespace LogAreas
