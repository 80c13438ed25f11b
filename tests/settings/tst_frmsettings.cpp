// The settings dialog as a user meets it: every control stores its value at once (read back from the hive,
// once through kestrelwatch-reg), the further effects reach the main window in the right order, the two
// mail buttons ask first and queue exactly one message, and the close box only hides.

#include "SettingsRig.h"
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
#include <QJsonDocument>
#include <QJsonObject>
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

bool isBlank(const QIcon& icon)
{
    const QImage image = icon.pixmap(QSize(16, 16)).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
        }
    }
    return !image.isNull();
}

// An SMTP server that wants AUTH LOGIN (aiosmtpd), from the mail client's own test scripts.
class LoginSink final
{
public:
    bool start(const QString& dir, const QString& user, const QString& password)
    {
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("/usr/bin/python3"),
            {TestHome::sourceDir() + QStringLiteral("/tests/notify/smtp_sink.py"), QStringLiteral("--dir"), dir,
                QStringLiteral("--user"), user, QStringLiteral("--password"), password});
        if (!m_process.waitForStarted(5000))
            return false;
        while (m_port == 0 && m_process.waitForReadyRead(10000)) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("PORT ")))
                m_port = quint16(line.mid(5).toUInt());
        }
        return m_port != 0;
    }
    ~LoginSink()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

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
    void tabPictures();
    void missingPictureIsBlankAndLogged();
    void flagStoresAtOnce_data();
    void flagStoresAtOnce();
    void startupBoxMakesAndRemovesTheAutostartEntry();
    void textStoresAsTyped_data();
    void textStoresAsTyped();
    void loginIsStoredAsBase64_data();
    void loginIsStoredAsBase64();
    void authenticateGreysTheLoginAndKeepsIt();
    void clearedServerQueuesNothing();
    void sliderStoresItsPosition();
    void alwaysOnTopReachesOnlyAShownWindow();
    void externalProgramsReloadsWithTheNewValue();
    void reminderRestartsItsClockFirst();
    void loadingShowsSettingsAndWritesNothing();
    void outOfRangeVolumeIsBoundedAndLogged();
    void confirmations_data();
    void confirmations();
    void messageBoxAsksWithTheProductTitle();
    void testEmailUsesWhatWasTyped();
    void regToolReadsWhatTheDialogWrote();
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
        {"chkNewIntruderSound", "chkNewIntruderPopup", "chkNewIntruderEmail", "chkOnlineIntruderSound",
            "chkOnlineIntruderPopup", "chkOnlineIntruderEmail", "chkOnlineIntruderReminder"},
        {"txtEmailServer", "cmdTestEmail", "txtEmailAddresses", "txtEmailFrom", "chkEmailAuthenticate",
            "txtEmailUsername", "txtEmailPassword"},
        {"txtLog", "chkLogToDisk", "lblLogPath", "cmdEmailTechnicalSupport"}};
    for (int i = 0; i < 4; ++i) {
        for (const QString& name : pages[i])
            QVERIFY2(sst1->widget(i)->findChild<QWidget*>(name), qPrintable(name));
    }
    QVERIFY(d.findChild<QSlider*>(QStringLiteral("slideVolume")));
    QCOMPARE(d.findChild<LogTextBox*>(QStringLiteral("txtLog")), d.txtLog());

    QCOMPARE(
        rig.flag("chkNewIntruderSound")->text(), QStringLiteral("Play an audible alert when the intruder is detected"));
    QCOMPARE(
        rig.flag("chkNewIntruderPopup")->text(), QStringLiteral("PopUp Kestrelwatch when the Intruder is detected"));
    QCOMPARE(rig.flag("chkNewIntruderEmail")->text(), QStringLiteral("Send me an Email when the Intruder is detected"));
    QCOMPARE(rig.flag("chkOnlineIntruderReminder")->text(),
        QStringLiteral("Play an audible reminder every 5 mins when an intruder is online"));
    QCOMPARE(rig.flag("chkEmailAuthenticate")->text(), QStringLiteral("Authenticate :"));
    QCOMPARE(rig.flag("chkLogToDisk")->text(), QStringLiteral("Save debug log to Disk :"));
    QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("cmdTestEmail"))->text(), QStringLiteral("Send a Test Email"));
    auto* support = d.findChild<QPushButton*>(QStringLiteral("cmdEmailTechnicalSupport"));
    QCOMPARE(support->text(), QStringLiteral("Email"));
    QCOMPARE(buddyText(&d, support), QStringLiteral("Send Debug log to technical support :"));
    QCOMPARE(buddyText(&d, rig.text("txtEmailServer")), QStringLiteral("SMTP Server :"));
    QCOMPARE(buddyText(&d, rig.text("txtEmailAddresses")), QStringLiteral("\"TO\" Addresses :"));
    QCOMPARE(buddyText(&d, rig.text("txtEmailFrom")), QStringLiteral("\"FROM\" Address :"));
    QCOMPARE(buddyText(&d, rig.text("txtEmailUsername")), QStringLiteral("Username :"));
    QCOMPARE(buddyText(&d, rig.text("txtEmailPassword")), QStringLiteral("Password :"));
    QCOMPARE(rig.text("txtEmailPassword")->echoMode(), QLineEdit::Password);

    QCOMPARE(rig.text("txtEmailServer")->toolTip(), QStringLiteral(" Server IP address or host name"));
    QCOMPARE(rig.text("txtEmailAddresses")->toolTip(),
        QStringLiteral(" Online alarm email addresses. Separate addresses with a semicolon "));
    QCOMPARE(rig.text("txtEmailFrom")->toolTip(),
        QStringLiteral(" 'From' address to use on emails. Must be a VALID email address"));
    QCOMPARE(rig.flag("chkEmailAuthenticate")->toolTip(), QStringLiteral(" Server requires authentication"));
    QCOMPARE(d.findChild<QSlider*>(QStringLiteral("slideVolume"))->toolTip(), QStringLiteral(" Volume control "));
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

