#include "store/Base64.h"

#include <QStringDecoder>

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kLineLength = 76;
} // namespace

Base64::Base64()
{
    for (int i = 0; i < 64; ++i) {
        m_encode[size_t(i)] = kAlphabet[i];
        m_decode[quint8(kAlphabet[i])] = quint8(i);
    }
}

QString Base64::Encodestring(const QString& text) const
{
    return EncodeByteArray(text.toUtf8());
}

QString Base64::EncodeByteArray(const QByteArray& bytes) const
{
    const qsizetype n = bytes.size();
    QByteArray out;
    out.reserve((n + 2) / 3 * 4 + (n / 57) * 2);
    int column = 0;
    for (qsizetype i = 0; i < n; i += 3) {
        if (column == kLineLength) {
            out += "\r\n";
            column = 0;
        }
        const quint32 b0 = quint8(bytes[i]);
        const quint32 b1 = i + 1 < n ? quint8(bytes[i + 1]) : 0;
        const quint32 b2 = i + 2 < n ? quint8(bytes[i + 2]) : 0;
        const quint32 group = (b0 << 16) | (b1 << 8) | b2;
        out += m_encode[(group >> 18) & 63];
        out += m_encode[(group >> 12) & 63];
        out += i + 1 < n ? m_encode[(group >> 6) & 63] : '=';
        out += i + 2 < n ? m_encode[group & 63] : '=';
        column += 4;
    }
    return QString::fromLatin1(out);
}

QString Base64::DecodeTostring(const QString& text) const
{
    const QByteArray bytes = DecodeToByteArray(text);
    // Text encoded before UTF-8 was used is Latin-1; bytes that are not valid UTF-8 are read that way.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : decoded;
}

QByteArray Base64::DecodeToByteArray(const QString& text) const
{
    QByteArray in = text.toLatin1();
    in.replace("\r\n", "");
    in.replace("=", "");
    const qsizetype length = in.size();
    QByteArray out;
    out.reserve(length / 4 * 3 + 2);
    const auto value = [&](qsizetype i) { return quint32(m_decode[quint8(in[i])]); };
    qsizetype i = 0;
    for (; i + 4 <= length; i += 4) {
        const quint32 group = (value(i) << 18) | (value(i + 1) << 12) | (value(i + 2) << 6) | value(i + 3);
        out += char(group >> 16);
        out += char((group >> 8) & 0xFF);
        out += char(group & 0xFF);
    }
    const qsizetype rest = length - i;
    if (rest >= 2) {
        const quint32 group = (value(i) << 18) | (value(i + 1) << 12) | (rest == 3 ? value(i + 2) << 6 : 0);
        out += char(group >> 16);
        if (rest == 3)
            out += char((group >> 8) & 0xFF);
    }
    return out;
}
