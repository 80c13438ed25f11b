// "Trust everything here now": the first morning's answer to thirty new devices that are the family's own.
#include "app/DeviceActions.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"

const QString DeviceActions::TrustedLine =
    QStringLiteral("Trusted with everything online: moved to the safe list, acknowledged");
const QString DeviceActions::TrustUndoneLine = QStringLiteral("Trust undone: back on the intruder list");

QList<DeviceActions::Trusted> DeviceActions::trustAllOnline()
{
    // The devices first, the moves after: each move's event may change what the table holds.
    QList<Trusted> chosen;
    for (const DeviceRecord& d : m_devices) {
        if (d.Intruder && d.isOnline())
            chosen.append({d.MacAddress, d.NewDevice});
    }
    QList<Trusted> changed;
    for (const Trusted& t : std::as_const(chosen)) {
        if (!MoveToSafe(t.mac))
            continue;
        changed.append(t);
        if (m_history)
            m_history(t.mac, TrustedLine);
    }
    Log(QStringLiteral("Trust - %1 device(s) online moved to the safe list").arg(changed.size()));
    return changed;
}

int DeviceActions::undoTrust(const QList<Trusted>& changed)
{
    int back = 0;
    for (const Trusted& t : changed) {
        DeviceRecord* d = m_devices.find(t.mac);
        if (!d || d->Intruder)
            continue;
        if (t.wasNew) {
            // New again before the move, so that the move's event shows it as it was.
            d->NewDevice = true;
            store(t.mac, DeviceCodec::Name::NewDevice, DeviceCodec::valueText(*d, DeviceCodec::Name::NewDevice));
        }
        if (!MoveToIntruders(t.mac))
            continue;
        ++back;
        if (m_history)
            m_history(t.mac, TrustUndoneLine);
    }
    Log(QStringLiteral("Trust - undone for %1 device(s)").arg(back));
    return back;
}
