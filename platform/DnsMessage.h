#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The two questions a device is asked for its own name, built and answered as pure functions over bytes: the
// multicast DNS reverse (PTR) question (sent by unicast to the device alone) and the NetBIOS node-status question
// (NbstatMessage.h). Replies come from the network, so every read is bounds-checked and compression pointers may only
// point backwards.
namespace dnsmsg {

// What a reply says: the name, or why the reply is no answer (exactly one is set).
struct NameReply
{
    QString name;
    QString error;
};

// "10.0.18.198.in-addr.arpa" for 198.18.0.10; ipv4 in host order.
QByteArray reverseName(quint32 ipv4);
// A one-shot query (id, no flags) for the PTR record of the address's reverse name, class IN.
QByteArray buildPtrQuery(quint16 id, quint32 ipv4);

// The labels of the name at offset, following compression pointers; offset is left just past the name where
// it starts. nullopt when it runs past the message, loops, points forwards, uses a reserved label type or is
// longer than 255 bytes.
std::optional<QList<QByteArray>> readName(const QByteArray& msg, qsizetype& offset);

// The labels joined by dots as text; error when a label is no UTF-8 or holds a dot.
NameReply nameText(const QList<QByteArray>& labels);

// The reply to buildPtrQuery(id, ipv4): the first PTR answer (class IN, cache-flush bit ignored) for the
// address's reverse name, without the trailing dot ("myphone.local").
NameReply parsePtrReply(const QByteArray& msg, quint16 id, quint32 ipv4);

// DNS-SD, what a device says it offers: questions by name and type, and the records of any message read whole.
constexpr quint16 kTypeA = 1;
constexpr quint16 kTypePtr = 12;
constexpr quint16 kTypeTxt = 16;
constexpr quint16 kTypeSrv = 33;
constexpr qsizetype kMaxRecords = 128; // more in one message is no device's honest answer
constexpr qsizetype kMaxTxtEntries = 64;

struct Question
{
    QByteArray name; // dotted, without the trailing dot: "_services._dns-sd._udp.local"
    quint16 type = kTypePtr;
};
// A one-shot query (id, no flags) of the questions, class IN; names with an empty label or a label over 63
// bytes are left out.
QByteArray buildQuery(quint16 id, const QList<Question>& questions);

// One resource record of a message: its owner and, by type, what it holds. Names are dotted as on the wire
// (labels joined by '.'), unfiltered; the caller filters what it keeps.
struct Record
{
    QByteArray owner;
    quint16 type = 0;
    QByteArray target; // PTR: the name pointed to; SRV: the host
    quint16 port = 0; // SRV
    QList<QByteArray> txt; // TXT: its strings ("key=value"), at most kMaxTxtEntries
    quint32 ipv4 = 0; // A, host order
};
struct Records
{
    QList<Record> records; // answers, authority and additional, class IN, of types A, PTR, TXT and SRV only
    QString error; // why the message was no answer; then records is empty
};
// The records of a response: when id is set, only a response with that id (a unicast answer to our question);
// an mDNS announcement's id is 0 and any is taken. Refused whole when anything in it is malformed or it
// holds more than kMaxRecords records.
Records parseRecords(const QByteArray& msg, std::optional<quint16> id);

// Big-endian reads for the parsers; false when the bytes run past the message.
bool read16(const QByteArray& msg, qsizetype offset, quint16& value);
bool read32(const QByteArray& msg, qsizetype offset, quint32& value);
void append16(QByteArray& msg, quint16 value);

} // namespace dnsmsg
