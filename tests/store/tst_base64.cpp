// Base64: padding, the 76-character line rule, tolerant decoding.

#include "Skip.h"
#include "store/Base64.h"

#include <QTest>

class TestBase64 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodes_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("1 byte") << QByteArray("M") << QStringLiteral("TQ==");
        QTest::newRow("2 bytes") << QByteArray("Ma") << QStringLiteral("TWE=");
        QTest::newRow("3 bytes") << QByteArray("Man") << QStringLiteral("TWFu");
        QTest::newRow("high bytes") << QByteArray("\xff\xfe\x80", 3) << QStringLiteral("//6A");
        QTest::newRow("57 bytes: one full line, no break")
            << QByteArray(57, 'a') << QString::fromLatin1(QByteArray(57, 'a').toBase64());
    }

    void encodes()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, expected);
        const Base64 b;
        QCOMPARE(b.EncodeByteArray(input), expected);
        QCOMPARE(b.DecodeToByteArray(expected), input);
    }

    void breaksLinesOnlyWhenMoreFollows()
    {
        const Base64 b;
        const QString line = b.EncodeByteArray(QByteArray(57, 'x'));
        QCOMPARE(line.size(), 76);
        const QString two = b.EncodeByteArray(QByteArray(58, 'x'));
        QCOMPARE(two.size(), 76 + 2 + 4);
        QCOMPARE(two.mid(76, 2), QStringLiteral("\r\n"));
        const QString exact = b.EncodeByteArray(QByteArray(114, 'x'));
        QCOMPARE(exact.size(), 76 * 2 + 2);
        QVERIFY(!exact.endsWith(QStringLiteral("\r\n")));
        for (int n = 0; n < 400; n += 7) {
            const QByteArray data(n, char(n));
            QCOMPARE(b.DecodeToByteArray(b.EncodeByteArray(data)), data);
        }
    }

    void decodesTolerantly()
    {
        const Base64 b;
        QCOMPARE(b.DecodeToByteArray(QStringLiteral("TW\r\nFu")), QByteArray("Man"));
        QCOMPARE(b.DecodeToByteArray(QStringLiteral("T=W=Fu==")), QByteArray("Man"));
        QCOMPARE(b.DecodeToByteArray(QStringLiteral("*WFu")), b.DecodeToByteArray(QStringLiteral("AWFu")));
        QCOMPARE(b.DecodeToByteArray(QStringLiteral("TWFuT")), QByteArray("Man")); // one left over: ignored
        QCOMPARE(b.DecodeTostring(b.Encodestring(QStringLiteral("päss wörd"))), QStringLiteral("päss wörd"));
        QCOMPARE(b.DecodeTostring(QString()), QString());
    }
};

KW_TEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
