#pragma once

#include "store/modRegistry.h"

#include <QString>
#include <QStringList>
#include <functional>

struct DeviceRecord;

// The stored form of what a device is and was: "Type", "Model", "OS" with their "_Source" values, "Former_MACs"
// (comma-separated MAC texts, newest first). Loading, the store follower, export and import and a merge share it.
namespace DeviceFacts {

// At most this many former MACs are kept per device (a phone that rotates daily would grow without end).
constexpr qsizetype MaxFormerMacs = 16;

// Reads the values through read(name), which gives "" for a value that is missing. A former MAC that is no MAC
// text is left out with a log line.
void read(DeviceRecord& d, const std::function<QString(const QString& name)>& read);
// The values as read() reads them.
modRegistry::ValueTexts values(const DeviceRecord& d);
// The Former_MACs text and back: checked, upper-case, without doubles, at most MaxFormerMacs.
QString formerMacsText(const QStringList& macs);
QStringList parseFormerMacs(const QString& text);

} // namespace DeviceFacts
