#include "store/MacAddress.h"

namespace MacAddress {

namespace {
constexpr qsizetype kBytes = 6;
constexpr qsizetype kTextChars = kBytes * 3 - 1;
constexpr quint8 kGroupBit = 0x01;

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}
} // namespace

Refusal refusal(QByteArrayView bytes)
{
    if (bytes.size() != kBytes)
        return Refusal::Malformed;
    bool zero = true;
    bool ones = true;
    for (const char b : bytes) {
        zero = zero && b == 0;
        ones = ones && quint8(b) == 0xff;
    }
    if (zero)
        return Refusal::Zero;
    if (ones)
        return Refusal::Broadcast;
    return (quint8(bytes[0]) & kGroupBit) ? Refusal::Group : Refusal::Device;
}

Refusal refusal(QStringView text)
{
    if (text.size() != kTextChars)
        return Refusal::Malformed;
    char bytes[kBytes] = {};
    for (qsizetype i = 0; i < kBytes; ++i) {
        const qsizetype at = i * 3;
        if (i > 0 && text[at - 1] != QLatin1Char('-') && text[at - 1] != QLatin1Char(':'))
            return Refusal::Malformed;
        const int high = hexDigit(text[at]);
        const int low = hexDigit(text[at + 1]);
        if (high < 0 || low < 0)
            return Refusal::Malformed;
        bytes[i] = char(high * 16 + low);
    }
    return refusal(QByteArrayView(bytes, kBytes));
}

QString refusalText(Refusal why)
{
    switch (why) {
    case Refusal::Device:
        return {};
    case Refusal::Zero:
        return QStringLiteral("all zero");
    case Refusal::Broadcast:
        return QStringLiteral("broadcast");
    case Refusal::Group:
        return QStringLiteral("a group (multicast) address");
    default:
        return QStringLiteral("not six bytes");
    }
}

QString canonical(QStringView text)
{
    const QStringView t = text.trimmed();
    // Two hexadecimal digits a byte, each byte after the first led by at most one separator.
    QString out;
    out.reserve(kTextChars);
    qsizetype at = 0;
    for (qsizetype i = 0; i < kBytes; ++i) {
        if (i > 0) {
            if (at < t.size() && (t[at] == QLatin1Char('-') || t[at] == QLatin1Char(':')))
                ++at;
            out += QLatin1Char('-');
        }
        if (at + 2 > t.size())
            return {};
        if (hexDigit(t[at]) < 0 || hexDigit(t[at + 1]) < 0)
            return {};
        out += t[at].toUpper();
        out += t[at + 1].toUpper();
        at += 2;
    }
    return at == t.size() ? out : QString();
}

} // namespace MacAddress
