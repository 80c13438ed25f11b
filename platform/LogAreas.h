#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QString>

// The areas of the debug log, one logging category each. Every line names its area ("[kw.mail]"), so the
// settings dialog's log can show and filter a user's word for it without reading the text, and
// QT_LOGGING_RULES ("kw.mqtt.info=false") can quiet an area.
Q_DECLARE_LOGGING_CATEGORY(kwMonitor) // start-up, shut-down, the running monitor's own steps (app/)
Q_DECLARE_LOGGING_CATEGORY(kwEngine) // sweeps, admissions, presence, names, recognition (engine/)
Q_DECLARE_LOGGING_CATEGORY(kwNetwork) // the OS's network: the helper, adapters, sockets (platform/)
Q_DECLARE_LOGGING_CATEGORY(kwStore) // the hive, settings, device files, import and export
Q_DECLARE_LOGGING_CATEGORY(kwHistory) // the device histories (logging/DeviceLog)
Q_DECLARE_LOGGING_CATEGORY(kwAlerts) // which alerts an event raises, and the desktop's notifications
Q_DECLARE_LOGGING_CATEGORY(kwMail)
Q_DECLARE_LOGGING_CATEGORY(kwPush) // ntfy, Gotify, webhooks
Q_DECLARE_LOGGING_CATEGORY(kwMqtt)
Q_DECLARE_LOGGING_CATEGORY(kwWeb)
Q_DECLARE_LOGGING_CATEGORY(kwWindow) // the window, its menus and dialogs
Q_DECLARE_LOGGING_CATEGORY(kwSound)

namespace LogAreas {

struct Area
{
    QString name; // the category's name, as each line carries it: "kw.mail"
    QString words; // what the user reads: "Mail"
};

// Every area in the order a user picks from.
const QList<Area>& all();
// The user's word for a category's name; empty for a name that is no area's.
QString wordsOf(QStringView name);

} // namespace LogAreas
