// The settings dialog as a user meets it: every control stores its value at once (read back from the hive),
// the further effects reach the main window in the right order, and the close box only hides. Its debug log
// box (logEdit) stays below 16,385 characters by dropping its oldest lines and follows the debug log.

#include "HttpPeer.h"
#include "Skip.h"
#include "TestHome.h"
#include "logging/DebugLog.h"
#include "notify/SmtpClient.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/Hive.h"
#include "settings/LogTextBox.h"
#include "settings/PushSettingsPage.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsHost.h"
#include "settings/SettingsPrompt.h"
#include "store/Base64.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

namespace {

// One keystroke per character, as a keyboard would deliver it (QTest's key clicks take ASCII only).
void typeInto(QWidget* box, QStringView text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(box, &release);
    }
}

// A line of exactly n characters, CR LF included.
QString lineOf(int n, QChar fill, int number)
{
    QString head = QString::number(number) + QLatin1Char(' ');
    return head + QString(n - 2 - head.size(), fill) + QStringLiteral("\r\n");
}

// The main window as the dialog sees it: records every call, with whatever `probe` says at that moment.
class RecordingHost final : public SettingsHost
{
public:
    struct Call
    {
        QString name;
        QString argument;
        QString probed;
    };

    void setLastIntruderWarning(const QDateTime& when) override
    {
        record(QStringLiteral("setLastIntruderWarning"), when.toString(Qt::ISODate));
    }
    void Load_ExternalProgs() override { record(QStringLiteral("Load_ExternalProgs")); }
    bool isMainWindowVisible() const override { return false; }
    void applyAlwaysOnTop(bool onTop) override { record(QStringLiteral("applyAlwaysOnTop"), QString::number(onTop)); }
    void showMainWindowAgain() override { record(QStringLiteral("showMainWindowAgain")); }

    QStringList names() const
    {
        QStringList out;
        for (const Call& c : calls)
            out << c.name;
        return out;
    }

    std::function<QString()> probe;
    QList<Call> calls;

private:
    void record(const QString& name, const QString& argument = {})
    {
        calls.append(Call {name, argument, probe ? probe() : QString()});
    }
};

// No modal box ever waits in a test: every question is answered No, notices are dropped.
class SilentPrompt final : public SettingsPrompt
{
public:
    bool askYesNo(QWidget*, const QString&) override { return false; }
    void inform(QWidget*, const QString&) override { }
};

// One dialog on a private home with a real hive, the real debug log and mailer and a recording host.
class SettingsRig final
{
public:
    SettingsRig()
        : hive(Hive::open(home.paths().hiveFile()).hive)
        , debugLog(settings, home.paths().debugLogFile())
        , mail(settings)
    {
        KeyStore::attach(hive.get());
        settings.log.path = home.paths().debugLogFile();
        // No tab pictures: the dialog draws blank ones.
        m_dialog = std::make_unique<SettingsDialog>(parts());
    }
    ~SettingsRig()
    {
        m_dialog.reset();
        KeyStore::attach(nullptr);
    }
    SettingsDialog::Parts parts()
    {
        return {settings, debugLog, base64, [this] { return &mail; }, home.dir() + QStringLiteral("/Images/"), host,
            &prompt};
    }

    SettingsDialog& dialog() { return *m_dialog; }
    QCheckBox* flag(const char* name) const { return m_dialog->findChild<QCheckBox*>(QLatin1String(name)); }
    QLineEdit* text(const char* name) const { return m_dialog->findChild<QLineEdit*>(QLatin1String(name)); }
    // A GENERAL value as the hive holds it; nothing when it is absent.
    std::optional<QString> stored(const QString& name) const
    {
        return hive->value(KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::General), name);
    }

    TestHome home;
    std::unique_ptr<Hive> hive;
    LiveSettings settings;
    DebugLog debugLog;
    Base64 base64;
    SmtpClient mail;
    RecordingHost host;
    SilentPrompt prompt;

