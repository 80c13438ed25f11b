#include "ctl/CtlSettle.h"

#include "app/DeviceActions.h"
#include "app/Settling.h"
#include "ctl/CtlStore.h"
#include "logging/DeviceLog.h"

namespace Ctl {

Acting::Acting(Store& store)
    : m_actions(store.devices())
{
    m_actions.setOrigin(DeviceEvent::Origin::Ctl);
    if (store.monitorRunning())
        return;
    m_log = std::make_unique<DeviceLog>(store.devices(), store.paths().devices());
    QObject::connect(&m_actions, &DeviceActions::deviceEvent, &m_actions,
        [log = m_log.get()](const DeviceEvent& event) { log->record(event); });
}

Acting::~Acting() = default;

bool ListFilter::accepts(const Store& store, const DeviceRecord& d) const
{
    return (!intruders || d.Intruder) && (!safe || !d.Intruder) && (!online || store.online(d))
        && (!newOnly || d.NewDevice);
}

int settle(Store& store, Settle what)
{
    Acting acting(store);
    DeviceActions& actions = acting.actions();
    if (what == Settle::AcknowledgeAll) {
        const Settling::Count n = Settling::acknowledgeAll(actions, store.devices());
        out(n.changed == 0 ? QStringLiteral("no device is new: nothing to acknowledge")
                           : QStringLiteral("%1 acknowledged").arg(n.changed));
        return 0;
    }
    // Only a running monitor knows who is online: its stored sightings are current only while it runs.
    if (!store.monitorRunning()) {
        err(QStringLiteral("no monitor runs on %1, so no device is known to be online now; nothing was changed")
                .arg(store.paths().home));
        return 1;
    }
    const auto online = [&store](const DeviceRecord& d) { return store.online(d); };
    Settling::Count n;
    QString done;
    switch (what) {
    case Settle::TrustAll: {
        const DeviceActions::TrustOutcome trusted = actions.trustAllOnline(online);
        n = {trusted.changed(), trusted.online};
        done = QStringLiteral("%1 of %2 devices online now moved to the safe list or acknowledged");
        break;
    }
    case Settle::AllOnlineToSafe:
    case Settle::AllOnlineToIntruders: {
        const bool toSafe = what == Settle::AllOnlineToSafe;
        n = Settling::moveAllOnline(actions, store.devices(), online, toSafe);
        done = toSafe ? QStringLiteral("%1 of %2 devices online now moved to the safe list")
                      : QStringLiteral("%1 of %2 devices online now moved to the intruders");
        break;
    }
    case Settle::AcknowledgeAll:
        break;
    }
    out(done.arg(n.changed).arg(n.matched));
    return 0;
}

} // namespace Ctl
