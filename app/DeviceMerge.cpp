// Merging two devices: a phone with a new private address, a laptop's second adapter, a device re-added after
// a reset. The newer record stays (it is the MAC the device uses now) and takes over what the user decided
// about the older one; the older MAC is kept as a former address, so that it is this device when it comes back.

#include "app/DeviceActions.h"

#include "logging/DeviceLog.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/MacAddress.h"
#include "store/PresenceStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace {

QString historyText(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// History lines of both devices in time order; a line whose stamp does not read stays after the line before it.
QString interleaved(const QString& older, const QString& newer)
{
    struct Line
    {
        QDateTime when;
        int from;
        qsizetype order;
        QString text;
    };
    QList<Line> lines;
    int from = 0;
    for (const QString& history : {older, newer}) {
        QDateTime last;
        for (const QString& raw : history.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            const qsizetype tab = raw.indexOf(QLatin1Char('\t'));
            if (const auto when = tab > 0 ? TextForms::parseStoredDate(raw.left(tab)) : std::nullopt)
                last = when->when;
            lines.append({last, from, lines.size(), raw});
        }
        ++from;
    }
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        if (a.when.isValid() && b.when.isValid() && a.when != b.when)
            return a.when < b.when;
        return a.from < b.from || (a.from == b.from && a.order < b.order);
    });
    QString out;
    for (const Line& line : std::as_const(lines))
        out += line.text + QStringLiteral("\r\n");
    return out;
}

// At most this many former MACs are kept per device.
constexpr qsizetype MaxFormerMacs = 16;

bool takesOver(FactSource oldSource, FactSource intoSource)
{
    // The user's word on the older record stands; a fact the newer one lacks is better than none.
    return (oldSource == FactSource::User && intoSource != FactSource::User)
        || (intoSource == FactSource::None && oldSource != FactSource::None);
}

} // namespace

void DeviceActions::setMergeFiles(const QString& devicesDir, PresenceStore* presence)
{
    m_devicesDir = devicesDir;
    if (!m_devicesDir.isEmpty() && !m_devicesDir.endsWith(QLatin1Char('/')))
        m_devicesDir += QLatin1Char('/');
    m_presence = presence;
}

DeviceRecord DeviceActions::merged(const DeviceRecord& old, const DeviceRecord& into)
{
    DeviceRecord d = into;
    if (!old.FriendlyName.isEmpty())
        d.FriendlyName = old.FriendlyName;
    d.Intruder = old.Intruder;
    // Acknowledged when either was: the user has looked at this device before. A safe device is never new.
    d.NewDevice = old.Intruder && old.NewDevice && into.NewDevice;
    d.Watch = old.Watch;
    if (takesOver(old.TypeSource, into.TypeSource)) {
        d.Type = old.Type;
        d.TypeSource = old.TypeSource;
    }
    if (takesOver(old.ModelSource, into.ModelSource)) {
        d.Model = old.Model;
        d.ModelSource = old.ModelSource;
    }
    if (takesOver(old.OsSource, into.OsSource)) {
        d.Os = old.Os;
        d.OsSource = old.OsSource;
    }
    if (d.Note.isEmpty())
        d.Note = old.Note;
    else if (!old.Note.isEmpty() && old.Note != d.Note)
        d.Note = old.Note + QLatin1Char('\n') + d.Note;
    if (d.Network.isEmpty())
        d.Network = old.Network;
    if (d.MdnsName.isEmpty())
        d.MdnsName = old.MdnsName;
    if (old.FirstSeen.isValid() && old.FirstSeen > TextForms::NeverDate() && old.FirstSeen < d.FirstSeen)
        d.FirstSeen = old.FirstSeen;
    // Newest first: the MAC merged now, the ones it had, then the ones this device had already; each once, never
    // the device's own, and a bounded number (a phone that rotates daily would grow the list without end).
    d.FormerMacs.clear();
    for (const QString& mac : QStringList {old.MacAddress} + old.FormerMacs + into.FormerMacs) {
        if (mac != into.MacAddress && MacAddress::isDeviceMac(mac) && !d.FormerMacs.contains(mac)
            && d.FormerMacs.size() < MaxFormerMacs)
            d.FormerMacs.append(mac);
    }
    return d;
}

