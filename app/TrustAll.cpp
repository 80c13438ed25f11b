// "Trust everything here now": the first morning's answer to thirty new devices that are the family's own.
#include "app/DeviceActions.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"

#include <QStringList>

const QString DeviceActions::TrustedLine =
    QStringLiteral("Trusted with everything online: moved to the safe list, acknowledged");
const QString DeviceActions::TrustUndoneLine = QStringLiteral("Trust undone: back on the intruder list");

DeviceActions::TrustOutcome DeviceActions::trustAllOnline(const std::function<bool(const DeviceRecord&)>& online)
{
    // The devices first, the actions after: each action's subscribers may change what the store holds.
    QList<Trusted> intruders;
    QStringList safeNew;
    TrustOutcome outcome;
    for (const DeviceRecord& d : m_devices) {
        if (!online(d))
            continue;
        ++outcome.online;
        if (d.Intruder)
            intruders.append({d.MacAddress, d.NewDevice});
        else if (d.NewDevice)
            safeNew.append(d.MacAddress);
    }
    for (const Trusted& t : std::as_const(intruders)) {
        // Moving to the safe list acknowledges too.
        if (!MoveToSafe(t.mac))
            continue;
        outcome.moved.append(t);
        if (m_history)
            m_history(t.mac, TrustedLine);
    }
    for (const QString& mac : std::as_const(safeNew))
        outcome.acknowledged += Acknowledge(mac) ? 1 : 0;
    Log(kwStore,
        QStringLiteral("Trust - %1 device(s) online moved to the safe list, %2 acknowledged")
            .arg(outcome.moved.size())
            .arg(outcome.acknowledged));
    return outcome;
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
    Log(kwStore, QStringLiteral("Trust - undone for %1 device(s)").arg(back));
    return back;
}
