#include "logging/DeviceLog.h"

#include "platform/DebugSink.h"
#include "store/DeviceStore.h"
#include "store/TextForms.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

DeviceLog::DeviceLog(const DeviceStore& devices, QString devicesDir)
    : m_devices(devices)
    , m_dir(std::move(devicesDir))
{
    if (!m_dir.isEmpty() && !m_dir.endsWith(QLatin1Char('/')))
        m_dir += QLatin1Char('/');
}

QString DeviceLog::fileFor(const QString& mac) const
{
    return m_dir + mac + QStringLiteral(".log");
}

QString DeviceLog::byWhom(DeviceEvent::Origin origin)
{
    switch (origin) {
    case DeviceEvent::Origin::Window:
        return QStringLiteral("in the window");
    case DeviceEvent::Origin::Ctl:
        return QStringLiteral("by kestrelwatch-ctl");
    case DeviceEvent::Origin::Mqtt:
        return QStringLiteral("by an MQTT command");
    case DeviceEvent::Origin::Web:
        return QStringLiteral("on the web page");
    case DeviceEvent::Origin::Import:
        return QStringLiteral("by an import");
    case DeviceEvent::Origin::Monitor:
        break;
    }
    return QStringLiteral("by the monitor");
}

QList<DeviceLog::Entry> DeviceLog::entries(const DeviceEvent& e)
{
    using Kind = DeviceEvent::Kind;
    const QString connected = QStringLiteral("Connected ( ") + e.address + QStringLiteral(" )");
    const QString impersonation =
        QStringLiteral("** WARNING - GATEWAY IMPERSONATION ( ") + e.address + QStringLiteral(" ) **");
    switch (e.kind) {
    case Kind::Admitted: {
        // Only the network's gateway is admitted as safe: its line says so instead of warning.
        QList<Entry> lines {{Kind::Admitted,
            e.intruder ? QStringLiteral("** WARNING - NEW DEVICE **")
                       : QStringLiteral("New device: the network's gateway, admitted as safe")}};
        if (e.impersonation)
            lines.append({Kind::Impersonation, impersonation});
        if (!e.earlierMac.isEmpty())
            lines.append({Kind::LikelyReturn, likelyReturnText(e.name, e.earlierMac)});
        lines.append({Kind::Online, connected});
        return lines;
    }
    case Kind::LikelyReturn:
        return {{Kind::LikelyReturn, likelyReturnText(e.name, e.earlierMac)}};
    case Kind::Impersonation:
        return {{Kind::Impersonation, impersonation}};
    case Kind::Online:
        return e.logged ? QList<Entry> {{Kind::Online, connected}} : QList<Entry> {};
    case Kind::Offline:
        return e.logged ? QList<Entry> {{Kind::Offline, QStringLiteral("Disconnected")}} : QList<Entry> {};
    case Kind::AddressChanged:
        return {{Kind::AddressChanged, QStringLiteral("IP = ") + e.address}};
    case Kind::NameChanged:
        return {{Kind::NameChanged, QStringLiteral("Name is ") + e.name}};
    case Kind::AddressesChanged:
    case Kind::Described:
    case Kind::Merged: // the merge writes the histories' lines itself
        break;
    // The user's own actions, each saying who took it.
    case Kind::Acknowledged:
        return {{e.kind, QStringLiteral("Acknowledged (%1)").arg(byWhom(e.origin))}};
    case Kind::Moved:
        return {{e.kind,
            QStringLiteral("Moved to the %1 (%2)")
                .arg(e.intruder ? QStringLiteral("intruders") : QStringLiteral("safe list"), byWhom(e.origin))}};
    case Kind::Renamed:
        return {{e.kind, QStringLiteral("Renamed \"%1\" \u2192 \"%2\" (%3)").arg(e.before, e.name, byWhom(e.origin))}};
    case Kind::WatchChanged:
        return {{e.kind, QStringLiteral("Watch %1 (%2)").arg(e.name, byWhom(e.origin))}};
    case Kind::NoteChanged:
        return {{e.kind,
            e.name.isEmpty() ? QStringLiteral("Note cleared (%1)").arg(byWhom(e.origin))
                             : QStringLiteral("Note changed (%1)").arg(byWhom(e.origin))}};
    case Kind::Removed:
        return {{e.kind, QStringLiteral("Removed from the lists (%1)").arg(byWhom(e.origin))}};
    }
    return {};
}

