#include "platform/DnsMessage.h"

#include <QStringDecoder>
#include <algorithm>

namespace dnsmsg {

namespace {
constexpr quint16 kClassIn = 1;
constexpr quint16 kClassMask = 0x7fff; // the top bit is mDNS's cache-flush (answers) or unicast-response bit
constexpr quint16 kResponse = 0x8000;
constexpr quint16 kOpcodeMask = 0x7800;
constexpr quint16 kRcodeMask = 0x000f;
constexpr qsizetype kHeaderBytes = 12;
constexpr qsizetype kMaxNameBytes = 255; // on the wire, length bytes included
constexpr int kMaxJumps = 64;

bool sameName(const QList<QByteArray>& labels, const QByteArray& dotted)
{
    return labels.join('.').compare(dotted, Qt::CaseInsensitive) == 0;
}
} // namespace

bool read16(const QByteArray& msg, qsizetype offset, quint16& value)
{
    if (offset < 0 || offset + 2 > msg.size())
        return false;
    value = quint16((quint8(msg[offset]) << 8) | quint8(msg[offset + 1]));
    return true;
}

bool read32(const QByteArray& msg, qsizetype offset, quint32& value)
{
    quint16 high = 0;
    quint16 low = 0;
    if (!read16(msg, offset, high) || !read16(msg, offset + 2, low))
        return false;
    value = (quint32(high) << 16) | low;
    return true;
}

void append16(QByteArray& msg, quint16 value)
{
    msg.append(char(value >> 8));
    msg.append(char(value & 0xff));
}

QByteArray reverseName(quint32 ipv4)
{
    return QByteArray::number(ipv4 & 0xff) + '.' + QByteArray::number((ipv4 >> 8) & 0xff) + '.'
        + QByteArray::number((ipv4 >> 16) & 0xff) + '.' + QByteArray::number(ipv4 >> 24) + ".in-addr.arpa";
}

QByteArray buildPtrQuery(quint16 id, quint32 ipv4)
{
    QByteArray msg;
    for (quint16 field : {id, quint16(0), quint16(1), quint16(0), quint16(0), quint16(0)})
        append16(msg, field);
    for (const QByteArray& label : reverseName(ipv4).split('.')) {
        msg.append(char(label.size()));
        msg.append(label);
    }
    msg.append('\0');
    append16(msg, kTypePtr);
    append16(msg, kClassIn);
    return msg;
}

std::optional<QList<QByteArray>> readName(const QByteArray& msg, qsizetype& offset)
{
    QList<QByteArray> labels;
    qsizetype pos = offset;
    qsizetype wireBytes = 1; // the closing zero
    int jumps = 0;
    bool jumped = false;
    while (true) {
        if (pos < 0 || pos >= msg.size())
            return std::nullopt;
        const auto length = quint8(msg[pos]);
        if (length == 0) {
            if (!jumped)
                offset = pos + 1;
            return labels;
        }
        if ((length & 0xc0) == 0xc0) {
            quint16 pointer = 0;
            if (!read16(msg, pos, pointer))
                return std::nullopt;
            const qsizetype target = pointer & 0x3fff;
            // Only backwards, and only so often: a pointer can never lead round in a circle.
            if (target >= pos || ++jumps > kMaxJumps)
                return std::nullopt;
            if (!jumped)
                offset = pos + 2;
            jumped = true;
            pos = target;
            continue;
        }
        if ((length & 0xc0) != 0)
            return std::nullopt; // the reserved label types 01 and 10
        wireBytes += 1 + length;
        if (wireBytes > kMaxNameBytes || pos + 1 + length > msg.size())
            return std::nullopt;
        labels.append(msg.mid(pos + 1, length));
        pos += 1 + length;
    }
}

NameReply nameText(const QList<QByteArray>& labels)
{
    if (labels.isEmpty())
        return {{}, QStringLiteral("empty name")};
    QStringList parts;
    for (const QByteArray& label : labels) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8(label);
        if (utf8.hasError())
            return {{}, QStringLiteral("name is no UTF-8")};
        // Which characters a name may hold is the engine's one name filter's to judge (store/DeviceText.h).
        if (text.contains(QLatin1Char('.')))
            return {{}, QStringLiteral("name holds a dot inside a label")};
        parts << text;
    }
    return {parts.join(QLatin1Char('.')), {}};
}