void TestFrmSettings::tabPictures()
{
    SettingsRig rig;
    for (int i = 0; i < 4; ++i) {
        const QIcon icon = rig.dialog().sst1()->tabIcon(i);
        QVERIFY(!icon.isNull());
        QVERIFY(!isBlank(icon));
    }
    QVERIFY(m_log.filter(QStringLiteral("picture")).isEmpty());
}

void TestFrmSettings::missingPictureIsBlankAndLogged()
{
    SettingsRig rig(false); // an empty pictures folder
    QStringList lines = m_log.filter(QStringLiteral("frmSettings Form_Load - "));
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).contains(QStringLiteral("General.bmp")));
    for (int i = 0; i < 4; ++i)
        QVERIFY(isBlank(rig.dialog().sst1()->tabIcon(i)));

    // One picture of the four missing: one line, one blank tab.
    m_log.clear();
    SettingsRig::writePictures(rig.imagesDir);
    QVERIFY(QFile::remove(rig.imagesDir + QStringLiteral("Email.bmp")));
    frmSettings second(
        frmSettings::Parts {rig.settings, rig.debugLog, rig.base64, {}, rig.imagesDir, rig.host, &rig.prompt});
    lines = m_log.filter(QStringLiteral("frmSettings Form_Load - "));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.at(0).contains(rig.imagesDir + QStringLiteral("Email.bmp")));
    QVERIFY(isBlank(second.sst1()->tabIcon(2)));
    QVERIFY(!isBlank(second.sst1()->tabIcon(3)));
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

    const auto live = [&] {
        for (const SettingsControls::Flag& f : SettingsControls::Flags) {
            if (control == QLatin1String(f.control))
                return rig.settings.*f.field;
        }
        return -1;
    };
    box->click();
    QCOMPARE(rig.stored(value), QString::number(1 - initial));
    QCOMPARE(live(), 1 - initial);
    // The space bar is a click too.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QCOMPARE(rig.stored(value), QString::number(initial));
    QCOMPARE(live(), initial);
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

void TestFrmSettings::authenticateGreysTheLoginAndKeepsIt()
{
    SettingsRig rig;
    QCheckBox* authenticate = rig.flag("chkEmailAuthenticate");
    QLineEdit* user = rig.text("txtEmailUsername");
    QLineEdit* password = rig.text("txtEmailPassword");
    QVERIFY(!user->isEnabled());
    QVERIFY(!password->isEnabled());

    authenticate->click();
    QVERIFY(user->isEnabled() && password->isEnabled());
    QVERIFY(rig.settings.emailLoginEnabled);
    QTest::keyClicks(user, QStringLiteral("owner"));
    QTest::keyClicks(password, QStringLiteral("s3cret"));

    authenticate->click();
    QVERIFY(!user->isEnabled());
    QVERIFY(!password->isEnabled());
    QVERIFY(!rig.settings.emailLoginEnabled);
    QCOMPARE(rig.stored(QStringLiteral("EmailAuthenticate")), QStringLiteral("0"));
    QCOMPARE(user->text(), QStringLiteral("owner"));
    QCOMPARE(password->text(), QStringLiteral("s3cret"));
    QCOMPARE(rig.settings.txtEmailUsername, QStringLiteral("owner"));
    QCOMPARE(rig.stored(QStringLiteral("EmailPassword")), rig.base64.Encodestring(QStringLiteral("s3cret")));

    authenticate->click();
    QVERIFY(user->isEnabled());
    QCOMPARE(user->text(), QStringLiteral("owner"));
}

