#include "notify/MailText.h"

#include <QRegularExpression>
#include <QUuid>

namespace MailText {

namespace {

constexpr qsizetype kMaxLine = 998; // octets, line end excluded
constexpr qsizetype kQpLine = 76;
// 45 bytes make 60 Base64 characters: with "=?UTF-8?B?" and "?=" a word stays within 75 characters.
constexpr qsizetype kWordBytes = 45;

bool isAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 127)
            return false;
    }
    return true;
}

QStringList splitLines(const QString& text)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    return text.split(lineEnd);
}

// The length of the longest prefix of at most `limit` bytes that ends on a character boundary.
qsizetype utf8Cut(const QByteArray& bytes, qsizetype from, qsizetype limit)
{
    qsizetype end = qMin(bytes.size(), from + limit);
    // Continuation bytes (10xxxxxx) never start a character.
    while (end < bytes.size() && end > from && (quint8(bytes[end]) & 0xC0) == 0x80)
        --end;
    return end - from;
}

} // namespace

QString dateHeader(const QDateTime& when, const QLocale& locale)
{
    return locale.toString(when, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) + QStringLiteral(" +0000");
}

QString newMessageId(const QString& sender)
{
    static const QRegularExpression domainShape(QStringLiteral("^[A-Za-z0-9.-]+$"));
    QString domain = sender.section(QLatin1Char('@'), -1).trimmed();
    if (!sender.contains(QLatin1Char('@')) || !domainShape.match(domain).hasMatch())
        domain = QStringLiteral("kestrelwatch.invalid");
    return QLatin1Char('<') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('@') + domain
        + QLatin1Char('>');
}

QByteArray subjectValue(const QString& subject)
{
    if (isAscii(subject))
        return subject.toUtf8();
    const QByteArray bytes = subject.toUtf8();
    QByteArray out;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype take = utf8Cut(bytes, at, kWordBytes);
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + bytes.mid(at, take).toBase64() + "?=";
        at += take;
    }
    return out;
}

QByteArray quotedPrintableLine(QByteArrayView line)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    qsizetype column = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto c = quint8(line[i]);
        const bool last = i == line.size() - 1;
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        const char escaped[] = {'=', hex[c >> 4], hex[c & 15]};
        const QByteArray token = literal ? QByteArray(1, char(c)) : QByteArray(escaped, 3);
        // A soft break ("=" at the line's end) keeps the encoded line within 76 characters.
        if (column + token.size() > kQpLine - 1) {
            out += "=\r\n";
            column = 0;
        }
        out += token;
        column += token.size();
    }
    return out;
}

QByteArray wireText(const Message& message, const QLocale& locale)
{
    const QByteArray crlf("\r\n");
    // The body keeps its text: its lines are only given CR LF ends, as SMTP requires.
    const QStringList lines = splitLines(message.body + QStringLiteral("\r\n\r\n"));
    bool plain = true;
    for (const QString& line : lines) {
        if (!isAscii(line) || line.size() > kMaxLine) {
            plain = false;
            break;
        }
    }

    QByteArray text;
    text += "From: " + message.sender.toUtf8() + crlf;
    text += "Date: " + dateHeader(message.when, locale).toUtf8() + crlf;
    text += "X-Mailer: Brackmoor Kestrelwatch Mailer" + crlf;
    text += "To: " + message.recipients.toUtf8() + crlf;
    text += "Subject: " + subjectValue(message.subject) + crlf;
    text += "Message-ID: " + message.messageId.toUtf8() + crlf;
    text += "MIME-Version: 1.0" + crlf;
    text += "Content-Type: text/plain; charset=UTF-8" + crlf;
    text += QByteArray("Content-Transfer-Encoding: ") + (plain ? "7bit" : "quoted-printable") + crlf;
    text += crlf;

    // The split leaves an empty piece after the final line end; it is no line of its own.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray bytes = lines.at(i).toUtf8();
        const QByteArray encoded = plain ? bytes : quotedPrintableLine(bytes);
        for (const QByteArray& wire : encoded.split('\n')) {
            QByteArray piece = wire;
            if (piece.endsWith('\r'))
                piece.chop(1);
            // A line that starts with "." would otherwise end the message or lose its dot.
            if (piece.startsWith('.'))
                text += '.';
            text += piece + crlf;
        }
    }
    text += "." + crlf;
    return text;
}

} // namespace MailText
