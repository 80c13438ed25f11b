// The MQTT feed against a hostile broker (hostile_broker.py): half an answer and silence, an endless flood of bad
// commands, endless 1 MB messages, a message cut off by a closed connection. Each ends in a few clear log lines,
// memory stays bounded, the event loop keeps running, and the connection is tried again.
#include "LogCapture.h"
#include "Process.h"
#include "Skip.h"
#include "TestHome.h"
#include "mqtt/MqttPublisher.h"
#include "platform/Clock.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QFile>
#include <QTimer>
#include <QtTest>

namespace {
// The resident set in MB, from /proc.
double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}
} // namespace

// AddressSanitizer's own memory makes a resident-size bound meaningless in the sanitized build.
#if defined(__SANITIZE_ADDRESS__)
#define KW_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KW_UNDER_ASAN 1
#endif
#endif
#ifndef KW_UNDER_ASAN
#define KW_UNDER_ASAN 0
#endif

class TestMqttHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // log: what the "MQTT - " lines say; at most maxLines of them in all over the three minutes of the test
    // clock (a flood of a hundred thousand commands a second, unbounded, wrote every one).
    void hostileBroker_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("maxLines");
        QTest::newRow("half a CONNACK, then silence") << "half-connack"
                                                      << "no answer from 127.0.0.1" << 8;
        QTest::newRow("endless bad commands") << "flood"
                                              << "more MQTT command lines are left out" << 40;
        QTest::newRow("endless 1 MB messages") << "big"
                                               << "the payload is longer than 4096 bytes" << 40;
        QTest::newRow("a message cut off") << "cut"
                                           << "connection lost" << 8;
    }

    void hostileBroker()
    {
        QFETCH(QString, mode);
        QFETCH(QString, log);
        QFETCH(int, maxLines);
        kwtest::Process broker;
        broker.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(KW_SOURCE_DIR "/tests/mqtt/hostile_broker.py"), QStringLiteral("--mode"), mode});
        const QString port = broker.waitForLine(QRegularExpression(QStringLiteral("^PORT ")), 0, 15000);
        QVERIFY(!port.isEmpty());
        ManualClock clock(QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC));
        kwclock::install(&clock);
        LogCapture logged;
        TestHome home;
        LiveSettings settings;
        settings.mqtt.server = QStringLiteral("127.0.0.1:") + port.mid(5);
        settings.mqtt.sensor = QStringLiteral("lab");
        DeviceStore devices;
        const double before = residentMb();
        double peak = before;
        {
            MqttPublisher publisher(devices, settings, {});
            publisher.refresh();
            QVERIFY(!broker.waitForLine(QRegularExpression(QStringLiteral("^CONNECT 1")), 0, 15000).isEmpty());
            // Two seconds of whatever the broker does, the clock a minute on each second; the loop must go on.
            for (int second = 0; second < 2; ++second) {
                bool ran = false;
                QTimer::singleShot(0, this, [&ran] { ran = true; });
                QTRY_VERIFY_WITH_TIMEOUT(ran, 10000);
                QTest::qWait(1000);
                peak = std::max(peak, residentMb());
                clock.advanceSeconds(60);
                publisher.connection().tick();
            }
            QTRY_VERIFY_WITH_TIMEOUT(!logged.tagged(QStringLiteral("MQTT - ")).filter(log).isEmpty(), 15000);
            // Given up on or not, the connection is tried again.
            clock.advanceSeconds(120);
            publisher.connection().tick();
            QVERIFY(!broker.waitForLine(QRegularExpression(QStringLiteral("^CONNECT 2")), 0, 15000).isEmpty()
                || publisher.connection().isConnected());
        }
        kwclock::install(nullptr);
        const QStringList lines = logged.tagged(QStringLiteral("MQTT - "));
        QVERIFY2(lines.size() <= maxLines, qPrintable(lines.join(QLatin1Char('\n'))));
#if KW_UNDER_ASAN
        // AddressSanitizer holds freed memory in its quarantine (256 MB): the bound is the plain build's to check.
        qInfo("%s", qPrintable(QStringLiteral("%1 MB more (not judged under AddressSanitizer)").arg(peak - before)));
#else
        QVERIFY2(peak - before < 64, qPrintable(QStringLiteral("%1 MB more").arg(peak - before)));
#endif
    }
};

KW_TEST_GUILESS_MAIN(TestMqttHostile)
#include "tst_mqtt_hostile.moc"
