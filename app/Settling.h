#pragma once

#include <functional>

class DeviceActions;
class DeviceStore;
struct DeviceRecord;

// Settling in on a network whose devices are all the household's: the actions on many devices at once, each
// taken device by device through DeviceActions, so every device gets its own event and history line. "Trust
// everything here now" is DeviceActions::trustAllOnline, which the window shares.
namespace Settling {

struct Count
{
    int changed = 0; // devices changed
    int matched = 0; // devices the action was for
};

// Every device online now to one list (the safe one acknowledges).
Count moveAllOnline(DeviceActions& actions, const DeviceStore& devices,
    const std::function<bool(const DeviceRecord&)>& online, bool toSafe);
// Every new device acknowledged.
Count acknowledgeAll(DeviceActions& actions, const DeviceStore& devices);

} // namespace Settling
