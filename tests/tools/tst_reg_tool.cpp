// kestrelwatch-reg, run as a user would: keys (in the store's order, tst_hive's), get's exit code, set,
// delete, dump, --home isolation, usage errors, and the refusal of a damaged store.

#include "Reg.h"
#include "TestHome.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;

class TestRegTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void setGetKeysDelete()
    {
        TestHome home;
        const QString h = home.paths().home;
        const auto reg = [&h](const QStringList& args) { return Reg::tool(h, args); };
        const QString devices = Reg::devices();
        for (const char* mac : {"BB-00-00-00-00-01", "aa-00-00-00-00-02", "0A-00-00-00-00-03"})
            QVERIFY(Reg::set(h, devices + QLatin1Char('\\') + QLatin1String(mac), QStringLiteral("IP_Address"),
                QStringLiteral("198.18.0.1")));
        kwtest::Run r;
        r = reg({QStringLiteral("get"),
            QStringLiteral("HKLM\\") + devices.toLower() + QStringLiteral("\\AA-00-00-00-00-02"),
            QStringLiteral("ip_address")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("198.18.0.1\n"));
        QCOMPARE(reg({QStringLiteral("get"), devices, QStringLiteral("IP_Address")}).code, 1);

        QCOMPARE(reg({QStringLiteral("delete"), devices + QStringLiteral("\\BB-00-00-00-00-01")}).code, 0);
        QCOMPARE(
            reg({QStringLiteral("get"), devices + QStringLiteral("\\BB-00-00-00-00-01"), QStringLiteral("IP_Address")})
                .code,
            1);
        QCOMPARE(reg({QStringLiteral("delete"), devices + QStringLiteral("\\0A-00-00-00-00-03"),
                         QStringLiteral("IP_Address")})
                     .code,
            0);
        QCOMPARE(Reg::keys(h, devices),
            (QStringList {QStringLiteral("0A-00-00-00-00-03"), QStringLiteral("aa-00-00-00-00-02")}));

        const QString dump = Reg::dump(h);
        QVERIFY(dump.contains(
            QStringLiteral("[") + devices + QStringLiteral("\\aa-00-00-00-00-02]\n\"IP_Address\"=\"198.18.0.1\"\n")));
        QVERIFY(!dump.contains(QStringLiteral("BB-00")));
        // Another home sees none of it, and reading it creates no store.
        TestHome other;
        QCOMPARE(Reg::keys(other.paths().home, devices), QStringList());
        QVERIFY(!QFile::exists(other.paths().hiveFile()));
        // Usage errors.
        for (const QStringList& bad : {QStringList {}, QStringList {QStringLiteral("frobnicate")},
                 QStringList {QStringLiteral("get"), QStringLiteral("Software")}})
            QCOMPARE(reg(bad).code, 2);
    }

    // What each command line answers, on which stream, with which status, for an admin reading it or a script.
    void commandLineAnswers_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // its beginning
        QTest::addColumn<QString>("err"); // a part of it
        const QString reg = QStringLiteral("kestrelwatch-reg");
        const QString kw = QStringLiteral("kestrelwatch");
        const QString general = Reg::general();
        QTest::newRow("reg unknown option") << reg << QStringList {u"--frobnicate"_s, u"dump"_s} << 2 << QString()
                                            << u"Unknown option '--frobnicate'"_s;
        QTest::newRow("reg version") << reg << QStringList {u"--version"_s} << 0
                                     << u"kestrelwatch-reg (Kestrelwatch) "_s << QString();
        QTest::newRow("reg get missing value") << reg << QStringList {u"get"_s, general, u"NoSuchValue"_s} << 1
                                               << QString() << u"no value NoSuchValue in "_s + general;
        QTest::newRow("reg dump without store")
            << reg << QStringList {u"dump"_s} << 1 << QString() << u"there is no store in"_s;
        QTest::newRow("unknown option") << kw << QStringList {u"--frobnicate"_s} << 2 << QString()
                                        << u"Unknown option '--frobnicate'"_s;
        QTest::newRow("broadcast vendor") << kw << QStringList {u"--vendor"_s, u"ff:ff:ff:ff:ff:ff"_s} << 1 << QString()
                                          << u"ff:ff:ff:ff:ff:ff is the broadcast address"_s;
        QTest::newRow("group vendor") << kw << QStringList {u"--vendor"_s, u"01:00:5e:00:00:fb"_s} << 1 << QString()
                                      << u"group (multicast) address"_s;
    }

    void commandLineAnswers()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        TestHome home; // empty: no store yet
        const kwtest::Run r = kwtest::run(kwtest::binary(program), QStringList {u"--home"_s, home.paths().home} + args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.out.startsWith(out) && (!out.isEmpty() || r.out.isEmpty()), qPrintable(r.out));
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
    }

    void damagedStoreIsRefusedByName()
    {
        TestHome home;
        QFile f(home.paths().hiveFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'Q'));
        f.close();
        const kwtest::Run r = Reg::tool(home.paths().home, {QStringLiteral("keys"), QStringLiteral("Software")});
        QCOMPARE(r.code, 3);
        QVERIFY(r.err.contains(home.paths().hiveFile()));
        QVERIFY(r.err.contains(QStringLiteral("left untouched")));
        QVERIFY(!Reg::set(home.paths().home, QStringLiteral("Software\\X"), QStringLiteral("a"), QStringLiteral("b")));
        QCOMPARE(QFileInfo(home.paths().hiveFile()).size(), 8192);
    }
};

KW_TEST_GUILESS_MAIN(TestRegTool)
#include "tst_reg_tool.moc"
