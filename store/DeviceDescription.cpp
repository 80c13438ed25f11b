#include "store/DeviceDescription.h"

#include "store/DeviceStore.h"
#include "store/MacAddress.h"

namespace DeviceDescription {

QString typeText(DeviceType type)
{
    switch (type) {
    case DeviceType::Unknown:
        return {};
    case DeviceType::Tv:
        return QStringLiteral("TV");
    case DeviceType::Nas:
        return QStringLiteral("NAS");
    case DeviceType::SmartHome:
        return QStringLiteral("smart-home device");
    case DeviceType::Network:
        return QStringLiteral("network device");
    default:
        return DeviceKind::typeWord(type);
    }
}

QString kindText(const DeviceRecord& d)
{
    QString type = typeText(d.Type);
    if (d.Os.isEmpty())
        return type;
    if (type.isEmpty())
        return d.Os + QStringLiteral(" device");
    return d.Os + QLatin1Char(' ') + type;
}

QString sourceText(FactSource source)
{
    switch (source) {
    case FactSource::None:
        return {};
    case FactSource::Vendor:
        return QStringLiteral("from the maker's registry entry");
    case FactSource::HostName:
        return QStringLiteral("from its host name");
    case FactSource::Dhcp:
        return QStringLiteral("from DHCP");
    case FactSource::Upnp:
        return QStringLiteral("from UPnP");
    case FactSource::Mdns:
        return QStringLiteral("from mDNS");
    case FactSource::User:
        return QStringLiteral("set by hand");
    }
    return {};
}

QString earlierName(const DeviceRecord& e)
{
    if (!e.FriendlyName.isEmpty())
        return e.FriendlyName;
    const bool hostNamed = !e.HostName.isEmpty() && e.HostName != DeviceRecord::unknownHostName();
    return hostNamed || e.MdnsName.isEmpty() ? e.HostName : e.MdnsName;
}

QString likelyText(const DeviceStore& devices, const DeviceRecord& d)
{
    if (d.LikelyReturnOf.isEmpty())
        return {};
    const DeviceRecord* earlier = devices.find(d.LikelyReturnOf);
    if (!earlier)
        return {};
    return QStringLiteral(", probably %1, with a new private address").arg(earlierName(*earlier));
}

QString alertName(const DeviceStore& devices, const DeviceRecord& d)
{
    QString name = d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
    if (name.isEmpty() || name == DeviceRecord::unknownHostName()) {
        const QString kind = kindText(d);
        name = kind.isEmpty() ? DeviceRecord::unknownHostName() : QStringLiteral("Unknown ") + kind;
        if (MacAddress::isLocallyAdministered(d.MacAddress))
            name += QStringLiteral(" (private address)");
    }
    return name + likelyText(devices, d);
}

} // namespace DeviceDescription
