// End to end as a new user meets it: a stock SMTP server (aiosmtpd, login required) on the monitor's side of a
// namespace LAN, the settings written with kestrelwatch-reg, a stranger joins, and the new-intruder mail
// arrives with the device's details and history: over plain text, and over STARTTLS.
#include "LabHarness.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"

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
            KW_SKIP(qPrintable(why));
        QVERIFY2(!TestCertificates::caFile().isEmpty(), "openssl could not make the test certificates");
        // The monitor inherits it: the test CA is trusted like a system one.
        qputenv("SSL_CERT_FILE", TestCertificates::caFile().toLocal8Bit());
    }

    void newIntruderMailArrives_data()
    {
        QTest::addColumn<QString>("security");
        QTest::newRow("plain, AUTH LOGIN") << "None";
        QTest::newRow("STARTTLS, AUTH LOGIN") << "STARTTLS";
    }

    void newIntruderMailArrives()
    {
        QFETCH(QString, security);
        Lab lab(QStringLiteral("kwm"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        // The server listens on the monitor namespace's own loopback: nothing leaves the lab.
        QStringList options {QStringLiteral("--user"), QStringLiteral("kestrel"), QStringLiteral("--password"),
            QStringLiteral("pässwörd €")};
        if (security == QLatin1String("STARTTLS"))
            options << TestCertificates::serverOptions(QStringLiteral("--starttls"), QStringLiteral("valid"));
        SmtpPeer sink;
        QVERIFY(sink.startAiosmtpd(options, lab.ns()));

        TestHome home;
        const QString store = home.paths().home;
        const QString general = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL");
        const QList<QPair<QString, QString>> values {{"EmailServer", sink.server()},
            {"EmailFrom", "kestrel@lab.example"}, {"EmailAddresses", "owner@lab.example"}, {"NewIntruderEmail", "1"},
            {"EmailAuthenticate", "1"}, {"EmailUsername", "a2VzdHJlbA=="}, {"EmailPassword", "cMOkc3N3w7ZyZCDigqw="},
            {"EmailSecurity", security}};
        for (const auto& [name, data] : values)
            QVERIFY(regSet(store, general, name, data));

        Monitor monitor(store);
        const qsizetype cursor = sink.cursor();
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        // A Cisco address, so that the mail names a manufacturer.
        QVERIFY(lab.addDevice(
            QStringLiteral("stranger"), QStringLiteral("198.18.0.44"), QStringLiteral("00:00:0c:12:34:56")));
        QVERIFY2(sink.waitFor(QStringLiteral("MSG "), cursor, 60000), qPrintable(monitor.debug().join('\n')));
        QCOMPARE(monitor.stop(), 0);
        QCOMPARE(monitor.debug().filter(QStringLiteral("CEmail:")), QStringList());

        QString mail;
        for (const QByteArray& text : sink.messages()) {
            if (text.contains("MAC Address = 00-00-0C-12-34-56\r\n"))
                mail = QString::fromUtf8(text);
        }
        QVERIFY2(!mail.isEmpty(), "no mail about the stranger");
        for (const char* line : {"Subject: URGENT: A New Device has been detected on your Wireless Network\r\n",
                 "To: owner@lab.example\r\n", "Host Name = Unknown Device\r\n", "IP Address = 198.18.0.44\r\n",
                 "MAC Manufacturer = Cisco Systems, Inc\r\n", "\t** WARNING - NEW DEVICE **\r\n",
                 "\tConnected ( 198.18.0.44 )\r\n"})
            QVERIFY2(mail.contains(QLatin1String(line)), line);
    }
};

KW_TEST_GUILESS_MAIN(TestAlertMailLan)
#include "tst_alert_mail_lan.moc"