QString DeviceLog::readable(const QString& event)
{
    static const QLatin1String open("Connected ( ");
    static const QLatin1String close(" )");
    if (event.startsWith(open) && event.endsWith(close) && event.size() > open.size() + close.size())
        return QStringLiteral("Connected at ") + event.mid(open.size(), event.size() - open.size() - close.size());
    if (event.startsWith(QLatin1String("IP = ")))
        return QStringLiteral("Address is now ") + event.mid(5);
    return event;
}

QString DeviceLog::likelyReturnText(const QString& earlierName, const QString& earlierMac)
{
    return QStringLiteral("Probably %1, with a new private address (earlier MAC %2)").arg(earlierName, earlierMac);
}

QString DeviceLog::stamp(const QDateTime& when)
{
    return TextForms::storedDate(when) + QLatin1Char('\t');
}

void DeviceLog::record(const DeviceEvent& event)
{
    const QList<Entry> lines = entries(event);
    if (lines.isEmpty() || !m_devices.contains(event.mac))
        return;
    QStringList texts;
    for (const Entry& entry : lines)
        texts.append(stamp(event.time) + entry.text);
    addEntries(event.mac, texts);
}

QString DeviceLog::trimmed(const QString& log)
{
    // The text ends with CR LF, so the line count is the number of CR LFs.
    qsizetype lines = log.count(QLatin1String("\r\n"));
    qsizetype start = 0;
    while (lines > MaxLines) {
        const qsizetype crlf = log.indexOf(QLatin1String("\r\n"), start);
        if (crlf < 0)
            break;
        start = crlf + 2;
        --lines;
    }
    return start ? log.mid(start) : log;
}

void DeviceLog::AddLogEntry(const QString& mac, const QString& text)
{
    if (!m_devices.contains(mac)) {
        Log(kwHistory, QStringLiteral("AddLogEntry - no device %1").arg(mac));
        return;
    }
    addEntries(mac, {text});
}

void DeviceLog::addEntries(const QString& mac, const QStringList& texts)
{
    // The file is written once per event, not per line: a storm of admissions costs a third of the writes. A
    // history holds one entry a line, whatever a name in it holds.
    QStringList entries;
    for (const QString& text : texts)
        entries.append(escapeLogText(text, Tabs::Keep));
    QString history = this->history(mac);
    for (const QString& entry : entries)
        history += entry + QStringLiteral("\r\n");
    save(mac, trimmed(history));
    if (m_entryHook) {
        for (const QString& entry : entries)
            m_entryHook(mac, entry);
    }
}

void DeviceLog::save(const QString& mac, const QString& history)
{
    QDir().mkpath(m_dir);
    // Written aside and renamed over, so a crash leaves the old history or the new one, never half of one.
    QSaveFile f(fileFor(mac));
    if (!f.open(QIODevice::WriteOnly) || f.write(history.toUtf8()) < 0 || !f.commit())
        Log(kwHistory, QStringLiteral("Save_Log - %1: %2").arg(fileFor(mac), f.errorString()));
}

QString DeviceLog::history(const QString& mac) const
{
    if (mac.isEmpty())
        return {};
    QFile f(fileFor(mac));
    return f.open(QIODevice::ReadOnly) ? trimmed(QString::fromUtf8(f.readAll())) : QString();
}

QString DeviceLog::historyExcerpt(const QString& mac) const
{
    const QStringList lines = history(mac).split(QStringLiteral("\r\n"));
    QString out;
    for (const QString& line : lines) {
        if (!line.isEmpty())
            out += line + QStringLiteral("\r\n");
    }
    return out;
}
