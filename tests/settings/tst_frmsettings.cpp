// The settings dialog as a user meets it: every control stores its value at once (read back from the hive,
// once through kestrelwatch-reg), the further effects reach the main window in the right order, the two
// mail buttons ask first and queue exactly one message, and the close box only hides.

#include "SettingsRig.h"
#include "Skip.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "settings/LogTextBox.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

const QString kGeneralKey = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL");

QStringList frameCaptions(QWidget* page)
{
    QStringList out;
    for (const QGroupBox* box : page->findChildren<QGroupBox*>())
        out << box->title();
    return out;
}

QString buddyText(QWidget* dialog, QWidget* control)
{
    for (const QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->buddy() == control)
            return label->text();
    }
    return QString();
}

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

} // namespace

class TestFrmSettings final : public QObject
{
    Q_OBJECT

    QStringList m_log;

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        installLogSink([this](const QString& text) { m_log << text; });
    }
    void cleanupTestCase() { installLogSink({}); }
    void init() { m_log.clear(); }

    void controlsCarryTheirNamesCaptionsAndTips();
    void flagStoresAtOnce_data();
    void flagStoresAtOnce();
    void startupBoxMakesAndRemovesTheAutostartEntry();
    void textStoresAsTyped_data();
    void textStoresAsTyped();
    void loginIsStoredAsBase64_data();
    void loginIsStoredAsBase64();
    void externalProgramsReloadsWithTheNewValue();
    void reminderRestartsItsClockFirst();
    void closeBoxHidesAndKeepsValues();
    void shutdownClosesForReal();
};

