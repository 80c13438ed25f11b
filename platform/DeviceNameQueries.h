#pragma once

#include "platform/DnsMessage.h"
#include "platform/NetPlatform.h"

#include <QSocketNotifier>
#include <map>
#include <memory>

// The sockets of the questions a device is asked for its name (NetPlatform::askDeviceName) on Linux: one
// unprivileged UDP socket per question, read by a socket notifier on the event loop. Each question goes to
// the device alone, by unicast (mDNS to its port 5353 with TTL 255, NetBIOS to its port 137), never by
// multicast, so no other host learns what is asked. A host on the link that wants to put a name in the
// device's mouth must then guess both the question's random id and its random source port: the socket is
// connected to the device's port, so the kernel drops datagrams from anyone else, and judgeNameReply checks
// sender, port and id once more. The mDNS question is a one-shot legacy query: the responder answers by
// unicast to the source port, repeating the id.
class DeviceNameQueries final
{
public:
    DeviceNameQueries() = default;
    ~DeviceNameQueries();
    Q_DISABLE_COPY_MOVE(DeviceNameQueries)

    using Report = std::function<void(const QString& cause, const QString& detail)>;
    int ask(NetPlatform::NameQuery kind, const QString& ip, NetPlatform::NameQueryDone done, const Report& report);
    // Any mDNS question (a DNS-SD one) on a socket of its own as ask's: each datagram from the device's port 5353
    // goes to done as it is, for the caller's parser, which checks the id.
    int askMdns(const QString& ip, const QByteArray& query, NetPlatform::DatagramDone done, const Report& report);
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
        NetPlatform::DatagramDone raw; // set for askMdns's questions
    };
    int start(NetPlatform::NameQuery kind, const QString& ip, const QByteArray& packet, const Report& report);
    void readable(int handle);

    std::map<int, Query> m_queries;
    int m_nextHandle = 1;
};

// The interface index of the directly connected link that holds ipv4 (host order) as a host address other
// than this machine's own, and is up; 0 when there is none.
int linkOfAddress(quint32 ipv4);

// What one datagram read on a question's socket says: the name, or why it is no answer. Only the device asked
// (device, host order), from the port asked (5353 or 137) and repeating the question's id, can name it.
dnsmsg::NameReply judgeNameReply(
    NetPlatform::NameQuery kind, const QByteArray& datagram, quint32 sender, quint16 port, quint32 device, quint16 id);
