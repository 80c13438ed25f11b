#include "mqtt/MqttCommand.h"

#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/MacAddress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

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
            const DeviceText::Name name = DeviceText::filterName(value.toString());
            if (!name.ok())
                return failure(QStringLiteral("\"name\" ") + name.refusal);
            command.name = name.text;
        } else if (key == QLatin1String("trust_all")) {
            if (!value.isBool() || !value.toBool())
                return failure(QStringLiteral("\"trust_all\" takes only true"));
            command.trustAll = true;
        } else if (key == QLatin1String("watch")) {
            const auto mode = value.isString() ? DeviceWatch::parse(value.toString()) : std::nullopt;
            if (!mode)
                return failure(QStringLiteral("\"watch\" takes \"offline\", \"online\", \"both\" or \"\""));
            command.watch = *mode;
        } else if (key == QLatin1String("merge_from")) {
            const QString mac = value.isString() ? commandMac(value.toString(), QString()) : QString();
            if (mac.isEmpty())
                return failure(QStringLiteral("\"merge_from\" takes a device's MAC address"));
            command.mergeFrom = mac;
        } else {
            return failure(QStringLiteral("unknown field \"%1\"").arg(key.left(64)));
        }
    }
    // Trusting everything is one command of its own, never mixed with a device's changes.
    if (command.trustAll && (command.acknowledge || command.safe || command.name || command.watch || command.mergeFrom))
        return failure(QStringLiteral("\"trust_all\" goes alone"));
    return command;
}

QString commandMac(const QString& topic, const QString& prefix)
{
    if (!topic.startsWith(prefix))
        return {};
    const QString last = topic.mid(prefix.size());
    if (!MacAddress::isDeviceMac(last))
        return {};
    return MacAddress::canonical(last);
}