NameReply parsePtrReply(const QByteArray& msg, quint16 id, quint32 ipv4)
{
    quint16 header[6] = {};
    for (int i = 0; i < 6; ++i) {
        if (!read16(msg, i * 2, header[i]))
            return {{}, QStringLiteral("shorter than a DNS header (%1 bytes)").arg(msg.size())};
    }
    if (header[0] != id)
        return {{}, QStringLiteral("transaction id %1, expected %2").arg(header[0]).arg(id)};
    if (!(header[1] & kResponse) || (header[1] & kOpcodeMask) != 0)
        return {{}, QStringLiteral("not a standard response (flags 0x%1)").arg(header[1], 4, 16, QLatin1Char('0'))};
    if (header[1] & kRcodeMask)
        return {{}, QStringLiteral("response code %1").arg(header[1] & kRcodeMask)};

    qsizetype pos = kHeaderBytes;
    for (int q = 0; q < header[2]; ++q) {
        if (!readName(msg, pos) || pos + 4 > msg.size())
            return {{}, QStringLiteral("malformed question")};
        pos += 4;
    }
    const QByteArray wanted = reverseName(ipv4);
    for (int a = 0; a < header[3]; ++a) {
        const auto owner = readName(msg, pos);
        quint16 type = 0;
        quint16 cls = 0;
        quint16 length = 0;
        if (!owner || !read16(msg, pos, type) || !read16(msg, pos + 2, cls) || !read16(msg, pos + 8, length)
            || pos + 10 + length > msg.size())
            return {{}, QStringLiteral("malformed answer record")};
        const qsizetype data = pos + 10;
        pos = data + length;
        if (type != kTypePtr || (cls & kClassMask) != kClassIn || !sameName(*owner, wanted))
            continue;
        qsizetype target = data;
        const auto labels = readName(msg, target);
        if (!labels || target > pos)
            return {{}, QStringLiteral("malformed PTR data")};
        return nameText(*labels);
    }
    return {{}, QStringLiteral("no PTR answer for %1").arg(QString::fromLatin1(wanted))};
}

QByteArray buildQuery(quint16 id, const QList<Question>& questions)
{
    QList<QByteArray> names;
    QList<quint16> types;
    for (const Question& q : questions) {
        const QList<QByteArray> labels = q.name.split('.');
        if (std::any_of(labels.begin(), labels.end(), [](const QByteArray& l) { return l.isEmpty() || l.size() > 63; })
            || q.name.size() > 253)
            continue;
        names.append(q.name);
        types.append(q.type);
    }
    QByteArray msg;
    for (quint16 field : {id, quint16(0), quint16(names.size()), quint16(0), quint16(0), quint16(0)})
        append16(msg, field);
    for (qsizetype i = 0; i < names.size(); ++i) {
        for (const QByteArray& label : names[i].split('.')) {
            msg.append(char(label.size()));
            msg.append(label);
        }
        msg.append('\0');
        append16(msg, types[i]);
        append16(msg, kClassIn);
    }
    return msg;
}

Records parseRecords(const QByteArray& msg, std::optional<quint16> id)
{
    const auto refused = [](const QString& why) { return Records {{}, why}; };
    quint16 header[6] = {};
    for (int i = 0; i < 6; ++i) {
        if (!read16(msg, qsizetype(i) * 2, header[i]))
            return refused(QStringLiteral("shorter than a DNS header (%1 bytes)").arg(msg.size()));
    }
    if (id && header[0] != *id)
        return refused(QStringLiteral("transaction id %1, expected %2").arg(header[0]).arg(*id));
    if (!(header[1] & kResponse) || (header[1] & kOpcodeMask) != 0 || (header[1] & kRcodeMask) != 0)
        return refused(QStringLiteral("not a standard answer (flags 0x%1)").arg(header[1], 4, 16, QLatin1Char('0')));
    const int count = int(header[3]) + header[4] + header[5];
    if (count > kMaxRecords)
        return refused(QStringLiteral("%1 records").arg(count));
    qsizetype pos = kHeaderBytes;
    for (int q = 0; q < header[2]; ++q) {
        if (!readName(msg, pos) || pos + 4 > msg.size())
            return refused(QStringLiteral("malformed question"));
        pos += 4;
    }
    Records out;
    for (int a = 0; a < count; ++a) {
        const auto owner = readName(msg, pos);
        quint16 type = 0;
        quint16 cls = 0;
        quint16 length = 0;
        if (!owner || !read16(msg, pos, type) || !read16(msg, pos + 2, cls) || !read16(msg, pos + 8, length)
            || pos + 10 + length > msg.size())
            return refused(QStringLiteral("malformed record"));
        const qsizetype data = pos + 10;
        pos = data + length;
        if ((cls & kClassMask) != kClassIn
            || (type != kTypeA && type != kTypePtr && type != kTypeTxt && type != kTypeSrv))
            continue;
        Record r;
        r.owner = owner->join('.');
        r.type = type;
        if (type == kTypeA) {
            if (length != 4 || !read32(msg, data, r.ipv4))
                return refused(QStringLiteral("malformed A record"));
        } else if (type == kTypePtr || type == kTypeSrv) {
            qsizetype at = data + (type == kTypeSrv ? 6 : 0);
            if (type == kTypeSrv && (length < 7 || !read16(msg, data + 4, r.port)))
                return refused(QStringLiteral("malformed SRV record"));
            const auto target = readName(msg, at);
            if (!target || at > pos)
                return refused(QStringLiteral("malformed %1 data").arg(type == kTypeSrv ? "SRV" : "PTR"));
            r.target = target->join('.');
        } else {
            for (qsizetype at = data; at < pos;) {
                const qsizetype n = quint8(msg[at]);
                if (at + 1 + n > pos)
                    return refused(QStringLiteral("malformed TXT record"));
                if (n > 0 && r.txt.size() < kMaxTxtEntries)
                    r.txt.append(msg.mid(at + 1, n));
                at += 1 + n;
            }
        }
        out.records.append(r);
    }
    return out;
}

} // namespace dnsmsg
