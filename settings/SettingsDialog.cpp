// The dialog's behaviour: storing each change at once, the two mail buttons, the debug log mirror, and
// hiding instead of closing.
#include "settings/SettingsDialog.h"

#include "logging/DebugLog.h"
#include "notify/SettingsMails.h"
#include "notify/SmtpClient.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "settings/LogTextBox.h"
#include "settings/MqttSettingsPage.h"
#include "settings/SettingsHost.h"
#include "settings/SettingsPrompt.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

using namespace SettingsControls;

const QString SettingsDialog::TestEmailQuestion = QStringLiteral("Are you sure you wish to send a test email ?");
const QString SettingsDialog::SupportQuestion =
    QStringLiteral("Are you sure you wish to send the Debug log to Brackmoor technical ?");
const QString SettingsDialog::MessageSent = QStringLiteral("Message Sent");
const QString SettingsDialog::NotInstalled =
    QStringLiteral("This copy of Kestrelwatch runs from a build folder and no installed copy was found, so there "
                   "is nothing to start at login. Install Kestrelwatch (see the README, Install) and turn this on "
                   "there.");

SettingsDialog::SettingsDialog(const Parts& parts, QWidget* parent)
    : QDialog(parent)
    , m_settings(parts.settings)
    , m_debugLog(parts.debugLog)
    , m_mail(parts.mail)
    , m_imagesDir(parts.imagesDir)
    , m_host(parts.host)
    , m_prompt(parts.prompt)
{
    if (!m_prompt) {
        m_ownPrompt = std::make_unique<MessageBoxPrompt>();
        m_prompt = m_ownPrompt.get();
    }
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(QStringLiteral("Kestrelwatch Settings"));
    buildTabs();

    for (int i = 0; i < FlagCount; ++i)
        connect(m_flags[size_t(i)], &QCheckBox::clicked, this, [this, i] { flagClicked(FlagId(i)); });
    for (int i = 0; i < TextCount; ++i)
        connect(m_texts[size_t(i)], &QLineEdit::textChanged, this, [this, i] { textChanged(TextId(i)); });
    connect(m_slideVolume, &QSlider::valueChanged, this, &SettingsDialog::slideVolume_Change);
    connect(m_testEmailButton, &QPushButton::clicked, this, &SettingsDialog::testEmailClicked);
    connect(m_emailTechnicalSupportButton, &QPushButton::clicked, this, &SettingsDialog::emailTechnicalSupportClicked);

    // The box starts with what the log already holds, then follows it line by line.
    m_logEdit->showTail(m_debugLog.text());
    m_debugLog.setMirror([this](const QString& line) { m_logEdit->appendLine(line); });

    loadFromSettings();
}

SettingsDialog::~SettingsDialog()
{
    m_debugLog.setMirror({});
}

void SettingsDialog::loadFromSettings()
{
    m_loading = true;
    for (int i = 0; i < FlagCount; ++i)
        m_flags[size_t(i)]->setChecked(field(m_settings, Flags[size_t(i)]));
    for (int i = 0; i < TextCount; ++i) {
        QLineEdit* box = m_texts[size_t(i)];
        const QString& text = field(m_settings, Texts[size_t(i)]);
        // Left alone when unchanged, so the caret and the undo history survive a re-show.
        if (box->text() != text)
            box->setText(text);
    }
    enableLogin(m_settings.mail.authenticate);

    const int volume = qBound(m_slideVolume->minimum(), m_settings.alerts.volume, m_slideVolume->maximum());
    if (volume != m_settings.alerts.volume) {
        // The stored text stays as it is until the user moves the slider.
        Log(kwWindow,
            QStringLiteral("SettingsDialog - Volume %1 lies outside %2 to %3; %4 is used")
                .arg(m_settings.alerts.volume)
                .arg(m_slideVolume->minimum())
                .arg(m_slideVolume->maximum())
                .arg(volume));
        m_settings.alerts.volume = volume;
    }
    m_slideVolume->setValue(volume);
    showVolume(volume);

    if (m_mqttPage)
        m_mqttPage->loadFromSettings();
    m_logPathLabel->setText(m_settings.log.path);
    m_logPathLabel->setToolTip(m_settings.log.path);
    m_flags[LogToDisk]->setToolTip(
        m_settings.log.path.isEmpty() ? latin1(Flags[LogToDisk].tooltip) : m_settings.log.path);
    showMailControls();
    m_loading = false;
}

