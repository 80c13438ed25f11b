// A device's stored values as another program may have left them (kestrelwatch-reg, an earlier release, a hand
// edit): any values decode without fault, and what the codec writes back decodes to the same device, dates
// included, with nothing left to complain about.
#include "store/DeviceCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One "Name=Text" a line.
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    DeviceCodec::Values values;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            values.append({line.left(eq), line.mid(eq + 1)});
    }
    const QString mac = QStringLiteral("02-00-00-00-00-01");
    const DeviceRecord first = DeviceCodec::decode(mac, values).record;
    const DeviceCodec::Decoded again = DeviceCodec::decode(mac, DeviceCodec::encode(first));
    const DeviceRecord& d = again.record;
    // A year past 9999 has no ISO text to come back from; such a date is refused the second time.
    const bool datesWritable = first.FirstSeen.date().year() <= 9999 && first.LastOnline.date().year() <= 9999
        && first.LastOffline.date().year() <= 9999 && first.LastSeen.date().year() <= 9999;
    if (!datesWritable)
        return 0;
    if (!again.problems.isEmpty() || again.oldDates || d.IpAddress != first.IpAddress || d.HostName != first.HostName
        || d.FriendlyName != first.FriendlyName || d.NewDevice != first.NewDevice || d.Intruder != first.Intruder
        || d.FirstSeen != first.FirstSeen || d.LastOnline != first.LastOnline || d.LastOffline != first.LastOffline
        || d.LastSeen != first.LastSeen || d.MacType != first.MacType || d.Watch != first.Watch || d.Note != first.Note
        || d.FormerMacs != first.FormerMacs)
        std::abort();
    return 0;
}
