// The pure parts of the MQTT layer: the command parser, the device state and event payloads, and the Home
// Assistant discovery payloads held against the keys its discovery schema documents.
#include "Devices.h"
#include "Skip.h"
#include "TestHome.h"
#include "mqtt/MqttCommand.h"
#include "mqtt/MqttConnection.h"
#include "mqtt/MqttPayloads.h"
#include "store/TextForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace MqttPayloads;

class TestMqttPayloads : public QObject
{
    Q_OBJECT
    static QJsonObject json(const QByteArray& payload) { return QJsonDocument::fromJson(payload).object(); }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void command_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("expected"); // "ack safe name" as parsed, or the start of the error
        QTest::newRow("acknowledge") << QByteArray(R"({"acknowledge":true})") << "1 - -";
        QTest::newRow("safe") << QByteArray(R"({"safe":true})") << "0 1 -";
        QTest::newRow("all three") << QByteArray(R"({"name":"Printer é","safe":true,"acknowledge":true})")
                                   << "1 1 Printer é";
        QTest::newRow("unknown field spoils all")
            << QByteArray(R"({"acknowledge":true,"remove":true})") << "error: unknown field \"remove\"";
        QTest::newRow("acknowledge false") << QByteArray(R"({"acknowledge":false})") << "error: \"acknowledge\"";
        QTest::newRow("safe as text") << QByteArray(R"({"safe":"yes"})") << "error: \"safe\"";
        QTest::newRow("control character") << QByteArray("{\"name\":\"a\\u0007b\"}") << "error: \"name\" holds";
        QTest::newRow("long name") << "{\"name\":\"" + QByteArray(300, 'x') + "\"}"
                                   << "error: \"name\" is longer";
        QTest::newRow("not JSON") << QByteArray("acknowledge") << "error: the payload is not JSON";
        QTest::newRow("empty object") << QByteArray("{}") << "error: the payload holds no command";
        QTest::newRow("watch") << QByteArray(R"({"watch":"Offline"})") << "0 - - watch 1";
        QTest::newRow("watch none") << QByteArray(R"({"watch":""})") << "0 - - watch 0";
        QTest::newRow("watch other") << QByteArray(R"({"watch":"always"})") << "error: \"watch\"";
        QTest::newRow("merge") << QByteArray(R"({"merge_from":"02:aa:00:00:00:0d"})")
                               << "0 - - merge 02-AA-00-00-00-0D";
        QTest::newRow("merge a group MAC")
            << QByteArray(R"({"merge_from":"01-00-5E-00-00-01"})") << "error: \"merge_from\"";
        QTest::newRow("merge no text") << QByteArray(R"({"merge_from":7})") << "error: \"merge_from\"";
    }
    void command()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, expected);
        const MqttCommand c = parseMqttCommand(payload);
        const QString got = !c.valid() ? QStringLiteral("error: ") + c.error
                                       : QStringLiteral("%1 %2 %3")
                                             .arg(int(c.acknowledge))
                                             .arg(c.safe ? QString::number(int(*c.safe)) : QStringLiteral("-"))
                                             .arg(c.name ? *c.name : QStringLiteral("-"))
                + (c.watch ? QStringLiteral(" watch %1").arg(*c.watch) : QString())
                + (c.mergeFrom ? QStringLiteral(" merge ") + *c.mergeFrom : QString());
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    void commandTopicAndServer()
    {
        const QString prefix = Base {QStringLiteral("kw"), QStringLiteral("lab")}.commandPrefix();
        QCOMPARE(commandMac("kw/lab/set/02:aa:00:00:00:0c", prefix), QStringLiteral("02-AA-00-00-00-0C"));
        for (const char* bad : {"kw/lab/set/02-AA-00-00-00", "kw/other/set/02-AA-00-00-00-0C", "kw/lab/set/+",
                 "kw/lab/set/01-00-5E-00-00-FB"})
            QVERIFY2(commandMac(QLatin1String(bad), prefix).isEmpty(), bad);
        for (const char* bad : {"", "host:0", "host:70000", "host:x", "[::1", "a b"})
            QVERIFY2(!MqttConnection::parseServer(QLatin1String(bad), false), bad);
    }

    void payloads()
    {
        DeviceStore table;
        const QDateTime seen(QDate(2026, 12, 5), QTime(23, 4, 5), Qt::UTC);
        DeviceRecord& d = appendDevice(table, QStringLiteral("02-AA-00-00-00-0C"), "198.18.0.12", seen);
        d.PresenceCountdown = 2;
        d.FriendlyName = QStringLiteral("Printer");
        d.Type = DeviceType::Printer;
        d.Model = QStringLiteral("LaserJet 4");
        d.Os = QStringLiteral("Linux");
        d.FormerMacs = QStringList {QStringLiteral("02-AA-00-00-00-0B")};
        const QJsonObject s = json(deviceState(d, QStringLiteral("Acme")));
        QCOMPARE(s.value("type").toString() + '/' + s.value("model").toString() + '/' + s.value("os").toString() + '/'
                + s.value("former_macs")[0].toString(),
            QStringLiteral("printer/LaserJet 4/Linux/02-AA-00-00-00-0B"));
        QCOMPARE(s.value("first_seen").toString(), QStringLiteral("2026-12-05T23:04:05Z"));
        QCOMPARE(s.value("last_seen").toString(), QStringLiteral("2026-12-05T23:04:05Z"));
        QVERIFY(s.value("last_offline").isNull() && s.value("online").toBool()); // never offline; online now
        QCOMPARE(s.value("manufacturer").toString(), QStringLiteral("Acme"));

        // Home Assistant discovery: the keys and shapes its schema documents for device_tracker and binary_sensor.
        const Base base {QStringLiteral("kestrelwatch"), QStringLiteral("lab.example/1")};
        const QRegularExpression topic(QStringLiteral("^homeassistant/(device_tracker|binary_sensor)/[\\w-]+/config$"));
        QVERIFY(topic.match(trackerConfigTopic(base, d.MacAddress)).hasMatch());
        QVERIFY(topic.match(intruderSensorConfigTopic(base)).hasMatch());
        const QJsonObject t = json(trackerConfig(base, d, QStringLiteral("Acme")));
        const QJsonObject b = json(intruderSensorConfig(base));
        const QList<std::tuple<QJsonObject, const char*, QString>> expected {
            {t, "state_topic", base.device(d.MacAddress)}, {t, "json_attributes_topic", base.device(d.MacAddress)},
            {t, "payload_home", "home"}, {t, "payload_not_home", "not_home"}, {t, "source_type", "router"},
            {t, "icon", "mdi:printer"}, {t, "availability_topic", base.status()},
            {b, "state_topic", base.intruderOnline()}, {b, "device_class", "safety"}, {b, "payload_on", "ON"},
            {b, "availability_topic", base.status()}};
        for (const auto& [object, key, value] : expected)
            QVERIFY2(object.value(QLatin1String(key)).toString() == value, key);
        QVERIFY(t.value("value_template").toString().contains(QLatin1String("value_json.online")));
        QVERIFY(!t.value("unique_id").toString().isEmpty() && t.value("unique_id") != b.value("unique_id"));
        const QJsonObject device = t.value("device").toObject();
        QCOMPARE(device.value("connections")[0].toArray(), (QJsonArray {"mac", "02:aa:00:00:00:0c"}));
        QCOMPARE(device.value("name").toString(), QStringLiteral("Printer"));
        QCOMPARE(device.value("model").toString(), QStringLiteral("LaserJet 4"));
        // Every type has an icon of its own; an unknown device a generic one.
        QSet<QString> icons;
        for (const QString& word : DeviceKind::typeWords())
            icons.insert(typeIcon(DeviceKind::typeFromWord(word)));
        QCOMPARE(icons.size(), DeviceKind::typeWords().size());
        // The device tracker's device hangs below the monitor's device.
        QCOMPARE(device.value("via_device").toString(), b.value("device")["identifiers"][0].toString());
    }
};

KW_TEST_GUILESS_MAIN(TestMqttPayloads)
#include "tst_mqtt_payloads.moc"
