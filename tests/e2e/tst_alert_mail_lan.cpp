// End to end as a new user meets it: a stock SMTP server (aiosmtpd, login required) on the monitor's side of a
// namespace LAN, settings written with kestrelwatch-reg, a stranger joins, and the new-intruder mail arrives
// with the device's details and history: over plain text, and over STARTTLS.
#include "Lab.h"
#include "Reg.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"

#include <QTest>

class TestAlertMailLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
        QVERIFY2(!TestCertificates::caFile().isEmpty(), "openssl could not make the test certificates");
        qputenv("SSL_CERT_FILE", TestCertificates::caFile().toLocal8Bit()); // the monitor inherits it
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
        kwtest::Lab lab(QStringLiteral("kwm"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        // On the monitor namespace's own loopback: nothing leaves the lab.
        QStringList options {"--user", "kestrel", "--password", "pässwörd €"};
        if (security == QLatin1String("STARTTLS"))
            options << TestCertificates::serverOptions(QStringLiteral("--starttls"), QStringLiteral("valid"));
        SmtpPeer sink;
        QVERIFY(sink.startAiosmtpd(options, lab.ns()));

        TestHome home;
        const QString store = home.paths().home;
        // The login as the settings dialog stores it: Base64 of its UTF-8.
        for (const auto& [name, data] : QList<QPair<QString, QString>> {{"EmailServer", sink.server()},
                 {"EmailFrom", "kestrel@lab.example"}, {"EmailAddresses", "owner@lab.example"},
                 {"NewIntruderEmail", "1"}, {"EmailAuthenticate", "1"}, {"EmailUsername", "a2VzdHJlbA=="},
                 {"EmailPassword", "cMOkc3N3w7ZyZCDigqw="}, {"EmailSecurity", security}})
            QVERIFY(Reg::set(store, Reg::general(), name, data));

        kwtest::Monitor monitor(store);
        const qsizetype cursor = sink.cursor();
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        // A Cisco address, so that the mail names a manufacturer.
        QVERIFY(lab.addDevice(
            QStringLiteral("stranger"), QStringLiteral("198.18.0.44"), QStringLiteral("00:00:0c:12:34:56")));
        const auto debug = [&] { return monitor.lines(kwtest::Process::Err); };
        QVERIFY2(sink.waitFor(QStringLiteral("MSG "), cursor, 60000), qPrintable(debug().join('\n')));
        QCOMPARE(monitor.stop(), 0);
        QCOMPARE(debug().filter(QStringLiteral("SmtpClient:")), QStringList());
        const QString mail = QString::fromUtf8(sink.messages().value(0));
        for (const char* line : {"Subject: URGENT: A New Device has been detected on your network\r\n",
                 "To: owner@lab.example\r\n", "IP Address = 198.18.0.44\r\n", "MAC Address = 00-00-0C-12-34-56\r\n",
                 "MAC Manufacturer = Cisco Systems, Inc\r\n", "\t** WARNING - NEW DEVICE **\r\n",
                 "\tConnected ( 198.18.0.44 )\r\n"})
            QVERIFY2(mail.contains(QLatin1String(line)), qPrintable(mail));
        // The mail waits for the name (3 s at most): once its own history has the name, so has its host line.
        const bool named = mail.contains(QLatin1String("\tName is stranger\r\n"));
        QVERIFY2(mail.contains(named ? QLatin1String("Host Name = stranger\r\n")
                                     : QLatin1String("Host Name = Unknown Device\r\n")),
            qPrintable(mail));
    }
};

KW_TEST_GUILESS_MAIN(TestAlertMailLan)
#include "tst_alert_mail_lan.moc"
