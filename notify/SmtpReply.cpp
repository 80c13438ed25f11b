#include "notify/SmtpReply.h"

namespace SmtpReply {

namespace {

// "ddd-" continues a reply; anything else ends it, a line the server garbled included, so that it is judged
// (and quoted) rather than waited on.
bool continues(QByteArrayView line)
{
    return line.size() >= 4 && line[3] == '-';
}

int codeOf(QByteArrayView line)
{
    if (line.size() < 3)
        return -1;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return -1;
        code = code * 10 + (line[i] - '0');
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return -1;
    return code;
}

} // namespace

QString Reply::firstLine() const
{
    return lines.isEmpty() ? QString() : QString::fromUtf8(lines.first());
}

std::optional<Reply> take(QByteArrayView buffer)
{
    Reply reply;
    qsizetype start = 0;
    while (start < buffer.size()) {
        const qsizetype lf = buffer.indexOf('\n', start);
        if (lf < 0)
            return std::nullopt;
        qsizetype end = lf;
        if (end > start && buffer[end - 1] == '\r')
            --end;
        const QByteArrayView line = buffer.sliced(start, end - start);
        reply.lines.append(line.toByteArray());
        start = lf + 1;
        if (!continues(line)) {
            reply.code = codeOf(line);
            reply.length = start;
            return reply;
        }
    }
    return std::nullopt;
}

Extensions extensions(const Reply& ehlo)
{
    Extensions found;
    // The first line greets; each later one names an extension after its "250-" or "250 ".
    for (qsizetype i = 1; i < ehlo.lines.size(); ++i) {
        const QString text = QString::fromLatin1(ehlo.lines.at(i).mid(4)).trimmed().toUpper();
        const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (words.first() == QLatin1String("STARTTLS")) {
            found.startTls = true;
        } else if (words.first() == QLatin1String("AUTH") || words.first().startsWith(QLatin1String("AUTH="))) {
            found.authAdvertised = true;
            QStringList mechanisms = words.mid(1);
            if (words.first().size() > 5)
                mechanisms.prepend(words.first().mid(5));
            for (const QString& m : mechanisms) {
                if (!found.authMechanisms.contains(m))
                    found.authMechanisms.append(m);
            }
        }
    }
    return found;
}

} // namespace SmtpReply