void TestFrmSettings::clearedServerQueuesNothing()
{
    SettingsRig rig;
    QTest::keyClicks(rig.text("txtEmailServer"), QStringLiteral("127.0.0.1:9"));
    QTest::keyClicks(rig.text("txtEmailFrom"), QStringLiteral("kw@home.example"));
    QTest::keyClicks(rig.text("txtEmailAddresses"), QStringLiteral("owner@home.example"));
    rig.text("txtEmailServer")->selectAll();
    QTest::keyClick(rig.text("txtEmailServer"), Qt::Key_Delete);
    QCOMPARE(rig.stored(QStringLiteral("EmailServer")), QString());
    QVERIFY(rig.stored(QStringLiteral("EmailServer")).has_value());
    QCOMPARE(rig.settings.txtEmailServer, QString());

    rig.prompt.answers = {true};
    rig.dialog().findChild<QPushButton*>(QStringLiteral("cmdTestEmail"))->click();
    QCOMPARE(rig.mail.queuedCount(), 0);
    QCOMPARE(rig.prompt.notices, QStringList {frmSettings::MessageSent});
}

void TestFrmSettings::sliderStoresItsPosition()
{
    SettingsRig rig;
    QSlider* slider = rig.dialog().findChild<QSlider*>(QStringLiteral("slideVolume"));
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 100);
    QCOMPARE(slider->value(), 70);
    auto* reading = rig.dialog().findChild<QLabel*>(QStringLiteral("lblVolume"));
    QCOMPARE(reading->text(), QStringLiteral("-15.0 dB"));

    const struct
    {
        Qt::Key key;
        int expected;
    } steps[] = {{Qt::Key_Right, 71}, {Qt::Key_PageUp, 81}, {Qt::Key_Home, 0}, {Qt::Key_End, 100}, {Qt::Key_Left, 99}};
    for (const auto& s : steps) {
        QTest::keyClick(slider, s.key);
        QCOMPARE(rig.stored(QStringLiteral("Volume")), QString::number(s.expected));
        QCOMPARE(rig.settings.slideVolume, s.expected);
    }
    QCOMPARE(reading->text(), QStringLiteral("-0.5 dB"));
}

