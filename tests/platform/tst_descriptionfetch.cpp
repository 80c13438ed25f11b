// UPnP descriptions fetched from a scripted hostile server on loopback (tests/e2e/whois_peers.py http): a
// description is read whole; a redirect is not followed, a body past the bound is cut off at it, and one that
// never ends or only trickles ends at the time allowed.

#include "Process.h"
#include "Skip.h"
#include "TestHome.h"
#include "platform/DescriptionFetch.h"

#include <QElapsedTimer>
#include <QTest>

using namespace kwtest;

class TestDescriptionFetch : public QObject
{
    Q_OBJECT

    Process m_server;
    quint16 m_port = 0;

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        m_server.start(QStringLiteral("/usr/bin/python3"),
            {TestHome::sourceDir() + QStringLiteral("/tests/e2e/whois_peers.py"), QStringLiteral("http"),
                QStringLiteral("127.0.0.1")});
        const QString port = m_server.waitForLine(QRegularExpression(QStringLiteral("^PORT \\d+$")), 0, 20000);
        QVERIFY2(!port.isEmpty(), "the scripted server did not start");
        m_port = quint16(port.mid(5).toUInt());
    }

    void bounds_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("result"); // a pattern of the body's first bytes, or of "error: ..."
        QTest::newRow("a description") << "/ok"
                                       << "^<\\?xml";
        QTest::newRow("a redirect is not followed") << "/redirect"
                                                    << "^error: HTTP status 302$";
        QTest::newRow("past the bound") << "/big"
                                        << "^error: longer than 65536 bytes$";
        // Whichever bound it meets first, on a loaded machine.
        QTest::newRow("never ends") << "/endless"
                                    << "^error: (longer than 65536 bytes|not done within the time allowed)$";
        QTest::newRow("trickles") << "/trickle"
                                  << "^error: not done within the time allowed$";
    }
    void bounds()
    {
        QFETCH(QString, path);
        QFETCH(QString, result);
        DescriptionFetch fetch;
        QString got;
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        const int handle = fetch.fetch(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path), 65536, 1500,
            [&](int, const QByteArray& body, const QString& error) {
                got = error.isEmpty() ? QString::fromLatin1(body.left(5)) : QStringLiteral("error: ") + error;
                done = true;
            });
        QVERIFY(handle != 0);
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QVERIFY2(QRegularExpression(result).match(got).hasMatch(), qPrintable(got));
        qInfo("%s: %lld ms", qPrintable(path), clock.elapsed());
    }

    void refusedUrls()
    {
        DescriptionFetch fetch;
        for (const char* url : {"https://127.0.0.1/", "file:///etc/passwd", "http//x", "ftp://127.0.0.1/"})
            QCOMPARE(fetch.fetch(QLatin1String(url), 65536, 1000, {}), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestDescriptionFetch)
#include "tst_descriptionfetch.moc"
