// What follow reads. It follows the device history files rather than the store: every event the monitor
// records (and every user action, whoever took it) is one line appended to its device's file, once, in order,
// with its own time, so two changes between two looks stay two lines and an offline-online flip within a second
// is not lost, as it would be in the store, which keeps only the latest state of a device. The store is read
// only for what a line does not say (address, name, list), at the moment the line is printed. A history file is
// rewritten whole and cut to its last 100 lines, so the new lines are those after the last ones seen before.
#include "ctl/CtlFollow.h"

#include "ctl/CtlStore.h"
#include "logging/EventLine.h"
#include "logging/HistoryLine.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "vendor/MacVendors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <cstdio>
#include <ctime>

namespace Ctl {

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

constexpr int kLookMs = 500;
constexpr qsizetype kMaxText = 1000; // a line longer than any history line the monitor writes is cut

struct Seen
{
    QDateTime modified;
    qint64 size = -1;
    QStringList lines;
};

QStringList linesOf(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (QString line : QString::fromUtf8(f.read(1 << 20)).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

// The lines of now that came after the last ones of before (all of now when those are gone).
QStringList newLines(const QStringList& before, const QStringList& now)
{
    const qsizetype anchor = std::min<qsizetype>(3, before.size());
    if (anchor == 0)
        return now;
    const QStringList tail = before.mid(before.size() - anchor);
    for (qsizetype end = now.size(); end >= anchor; --end) {
        if (now.mid(end - anchor, anchor) == tail)
            return now.mid(end);
    }
    return now;
}

// A field of the line: one line of printable text, "-" when empty.
QString field(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    }
    text = text.left(kMaxText).trimmed();
    return text.isEmpty() ? QStringLiteral("-") : text;
}

class Follower
{
public:
    Follower(Store& store, bool json, const QString& share)
        : m_store(store)
        , m_json(json)
        , m_vendors(AppPaths::forDirs(QString(), share).macDatabase())
    { }

    // Remembers every file as it is, printing nothing; then, each look, prints what was added since.
    void look(bool print)
    {
        const QFileInfoList files =
            QDir(m_store.paths().devices()).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
        for (const QFileInfo& file : files) {
            Seen& seen = m_seen[file.fileName()];
            if (seen.modified == file.lastModified() && seen.size == file.size())
                continue;
            seen.modified = file.lastModified();
            seen.size = file.size();
            QStringList lines = linesOf(file.filePath());
            if (print) {
                for (const QString& line : newLines(seen.lines, lines))
                    show(file.completeBaseName(), line);
            }
            seen.lines = std::move(lines);
        }
    }

private:
    QString stored(const QString& mac, const char* value) const
    {
        return KeyStore::readString(KeyStore::ProductKey, Keys::deviceKey(mac), QLatin1String(value));
    }

    void show(const QString& mac, const QString& line)
    {
        const HistoryLine::Parsed parsed = HistoryLine::parse(line);
        const QString friendly = stored(mac, "Friendly_Name");
        const QString name = friendly.isEmpty() ? stored(mac, "Host_Name") : friendly;
        const QString address = stored(mac, "IP_Address");
        const QString intruder = stored(mac, "Intruder");
        const QString vendor = m_vendors.GetMacName(mac);
        QString text;
        if (m_json) {
            const QString list = intruder.isEmpty()                                  ? QString()
                : intruder.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0 ? QStringLiteral("safe")
                                                                                     : QStringLiteral("intruders");
            QJsonObject o {{QStringLiteral("kind"), parsed.kind}, {QStringLiteral("mac"), mac},
                {QStringLiteral("ip"), address}, {QStringLiteral("name"), name}, {QStringLiteral("vendor"), vendor},
                {QStringLiteral("list"), list},
                {QStringLiteral("time"), parsed.time ? parsed.time->toUTC().toString(Qt::ISODate) : QString()},
                {QStringLiteral("text"), parsed.text.left(kMaxText)}};
            // As the webhook does: the last sighting, when the store has one.
            const QDateTime lastSeen = QDateTime::fromString(stored(mac, "Last_Seen"), Qt::ISODate);
            if (lastSeen.isValid())
                o.insert(QStringLiteral("last_seen"), lastSeen.toUTC().toString(Qt::ISODate));
            text = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
        } else {
            text = QStringList {parsed.time ? EventLine::isoTime(*parsed.time) : QStringLiteral("-"), mac,
                field(address), field(name), field(vendor), field(parsed.text)}
                       .join(QLatin1Char('\t'));
        }
        out(text);
        std::fflush(stdout);
    }

    Store& m_store;
    bool m_json;
    MacVendors m_vendors;
    QHash<QString, Seen> m_seen;
};

} // namespace

int follow(Store& store, bool json, const QString& share)
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    Follower follower(store, json, share);
    follower.look(false);
    // On stderr, so that standard output holds only events; a script may wait for it before acting.
    err(QStringLiteral("following the devices of %1 (Ctrl-C ends)").arg(store.paths().home));
    while (!g_stop) {
        const timespec pause {0, kLookMs * 1000000L};
        ::nanosleep(&pause, nullptr); // a signal ends the pause early
        if (!g_stop)
            follower.look(true);
    }
    return 0;
}

} // namespace Ctl
