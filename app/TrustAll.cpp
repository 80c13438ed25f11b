// "Trust everything here now": the first morning's answer to thirty new devices that are the family's own.
#include "app/DeviceActions.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceTable.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

const QString DeviceActions::TrustedLine =
    QStringLiteral("Trusted with everything online: moved to the safe list, acknowledged");
const QString DeviceActions::TrustUndoneLine = QStringLiteral("Trust undone: back on the intruder list");

QList<DeviceActions::Trusted> DeviceActions::trustAllOnline()
{
    // The devices first, the moves after: each move's event may change what the table holds.
    QList<Trusted> chosen;
    for (qint32 s = 0; s < m_devices.DeviceCount; ++s) {
        const DeviceRecord& d = m_devices[s];
        if (d.Intruder && d.isOnline())
            chosen.append({d.MacAddress, d.NewDevice});
    }
    QList<Trusted> changed;
    for (const Trusted& t : std::as_const(chosen)) {
        const qint32 slot = m_devices.indexOfMac(t.mac);
        if (slot < 0 || !MoveToSafe(slot))
            continue;
        changed.append(t);
        if (m_history)
            m_history(slot, TrustedLine);
    }
    Log(QStringLiteral("Trust - %1 device(s) online moved to the safe list").arg(changed.size()));
    return changed;
}

int DeviceActions::undoTrust(const QList<Trusted>& changed)
{
    int back = 0;
    for (const Trusted& t : changed) {
        const qint32 slot = m_devices.indexOfMac(t.mac);
        if (slot < 0 || m_devices[slot].Intruder)
            continue;
        if (t.wasNew) {
            // New again before the move, so that the move's event shows it as it was.
            m_devices[slot].NewDevice = true;
            store(slot, QStringLiteral("New_Device"), TextForms::boolText(true));
        }
        if (!MoveToIntruders(slot))
            continue;
        ++back;
        if (m_history)
            m_history(slot, TrustUndoneLine);
    }
    Log(QStringLiteral("Trust - undone for %1 device(s)").arg(back));
    return back;
}
