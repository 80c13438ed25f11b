#pragma once

#include <QString>

class CEmail;
class DebugLog;
struct LiveSettings;

// The two messages the settings dialog's buttons queue once the user has confirmed: a test mail to the "TO"
// addresses, and the debug log to the maker's technical support. Both are only queued; how delivery went is
// in the debug log.
namespace SettingsMails {

QString testSubject();
QString testBody();
// "Debug Log from Kestrelwatch - 1.0.0"
QString debugLogSubject();
// Config.ini [GENERAL] SupportAddress, an installation option.
QString supportAddress();

void sendTestEmail(CEmail& mail, const LiveSettings& settings);
void sendDebugLog(CEmail& mail, const DebugLog& log);

} // namespace SettingsMails
