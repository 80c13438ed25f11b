#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <optional>

// How the mail client reads what an SMTP server says. Pure functions of the bytes received, so that tests and
// the fuzzer call them directly.
namespace SmtpReply {

// One whole reply: every line up to and including its final line (three characters and a space, or three
// characters alone; "250-" lines continue the reply). However the server's writes were cut, a reply is
// judged only once its final line has arrived.
struct Reply
{
    int code = -1; // the final line's three digits; -1 when they are not digits
    QList<QByteArray> lines; // without their line ends
    qsizetype length = 0; // bytes of the buffer the reply took, line ends included

    // The first line, as the debug log quotes it.
    QString firstLine() const;
    // The first digit of the code, 0 when there is no code.
    int category() const { return code < 0 ? 0 : code / 100; }
};

// The reply at the start of the buffer, or nothing while its final line is still incomplete. Lines end with
// CR LF; a bare LF is taken as a line end too.
std::optional<Reply> take(QByteArrayView buffer);

// What an EHLO reply offers beyond mail: STARTTLS and the AUTH mechanisms (upper case).
struct Extensions
{
    bool startTls = false;
    bool authAdvertised = false;
    QStringList authMechanisms;
};
Extensions extensions(const Reply& ehlo);

} // namespace SmtpReply
