#include "mqtt/MqttCommand.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

namespace {

// A friendly name is a line of text; a longer one is a mistake or an attack, never a name.
constexpr qsizetype kMaxNameLength = 256;
constexpr qsizetype kMaxPayload = 4096;

MqttCommand failure(const QString& why)
{
    MqttCommand command;
    command.error = why;
    return command;
}

} // namespace

MqttCommand parseMqttCommand(const QByteArray& payload)
{
    if (payload.size() > kMaxPayload)
        return failure(QStringLiteral("the payload is longer than %1 bytes").arg(kMaxPayload));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failure(QStringLiteral("the payload is not JSON (%1)").arg(parseError.errorString()));
    if (!doc.isObject())
        return failure(QStringLiteral("the payload is not a JSON object"));
    const QJsonObject object = doc.object();
    if (object.isEmpty())
        return failure(QStringLiteral("the payload holds no command"));

    MqttCommand command;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QLatin1String("acknowledge")) {
            if (!value.isBool() || !value.toBool())
                return failure(QStringLiteral("\"acknowledge\" takes only true"));
            command.acknowledge = true;
        } else if (key == QLatin1String("safe")) {
            if (!value.isBool())
                return failure(QStringLiteral("\"safe\" takes true or false"));
            command.safe = value.toBool();
        } else if (key == QLatin1String("name")) {
            if (!value.isString())
                return failure(QStringLiteral("\"name\" takes a text"));
            const QString name = value.toString();
            if (name.size() > kMaxNameLength)
                return failure(QStringLiteral("\"name\" is longer than %1 characters").arg(kMaxNameLength));
            for (const QChar c : name) {
                if (c.category() == QChar::Other_Control)
                    return failure(QStringLiteral("\"name\" holds a control character"));
            }
            command.name = name;
        } else {
            return failure(QStringLiteral("unknown field \"%1\"").arg(key.left(64)));
        }
    }
    return command;
}

QString commandMac(const QString& topic, const QString& prefix)
{
    if (!topic.startsWith(prefix))
        return {};
    static const QRegularExpression mac(QStringLiteral("^[0-9A-Fa-f]{2}([-:][0-9A-Fa-f]{2}){5}$"));
    const QString last = topic.mid(prefix.size());
    if (!mac.match(last).hasMatch())
        return {};
    return last.toUpper().replace(QLatin1Char(':'), QLatin1Char('-'));
}
