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

    // What each command line answers, with which status, for an admin reading it or a script: "out:" is the
    // beginning of stdout, "err:" a part of stderr (and stdout stays empty).
    void commandLineAnswers_data()
    {
        QTest::addColumn<QString>("command"); // the program, then its arguments after --home
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        const auto row = [](const char* command, int code, const char* says) {
            QTest::newRow(command) << QString::fromUtf8(command) << code << QString::fromUtf8(says);
        };
        row("kestrelwatch-reg --frobnicate dump", 2, "err:Unknown option '--frobnicate'");
        row("kestrelwatch-reg --version", 0, "out:kestrelwatch-reg (Kestrelwatch) ");
        row("kestrelwatch-reg get Software\\Brackmoor Nothing", 1, "err:no value Nothing in Software\\Brackmoor");
        row("kestrelwatch-reg dump", 1, "err:there is no store in");
        row("kestrelwatch --frobnicate", 2, "err:Unknown option '--frobnicate'");
        row("kestrelwatch --vendor ff:ff:ff:ff:ff:ff", 1, "err:ff:ff:ff:ff:ff:ff is the broadcast address");
        row("kestrelwatch --vendor 01:00:5e:00:00:fb", 1, "err:group (multicast) address");
    }

    void commandLineAnswers()
    {
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, says);
        TestHome home; // empty: no store yet
        QStringList args = command.split(u' ');
        const QString program = args.takeFirst();
        const kwtest::Run r = kwtest::run(kwtest::binary(program), QStringList {u"--home"_s, home.paths().home} + args);
        QCOMPARE(r.code, code);
        const bool out = says.startsWith(u"out:");
        QVERIFY2(out ? r.out.startsWith(says.mid(4)) : r.out.isEmpty() && r.err.contains(says.mid(4)),
            qPrintable(r.out + r.err));
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