void TestFrmSettings::controlsCarryTheirNamesCaptionsAndTips()
{
    SettingsRig rig;
    frmSettings& d = rig.dialog();
    QCOMPARE(d.windowTitle(), QStringLiteral("Kestrelwatch Settings"));
    QTabWidget* sst1 = d.findChild<QTabWidget*>(QStringLiteral("sst1"));
    QVERIFY(sst1);
    QCOMPARE(sst1->count(), 4);
    const QStringList tabs {" General", " Alerts", " Email", " Debug Log"};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(sst1->tabText(i), tabs[i]);

    QCOMPARE(frameCaptions(sst1->widget(0)),
        (QStringList {"Visual Settings", "Startup Settings", "Extended Settings", "Audio Settings"}));
    QCOMPARE(frameCaptions(sst1->widget(1)), (QStringList {"New Intruder Alerts", "Online Intruder Alerts"}));
    QCOMPARE(frameCaptions(sst1->widget(2)),
        (QStringList {"Outgoing SMTP Server", "TO and FROM addresses", "Authentication Settings"}));
    QCOMPARE(frameCaptions(sst1->widget(3)), QStringList {"Debug log"});

    // Each control on its page.
    const QList<QStringList> pages {
        {"chkReCentre", "chkAlwaysOnTop", "chkGeneralStartup", "chkExternalPrograms", "slideVolume"},
        {"chkNewIntruderSound", "chkNewIntruderPopup", "chkNewIntruderNotify", "chkNewIntruderEmail",
            "chkOnlineIntruderSound", "chkOnlineIntruderPopup", "chkOnlineIntruderNotify", "chkOnlineIntruderEmail",
            "chkOnlineIntruderReminder"},
        {"txtEmailServer", "cmdTestEmail", "txtEmailAddresses", "txtEmailFrom", "chkEmailAuthenticate",
            "txtEmailUsername", "txtEmailPassword"},
        {"txtLog", "chkLogToDisk", "lblLogPath", "cmdEmailTechnicalSupport"}};
    for (int i = 0; i < 4; ++i) {
        for (const QString& name : pages[i])
            QVERIFY2(sst1->widget(i)->findChild<QWidget*>(name), qPrintable(name));
    }
    QVERIFY(d.findChild<QSlider*>(QStringLiteral("slideVolume")));
    QCOMPARE(d.findChild<LogTextBox*>(QStringLiteral("txtLog")), d.txtLog());

    // The alert boxes say which alert they serve; the program list says where it comes from.
    QCOMPARE(
        rig.flag("chkNewIntruderSound")->text(), QStringLiteral("Play an audible alert when the intruder is detected"));
    QCOMPARE(rig.flag("chkOnlineIntruderPopup")->text(),
        QStringLiteral("PopUp Kestrelwatch when a known intruder comes back online"));
    QCOMPARE(rig.flag("chkNewIntruderNotify")->text(),
        QStringLiteral("Show a desktop notification when the Intruder is detected"));
    QVERIFY(rig.flag("chkExternalPrograms")->text().contains(QLatin1String("Programs.ini")));
    QCOMPARE(buddyText(&d, rig.text("txtEmailServer")), QStringLiteral("SMTP Server :"));
    QCOMPARE(rig.text("txtEmailPassword")->echoMode(), QLineEdit::Password);
    // The debug file's path replaces the disk box's own tip and stands beside it.
    QCOMPARE(rig.flag("chkLogToDisk")->toolTip(), rig.home.paths().debugLogFile());
    QCOMPARE(d.lblLogPath()->text(), rig.home.paths().debugLogFile());

    // Laid out without a caption squeezed below its own size (also run at twice the scale).
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QVERIFY(d.width() >= d.minimumSizeHint().width() && d.height() >= d.minimumSizeHint().height());
    for (int i = 0; i < 4; ++i) {
        sst1->setCurrentIndex(i);
        for (QWidget* w : sst1->widget(i)->findChildren<QWidget*>()) {
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

void TestFrmSettings::flagStoresAtOnce_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("initial");
    const struct
    {
        const char* control;
        const char* value;
        int initial;
    } rows[] = {
        {"chkReCentre", "ReCentre", 1},
        {"chkAlwaysOnTop", "AlwaysOnTop", 1},
        {"chkExternalPrograms", "ExternalPrograms", 0},
        {"chkNewIntruderSound", "NewIntruderSound", 1},
        {"chkNewIntruderPopup", "NewIntruderPopup", 1},
        {"chkNewIntruderEmail", "NewIntruderEmail", 0},
        {"chkOnlineIntruderSound", "OnlineIntruderSound", 1},
        {"chkOnlineIntruderPopup", "OnlineIntruderPopup", 1},
        {"chkOnlineIntruderEmail", "OnlineIntruderEmail", 0},
        {"chkOnlineIntruderReminder", "OnlineIntruderReminder", 1},
        {"chkNewIntruderNotify", "NewIntruderNotify", 1},
        {"chkOnlineIntruderNotify", "OnlineIntruderNotify", 0},
        {"chkEmailAuthenticate", "EmailAuthenticate", 0},
        {"chkLogToDisk", "LogToDisk", 0},
    };
    for (const auto& r : rows)
        QTest::newRow(r.control) << QString::fromLatin1(r.control) << QString::fromLatin1(r.value) << r.initial;
}

void TestFrmSettings::flagStoresAtOnce()
{
    QFETCH(QString, control);
    QFETCH(QString, value);
    QFETCH(int, initial);
    SettingsRig rig;
    QCheckBox* box = rig.dialog().findChild<QCheckBox*>(control);
    QVERIFY(box);
    QCOMPARE(box->isChecked(), initial == 1);
    QVERIFY(!rig.stored(value));

    box->click();
    QCOMPARE(rig.stored(value), QString::number(1 - initial));
    // The space bar is a click too.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QCOMPARE(rig.stored(value), QString::number(initial));
    // The store says the same when read the way the program reads it at start-up.
    QCOMPARE(
        modRegistry::ReadString(modRegistry::ProductKey, QStringLiteral("general"), value), QString::number(initial));
}

void TestFrmSettings::startupBoxMakesAndRemovesTheAutostartEntry()
{
    SettingsRig rig;
    const QString file = Hive::autostartFile();
    QVERIFY(file.startsWith(rig.home.dir())); // never the real profile
    QVERIFY(!QFileInfo::exists(file));
    QCheckBox* box = rig.flag("chkGeneralStartup");
    QVERIFY(!box->isChecked());

    box->click();
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(rig.settings.chkGeneralStartup, 1);
    QCOMPARE(modRegistry::ReadString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, QStringLiteral("XXX")),
        QCoreApplication::applicationFilePath());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("\nExec="));
    // Not a GENERAL value.
    QVERIFY(rig.hive->values(kGeneralKey).isEmpty());

    box->click();
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(rig.settings.chkGeneralStartup, 0);
    QCOMPARE(modRegistry::ReadString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, QStringLiteral("XXX")),
        QStringLiteral("XXX"));
}

void TestFrmSettings::textStoresAsTyped_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("typed");
    QTest::newRow("server") << "txtEmailServer"
                            << "EmailServer"
                            << "mail.example.net:2525";
    QTest::newRow("to") << "txtEmailAddresses"
                        << "EmailAddresses"
                        << "a@home.example; b@home.example";
    QTest::newRow("from") << "txtEmailFrom"
                          << "EmailFrom" << QStringLiteral("k\u00e9strel@home.example");
}

void TestFrmSettings::textStoresAsTyped()
{
    QFETCH(QString, control);
    QFETCH(QString, value);
    QFETCH(QString, typed);
    SettingsRig rig;
    QLineEdit* box = rig.dialog().findChild<QLineEdit*>(control);
    QVERIFY(box);
    for (qsizetype i = 0; i < typed.size(); ++i) {
        typeInto(box, typed.mid(i, 1));
        QCOMPARE(rig.stored(value), typed.left(i + 1));
    }
    QString live;
    for (const SettingsControls::Text& t : SettingsControls::Texts) {
        if (control == QLatin1String(t.control))
            live = rig.settings.*t.field;
    }
    QCOMPARE(live, typed);
    // Pasted over in one go.
    box->selectAll();
    box->insert(QStringLiteral("x"));
    QCOMPARE(rig.stored(value), QStringLiteral("x"));
}

