#include "engine/AddressText.h"

#include <QStringList>

namespace AddressText {

QByteArray macBytes(const std::array<quint8, 6>& mac)
{
    return QByteArray(reinterpret_cast<const char*>(mac.data()), qsizetype(mac.size()));
}

QString macText(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    QString text(bytes.size() * 3 - 1, QLatin1Char('-'));
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = quint8(bytes[i]);
        out[i * 3] = QChar(digits[b >> 4]);
        out[i * 3 + 1] = QChar(digits[b & 0x0F]);
    }
    return text;
}

QString ipText(const std::array<quint8, 4>& bytes)
{
    // Built by hand: the harvest forms one per neighbour row.
    QChar buffer[15];
    qsizetype n = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            buffer[n++] = QLatin1Char('.');
        const int b = bytes[i];
        if (b >= 100)
            buffer[n++] = QLatin1Char(char('0' + b / 100));
        if (b >= 10)
            buffer[n++] = QLatin1Char(char('0' + b / 10 % 10));
        buffer[n++] = QLatin1Char(char('0' + b % 10));
    }
    return QString(buffer, n);
}

QString ipText(quint32 address)
{
    return ipText(toBytes(address));
}

quint32 toNumber(const std::array<quint8, 4>& bytes)
{
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | quint32(bytes[3]);
}

std::array<quint8, 4> toBytes(quint32 address)
{
    return {quint8(address >> 24), quint8(address >> 16), quint8(address >> 8), quint8(address)};
}

std::optional<std::array<quint8, 4>> parseIPv4(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<quint8, 4> bytes {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint value = parts[i].trimmed().toUInt(&ok);
        if (!ok || value > 255)
            return std::nullopt;
        bytes[size_t(i)] = quint8(value);
    }
    return bytes;
}

QString adapterTypeName(int type)
{
    switch (type) {
    case 6:
        return QStringLiteral("Ethernet");
    case 9:
        return QStringLiteral("TokenRing");
    case 15:
        return QStringLiteral("FDDI");
    case 23:
        return QStringLiteral("PPP");
    case 24:
        return QStringLiteral("Loopback");
    case 28:
        return QStringLiteral("Slip");
    default:
        return QStringLiteral("Other");
    }
}

} // namespace AddressText
