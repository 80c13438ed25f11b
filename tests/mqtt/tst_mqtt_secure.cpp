// The broker's own protection, which the monitor relies on: a login, an ACL that decides who may command,
// and TLS checked against the trust store (a CA made here with openssl stands in for the system's).
#include "MqttRig.h"
#include "Skip.h"
#include "TestHome.h"
#include "mqtt/MqttPublisher.h"
#include "platform/DebugSink.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"

class TestMqttSecure : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file(const QString& name) const { return m_dir.filePath(name); }
    static bool run(const QString& program, const QStringList& args)
    {
        QProcess p;
        p.start(program, args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    bool makeCa(const QString& name)
    {
        return run(QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + name, "-keyout",
                file(name + ".key"), "-out", file(name + ".pem")});
    }

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        if (QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"}).isEmpty())
            KW_SKIP("mosquitto is not installed");
        QVERIFY(makeCa("ca") && makeCa("otherca"));
        QFile ext(file("ext.cnf"));
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        ext.close();
        QVERIFY(run("openssl",
            {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", file("server.key"), "-out",
                file("server.csr")}));
        QVERIFY(run("openssl",
            {"x509", "-req", "-in", file("server.csr"), "-CA", file("ca.pem"), "-CAkey", file("ca.key"),
                "-CAcreateserial", "-days", "2", "-extfile", ext.fileName(), "-out", file("server.pem")}));
        QVERIFY(run("mosquitto_passwd", {"-c", "-b", file("passwd"), "monitor", "m-secret"}));
        QVERIFY(run("mosquitto_passwd", {"-b", file("passwd"), "admin", "a-secret"}));
        QVERIFY(run("mosquitto_passwd", {"-b", file("passwd"), "viewer", "v-secret"}));
        QFile acl(file("acl"));
        QVERIFY(acl.open(QIODevice::WriteOnly));
        acl.write("user monitor\ntopic readwrite kestrelwatch/#\ntopic write homeassistant/#\n"
                  "user admin\ntopic write kestrelwatch/+/set/#\n"
                  "user viewer\ntopic read kestrelwatch/#\n");
        acl.close();
        // A broker started as root reads these as the unprivileged user "mosquitto".
        QFile::setPermissions(
            m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        for (const QString& f : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::setPermissions(file(f), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    }

    // Only the admin's command reaches the monitor; the viewer's is dropped by the broker. A wrong password is
    // refused with a log line that names the refusal and not the password.
    void aclDecidesWhoCommands()
    {
        const quint16 port = freeLoopbackPort();
        const auto broker = startBroker(
            m_dir.path(), port, "allow_anonymous false\npassword_file " + file("passwd") + "\nacl_file " + file("acl"));
        QVERIFY(broker);
        DeviceTable devices;
        devices.DeviceCount = 1;
        devices.ResizeDeviceTable(1);
        devices[0] = DeviceRecord::empty();
        devices[0].MacAddress = QStringLiteral("02-AA-00-00-00-0C");
        devices.macChanged();
        LiveSettings settings;
        settings.txtMqttServer = QStringLiteral("127.0.0.1:%1").arg(port);
        settings.txtMqttSensor = QStringLiteral("lab");
        settings.txtMqttUsername = QStringLiteral("monitor");
        settings.txtMqttPassword = QStringLiteral("wrong-secret");
        QStringList logs;
        installLogSink([&logs](const QString& line) { logs << line; });
        MqttPublisher publisher(devices, settings, {});
        QStringList applied;
        publisher.setCommandHandler([&applied](qint32, const MqttCommand& c) {
            applied << (c.name ? *c.name : QStringLiteral("ack"));
            return true;
        });
        publisher.refresh();
        QTRY_VERIFY(logs.join('\n').contains(QLatin1String("refused the connection")));
        QVERIFY(!logs.join('\n').contains(QLatin1String("wrong-secret")));

        settings.txtMqttPassword = QStringLiteral("m-secret");
        publisher.refresh();
        QTRY_VERIFY(publisher.connection().isConnected());
        QTest::qWait(200); // the command subscription is in place
        const QString topic = QStringLiteral("kestrelwatch/lab/set/02-AA-00-00-00-0C");
        const auto send = [&](const char* user, const char* password, const char* payload) {
            QCOMPARE(
                QProcess::execute("mosquitto_pub",
                    brokerArgs(port) + QStringList {"-u", user, "-P", password, "-q", "1", "-t", topic, "-m", payload}),
                0);
        };
        send("viewer", "v-secret", R"({"name":"Evil"})");
        send("admin", "a-secret", R"({"acknowledge":true})");
        QTRY_COMPARE(applied, QStringList {QStringLiteral("ack")});
        installLogSink({});
    }

    // The certificate is checked against the trust store: a store without the broker's CA refuses it.
    void tlsAgainstTrustStore()
    {
        const quint16 port = freeLoopbackPort();
        const auto broker = startBroker(m_dir.path(), port,
            "allow_anonymous true\ncafile " + file("ca.pem") + "\ncertfile " + file("server.pem") + "\nkeyfile "
                + file("server.key"));
        QVERIFY(broker);
        MqttConnection::Config config;
        config.host = QStringLiteral("localhost");
        config.port = port;
        config.tls = true;
        config.retry = false;
        for (const char* store : {"otherca.pem", "ca.pem"}) {
            qputenv("SSL_CERT_FILE", file(QLatin1String(store)).toLocal8Bit());
            MqttConnection connection;
            QSignalSpy failed(&connection, &MqttConnection::connectionFailed);
            QSignalSpy connected(&connection, &MqttConnection::connected);
            connection.open(config);
            QTRY_VERIFY(failed.count() + connected.count() > 0);
            QCOMPARE(connected.count(), qstrcmp(store, "ca.pem") == 0 ? 1 : 0);
        }
        qunsetenv("SSL_CERT_FILE");
    }
};

KW_TEST_GUILESS_MAIN(TestMqttSecure)
#include "tst_mqtt_secure.moc"
