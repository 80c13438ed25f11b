#pragma once

#include "app/DeviceActions.h"

#include <memory>

class DeviceLog;
class QString;
struct DeviceRecord;

// kestrelwatch-ctl's commands for settling in: acknowledge every new device, move every device online now to
// a list, trust everything online now; and the list's filters.
namespace Ctl {

class Store;

// The actions of one command, taken as kestrelwatch-ctl's. A running monitor writes their history lines when
// its store follower takes the change in; with none running, they are written here, so they are never lost
// and never written twice.
class Acting final
{
public:
    explicit Acting(Store& store);
    ~Acting();
    Acting(const Acting&) = delete;
    Acting& operator=(const Acting&) = delete;
    DeviceActions& actions() { return m_actions; }

private:
    DeviceActions m_actions;
    std::unique_ptr<DeviceLog> m_log;
};

enum class Settle { AcknowledgeAll, AllOnlineToSafe, AllOnlineToIntruders, TrustAll };
int settle(Store& store, Settle what);

// The devices list shows: every one, or those on a list, online now, or not yet acknowledged (all given must
// hold).
struct ListFilter
{
    bool intruders = false;
    bool safe = false;
    bool online = false;
    bool newOnly = false;
    bool accepts(const Store& store, const DeviceRecord& d) const;
};
inline ListFilter listFilter(bool intruders, bool safe, bool online, bool newOnly)
{
    return {intruders, safe, online, newOnly};
}

} // namespace Ctl
