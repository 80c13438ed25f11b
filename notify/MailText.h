#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

// The text of one mail as it travels after DATA. The headers and body are the system's own; around them go
// what today's servers and mail readers expect: a Message-ID, MIME headers declaring UTF-8 text, a transfer
// encoding that keeps every line under 998 octets, an encoded Subject when it is not ASCII, and dot-stuffing.
namespace MailText {

struct Message
{
    QString sender;
    QDateTime when;
    QString recipients; // the "To" text exactly as the caller gave it
    QString subject;
    QString body;
    QString messageId; // with its angle brackets
};

// "Fri, 04 Dec 2026 18:41:09 +0000": the local time labelled +0000 whatever the zone, day and month names as
// the locale gives them.
QString dateHeader(const QDateTime& when, const QLocale& locale = QLocale());

// A fresh "<unique@domain>", the domain taken from the sender's address.
QString newMessageId(const QString& sender);

// The Subject's value: the text itself when it is ASCII, else RFC 2047 encoded words (UTF-8, Base64), folded.
QByteArray subjectValue(const QString& subject);

// Quoted-printable of one line's bytes (no line end), soft-broken so no encoded line exceeds 76 characters.
QByteArray quotedPrintableLine(QByteArrayView line);

// Every line ended by CR LF, dot-stuffed, and closed by the "." line.
QByteArray wireText(const Message& message, const QLocale& locale = QLocale());

} // namespace MailText