void DeviceActions::mergeHistories(const QString& oldMac, const DeviceRecord& merged, const QDateTime& now)
{
    if (m_devicesDir.isEmpty())
        return;
    const QString oldFile = m_devicesDir + oldMac + QStringLiteral(".log");
    const QString newFile = m_devicesDir + merged.MacAddress + QStringLiteral(".log");
    QString history = interleaved(historyText(oldFile), historyText(newFile));
    history += DeviceLog::stamp(now)
        + escapeLogText(
            QStringLiteral("Merged: formerly %1%2")
                .arg(oldMac,
                    merged.FriendlyName.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(merged.FriendlyName)),
            Tabs::Escape)
        + QStringLiteral("\r\n");
    QDir().mkpath(m_devicesDir);
    QSaveFile f(newFile);
    if (!f.open(QIODevice::WriteOnly) || f.write(DeviceLog::trimmed(history).toUtf8()) < 0 || !f.commit()) {
        Log(kwStore, QStringLiteral("Merge - %1: %2").arg(newFile, f.errorString()));
        return;
    }
    // The older history lives on in the newer file; left behind, it would greet the old MAC if it were ever
    // admitted anew.
    QFile::remove(oldFile);
}

bool DeviceActions::merge(const QString& oldMacArg, const QString& newMacArg, QString* refusal)
{
    // Copies: a caller may pass the records' own MAC texts, and the older record goes.
    const QString oldMac = oldMacArg;
    const QString newMac = newMacArg;
    const auto refuse = [&](const QString& why) {
        Log(kwStore, QStringLiteral("Merge - %1 into %2 refused: %3").arg(oldMac.left(40), newMac.left(40), why));
        if (refusal)
            *refusal = why;
        return false;
    };
    if (oldMac.compare(newMac, Qt::CaseInsensitive) == 0)
        return refuse(QStringLiteral("a device cannot be merged with itself"));
    const DeviceRecord* old = m_devices.find(oldMac);
    DeviceRecord* into = m_devices.find(newMac);
    if (!old)
        return refuse(QStringLiteral("there is no device %1").arg(oldMac.left(40)));
    if (!into)
        return refuse(QStringLiteral("there is no device %1").arg(newMac.left(40)));

    const DeviceRecord result = merged(*old, *into);
    // The newer key takes everything and the older one goes in one transaction: a crash leaves both devices
    // as they were or the merged one alone. A value the merge emptied is written empty, which reads as absent.
    DeviceCodec::Values values = DeviceCodec::encode(result);
    namespace N = DeviceCodec::Name;
    for (const QString& name : {N::Watch, N::Type, N::TypeSource, N::Model, N::ModelSource, N::Os, N::OsSource,
             N::FormerMacs, N::Note, N::Network}) {
        if (DeviceCodec::valueText(result, name).isEmpty())
            values.append({name, QString()});
    }
    if (!KeyStore::writeKeys(KeyStore::ProductKey, {{Keys::deviceKey(newMac), values}}, {Keys::deviceKey(oldMac)}))
        return refuse(QStringLiteral("the store cannot be written"));

    const QDateTime now = kwclock::now();
    const QDateTime second = now.addMSecs(-now.time().msec());
    mergeHistories(oldMac, result, second);
    if (m_presence)
        m_presence->moveDevice(oldMac, newMac, second);

    *into = result;
    leave(*old);
    // Subscribers of the removal may have acted on the store: the merged device is looked up again.
    if (const DeviceRecord* d = m_devices.find(newMac)) {
        DeviceEvent event = makeEvent(DeviceEvent::Kind::Merged, *d);
        event.earlierMac = oldMac;
        Log(kwStore, QStringLiteral("Merge - %1 merged into %2").arg(oldMac, newMac));
        Q_EMIT deviceEvent(event);
    }
    return true;
}

void DeviceActions::adoptFacts(const QString& mac, const DeviceRecord& stored)
{
    DeviceRecord* d = m_devices.find(mac);
    if (!d)
        return;
    d->Type = stored.Type;
    d->TypeSource = stored.TypeSource;
    d->Model = stored.Model;
    d->ModelSource = stored.ModelSource;
    d->Os = stored.Os;
    d->OsSource = stored.OsSource;
    d->FormerMacs = stored.FormerMacs;
    Q_EMIT deviceEvent(makeEvent(DeviceEvent::Kind::Described, *d));
}
