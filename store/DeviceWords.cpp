#include "store/DeviceWords.h"

#include "store/DeviceWatch.h"

namespace DeviceWords {

using Kind = DeviceEvent::Kind;

QString list(bool intruder)
{
    return intruder ? QStringLiteral("intruders") : QStringLiteral("safe");
}

QString watch(quint8 mode)
{
    return mode == DeviceWatch::None ? QStringLiteral("none") : DeviceWatch::text(DeviceWatch::Mode(mode));
}

QString apiEvent(Kind kind)
{
    switch (kind) {
    case Kind::Admitted:
        return QStringLiteral("admitted");
    case Kind::Impersonation:
        return QStringLiteral("impersonation");
    case Kind::Online:
        return QStringLiteral("online");
    case Kind::Offline:
        return QStringLiteral("offline");
    case Kind::AddressChanged:
    case Kind::AddressesChanged:
        return QStringLiteral("address");
    case Kind::NameChanged:
    case Kind::Renamed:
        return QStringLiteral("renamed");
    case Kind::LikelyReturn:
        return QStringLiteral("return");
    case Kind::Acknowledged:
        return QStringLiteral("acknowledged");
    case Kind::Moved:
        return QStringLiteral("moved");
    case Kind::Removed:
        return QStringLiteral("removed");
    case Kind::Described:
        return QStringLiteral("described");
    case Kind::Merged:
        return QStringLiteral("merged");
    case Kind::NoteChanged:
        return QStringLiteral("note");
    case Kind::WatchChanged:
        return QStringLiteral("watch");
    }
    return QStringLiteral("other");
}

QString historyEvent(Kind kind)
{
    switch (kind) {
    case Kind::Admitted:
        return QStringLiteral("admission");
    case Kind::Online:
        return QStringLiteral("connected");
    case Kind::Offline:
        return QStringLiteral("disconnected");
    case Kind::AddressChanged:
        return QStringLiteral("address");
    case Kind::NameChanged:
        return QStringLiteral("name");
    case Kind::Impersonation:
        return QStringLiteral("warning");
    case Kind::Acknowledged:
        return QStringLiteral("acknowledged");
    case Kind::Moved:
        return QStringLiteral("moved");
    case Kind::Renamed:
        return QStringLiteral("renamed");
    case Kind::WatchChanged:
        return QStringLiteral("watch");
    case Kind::NoteChanged:
        return QStringLiteral("note");
    case Kind::Removed:
        return QStringLiteral("removed");
    case Kind::Merged:
        return QStringLiteral("merged");
    case Kind::LikelyReturn:
        return QStringLiteral("likely_return");
    case Kind::AddressesChanged:
    case Kind::Described:
        break;
    }
    return QStringLiteral("other");
}

QString metricsEvent(Kind kind)
{
    switch (kind) {
    case Kind::Admitted:
        return QStringLiteral("admitted");
    case Kind::Impersonation:
        return QStringLiteral("impersonation");
    case Kind::Online:
        return QStringLiteral("online");
    case Kind::Offline:
        return QStringLiteral("offline");
    case Kind::AddressChanged:
        return QStringLiteral("address_changed");
    case Kind::NameChanged:
        return QStringLiteral("name_changed");
    case Kind::AddressesChanged:
        return QStringLiteral("addresses_changed");
    case Kind::Acknowledged:
        return QStringLiteral("acknowledged");
    case Kind::Moved:
        return QStringLiteral("moved");
    case Kind::Renamed:
        return QStringLiteral("renamed");
    case Kind::Removed:
        return QStringLiteral("removed");
    case Kind::Described:
        return QStringLiteral("described");
    case Kind::LikelyReturn:
        return QStringLiteral("likely_return");
    case Kind::Merged:
        return QStringLiteral("merged");
    case Kind::NoteChanged:
        return QStringLiteral("note_changed");
    case Kind::WatchChanged:
        return QStringLiteral("watch_changed");
    }
    return QStringLiteral("other");
}

} // namespace DeviceWords
