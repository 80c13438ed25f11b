#include "notify/SettingsMails.h"

#include "logging/DebugLog.h"
#include "notify/CEmail.h"
#include "store/LiveSettings.h"
#include "store/modIniFileFunctions.h"

namespace {
const QString kProductName = QStringLiteral("Kestrelwatch");
const QString kDefaultSupportAddress = QStringLiteral("support@brackmoor.example");
} // namespace

namespace SettingsMails {

QString testSubject()
{
    return QStringLiteral("Kestrelwatch Test Email");
}

QString testBody()
{
    return QStringLiteral("This is a test email from Kestrelwatch\r\n\r\n\r\n"
                          "Congratulations, your email settings are correct.\r\n");
}

QString debugLogSubject()
{
    const QString version = QString::number(KW_VERSION_MAJOR).trimmed() + QLatin1Char('.')
        + QString::number(KW_VERSION_MINOR).trimmed() + QLatin1Char('.') + QString::number(KW_VERSION_PATCH).trimmed();
    return QStringLiteral("Debug Log from ") + kProductName + QStringLiteral(" - ") + version;
}

QString supportAddress()
{
    // An installation that empties the entry has no support address, and the message is not queued.
    return modIniFileFunctions::dbGetEntry(
        QStringLiteral("GENERAL"), QStringLiteral("SupportAddress"), kDefaultSupportAddress)
        .trimmed();
}

void sendTestEmail(CEmail& mail, const LiveSettings& settings)
{
    mail.SendEmail(settings.txtEmailAddresses, testSubject(), testBody());
}

void sendDebugLog(CEmail& mail, const DebugLog& log)
{
    mail.SendEmail(supportAddress(), debugLogSubject(), log.text());
}

} // namespace SettingsMails