void SettingsDialog::flagClicked(FlagId id)
{
    if (m_loading)
        return;
    const Flag& flag = Flags[size_t(id)];
    const bool value = m_flags[size_t(id)]->isChecked();
    // The reminder's clock restarts before the box takes effect, so no reminder sounds at once.
    if (flag.effect == Effect::Reminder)
        m_host.setLastIntruderWarning(kwclock::now());

    field(m_settings, flag) = value;
    if (flag.key)
        writeSetting(SettingsTable::byKey(flag.key), m_settings);

    switch (flag.effect) {
    case Effect::Startup:
        if (value) {
            // The entry starts the installed program, never one in a build folder that may go away.
            const std::optional<QString> program = autostartProgram(QCoreApplication::applicationFilePath());
            if (!program) {
                field(m_settings, flag) = false;
                m_flags[size_t(id)]->setChecked(false);
                m_prompt->error(this, NotInstalled);
                break;
            }
            KeyStore::writeString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, *program);
        } else {
            KeyStore::deleteValue(Keys::RunProduct, Keys::RunKey, Keys::RunValue);
        }
        break;
    case Effect::AlwaysOnTop:
        if (m_host.isMainWindowVisible())
            m_host.applyAlwaysOnTop(value);
        break;
    case Effect::ExternalPrograms:
        m_host.Load_ExternalProgs();
        break;
    case Effect::Authenticate:
        enableLogin(m_settings.mail.authenticate);
        break;
    case Effect::Reminder:
    case Effect::None:
        break;
    }
}

void SettingsDialog::textChanged(TextId id)
{
    if (m_loading)
        return;
    const Text& t = Texts[size_t(id)];
    const QString text = m_texts[size_t(id)]->text();
    field(m_settings, t) = text;
    writeSetting(SettingsTable::byKey(t.key), m_settings);
}

void SettingsDialog::slideVolume_Change(int value)
{
    showVolume(value);
    if (m_loading)
        return;
    m_settings.alerts.volume = value;
    writeSetting(SettingsTable::byKey("Volume"), m_settings);
}

void SettingsDialog::testEmailClicked()
{
    // Nothing is asked, queued or promised when the settings cannot carry a mail.
    const QString missing = SettingsMails::missingForTest(m_settings);
    if (!missing.isEmpty()) {
        m_testEmailLabel->setText(missing);
        m_prompt->error(this, missing);
        return;
    }
    if (!m_prompt->askYesNo(this, TestEmailQuestion))
        return;
    SmtpClient* mail = m_mail ? m_mail() : nullptr;
    m_testMailId = mail ? SettingsMails::sendTestEmail(*mail, m_settings) : 0;
    if (m_testMailId == 0) {
        const QString result = SettingsMails::testResult(
            false, mail ? QStringLiteral("the mail queue is full") : QStringLiteral("the mailer is not running"));
        m_testEmailLabel->setText(result);
        m_prompt->error(this, result);
        return;
    }
    // "Message Sent" is said once the server has taken the message (testEmailFinished).
    connect(mail, &SmtpClient::mailFinished, this, &SettingsDialog::testEmailFinished, Qt::UniqueConnection);
    m_testEmailLabel->setText(QStringLiteral("Sending the test email..."));
}

void SettingsDialog::emailTechnicalSupportClicked()
{
    if (!m_prompt->askYesNo(this, SupportQuestion))
        return;
    if (SmtpClient* mail = m_mail ? m_mail() : nullptr)
        SettingsMails::sendDebugLog(*mail, m_debugLog);
    else
        Log(kwWindow, QStringLiteral("emailTechnicalSupportClicked - the mailer is not running"));
    m_prompt->inform(this, MessageSent);
}

void SettingsDialog::enableLogin(bool enabled)
{
    // Greyed out, never emptied: the login is still there when authentication is switched on again.
    for (TextId id : {EmailUsername, EmailPassword}) {
        m_texts[id]->setEnabled(enabled);
        m_textLabels[id]->setEnabled(enabled);
    }
}

void SettingsDialog::closeBox()
{
    hide();
    m_host.showMainWindowAgain();
}

void SettingsDialog::reject()
{
    if (m_closeAllowed) {
        QDialog::reject();
        return;
    }
    closeBox();
}

void SettingsDialog::closeEvent(QCloseEvent* event)
{
    // A session that ends, or the program's own shutdown, closes for real; the user's close box only hides.
    if (m_closeAllowed || QCoreApplication::closingDown() || (qGuiApp && qGuiApp->isSavingSession())) {
        event->accept();
        return;
    }
    event->ignore();
    closeBox();
}

void SettingsDialog::showEvent(QShowEvent* event)
{
    loadFromSettings();
    QDialog::showEvent(event);
}