private:
    std::unique_ptr<SettingsDialog> m_dialog;
};

} // namespace

class TestFrmSettings final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // The tabs in order; every caption laid out at its full size (also run at twice the scale); every control
    // the user changes has a tooltip.
    void tabsAndLayout()
    {
        SettingsRig rig;
        SettingsDialog& d = rig.dialog();
        QTabWidget* sst1 = d.sst1();
        QStringList tabs;
        for (int i = 0; i < sst1->count(); ++i)
            tabs << sst1->tabText(i);
        QCOMPARE(tabs, (QStringList {"General", "Alerts", "Email", "MQTT", "Push", "Debug log"}));
        QCOMPARE(rig.text("emailPasswordEdit")->echoMode(), QLineEdit::Password);
        // The debug file's path replaces the disk box's own tip and stands beside it.
        QCOMPARE(rig.flag("logToDiskCheck")->toolTip(), rig.home.paths().debugLogFile());
        QCOMPARE(d.logPathLabel()->text(), rig.home.paths().debugLogFile());

        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(d.width() >= d.minimumSizeHint().width() && d.height() >= d.minimumSizeHint().height());
        for (int i = 0; i < sst1->count(); ++i) {
            sst1->setCurrentIndex(i);
            for (QWidget* w : sst1->widget(i)->findChildren<QWidget*>()) {
                if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)
                    || qobject_cast<QSlider*>(w))
                    QVERIFY2(!w->toolTip().trimmed().isEmpty(), qPrintable(w->objectName() + " has no tooltip"));
                const auto* label = qobject_cast<QLabel*>(w);
                const bool captioned =
                    qobject_cast<QCheckBox*>(w) || qobject_cast<QPushButton*>(w) || (label && !label->wordWrap());
                if (w->isVisible() && captioned) {
                    const QString what = w->objectName() + QLatin1Char(' ') + (label ? label->text() : QString());
                    QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(what));
                    QVERIFY2(w->height() >= w->minimumSizeHint().height(), qPrintable(what));
                }
            }
        }
    }

    // Every stored box of the dialog, with its state on a fresh store.
    void flagStoresAtOnce_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("initial");
        // Box nameCheck stores Name; on at first, or off.
        for (const bool initial : {true, false}) {
            const QString names = initial ? QStringLiteral("ReCentre NewIntruderSound NewIntruderPopup "
                                                           "OnlineIntruderSound OnlineIntruderPopup NewIntruderNotify")
                                          : QStringLiteral("AlwaysOnTop OnlineIntruderReminder ExternalPrograms "
                                                           "NewIntruderEmail OnlineIntruderEmail "
                                                           "OnlineIntruderNotify EmailAuthenticate LogToDisk");
            for (const QString& value : names.split(QLatin1Char(' ')))
                QTest::newRow(qPrintable(value))
                    << value.at(0).toLower() + value.mid(1) + QStringLiteral("Check") << value << initial;
        }
    }

    void flagStoresAtOnce()
    {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(bool, initial);
        SettingsRig rig;
        QCheckBox* box = rig.dialog().findChild<QCheckBox*>(control);
        QVERIFY(box);
        QCOMPARE(box->isChecked(), initial);
        QVERIFY(!rig.stored(value));

        box->click();
        QCOMPARE(rig.stored(value), QString::number(!initial));
        // The space bar is a click too.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        QCOMPARE(rig.stored(value), QString::number(initial));
        // The store says the same when read the way the program reads it at start-up.
        QCOMPARE(
            KeyStore::readString(KeyStore::ProductKey, QStringLiteral("general"), value), QString::number(initial));
    }

    // The entry starts the installed program; this test runs from a build tree, so without an installed copy on
    // PATH the box refuses and nothing is written.
    void startupBoxMakesAndRemovesTheAutostartEntry_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed") << true;
        QTest::newRow("build tree only") << false;
    }
    void startupBoxMakesAndRemovesTheAutostartEntry()
    {
        QFETCH(bool, installed);
        SettingsRig rig;
        const QString program = rig.home.dir() + QStringLiteral("/bin/kestrelwatch");
        if (installed) {
            QVERIFY(QDir().mkpath(rig.home.dir() + QStringLiteral("/bin")));
            QFile f(program);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFileInfo(program).path().toUtf8() + ":/usr/bin:/bin");
        const auto restore = qScopeGuard([&path] { qputenv("PATH", path); });
        const QString file = autostartFile();
        QVERIFY(file.startsWith(rig.home.dir())); // never the real profile
        QVERIFY(!QFileInfo::exists(file));
        QCheckBox* box = rig.flag("generalStartupCheck");
        QVERIFY(!box->isChecked());

        // The entry's content is the store's Run value, proven with the store.
        box->click();
        QCOMPARE(QFileInfo::exists(file), installed);
        QCOMPARE(box->isChecked(), installed);
        QCOMPARE(rig.settings.window.startAtLogin, installed ? 1 : 0);
        if (installed)
            QCOMPARE(readAutostart(), std::optional<QString>(program));
        // Not a GENERAL value.
        QVERIFY(rig.hive->values(KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::General)).isEmpty());
        if (!installed)
            return;

        box->click();
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(!rig.settings.window.startAtLogin);
    }

    // Each keystroke is stored at once; the mail login as the Base64 of its UTF-8 bytes.
    void textStoresAsTyped_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("storedAs");
        const QString mail = QStringLiteral("k\u00e9strel@home.example");
        const QString login = QStringLiteral("us\u00e9r 1");
        QTest::newRow("server") << "emailServerEdit"
                                << "EmailServer"
                                << "mail.example.net:2525"
                                << "mail.example.net:2525";
        QTest::newRow("to") << "emailAddressesEdit"
                            << "EmailAddresses"
                            << "a@home.example; b@home.example"
                            << "a@home.example; b@home.example";
        QTest::newRow("from") << "emailFromEdit"
                              << "EmailFrom" << mail << mail;
        QTest::newRow("user name") << "emailUsernameEdit"
                                   << "EmailUsername" << login << "dXPDqXIgMQ==";
        QTest::newRow("password") << "emailPasswordEdit"
                                  << "EmailPassword" << login << "dXPDqXIgMQ==";
        QTest::newRow("ntfy topic") << "ntfyServerEdit"
                                    << "NtfyServer"
                                    << "https://ntfy.example/lan"
                                    << "https://ntfy.example/lan";
        QTest::newRow("webhook token") << "webhookTokenEdit"
                                       << "WebhookToken"
                                       << "t0kén"
                                       << "t0kén";
    }

    void textStoresAsTyped()
    {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, typed);
        QFETCH(QString, storedAs);
        SettingsRig rig;
        rig.flag("emailAuthenticateCheck")->click(); // the login boxes are greyed without it
        QLineEdit* box = rig.dialog().findChild<QLineEdit*>(control);
        QVERIFY(box && box->isEnabled());
        const bool encoded = typed != storedAs;
        for (qsizetype i = 0; i < typed.size(); ++i) {
            typeInto(box, typed.mid(i, 1));
            const QString prefix = typed.left(i + 1);
            QCOMPARE(rig.stored(value), encoded ? rig.base64.Encodestring(prefix) : prefix);
        }
        QCOMPARE(rig.stored(value), storedAs);
        QCOMPARE(encoded ? rig.base64.DecodeTostring(*rig.stored(value)) : *rig.stored(value), typed);
        LiveSettings& live = rig.settings;
        const QMap<QString, QString*> fields {{"emailServerEdit", &live.mail.server},
            {"emailAddressesEdit", &live.mail.addresses}, {"emailFromEdit", &live.mail.from},
            {"emailUsernameEdit", &live.mail.username}, {"emailPasswordEdit", &live.mail.password},
            {"ntfyServerEdit", &live.push.ntfy.url}, {"webhookTokenEdit", &live.push.webhook.token}};
        QCOMPARE(*fields.value(control), typed);
        // Pasted over in one go, then erased: present and empty.
        box->selectAll();
        box->insert(QStringLiteral("x"));
        QCOMPARE(rig.stored(value), encoded ? rig.base64.Encodestring(QStringLiteral("x")) : QStringLiteral("x"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(rig.stored(value), QString());
    }

    // A channel's kinds of alert: every one at first, each box stored as it is clicked.
    void channelAlertKinds()
    {
        SettingsRig rig;
        QCheckBox* storm = rig.dialog().findChild<QCheckBox*>(QStringLiteral("NtfyAlertsstormCheck"));
        QVERIFY(storm && storm->isChecked());
        storm->click();
        QCOMPARE(rig.stored(QStringLiteral("NtfyAlerts")), QStringLiteral("new,online,watched"));
        QCOMPARE(rig.settings.push.ntfy.alerts, QStringLiteral("new,online,watched"));
        QVERIFY(!rig.stored(QStringLiteral("GotifyAlerts")));
    }

    // "Send test" shows what the server answered, a refusal as much as a success.
    void sendTestShowsTheServersAnswer()
    {
        HttpPeer ntfy;
        QVERIFY(ntfy.start({"--style", "ntfy", "--token", "right"}));
        SettingsRig rig;
        auto* page = rig.dialog().findChild<PushSettingsPage*>();
        QVERIFY(page);
        rig.dialog().findChild<QLineEdit*>("ntfyServerEdit")->setText(ntfy.url());
        rig.dialog().findChild<QLineEdit*>("ntfyTokenEdit")->setText("wrong");
        rig.dialog().findChild<QPushButton*>("testNtfyServerButton")->click();
        QTRY_COMPARE(page->testResult(0), QStringLiteral("Refused by the server (HTTP 401): unauthorized"));
        rig.dialog().findChild<QLineEdit*>("ntfyTokenEdit")->setText("right");
        rig.dialog().findChild<QPushButton*>("testNtfyServerButton")->click();
        QTRY_COMPARE(page->testResult(0), QStringLiteral("Sent: the server took it (HTTP 200)."));
        QCOMPARE(ntfy.requests().size(), 2);
    }

    // A webhook's error page is summed up in a line of words, never shown as markup.
    void sendTestSumsUpTheAnswer_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("shown");
        QTest::newRow("html page") << 404
                                   << "<!DOCTYPE html><html><head><title>404 Not Found</title></head><body><h1>Not "
                                      "Found</h1><p>The requested URL was not found.</p></body></html>"
                                   << "Refused by the server (HTTP 404): 404 Not Found";
        QTest::newRow("html without a title") << 502 << "<html><body><b>Bad</b> gateway</body></html>"
                                              << "Refused by the server (HTTP 502): Bad gateway";
        QTest::newRow("json message") << 400 << "{\"message\": \"topic invalid\"}"
                                      << "Refused by the server (HTTP 400): topic invalid";
        QTest::newRow("long text") << 500 << QString(200, QLatin1Char('x'))
                                   << "Refused by the server (HTTP 500): " + QString(79, QLatin1Char('x')) + "\u2026";
        QTest::newRow("nothing said") << 503 << ""
                                      << "Refused by the server (HTTP 503).";
        QTest::newRow("accepted") << 204 << "<html>ok</html>"
                                  << "Sent: the server took it (HTTP 204).";
    }
    void sendTestSumsUpTheAnswer()
    {
        QFETCH(int, status);
        QFETCH(QString, reply);
        QTEST(PushSettingsPage::testSummary(status, reply, QString()), "shown");
        QCOMPARE(PushSettingsPage::testSummary(0, QString(), QStringLiteral("no answer in time")),
            QStringLiteral("Not sent: no answer in time"));
    }

    void externalProgramsReloadsWithTheNewValue()
    {
        SettingsRig rig;
        // The menus are rebuilt from the live setting, so it must already hold the new value.
        rig.host.probe = [&rig] { return QString::number(rig.settings.window.externalPrograms); };
        rig.flag("externalProgramsCheck")->click();
        rig.flag("externalProgramsCheck")->click();
        QCOMPARE(rig.host.names(), (QStringList {"Load_ExternalProgs", "Load_ExternalProgs"}));
        QCOMPARE(rig.host.calls.at(0).probed, QStringLiteral("1"));
        QCOMPARE(rig.host.calls.at(1).probed, QStringLiteral("0"));
    }

    void reminderRestartsItsClockFirst()
    {
        ManualClock clock(QDateTime(QDate(2026, 3, 1), QTime(9, 30, 0), Qt::UTC));
        kwclock::install(&clock);
        SettingsRig rig;
        rig.host.probe = [&rig] {
            return rig.stored(QStringLiteral("OnlineIntruderReminder")).value_or(QStringLiteral("absent"))
                + QLatin1Char('/') + QString::number(rig.settings.alerts.reminder);
        };
        rig.flag("onlineIntruderReminderCheck")->click();
        clock.advanceSeconds(42);
        rig.flag("onlineIntruderReminderCheck")->click();
        kwclock::install(nullptr);

        QCOMPARE(rig.host.names(), (QStringList {"setLastIntruderWarning", "setLastIntruderWarning"}));
        QCOMPARE(rig.host.calls.at(0).argument, QStringLiteral("2026-03-01T09:30:00Z"));
        QCOMPARE(rig.host.calls.at(1).argument, QStringLiteral("2026-03-01T09:30:42Z"));
        // Nothing of the change had happened yet when the warning time was set.
        QCOMPARE(rig.host.calls.at(0).probed, QStringLiteral("absent/0"));
        QCOMPARE(rig.host.calls.at(1).probed, QStringLiteral("1/1"));
        QCOMPARE(rig.stored(QStringLiteral("OnlineIntruderReminder")), QStringLiteral("0"));
    }

    void closeBoxHidesAndKeepsValuesUntilShutdown()
    {
        SettingsRig rig;
        QPointer<SettingsDialog> dialog(&rig.dialog());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
        dialog->sst1()->setCurrentIndex(2);
        QTest::keyClicks(rig.text("emailFromEdit"), QStringLiteral("kw@home.example"));
        rig.flag("newIntruderSoundCheck")->click();

        QVERIFY(!dialog->close()); // refused: only hidden
        QVERIFY(dialog);
        QVERIFY(dialog->isHidden());
        QCOMPARE(rig.host.names(), QStringList {"showMainWindowAgain"});

        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
        QCOMPARE(dialog->sst1()->currentIndex(), 2);
        QCOMPARE(rig.text("emailFromEdit")->text(), QStringLiteral("kw@home.example"));
        QVERIFY(!rig.flag("newIntruderSoundCheck")->isChecked());

        // Escape and the Close button do what the close box does.
        QTest::keyClick(dialog.data(), Qt::Key_Escape);
        QVERIFY(dialog->isHidden());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
        dialog->closeButton()->click();
        QVERIFY(dialog->isHidden());
        QCOMPARE(rig.host.names(), (QStringList {"showMainWindowAgain", "showMainWindowAgain", "showMainWindowAgain"}));
        QVERIFY(rig.hive->values(KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::General)).size() == 2);

        // At shutdown the close is real and calls nothing back.
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
        dialog->allowClose(true);
        QVERIFY(dialog->close());
        QVERIFY(dialog->isHidden());
        QCOMPARE(rig.host.calls.size(), 3);
    }

    // The log view names each line's area in user words and leaves a code name that starts the text out; with an
    // area chosen it shows that area's lines alone, by the area the line names, whatever its words.
    void logViewSpeaksUserWords_data()
    {
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("shown");
        QTest::newRow("sound") << "[kw.sound] WavePlayer:  OpenFile - /x.wav does not exist"
                               << ""
                               << "Sound: /x.wav does not exist";
        QTest::newRow("two names") << "[kw.window] SettingsDialog Form_Load - tab picture"
                                   << ""
                                   << "Window: tab picture";
        QTest::newRow("plain word") << "[kw.engine] Gateway - 198.18.0.1 answers"
                                    << ""
                                    << "Discovery: Gateway - 198.18.0.1 answers";
        QTest::newRow("sentence") << "[kw.monitor] Monitoring stopped - by the user"
                                  << ""
                                  << "Monitor: Monitoring stopped - by the user";
        QTest::newRow("an earlier release's line") << "SmtpClient:  Connected"
                                                   << ""
                                                   << "SmtpClient:  Connected";
        QTest::newRow("in the area chosen") << "[kw.mail] NetPlatform - sent"
                                            << "kw.mail"
                                            << "Mail: sent";
        QTest::newRow("in another area") << "[kw.network] SmtpClient:  sent"
                                         << "kw.mail"
                                         << "";
        QTest::newRow("no area, one chosen") << "SmtpClient:  Connected"
                                             << "kw.mail"
                                             << "";
    }
    void logViewSpeaksUserWords()
    {
        QFETCH(QString, logged);
        QFETCH(QString, chosen);
        QFETCH(QString, shown);
        const QString stamp = QStringLiteral("12/6/2026 6:13:12 PM - ");
        LogTextBox box;
        box.setArea(chosen);
        box.appendLine(stamp + logged + QStringLiteral("\r\n"));
        QCOMPARE(box.logText(), shown.isEmpty() ? QString() : stamp + shown + QStringLiteral("\r\n"));
        box.showTail(stamp + logged + QStringLiteral("\r\n"));
        QCOMPARE(box.logText(), shown.isEmpty() ? QString() : stamp + shown + QStringLiteral("\r\n"));
    }

    void overflow_data()
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

    void overflow()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, expected);
        QCOMPARE(LogTextBox::overflow(text), expected);
        QVERIFY(text.size() - expected < LogTextBox::Bound);
    }

    void followsTheDebugLogUntilTheDialogGoes()
    {
        auto rig = std::make_unique<SettingsRig>();
        rig->debugLog.Log(QStringLiteral("before"));
        LogTextBox* box = rig->dialog().logEdit();
        QVERIFY(box->logText().endsWith(QStringLiteral(" - Monitor: before\r\n")));
        rig->debugLog.Log(QStringLiteral("kw.mail"), QStringLiteral("SmtpClient:  Connected"));
        QVERIFY(box->logText().endsWith(QStringLiteral(" - Mail: Connected\r\n")));
        QCOMPARE(box->logText(),
            LogTextBox::userWords(rig->debugLog.text().section(QLatin1Char('\n'), 0, 0)) + QLatin1Char('\n')
                + LogTextBox::userWords(rig->debugLog.text().section(QLatin1Char('\n'), 1)));

        // A second dialog made later starts from the log so far.
        SettingsDialog later(rig->parts());
        QCOMPARE(later.logEdit()->logText(), box->logText());
        rig->debugLog.Log(QStringLiteral("after"));
        QVERIFY(later.logEdit()->logText().endsWith(QStringLiteral(" - Monitor: after\r\n")));
        // Choosing an area shows its lines alone, those logged before too.
        auto* areas = later.findChild<QComboBox*>(QStringLiteral("logAreaCombo"));
        areas->setCurrentIndex(areas->findData(QStringLiteral("kw.mail")));
        QVERIFY(later.logEdit()->logText().endsWith(QStringLiteral(" - Mail: Connected\r\n")));
        QCOMPARE(later.logEdit()->logText().count(QLatin1Char('\n')), 1);
    }
};

KW_TEST_MAIN(TestFrmSettings)
#include "tst_settingsdialog.moc"
