#pragma once

#include "platform/NetPlatform.h"

#include <QSet>
#include <QSocketNotifier>
#include <memory>

// The sockets that hear what devices announce on Linux, unprivileged: one bound to mDNS's group and port
// 224.0.0.251:5353 and one to SSDP's 239.255.255.250:1900 (SO_REUSEADDR and SO_REUSEPORT, beside a local avahi or
// UPnP stack, which keeps every unicast datagram to those ports), each a member of its group on the swept
// interfaces only, and one of its own for SSDP searches and their unicast answers. Reads are bounded:
// at most kDatagramsPerSecond in all (the rest is read and dropped unseen, and counted in one report a minute),
// each datagram at most 9000 bytes.
class DiscoverySockets final
{
public:
    static constexpr int kDatagramsPerSecond = 200;
    using Heard = std::function<void(const HeardDatagram&)>;
    using Report = std::function<void(const QString& cause, const QString& detail)>;

    DiscoverySockets(Heard heard, Report report);
    ~DiscoverySockets();
    Q_DISABLE_COPY_MOVE(DiscoverySockets)

    bool listen(const QList<int>& ifindexes);
    void search();

private:
    struct Socket
    {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
    };
    bool open(Socket& socket, HeardDatagram::Kind kind, const char* group, quint16 port);
    void membership(int ifindex, bool join);
    void readable(const Socket& socket, HeardDatagram::Kind kind);

    Heard m_heard;
    Report m_report;
    Socket m_mdns;
    Socket m_ssdp;
    Socket m_search;
    QSet<int> m_joined;
    qint64 m_second = 0; // the second the count is for (monotonic)
    int m_count = 0;
    quint64 m_dropped = 0;
};
