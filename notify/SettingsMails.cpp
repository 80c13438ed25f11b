#include "notify/SettingsMails.h"

#include "logging/DebugLog.h"
#include "notify/SmtpClient.h"
#include "store/IniFile.h"
#include "store/LiveSettings.h"

#include <QStringList>

namespace {
const QString kProductName = QStringLiteral("Kestrelwatch");
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
    return IniFile::dbGetEntry(QStringLiteral("GENERAL"), QStringLiteral("SupportAddress"), QString()).trimmed();
}

QString supportUnavailable()
{
    if (!supportAddress().isEmpty())
        return {};
    return QStringLiteral("No technical support address is set: the installation's Configs/Config.ini names "
                          "none (SupportAddress in its [GENERAL] section).");
}

QString missingForTest(const LiveSettings& settings)
{
    QStringList missing;
    if (settings.mail.server.trimmed().isEmpty())
        missing << QStringLiteral("the SMTP server");
    if (settings.mail.addresses.trimmed().isEmpty())
        missing << QStringLiteral("the \"TO\" addresses");
    if (settings.mail.from.trimmed().isEmpty())
        missing << QStringLiteral("the \"FROM\" address");
    if (missing.isEmpty())
        return {};
    const QString last = missing.takeLast();
    const QString list = missing.isEmpty() ? last : missing.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("No test email was sent: enter %1 first.").arg(list);
}

QString testResult(bool sent, const QString& cause)
{
    if (sent)
        return QStringLiteral("Message Sent");
    return QStringLiteral("The test email was not sent: %1")
        .arg(cause.isEmpty() ? QStringLiteral("the mail server did not take it") : cause);
}

QString serverWithPort(const QString& server, const QString& security)
{
    const QString text = server.trimmed();
    if (text.isEmpty())
        return server;
    const std::optional<SmtpClient::Endpoint> endpoint = SmtpClient::serverEndpoint(text);
    // A setting whose port is unreadable keeps its host: everything before the port's colon.
    QString host = endpoint ? endpoint->host : text.left(text.lastIndexOf(QLatin1Char(':')));
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const quint16 port = SmtpClient::defaultPort(SmtpClient::securityOf(security).value_or(SmtpClient::Security::None));
    return host + QLatin1Char(':') + QString::number(port);
}

quint64 sendTestEmail(SmtpClient& mail, const LiveSettings& settings)
{
    return mail.SendEmail(settings.mail.addresses, testSubject(), testBody());
}

quint64 sendDebugLog(SmtpClient& mail, const DebugLog& log)
{
    return mail.SendEmail(supportAddress(), debugLogSubject(), log.text());
}

} // namespace SettingsMails
