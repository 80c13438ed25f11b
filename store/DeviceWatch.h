#pragma once

#include <QString>
#include <optional>

// Which presence changes of one device alert every channel, mail included: the "Watch" value under the
// device's key ("offline", "online" or "both"); no value means no watch.
namespace DeviceWatch {

enum Mode : quint8 { None = 0, Offline = 1, Online = 2, Both = 3 };

inline const QString Value = QStringLiteral("Watch");

// "" is None; any other text than the three is no mode at all.
std::optional<Mode> parse(const QString& text);
// The stored text; None is "".
QString text(Mode mode);
inline bool covers(quint8 mode, bool online)
{
    return (mode & (online ? Online : Offline)) != 0;
}

} // namespace DeviceWatch
