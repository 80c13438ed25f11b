#pragma once

#include "Process.h"

#include "store/Settings.h"

#include <QString>
#include <QStringList>

// The store as a user sees it through kestrelwatch-reg --home HOME, and the full key paths it takes, built
// from the store's own key names (Keys::General, Keys::deviceKey).
namespace Reg {

QString path(const QString& subkey); // "Software\Brackmoor\Kestrelwatch\" + subkey
inline QString general()
{
    return path(Keys::General);
}
inline QString devices()
{
    return path(Keys::DetectedDevices);
}
inline QString device(const QString& mac)
{
    return path(Keys::deviceKey(mac));
}

kwtest::Run tool(const QString& home, const QStringList& args);
// The value's text, or empty when it is missing.
QString get(const QString& home, const QString& key, const QString& name);
bool set(const QString& home, const QString& key, const QString& name, const QString& data);
QStringList keys(const QString& home, const QString& key);
QString dump(const QString& home, const QString& key = {});

} // namespace Reg
