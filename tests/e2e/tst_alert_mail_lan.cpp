// End to end: a stranger joins a namespace LAN and the headless monitor's new-intruder mail arrives at a
// real SMTP server (aiosmtpd) inside the monitor's namespace, with the device's details and history.

#include "LabHarness.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace e2e;

class TestAlertMailLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        const QString why = whyNotRunnable();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        if (run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}).code
            != 0)
            QSKIP("python3-aiosmtpd is not installed");
    }

    void newIntruderMailArrives()
    {
        Lab lab(QStringLiteral("kwm"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QTemporaryDir mailDir;
        // The server listens on the monitor namespace's own loopback: nothing leaves the lab.
        QProcess sink;
        sink.start(QStringLiteral("ip"),
            {QStringLiteral("netns"), QStringLiteral("exec"), lab.ns(), QStringLiteral("/usr/bin/python3"),
                TestHome::sourceDir() + QStringLiteral("/tests/notify/smtp_sink.py"), QStringLiteral("--dir"),
                mailDir.path()});
        QVERIFY(sink.waitForReadyRead(15000));
        const QString first = QString::fromUtf8(sink.readLine()).trimmed();
        QVERIFY2(first.startsWith(QStringLiteral("PORT ")), qPrintable(first));
        const QString port = first.mid(5);

        TestHome home;
        const QString store = home.paths().home;
        const QString general = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL");
        const auto set = [&](const char* name, const QString& value) {
            QCOMPARE(
                run(binary(QStringLiteral("kestrelwatch-reg")),
                    {QStringLiteral("--home"), store, QStringLiteral("set"), general, QString::fromLatin1(name), value})
                    .code,
                0);
        };
        set("EmailServer", QStringLiteral("127.0.0.1:") + port);
        set("EmailFrom", QStringLiteral("kestrel@lab.example"));
        set("EmailAddresses", QStringLiteral("owner@lab.example"));
        set("NewIntruderEmail", QStringLiteral("1"));

        Monitor monitor(store);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        // A Cisco address, so that the mail names a manufacturer.
        QCOMPARE(
            lab.netlab(QStringLiteral("add"),
                   {QStringLiteral("stranger"), QStringLiteral("198.18.0.44"), QStringLiteral("00:00:0c:12:34:56")})
                .code,
            0);
        // The router is safe and mails nothing; the stranger's mail is the first to arrive.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(mailDir.path()).entryList({QStringLiteral("*.json")}).isEmpty(), 30000);
        QCOMPARE(monitor.stop(), 0);
        sink.kill();
        sink.waitForFinished();

        QString mail;
        for (const QString& name : QDir(mailDir.path()).entryList({QStringLiteral("*.eml")})) {
            QFile f(mailDir.filePath(name));
            f.open(QIODevice::ReadOnly);
            const QString text = QString::fromUtf8(f.readAll());
            if (text.contains(QStringLiteral("00-00-0C-12-34-56")))
                mail = text;
        }
        QVERIFY2(!mail.isEmpty(), "no mail about the stranger");
        QVERIFY(
            mail.contains(QStringLiteral("Subject: URGENT: A New Device has been detected on your Wireless Network")));
        QVERIFY(mail.contains(QStringLiteral("To: owner@lab.example")));
        QVERIFY(mail.contains(QStringLiteral("Host Name = Unknown Device\r\n")));
        QVERIFY(mail.contains(QStringLiteral("IP Address = 198.18.0.44\r\n")));
        QVERIFY(mail.contains(QStringLiteral("MAC Address = 00-00-0C-12-34-56\r\n")));
        QVERIFY(mail.contains(QStringLiteral("MAC Manufacturer = Cisco Systems, Inc\r\n")));
        QVERIFY(mail.contains(QStringLiteral("\t** WARNING - NEW DEVICE **\r\n")));
        QVERIFY(mail.contains(QStringLiteral("\tConnected ( 198.18.0.44 )\r\n")));
    }
};

QTEST_GUILESS_MAIN(TestAlertMailLan)
#include "tst_alert_mail_lan.moc"
