// kestrelwatch-reg, run as a user would: keys in registry order, get's exit code, set, delete, dump, --home
// isolation, usage errors, and the refusal of a damaged store.

#include "Reg.h"
#include "TestHome.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

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
        kwtest::Run r = reg({QStringLiteral("keys"), devices});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("0A-00-00-00-00-03\naa-00-00-00-00-02\nBB-00-00-00-00-01\n"));

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