void TestFrmSettings::alwaysOnTopReachesOnlyAShownWindow()
{
    SettingsRig rig;
    QCheckBox* box = rig.flag("chkAlwaysOnTop");
    rig.host.visible = false;
    box->click();
    QCOMPARE(rig.stored(QStringLiteral("AlwaysOnTop")), QStringLiteral("0"));
    QVERIFY(rig.host.calls.isEmpty());

    rig.host.visible = true;
    box->click();
    box->click();
    QCOMPARE(rig.host.names(), (QStringList {"applyAlwaysOnTop", "applyAlwaysOnTop"}));
    QCOMPARE(rig.host.calls.at(0).argument, QStringLiteral("true"));
    QCOMPARE(rig.host.calls.at(1).argument, QStringLiteral("false"));
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

void TestFrmSettings::loadingShowsSettingsAndWritesNothing()
{
    SettingsRig rig;
    LiveSettings& s = rig.settings;
    s.txtEmailServer = QStringLiteral("smtp.home.example");
    s.txtEmailAddresses = QStringLiteral("a@home.example;b@home.example");
    s.txtEmailFrom = QStringLiteral("kw@home.example");
    s.txtEmailUsername = QStringLiteral("owner");
    s.txtEmailPassword = QStringLiteral("pw");
    s.chkEmailAuthenticate = 1;
    s.emailLoginEnabled = true;
    s.chkReCentre = 0;
    s.chkAlwaysOnTop = 0;
    s.chkNewIntruderEmail = 1;
    s.chkOnlineIntruderReminder = 2; // any number but 1 is off
    s.chkGeneralStartup = 1;
    s.slideVolume = 35;
    s.lblLogPath = QStringLiteral("/var/tmp/Log Database/Kestrelwatch.log");
    rig.dialog().loadFromSettings();

    QCOMPARE(rig.text("txtEmailServer")->text(), s.txtEmailServer);
    QCOMPARE(rig.text("txtEmailAddresses")->text(), s.txtEmailAddresses);
    QCOMPARE(rig.text("txtEmailFrom")->text(), s.txtEmailFrom);
    QCOMPARE(rig.text("txtEmailUsername")->text(), QStringLiteral("owner"));
    QCOMPARE(rig.text("txtEmailPassword")->text(), QStringLiteral("pw"));
    QVERIFY(rig.text("txtEmailUsername")->isEnabled());
    QVERIFY(rig.flag("chkEmailAuthenticate")->isChecked());
    QVERIFY(!rig.flag("chkReCentre")->isChecked());
    QVERIFY(!rig.flag("chkAlwaysOnTop")->isChecked());
    QVERIFY(rig.flag("chkNewIntruderEmail")->isChecked());
    QVERIFY(!rig.flag("chkOnlineIntruderReminder")->isChecked());
    QVERIFY(rig.flag("chkGeneralStartup")->isChecked());
    QCOMPARE(rig.dialog().findChild<QSlider*>(QStringLiteral("slideVolume"))->value(), 35);
    QCOMPARE(rig.dialog().lblLogPath()->text(), s.lblLogPath);
    QCOMPARE(rig.flag("chkLogToDisk")->toolTip(), s.lblLogPath);

    QVERIFY(rig.hive->values(kGeneralKey).isEmpty());
    QVERIFY(!QFileInfo::exists(Hive::autostartFile()));
    QVERIFY(rig.host.calls.isEmpty());
    QCOMPARE(s.chkOnlineIntruderReminder, 2);

    // Authentication off greys the login out on loading as well.
    s.emailLoginEnabled = false;
    rig.dialog().loadFromSettings();
    QVERIFY(!rig.text("txtEmailUsername")->isEnabled());
    QVERIFY(!rig.text("txtEmailPassword")->isEnabled());
    QCOMPARE(rig.text("txtEmailUsername")->text(), QStringLiteral("owner"));
}

void TestFrmSettings::outOfRangeVolumeIsBoundedAndLogged()
{
    SettingsRig rig;
    rig.settings.slideVolume = 150;
    rig.dialog().loadFromSettings();
    QCOMPARE(rig.dialog().findChild<QSlider*>(QStringLiteral("slideVolume"))->value(), 100);
    QCOMPARE(rig.settings.slideVolume, 100);
    QCOMPARE(m_log.filter(QStringLiteral("frmSettings - Volume 150")).size(), 1);
    QVERIFY(!rig.stored(QStringLiteral("Volume")));
}

void TestFrmSettings::confirmations_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("yes");
    QTest::newRow("test mail, no") << "cmdTestEmail" << frmSettings::TestEmailQuestion << false;
    QTest::newRow("test mail, yes") << "cmdTestEmail" << frmSettings::TestEmailQuestion << true;
    QTest::newRow("support, no") << "cmdEmailTechnicalSupport" << frmSettings::SupportQuestion << false;
    QTest::newRow("support, yes") << "cmdEmailTechnicalSupport" << frmSettings::SupportQuestion << true;
}

void TestFrmSettings::confirmations()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    QFETCH(bool, yes);
    QCOMPARE(frmSettings::TestEmailQuestion, QStringLiteral("Are you sure you wish to send a test email ?"));
    QCOMPARE(frmSettings::SupportQuestion,
        QStringLiteral("Are you sure you wish to send the Debug log to Brackmoor technical ?"));

    SettingsRig rig;
    // A server nobody answers at: the message stays queued while the client tries.
    rig.settings.txtEmailServer = QStringLiteral("127.0.0.1:9");
    rig.settings.txtEmailFrom = QStringLiteral("kw@home.example");
    rig.settings.txtEmailAddresses = QStringLiteral("owner@home.example");
    rig.prompt.answers = {yes};
    rig.dialog().findChild<QPushButton*>(button)->click();

    QCOMPARE(rig.prompt.questions, QStringList {question});
    QCOMPARE(rig.prompt.unscripted, 0);
    QCOMPARE(rig.mail.queuedCount(), yes ? 1 : 0);
    QCOMPARE(rig.prompt.notices, yes ? QStringList {frmSettings::MessageSent} : QStringList {});
    QCOMPARE(frmSettings::MessageSent, QStringLiteral("Message Sent"));
}

