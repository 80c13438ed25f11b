#pragma once

#include <QString>

class SmtpClient;
class DebugLog;
struct LiveSettings;

// The two messages the settings dialog's buttons queue once the user has confirmed: a test mail to the "TO"
// addresses, and the debug log to the maker's technical support. The test mail's outcome is the server's
// final answer, which the mail client reports with the message's number (SmtpClient::mailFinished).
namespace SettingsMails {

QString testSubject();
QString testBody();
// "Debug Log from Kestrelwatch - 1.0.0"
QString debugLogSubject();
// Config.ini [GENERAL] SupportAddress, an installation option; empty unless the installation sets one.
QString supportAddress();
// Why the debug log cannot go to technical support (no address is set), or empty when it can.
QString supportUnavailable();

// What the settings lack for a test mail, named for the user; empty when nothing is missing.
QString missingForTest(const LiveSettings& settings);
// The notice the test mail ends with.
QString testResult(bool sent, const QString& cause);

// The server setting with the port of the chosen security ("None", "STARTTLS", "TLS") in place of any it
// had: what the dialog proposes when the security changes. An empty setting stays empty.
QString serverWithPort(const QString& server, const QString& security);

// The message's number, 0 when nothing was queued.
quint64 sendTestEmail(SmtpClient& mail, const LiveSettings& settings);
quint64 sendDebugLog(SmtpClient& mail, const DebugLog& log);

} // namespace SettingsMails
