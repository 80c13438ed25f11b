#pragma once

#include "settings/SettingsControls.h"

#include <QDialog>
#include <array>
#include <functional>
#include <memory>

class Base64;
class SmtpClient;
class DebugLog;
class LogTextBox;
class QCheckBox;
class QComboBox;
class QGridLayout;
class MqttSettingsPage;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class SettingsHost;
class SettingsPrompt;
struct LiveSettings;

// The settings dialog. There is no OK or Cancel: every control stores its value the moment it changes, in
// the live settings (which every reader consults) and in the store's GENERAL key. The dialog is made once,
// hidden, at start-up and afterwards only shown and hidden; its close box hides it and brings the main
// window back. logEdit mirrors the debug log for the life of the dialog.
class SettingsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsDialog)

public:
    // What the dialog works on. Everything referenced must outlive the dialog.
    struct Parts
    {
        LiveSettings& settings;
        DebugLog& debugLog;
        const Base64& base64; // unused: SettingsTable encodes the stored logins
        // The mailer, asked for when a button is pressed: it is made after the dialog at start-up.
        std::function<SmtpClient*()> mail;
        QString imagesDir; // the tab pictures: General.bmp, Alerts.bmp, Email.bmp, Debug.bmp
        SettingsHost& host;
        SettingsPrompt* prompt = nullptr; // null: message boxes
    };

    static const QString TestEmailQuestion;
    static const QString SupportQuestion;
    static const QString MessageSent;
    static const QString NotInstalled;

    explicit SettingsDialog(const Parts& parts, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // Shows every setting as the live settings hold it and writes nothing: once after loadStore, and
    // again whenever the dialog is shown, so changes made elsewhere (the first-run autostart entry, a
    // restart of the monitoring) are on view.
    void loadFromSettings();

    // Set by the orderly shutdown: from then on a close really closes. Until then the close box hides.
    void allowClose(bool allow) { m_closeAllowed = allow; }

    QTabWidget* sst1() const { return m_sst1; }
    LogTextBox* logEdit() const { return m_logEdit; }
    MqttSettingsPage* mqttPage() const { return m_mqttPage; }
    QLabel* logPathLabel() const { return m_logPathLabel; }
    QPushButton* closeButton() const { return m_closeButton; }

    // Escape acts like the close box.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Building (SettingsDialogPages.cpp).
    void buildTabs();
    // Adds one page to the tabs; a page built elsewhere (a notification channel's) comes in the same way.
    int addPage(QWidget* page, const QIcon& icon, const QString& title);
    QWidget* buildGeneralPage();
    QWidget* buildAlertsPage();
    QWidget* buildEmailPage();
    QWidget* buildDebugPage();
    QCheckBox* makeFlag(SettingsControls::FlagId id);
    QLineEdit* makeText(SettingsControls::TextId id);
    QIcon tabPicture(const QString& file) const;

    // What the user's changes do (SettingsDialog.cpp).
    void flagClicked(SettingsControls::FlagId id);
    void textChanged(SettingsControls::TextId id);
    void slideVolume_Change(int value);
    void testEmailClicked();
    void emailTechnicalSupportClicked();
    // The mail controls (SettingsDialogMail.cpp).
    void buildMailSecurity(QGridLayout* server);
    void emailSecurityClicked(int index);
    void testEmailFinished(bool sent, quint64 id, const QString& cause);
    void showMailControls();
    void enableLogin(bool enabled);
    void showVolume(int value);
    void closeBox();

    LiveSettings& m_settings;
    DebugLog& m_debugLog;
    std::function<SmtpClient*()> m_mail;
    QString m_imagesDir;
    SettingsHost& m_host;
    std::unique_ptr<SettingsPrompt> m_ownPrompt;
    SettingsPrompt* m_prompt = nullptr;

    QTabWidget* m_sst1 = nullptr;
    std::array<QCheckBox*, SettingsControls::FlagCount> m_flags {};
    std::array<QLineEdit*, SettingsControls::TextCount> m_texts {};
    std::array<QLabel*, SettingsControls::TextCount> m_textLabels {};
    QSlider* m_slideVolume = nullptr;
    QLabel* m_volumeLabel = nullptr;
    QPushButton* m_testEmailButton = nullptr;
    QPushButton* m_emailTechnicalSupportButton = nullptr;
    QComboBox* m_emailSecurityCombo = nullptr;
    QLabel* m_testEmailLabel = nullptr; // how the latest test mail went
    quint64 m_testMailId = 0;
    LogTextBox* m_logEdit = nullptr;
    QLabel* m_logPathLabel = nullptr;
    QLabel* m_appliesLabel = nullptr;
    QPushButton* m_closeButton = nullptr;
    MqttSettingsPage* m_mqttPage = nullptr;

    bool m_loading = false;
    bool m_closeAllowed = false;
};
