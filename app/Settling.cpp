#include "app/Settling.h"

#include "app/DeviceActions.h"
#include "store/DeviceStore.h"

#include <QStringList>

namespace Settling {

namespace {

// The MACs first: an action's subscribers may change the store while the walk goes on.
QStringList macsOf(const DeviceStore& devices, const std::function<bool(const DeviceRecord&)>& wanted)
{
    QStringList macs;
    for (const DeviceRecord& d : devices) {
        if (wanted(d))
            macs.append(d.MacAddress);
    }
    return macs;
}

template<typename Act> Count each(const QStringList& macs, Act act)
{
    Count count;
    count.matched = int(macs.size());
    for (const QString& mac : macs) {
        if (act(mac))
            ++count.changed;
    }
    return count;
}

} // namespace

Count moveAllOnline(DeviceActions& actions, const DeviceStore& devices,
    const std::function<bool(const DeviceRecord&)>& online, bool toSafe)
{
    return each(macsOf(devices, online),
        [&](const QString& mac) { return toSafe ? actions.MoveToSafe(mac) : actions.MoveToIntruders(mac); });
}

Count acknowledgeAll(DeviceActions& actions, const DeviceStore& devices)
{
    return each(macsOf(devices, [](const DeviceRecord& d) { return d.NewDevice; }),
        [&](const QString& mac) { return actions.Acknowledge(mac); });
}

} // namespace Settling