void TestFrmSettings::loginIsStoredAsBase64_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("value");
    QTest::newRow("user name") << "txtEmailUsername"
                               << "EmailUsername";
    QTest::newRow("password") << "txtEmailPassword"
                              << "EmailPassword";
}

void TestFrmSettings::loginIsStoredAsBase64()
{
    QFETCH(QString, control);
    QFETCH(QString, value);
    SettingsRig rig;
    rig.flag("chkEmailAuthenticate")->click();
    QLineEdit* box = rig.dialog().findChild<QLineEdit*>(control);
    QVERIFY(box->isEnabled());
    const QString typed = QStringLiteral("us\u00e9r 1");
    for (qsizetype i = 0; i < typed.size(); ++i) {
        typeInto(box, typed.mid(i, 1));
        QCOMPARE(rig.stored(value), rig.base64.Encodestring(typed.left(i + 1)));
    }
    QCOMPARE(rig.stored(value), QStringLiteral("dXPpciAx")); // Latin-1 bytes, as it has always been stored
    QCOMPARE(rig.base64.DecodeTostring(*rig.stored(value)), typed);
    for (qsizetype i = 0; i < typed.size(); ++i)
        QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(rig.stored(value), QString()); // present and empty
    QVERIFY(rig.stored(value).has_value());
}

void TestFrmSettings::externalProgramsReloadsWithTheNewValue()
{
    SettingsRig rig;
    // The menus are rebuilt from the live setting, so it must already hold the new value.
    rig.host.probe = [&rig] { return QString::number(rig.settings.chkExternalPrograms); };
    rig.flag("chkExternalPrograms")->click();
    rig.flag("chkExternalPrograms")->click();
    QCOMPARE(rig.host.names(), (QStringList {"Load_ExternalProgs", "Load_ExternalProgs"}));
    QCOMPARE(rig.host.calls.at(0).probed, QStringLiteral("1"));
    QCOMPARE(rig.host.calls.at(1).probed, QStringLiteral("0"));
}

void TestFrmSettings::reminderRestartsItsClockFirst()
{
    ManualClock clock(QDateTime(QDate(2026, 3, 1), QTime(9, 30, 0), Qt::UTC));
    kwclock::install(&clock);
    SettingsRig rig;
    rig.host.probe = [&rig] {
        return rig.stored(QStringLiteral("OnlineIntruderReminder")).value_or(QStringLiteral("absent"))
            + QLatin1Char('/') + QString::number(rig.settings.chkOnlineIntruderReminder);
    };
    rig.flag("chkOnlineIntruderReminder")->click();
    clock.advanceSeconds(42);
    rig.flag("chkOnlineIntruderReminder")->click();
    kwclock::install(nullptr);

    QCOMPARE(rig.host.names(), (QStringList {"setLastIntruderWarning", "setLastIntruderWarning"}));
    QCOMPARE(rig.host.calls.at(0).argument, QStringLiteral("2026-03-01T09:30:00Z"));
    QCOMPARE(rig.host.calls.at(1).argument, QStringLiteral("2026-03-01T09:30:42Z"));
    // Nothing of the change had happened yet when the warning time was set.
    QCOMPARE(rig.host.calls.at(0).probed, QStringLiteral("absent/1"));
    QCOMPARE(rig.host.calls.at(1).probed, QStringLiteral("0/0"));
    QCOMPARE(rig.stored(QStringLiteral("OnlineIntruderReminder")), QStringLiteral("1"));
}

void TestFrmSettings::closeBoxHidesAndKeepsValues()
{
    SettingsRig rig;
    QPointer<frmSettings> dialog(&rig.dialog());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
    dialog->sst1()->setCurrentIndex(2);
    QTest::keyClicks(rig.text("txtEmailFrom"), QStringLiteral("kw@home.example"));
    rig.flag("chkNewIntruderSound")->click();

    QVERIFY(!dialog->close()); // refused: only hidden
    QVERIFY(dialog);
    QVERIFY(dialog->isHidden());
    QCOMPARE(rig.host.names(), QStringList {"showMainWindowAgain"});

    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
    QCOMPARE(dialog->sst1()->currentIndex(), 2);
    QCOMPARE(rig.text("txtEmailFrom")->text(), QStringLiteral("kw@home.example"));
    QVERIFY(!rig.flag("chkNewIntruderSound")->isChecked());

    // Escape does what the close box does.
    QTest::keyClick(dialog.data(), Qt::Key_Escape);
    QVERIFY(dialog->isHidden());
    QCOMPARE(rig.host.names(), (QStringList {"showMainWindowAgain", "showMainWindowAgain"}));
    QVERIFY(rig.hive->values(kGeneralKey).size() == 2);
}

void TestFrmSettings::shutdownClosesForReal()
{
    SettingsRig rig;
    rig.dialog().show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog()));
    rig.dialog().allowClose(true);
    QVERIFY(rig.dialog().close());
    QVERIFY(rig.dialog().isHidden());
    QVERIFY(rig.host.calls.isEmpty());
}

KW_TEST_MAIN(TestFrmSettings)
#include "tst_frmsettings.moc"
