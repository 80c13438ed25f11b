#pragma once

#include "platform/NetPlatform.h"

#include <QSocketNotifier>
#include <map>
#include <memory>

// The sockets of the questions a device is asked for its name (NetPlatform::askDeviceName) on Linux: one
// unprivileged UDP socket per question on an ephemeral port, read by a socket notifier on the event loop.
// The mDNS question is a one-shot legacy query, so the responder answers by unicast to that port repeating
// its id; it leaves by multicast on the device's own interface (IP_MULTICAST_IF, TTL 255) and by unicast to
// the device's port 5353. Nothing else is ever a destination.
class DeviceNameQueries final
{
public:
    DeviceNameQueries() = default;
    ~DeviceNameQueries();
    Q_DISABLE_COPY_MOVE(DeviceNameQueries)

    using Report = std::function<void(const QString& cause, const QString& detail)>;
    int ask(NetPlatform::NameQuery query, const QString& ip, NetPlatform::NameQueryDone done, const Report& report);
    void cancel(int handle);

private:
    struct Query
    {
        NetPlatform::NameQuery kind = NetPlatform::NameQuery::Mdns;
        int fd = -1;
        quint32 device = 0; // host order
        quint16 id = 0;
        std::unique_ptr<QSocketNotifier> notifier;
        NetPlatform::NameQueryDone done;
    };
    void readable(int handle);

    std::map<int, Query> m_queries;
    int m_nextHandle = 1;
};

// The interface index of the directly connected link that holds ipv4 (host order) as a host address other
// than this machine's own, up and multicast-capable; 0 when there is none.
int linkOfAddress(quint32 ipv4);
