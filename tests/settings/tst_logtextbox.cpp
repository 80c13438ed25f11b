// txtLog: the debug log in the settings dialog, kept below 16,385 characters by dropping its oldest lines,
// with the caret at the end of the newest line.

#include "SettingsRig.h"
#include "Skip.h"
#include "platform/Clock.h"
#include "settings/LogTextBox.h"

#include <QTest>
#include <QTextBlock>

namespace {

// A line of exactly n characters, CR LF included.
QString lineOf(int n, QChar fill, int number)
{
    QString head = QString::number(number) + QLatin1Char(' ');
    return head + QString(n - 2 - head.size(), fill) + QStringLiteral("\r\n");
}

// What the box shows is the held text with each CR LF as one line break.
QString shown(const QString& text)
{
    QString out = text;
    return out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

class TestLogTextBox final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void overflow_data();
    void overflow();
    void followsTheDebugLogUntilTheDialogGoes();
};

void TestLogTextBox::overflow_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("expected");
    const QString hundred = lineOf(100, QLatin1Char('a'), 1);
    QTest::newRow("empty") << QString() << qsizetype(0);
    QTest::newRow("one below the bound") << QString(16384, QLatin1Char('x')) << qsizetype(0);
    QString atBound = hundred.repeated(163) + lineOf(85, QLatin1Char('b'), 2); // 16,385
    QTest::newRow("at the bound: one line") << atBound << qsizetype(100);
    QTest::newRow("far over: several lines") << hundred.repeated(200) << qsizetype(100 * 37);
    QTest::newRow("one long line keeps its end")
        << QString(20000, QLatin1Char('z')) + QStringLiteral("\r\n") << qsizetype(20002 - 16384);
    QTest::newRow("long last line") << hundred + QString(17000, QLatin1Char('z')) + QStringLiteral("\r\n")
                                    << qsizetype(100 + 17002 - 16384);
}

void TestLogTextBox::overflow()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, expected);
    QCOMPARE(LogTextBox::overflow(text), expected);
    QVERIFY(text.size() - expected < LogTextBox::Bound);
}

void TestLogTextBox::followsTheDebugLogUntilTheDialogGoes()
{
    auto rig = std::make_unique<SettingsRig>();
    rig->debugLog.Log(QStringLiteral("before"));
    LogTextBox* box = rig->dialog().txtLog();
    QVERIFY(box->logText().endsWith(QStringLiteral(" - before\r\n")));
    rig->debugLog.Log(QStringLiteral("CEmail:  Connected"));
    QCOMPARE(box->logText(), rig->debugLog.text());

    // A second dialog made later starts from the log so far.
    frmSettings later(
        frmSettings::Parts {rig->settings, rig->debugLog, rig->base64, {}, rig->imagesDir, rig->host, &rig->prompt});
    QCOMPARE(later.txtLog()->logText(), rig->debugLog.text());
    rig->debugLog.Log(QStringLiteral("after"));
    QVERIFY(later.txtLog()->logText().endsWith(QStringLiteral(" - after\r\n")));
}

KW_TEST_MAIN(TestLogTextBox)
#include "tst_logtextbox.moc"
