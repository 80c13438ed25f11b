#include "store/DeviceWatch.h"

namespace DeviceWatch {

std::optional<Mode> parse(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t.isEmpty())
        return None;
    for (const Mode mode : {Offline, Online, Both}) {
        if (t == DeviceWatch::text(mode))
            return mode;
    }
    return std::nullopt;
}

QString text(Mode mode)
{
    switch (mode) {
    case Offline:
        return QStringLiteral("offline");
    case Online:
        return QStringLiteral("online");
    case Both:
        return QStringLiteral("both");
    case None:
        break;
    }
    return {};
}

} // namespace DeviceWatch
