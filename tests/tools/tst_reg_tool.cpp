// kestrelwatch-reg, run as a user would: keys in registry order, get's exit code, set, delete, dump,
// --home isolation, and the refusal of a damaged store.

#include "TestHome.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {
struct Run
{
    int code = -1;
    QString out;
    QString err;
};
} // namespace

class TestRegTool : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;

    Run reg(const QStringList& args, const QString& home = QString())
    {
        QProcess p;
        p.start(TestHome::binDir() + QStringLiteral("/kestrelwatch-reg"),
            QStringList {QStringLiteral("--home"), home.isEmpty() ? m_home->paths().home : home} + args);
        p.waitForFinished(20000);
        return Run {
            p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init() { m_home = std::make_unique<TestHome>(); }

    void setGetKeysDelete()
    {
        const QString devices = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices");
        for (const char* mac : {"BB-00-00-00-00-01", "aa-00-00-00-00-02", "0A-00-00-00-00-03"})
            QCOMPARE(reg({QStringLiteral("set"), devices + QLatin1Char('\\') + QLatin1String(mac),
                             QStringLiteral("IP_Address"), QStringLiteral("198.18.0.1")})
                         .code,
                0);
        Run r = reg({QStringLiteral("keys"), devices});
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
        QCOMPARE(reg({QStringLiteral("keys"), devices}).out, QStringLiteral("0A-00-00-00-00-03\naa-00-00-00-00-02\n"));

        r = reg({QStringLiteral("dump")});
        QVERIFY(
            r.out.contains(QStringLiteral("[Software\\Brackmoor\\Kestrelwatch\\DetectedDevices\\aa-00-00-00-00-02]\n"
                                          "\"IP_Address\"=\"198.18.0.1\"\n")));
        QVERIFY(!r.out.contains(QStringLiteral("BB-00")));
        // Another home sees none of it, and reading it creates no store.
        TestHome other;
        QCOMPARE(reg({QStringLiteral("keys"), devices}, other.paths().home).out, QString());
        QVERIFY(!QFile::exists(other.paths().hiveFile()));
    }

    void usageErrors()
    {
        QCOMPARE(reg({}).code, 2);
        QCOMPARE(reg({QStringLiteral("frobnicate")}).code, 2);
        QCOMPARE(reg({QStringLiteral("get"), QStringLiteral("Software")}).code, 2);
    }

    void damagedStoreIsRefusedByName()
    {
        QFile f(m_home->paths().hiveFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'Q'));
        f.close();
        const Run r = reg({QStringLiteral("keys"), QStringLiteral("Software")});
        QCOMPARE(r.code, 3);
        QVERIFY(r.err.contains(m_home->paths().hiveFile()));
        QVERIFY(r.err.contains(QStringLiteral("left untouched")));
        QCOMPARE(
            reg({QStringLiteral("set"), QStringLiteral("Software\\X"), QStringLiteral("a"), QStringLiteral("b")}).code,
            3);
        QCOMPARE(QFileInfo(m_home->paths().hiveFile()).size(), 8192);
    }
};

QTEST_GUILESS_MAIN(TestRegTool)
#include "tst_reg_tool.moc"