void TestFrmSettings::messageBoxAsksWithTheProductTitle()
{
    // The desktop's prompt: a real message box, answered by a timer as a user would.
    QWidget parent;
    MessageBoxPrompt prompt;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    const auto answer = [&](QMessageBox::StandardButton choice) {
        QTimer::singleShot(0, [&, choice] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            buttons = box->standardButtons();
            box->button(choice)->click();
        });
    };
    answer(QMessageBox::No);
    QVERIFY(!prompt.askYesNo(&parent, frmSettings::TestEmailQuestion));
    QCOMPARE(title, QStringLiteral("Kestrelwatch"));
    QCOMPARE(text, frmSettings::TestEmailQuestion);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
    answer(QMessageBox::Yes);
    QVERIFY(prompt.askYesNo(&parent, frmSettings::SupportQuestion));
    answer(QMessageBox::Ok);
    prompt.inform(&parent, frmSettings::MessageSent);
    QCOMPARE(title, QStringLiteral("Kestrelwatch"));
    QCOMPARE(text, QStringLiteral("Message Sent"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestFrmSettings::testEmailUsesWhatWasTyped()
{
    SettingsRig rig;
    const QString dir = rig.home.dir() + QStringLiteral("/sink");
    LoginSink sink;
    QVERIFY(sink.start(dir, QStringLiteral("owner"), QStringLiteral("s3cret")));

    QTest::keyClicks(rig.text("txtEmailServer"), sink.server());
    QTest::keyClicks(rig.text("txtEmailAddresses"), QStringLiteral("owner@home.example;deputy@home.example"));
    QTest::keyClicks(rig.text("txtEmailFrom"), QStringLiteral("kw@home.example"));
    rig.flag("chkEmailAuthenticate")->click();
    QTest::keyClicks(rig.text("txtEmailUsername"), QStringLiteral("owner"));
    QTest::keyClicks(rig.text("txtEmailPassword"), QStringLiteral("s3cret"));

    QSignalSpy finished(&rig.mail, &CEmail::mailFinished);
    rig.prompt.answers = {true};
    rig.dialog().findChild<QPushButton*>(QStringLiteral("cmdTestEmail"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QTRY_VERIFY(QFileInfo::exists(dir + QStringLiteral("/0001.json")));

    QFile envelope(dir + QStringLiteral("/0001.json"));
    QVERIFY(envelope.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(envelope.readAll()).object();
    QCOMPARE(json.value(QStringLiteral("mail_from")).toString(), QStringLiteral("kw@home.example"));
    QCOMPARE(json.value(QStringLiteral("rcpt_tos")).toVariant().toStringList(),
        (QStringList {"owner@home.example", "deputy@home.example"}));
    QFile message(dir + QStringLiteral("/0001.eml"));
    QVERIFY(message.open(QIODevice::ReadOnly));
    const QByteArray text = message.readAll();
    QVERIFY(text.contains("Subject: Kestrelwatch Test Email\r\n"));
    QVERIFY(text.contains("This is a test email from Kestrelwatch\r\n\r\n\r\n"
                          "Congratulations, your email settings are correct.\r\n"));
    // The login went over the wire and never into a log line.
    QVERIFY(m_log.filter(QStringLiteral("s3cret")).isEmpty());
    QVERIFY(m_log.filter(rig.base64.Encodestring(QStringLiteral("s3cret"))).isEmpty());
}

void TestFrmSettings::regToolReadsWhatTheDialogWrote()
{
    SettingsRig rig;
    QTest::keyClicks(rig.text("txtEmailServer"), QStringLiteral("smtp.home.example"));
    rig.flag("chkNewIntruderEmail")->click();
    const auto reg = [&rig](const QString& name) {
        QProcess p;
        p.start(TestHome::binDir() + QStringLiteral("/kestrelwatch-reg"),
            {QStringLiteral("--home"), rig.home.paths().home, QStringLiteral("get"), kGeneralKey, name});
        p.waitForFinished(20000);
        return qMakePair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    QCOMPARE(reg(QStringLiteral("EmailServer")), qMakePair(0, QStringLiteral("smtp.home.example\n")));
    QCOMPARE(reg(QStringLiteral("NewIntruderEmail")), qMakePair(0, QStringLiteral("1\n")));
    QCOMPARE(reg(QStringLiteral("Volume")).first, 1); // never touched, so never written
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

QTEST_MAIN(TestFrmSettings)
#include "tst_frmsettings.moc"
