// The mail controls beyond the text boxes: the choice of encryption with its port proposal, the test mail's
// outcome, and whether the debug log can go to technical support.
#include "settings/SettingsDialog.h"

#include "notify/SettingsMails.h"
#include "settings/SettingsPrompt.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/SettingsTable.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace SettingsControls;

namespace {
const QStringList kSecurities {QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")};
} // namespace

void SettingsDialog::buildMailSecurity(QGridLayout* server)
{
    m_emailSecurityCombo = new QComboBox;
    m_emailSecurityCombo->setObjectName(QStringLiteral("emailSecurityCombo"));
    m_emailSecurityCombo->addItems(kSecurities);
    m_emailSecurityCombo->setToolTip(QStringLiteral("Encryption: STARTTLS (usually port 587), TLS (usually port "
                                                    "465) or None (port 25). Choosing one puts its port in the "
                                                    "server box; encrypted connections check the server's "
                                                    "certificate"));
    auto* label = new QLabel(QStringLiteral("Security:"));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setBuddy(m_emailSecurityCombo);
    m_testEmailLabel = new QLabel;
    m_testEmailLabel->setTextFormat(Qt::PlainText);
    m_testEmailLabel->setObjectName(QStringLiteral("testEmailLabel"));
    m_testEmailLabel->setWordWrap(true);
    m_testEmailLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    server->addWidget(label, 1, 0);
    server->addWidget(m_emailSecurityCombo, 1, 1, Qt::AlignLeft);
    server->addWidget(m_testEmailButton, 2, 1, Qt::AlignRight);
    server->addWidget(m_testEmailLabel, 3, 0, 1, 2);
    // Only the user's choice counts; showing the stored value changes nothing.
    connect(m_emailSecurityCombo, &QComboBox::activated, this, &SettingsDialog::emailSecurityClicked);
}

void SettingsDialog::emailSecurityClicked(int index)
{
    const QString security = kSecurities.value(index, kSecurities.first());
    m_settings.mail.security = security;
    writeSetting(SettingsTable::byKey("EmailSecurity"), m_settings);
    // The server box takes the port that goes with the choice; its own change handler stores it.
    QLineEdit* server = m_texts[EmailServer];
    const QString proposed = SettingsMails::serverWithPort(server->text(), security);
    if (proposed != server->text())
        server->setText(proposed);
}

void SettingsDialog::testEmailFinished(bool sent, quint64 id, const QString& cause)
{
    if (id == 0 || id != m_testMailId)
        return;
    m_testMailId = 0;
    const QString result = SettingsMails::testResult(sent, cause);
    m_testEmailLabel->setText(result);
    if (sent)
        m_prompt->inform(this, result);
    else
        m_prompt->error(this, result);
}

void SettingsDialog::showMailControls()
{
    m_emailSecurityCombo->setCurrentIndex(qMax(0, kSecurities.indexOf(m_settings.mail.security)));
    const QString why = SettingsMails::supportUnavailable();
    m_emailTechnicalSupportButton->setEnabled(why.isEmpty());
    m_emailTechnicalSupportButton->setToolTip(why.isEmpty()
            ? QStringLiteral(" Mails the debug log to ") + SettingsMails::supportAddress() + QLatin1Char(' ')
            : why);
}
