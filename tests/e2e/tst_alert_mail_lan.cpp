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
        // The server listens on the monitor namespace's own loopback: nothing leaves the lab.
        MailSink sink(lab.ns());
        QVERIFY(sink.port() > 0);
        TestHome home;
        const QString store = home.paths().home;
        QVERIFY(configureAlertMail(store, sink.port()));

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
        QTRY_VERIFY_WITH_TIMEOUT(sink.anyMessage(), 30000);
        QCOMPARE(monitor.stop(), 0);
        const QString mail = sink.messageContaining(QStringLiteral("00-00-0C-12-34-56"));
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
