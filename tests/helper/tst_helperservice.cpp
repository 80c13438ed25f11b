// The headless service's two units: their exposure as `systemd-analyze security --offline` rates it (the
// monitor's at most 2.5, the helper's below 5), and the helper started per connection on its socket, as the
// service manager does (Accept=yes, the connection as stdin and stdout), answering the socket's owner only.
#include "Process.h"
#include "Skip.h"
#include "TestHome.h"
#include "platform/HelperClient.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {
// The service manager's part: listens on argv[1] and starts argv[2] for each connection, on that connection.
const char* const kActivator = R"(
import os, socket, subprocess, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(2); os.chown(sys.argv[1], int(sys.argv[3]), -1)
print('ready', flush=True)
while True:
    c, _ = s.accept(); p = subprocess.Popen([sys.argv[2]], stdin=c, stdout=c, stderr=subprocess.PIPE); c.close()
    print('helper says', p.stderr.read().decode().strip(), flush=True)
)";
} // namespace

class TestHelperService final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void unitExposure_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<double>("most");
        QTest::newRow("the monitor") << "kestrelwatch.service" << 2.5;
        QTest::newRow("the helper") << "kestrelwatch-helper@.service" << 4.9;
    }

    void unitExposure()
    {
        QFETCH(QString, unit);
        QFETCH(double, most);
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            KW_SKIP("systemd-analyze is not installed (apt-get install systemd)");
        QTemporaryDir dir;
        QFile in(TestHome::sourceDir() + QStringLiteral("/share/systemd/") + unit + QStringLiteral(".in"));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QFile out(dir.filePath(unit));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(in.readAll()
                      .replace("@KW_INSTALL_BIN@", "/usr/bin")
                      .replace("@KW_INSTALL_LIBEXEC@", "/usr/libexec/kestrelwatch"));
        out.close();
        const kwtest::Run r = kwtest::run(analyze, {"security", "--offline=true", out.fileName()});
        static const QRegularExpression overall(QStringLiteral("Overall exposure level for \\S+: (\\d+\\.\\d)"));
        const QRegularExpressionMatch m = overall.match(r.out + r.err);
        QVERIFY2(m.hasMatch(), qPrintable(r.out + r.err));
        const double exposure = m.captured(1).toDouble();
        qInfo("%s: exposure %.1f (at most %.1f)", qPrintable(unit), exposure, most);
        QVERIFY2(exposure <= most, qPrintable(r.out));
    }

    void socketActivated_data()
    {
        QTest::addColumn<bool>("owner"); // the socket belongs to this test's user
        QTest::newRow("the socket's owner connects") << true;
        QTest::newRow("another user's socket") << false;
    }

    void socketActivated()
    {
        QFETCH(bool, owner);
        if (!owner && ::geteuid() != 0)
            KW_SKIP("giving the socket to another user needs root");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("helper.sock"));
        kwtest::Process activator;
        activator.start(QStringLiteral("/usr/bin/python3"),
            {"-c", kActivator, path, kwtest::binary(QStringLiteral("kestrelwatch-helper")),
                QString::number(owner ? ::geteuid() : 65534)});
        QVERIFY(!activator.waitForLine(QRegularExpression(QStringLiteral("^ready$")), 0, 15000).isEmpty());
        HelperClient client(QStringLiteral("unix:") + path);
        QCOMPARE(client.start(5000), owner);
        if (owner) {
            QVERIFY(client.running());
            client.stop();
            return;
        }
        QCOMPARE(client.startError(), QStringLiteral("the helper ended at once"));
        const QString said = activator.waitForLine(QRegularExpression(QStringLiteral("^helper says")), 0, 15000);
        QVERIFY2(said.contains(QStringLiteral("refused")), qPrintable(said));
    }
};

KW_TEST_GUILESS_MAIN(TestHelperService)
#include "tst_helperservice.moc"
