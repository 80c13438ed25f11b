#include "platform/NbstatMessage.h"

namespace nbstat {

namespace {
constexpr quint16 kTypeNbstat = 0x21;
constexpr quint16 kClassIn = 1;
constexpr quint16 kResponse = 0x8000;
constexpr quint16 kRcodeMask = 0x000f;
constexpr qsizetype kHeaderBytes = 12;
constexpr qsizetype kEntryBytes = 18; // 15 name bytes, the suffix, two flag bytes
constexpr quint16 kGroupFlag = 0x8000;
constexpr quint16 kDeregisterFlag = 0x1000;
constexpr char kWorkstation = 0x00;
constexpr char kServer = 0x20;
} // namespace

QByteArray buildNodeStatusQuery(quint16 id)
{
    QByteArray msg;
    for (quint16 field : {id, quint16(0), quint16(1), quint16(0), quint16(0), quint16(0)})
        dnsmsg::append16(msg, field);
    // "*" padded with zeros to 16 bytes, each byte as two letters 'A' + nibble.
    QByteArray name(1, '*');
    name.append(QByteArray(15, '\0'));
    msg.append(char(32));
    for (const char c : name) {
        msg.append(char('A' + ((quint8(c) >> 4) & 0x0f)));
        msg.append(char('A' + (quint8(c) & 0x0f)));
    }
    msg.append('\0');
    dnsmsg::append16(msg, kTypeNbstat);
    dnsmsg::append16(msg, kClassIn);
    return msg;
}

dnsmsg::NameReply parseNodeStatusReply(const QByteArray& msg, quint16 id)
{
    quint16 header[6] = {};
    for (int i = 0; i < 6; ++i) {
        if (!dnsmsg::read16(msg, i * 2, header[i]))
            return {{}, QStringLiteral("shorter than a NetBIOS header (%1 bytes)").arg(msg.size())};
    }
    if (header[0] != id)
        return {{}, QStringLiteral("transaction id %1, expected %2").arg(header[0]).arg(id)};
    if (!(header[1] & kResponse) || (header[1] & kRcodeMask))
        return {{}, QStringLiteral("no positive response (flags 0x%1)").arg(header[1], 4, 16, QLatin1Char('0'))};
    qsizetype pos = kHeaderBytes;
    for (int q = 0; q < header[2]; ++q) {
        if (!dnsmsg::readName(msg, pos) || pos + 4 > msg.size())
            return {{}, QStringLiteral("malformed question")};
        pos += 4;
    }
    quint16 type = 0;
    quint16 cls = 0;
    quint16 length = 0;
    if (header[3] < 1 || !dnsmsg::readName(msg, pos) || !dnsmsg::read16(msg, pos, type)
        || !dnsmsg::read16(msg, pos + 2, cls) || !dnsmsg::read16(msg, pos + 8, length)
        || pos + 10 + length > msg.size())
        return {{}, QStringLiteral("malformed answer record")};
    if (type != kTypeNbstat || cls != kClassIn)
        return {{}, QStringLiteral("answer of type %1 class %2, not node status").arg(type).arg(cls)};
    const qsizetype data = pos + 10;
    const int count = length > 0 ? quint8(msg[data]) : 0;
    if (length < 1 + count * kEntryBytes)
        return {{}, QStringLiteral("%1 names do not fit in %2 bytes").arg(count).arg(length)};

    QByteArray chosen;
    for (const char wanted : {kWorkstation, kServer}) {
        for (int i = 0; i < count && chosen.isEmpty(); ++i) {
            const qsizetype entry = data + 1 + i * kEntryBytes;
            quint16 flags = 0;
            dnsmsg::read16(msg, entry + 16, flags);
            if (msg[entry + 15] == wanted && !(flags & (kGroupFlag | kDeregisterFlag)))
                chosen = msg.mid(entry, 15);
        }
    }
    while (!chosen.isEmpty() && (chosen.back() == ' ' || chosen.back() == '\0'))
        chosen.chop(1);
    if (chosen.isEmpty())
        return {{}, QStringLiteral("no computer name among %1 names").arg(count)};
    for (const char c : chosen) {
        if (quint8(c) < 0x20 || quint8(c) > 0x7e)
            return {{}, QStringLiteral("name holds a control character or a byte outside ASCII")};
    }
    return {QString::fromLatin1(chosen), {}};
}

} // namespace nbstat
