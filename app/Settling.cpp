#include "app/Settling.h"

#include "app/DeviceActions.h"
#include "store/DeviceTable.h"

#include <QStringList>

namespace Settling {

namespace {

// The MACs first: an action's subscribers may change the table while the walk goes on.
QStringList macsOf(const DeviceTable& devices, const std::function<bool(const DeviceRecord&)>& wanted)
{
    QStringList macs;
    for (qint32 i = 0; i < devices.DeviceCount; ++i) {
        if (wanted(devices[i]))
            macs.append(devices[i].MacAddress);
    }
    return macs;
}

template<typename Act> Count each(const DeviceTable& devices, const QStringList& macs, Act act)
{
    Count count;
    count.matched = int(macs.size());
    for (const QString& mac : macs) {
        const qint32 slot = devices.indexOfMac(mac);
        if (slot >= 0 && act(slot))
            ++count.changed;
    }
    return count;
}

} // namespace

Count trustEverything(
    DeviceActions& actions, const DeviceTable& devices, const std::function<bool(const DeviceRecord&)>& online)
{
    return each(devices, macsOf(devices, online), [&](qint32 slot) {
        // Moving to the safe list acknowledges; a safe device that is still new is only acknowledged.
        const bool moved = actions.MoveToSafe(slot);
        return actions.Acknowledge(slot) || moved;
    });
}

Count moveAllOnline(DeviceActions& actions, const DeviceTable& devices,
    const std::function<bool(const DeviceRecord&)>& online, bool toSafe)
{
    return each(devices, macsOf(devices, online),
        [&](qint32 slot) { return toSafe ? actions.MoveToSafe(slot) : actions.MoveToIntruders(slot); });
}

Count acknowledgeAll(DeviceActions& actions, const DeviceTable& devices)
{
    return each(devices, macsOf(devices, [](const DeviceRecord& d) { return d.NewDevice; }),
        [&](qint32 slot) { return actions.Acknowledge(slot); });
}

} // namespace Settling
