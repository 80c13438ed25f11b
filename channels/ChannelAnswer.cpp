#include "channels/ChannelAnswer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace ChannelAnswer {

QString summary(int status, const QString& reply, const QString& error)
{
    if (status == 0)
        return QStringLiteral("Not sent: ") + error;
    if (status >= 200 && status < 300)
        return QStringLiteral("Sent: the server took it (HTTP %1).").arg(status);
    QString why;
    const QJsonDocument json = QJsonDocument::fromJson(reply.toUtf8());
    if (json.isObject()) {
        for (const char* key : {"error", "message", "detail"}) {
            const QJsonValue value = json.object().value(QLatin1String(key));
            if (value.isString()) {
                why = value.toString();
                break;
            }
        }
    } else if (reply.contains(QLatin1Char('<'))) {
        // An HTML page: its title says it best; else its words without the markup.
        static const QRegularExpression title(QStringLiteral("<title[^>]*>(.*?)</title>"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression tags(QStringLiteral("<[^>]*>|<[^>]*$"));
        const QRegularExpressionMatch m = title.match(reply);
        why = m.hasMatch() ? m.captured(1) : QString(reply).remove(tags);
    } else {
        why = reply;
    }
    // What a JSON string escapes in may be anything: shown as words, never as control characters.
    for (QChar& c : why) {
        if (!c.isPrint() && !c.isSpace())
            c = QChar(0xFFFD);
    }
    why = why.simplified();
    constexpr int kLongest = 80;
    if (why.size() > kLongest)
        why = why.left(kLongest - 1) + QChar(0x2026);
    const QString refused = QStringLiteral("Refused by the server (HTTP %1)").arg(status);
    return why.isEmpty() ? refused + QLatin1Char('.') : refused + QStringLiteral(": ") + why;
}

} // namespace ChannelAnswer
