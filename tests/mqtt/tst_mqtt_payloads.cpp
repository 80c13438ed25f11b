// The pure parts of the MQTT layer: the command parser, the device state and event payloads, and the Home
// Assistant discovery payloads held against the keys the discovery schema documents.
#include "Skip.h"
#include "TestHome.h"
#include "mqtt/MqttCommand.h"
#include "mqtt/MqttConnection.h"
#include "mqtt/MqttPayloads.h"
#include "store/DeviceTable.h"
#include "store/TextForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace MqttPayloads;

class TestMqttPayloads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void command_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("expected"); // "ack safe name" as parsed, or the start of the error
        QTest::newRow("acknowledge") << QByteArray(R"({"acknowledge":true})") << "1 - -";
        QTest::newRow("safe") << QByteArray(R"({"safe":true})") << "0 1 -";
        QTest::newRow("back to intruders") << QByteArray(R"({"safe":false})") << "0 0 -";
        QTest::newRow("all three") << QByteArray(R"({"name":"Printer é","safe":true,"acknowledge":true})")
                                   << "1 1 Printer é";
        QTest::newRow("empty name") << QByteArray(R"({"name":""})") << "0 - ";
        QTest::newRow("unknown field spoils all")
            << QByteArray(R"({"acknowledge":true,"remove":true})") << "error: unknown field \"remove\"";
        QTest::newRow("acknowledge false") << QByteArray(R"({"acknowledge":false})") << "error: \"acknowledge\"";
        QTest::newRow("safe as text") << QByteArray(R"({"safe":"yes"})") << "error: \"safe\"";
        QTest::newRow("name as number") << QByteArray(R"({"name":5})") << "error: \"name\"";
        QTest::newRow("control character") << QByteArray("{\"name\":\"a\\u0007b\"}") << "error: \"name\" holds";
        QTest::newRow("long name") << "{\"name\":\"" + QByteArray(300, 'x') + "\"}"
                                   << "error: \"name\" is longer";
        QTest::newRow("not JSON") << QByteArray("acknowledge") << "error: the payload is not JSON";
        QTest::newRow("array") << QByteArray("[true]") << "error: the payload is not a JSON object";
        QTest::newRow("empty object") << QByteArray("{}") << "error: the payload holds no command";
        QTest::newRow("empty payload") << QByteArray() << "error: the payload is not JSON";
        QTest::newRow("huge") << QByteArray(5000, ' ') << "error: the payload is longer";
    }
    void command()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, expected);
        const MqttCommand c = parseMqttCommand(payload);
        const QString got = c.valid() ? QStringLiteral("%1 %2 %3")
                                            .arg(int(c.acknowledge))
                                            .arg(c.safe ? QString::number(int(*c.safe)) : QStringLiteral("-"))
                                            .arg(c.name ? *c.name : QStringLiteral("-"))
                                      : QStringLiteral("error: ") + c.error;
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    void commandTopicAndServer()
    {
        const Base base {QStringLiteral("kw"), QStringLiteral("lab")};
        QCOMPARE(commandMac(QStringLiteral("kw/lab/set/02-aa-00-00-00-0c"), base.commandPrefix()),
            QStringLiteral("02-AA-00-00-00-0C"));
        QCOMPARE(commandMac(QStringLiteral("kw/lab/set/02:AA:00:00:00:0C"), base.commandPrefix()),
            QStringLiteral("02-AA-00-00-00-0C"));
        QVERIFY(commandMac(QStringLiteral("kw/lab/set/02-AA-00-00-00"), base.commandPrefix()).isEmpty());
        QVERIFY(commandMac(QStringLiteral("kw/other/set/02-AA-00-00-00-0C"), base.commandPrefix()).isEmpty());

        QCOMPARE(MqttConnection::parseServer(QStringLiteral("broker"), false)->second, 1883);
        QCOMPARE(MqttConnection::parseServer(QStringLiteral("broker"), true)->second, 8883);
        QCOMPARE(MqttConnection::parseServer(QStringLiteral(" [::1]:1884 "), false)->first, QStringLiteral("::1"));
        for (const char* bad : {"", "host:0", "host:70000", "host:x", "[::1", "a b"})
            QVERIFY2(!MqttConnection::parseServer(QLatin1String(bad), false), bad);
    }

    void stateAndEvent()
    {
        DeviceRecord d = DeviceRecord::empty();
        d.MacAddress = QStringLiteral("02-AA-00-00-00-0C");
        d.IpAddress = QStringLiteral("198.18.0.12");
        d.HostName = QStringLiteral("Unknown Device");
        d.NewDevice = d.Intruder = true;
        d.PresenceCountdown = 2;
        d.FirstSeen = d.LastOnline = QDateTime(QDate(2026, 12, 5), QTime(23, 4, 5), Qt::UTC);
        d.LastOffline = TextForms::NeverDate();
        const QJsonObject s = QJsonDocument::fromJson(deviceState(d, QStringLiteral("Acme"))).object();
        QCOMPARE(s.value("first_seen").toString(), QStringLiteral("2026-12-05T23:04:05Z"));
        QVERIFY(s.value("last_offline").isNull());
        QCOMPARE(s.value("online").toBool(), true);
        QCOMPARE(s.value("acknowledged").toBool(), false);
        QCOMPARE(s.value("manufacturer").toString(), QStringLiteral("Acme"));

        const QString line = TextForms::dateText(d.FirstSeen) + QStringLiteral("\tConnected ( 198.18.0.12 )");
        const QJsonObject e = QJsonDocument::fromJson(MqttPayloads::event(d.MacAddress, line)).object();
        QCOMPARE(e.value("time").toString(), QStringLiteral("2026-12-05T23:04:05Z"));
        QCOMPARE(e.value("kind").toString(), QStringLiteral("connected"));
        QCOMPARE(e.value("text").toString(), QStringLiteral("Connected ( 198.18.0.12 )"));
        QVERIFY(QJsonDocument::fromJson(MqttPayloads::event(d.MacAddress, QStringLiteral("no tab")))
                    .object()
                    .value("time")
                    .isNull());
    }

    // Keys and shapes as Home Assistant's MQTT discovery documents them for device_tracker and binary_sensor.
    void discovery()
    {
        const Base base {QStringLiteral("kestrelwatch"), QStringLiteral("lab.example/1")};
        DeviceRecord d = DeviceRecord::empty();
        d.MacAddress = QStringLiteral("02-AA-00-00-00-0C");
        d.FriendlyName = QStringLiteral("Printer");
        const QString topic = trackerConfigTopic(base, d.MacAddress);
        QVERIFY(QRegularExpression(QStringLiteral("^homeassistant/device_tracker/[A-Za-z0-9_-]+/config$"))
                    .match(topic)
                    .hasMatch());
        const QJsonObject t = QJsonDocument::fromJson(trackerConfig(base, d, QStringLiteral("Acme"))).object();
        QCOMPARE(t.value("state_topic").toString(), base.device(d.MacAddress));
        QCOMPARE(t.value("json_attributes_topic").toString(), base.device(d.MacAddress));
        QCOMPARE(t.value("payload_home").toString(), QStringLiteral("home"));
        QCOMPARE(t.value("payload_not_home").toString(), QStringLiteral("not_home"));
        QCOMPARE(t.value("source_type").toString(), QStringLiteral("router"));
        QVERIFY(t.value("value_template").toString().contains(QLatin1String("value_json.online")));
        QCOMPARE(t.value("availability_topic").toString(), base.status());
        QVERIFY(!t.value("unique_id").toString().isEmpty());
        const QJsonObject dev = t.value("device").toObject();
        QCOMPARE(dev.value("connections").toArray().at(0).toArray(),
            (QJsonArray {QStringLiteral("mac"), QStringLiteral("02:aa:00:00:00:0c")}));
        QVERIFY(!dev.value("identifiers").toArray().isEmpty());
        QCOMPARE(dev.value("name").toString(), QStringLiteral("Printer"));

        const QJsonObject b = QJsonDocument::fromJson(intruderSensorConfig(base)).object();
        QVERIFY(QRegularExpression(QStringLiteral("^homeassistant/binary_sensor/[A-Za-z0-9_-]+/config$"))
                    .match(intruderSensorConfigTopic(base))
                    .hasMatch());
        QCOMPARE(b.value("state_topic").toString(), base.intruderOnline());
        QCOMPARE(b.value("device_class").toString(), QStringLiteral("safety"));
        QCOMPARE(b.value("payload_on").toString(), QStringLiteral("ON"));
        QCOMPARE(b.value("availability_topic").toString(), base.status());
        QVERIFY(b.value("unique_id").toString() != t.value("unique_id").toString());
        // The device tracker's device hangs below the monitor's device.
        QCOMPARE(dev.value("via_device").toString(), b.value("device").toObject().value("identifiers")[0].toString());
    }
};

KW_TEST_GUILESS_MAIN(TestMqttPayloads)
#include "tst_mqtt_payloads.moc"
