#include "recognition/ServiceClues.h"

#include "recognition/MdnsName.h"

#include <QStringDecoder>
#include <algorithm>

const QByteArray DeviceServices::kEnumeration = QByteArrayLiteral("_services._dns-sd._udp.local");

namespace {

// "Name._ipp._tcp.local" -> "_ipp._tcp"; empty when the name is no service instance.
QByteArray serviceOf(const QByteArray& name)
{
    const QList<QByteArray> labels = name.split('.');
    if (labels.size() < 4 || labels.last().toLower() != "local")
        return {};
    const QByteArray proto = labels[labels.size() - 2].toLower();
    const QByteArray service = labels[labels.size() - 3].toLower();
    if ((proto != "_tcp" && proto != "_udp") || !service.startsWith('_'))
        return {};
    return service + '.' + proto;
}

QString text(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString t = utf8.decode(bytes);
    return utf8.hasError() ? QString() : t.trimmed();
}

bool anyOf(const QString& text, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(),
        [&](const char* w) { return text.contains(QLatin1String(w), Qt::CaseInsensitive); });
}

// HomeKit accessory categories (Apple's HomeKit Accessory Protocol, "Accessory Categories").
DeviceType homeKitType(int category)
{
    switch (category) {
    case 17: // IP camera
    case 18: // video doorbell
        return DeviceType::Camera;
    case 31: // television
    case 35: // set-top box
    case 36: // streaming stick
        return DeviceType::Tv;
    case 33:
        return DeviceType::Router;
    case 34: // audio receiver
        return DeviceType::Speaker;
    default:
        return DeviceType::SmartHome;
    }
}

} // namespace

DeviceServices::Instance* DeviceServices::instance(const QByteArray& name)
{
    const QByteArray service = serviceOf(name);
    if (service.isEmpty())
        return nullptr;
    auto it = m_instances.find(name);
    if (it == m_instances.end()) {
        if (m_instances.size() >= kMaxInstances)
            return nullptr;
        it = m_instances.insert(name, Instance {service, {}, false, {}});
    }
    return &*it;
}

void DeviceServices::addType(const QByteArray& type)
{
    if (!serviceOf(QByteArrayLiteral("x.") + type).isEmpty() && !m_types.contains(type)
        && m_types.size() < kMaxServices)
        m_types.append(type);
}

bool DeviceServices::add(const QList<dnsmsg::Record>& records, quint32 ownAddress)
{
    bool named = false;
    const QList<QByteArray> typesBefore = m_types;
    const auto instancesBefore = m_instances.size();
    qsizetype beforeEdit = 0;
    for (const Instance& i : std::as_const(m_instances))
        beforeEdit += i.txt.size() + (i.heardEdit ? 1 : 0);
    for (const dnsmsg::Record& r : records) {
        if (r.type == dnsmsg::kTypePtr && r.owner.compare(kEnumeration, Qt::CaseInsensitive) == 0) {
            addType(r.target.toLower());
        } else if (r.type == dnsmsg::kTypePtr && serviceOf(QByteArrayLiteral("x.") + r.owner) == serviceOf(r.target)) {
            addType(r.owner.toLower());
            instance(r.target);
        } else if (r.type == dnsmsg::kTypeA) {
            // The first one heard stays: a device that changes its name with every message changes nothing.
            if (ownAddress != 0 && r.ipv4 == ownAddress && m_host.isEmpty()) {
                m_host = r.owner;
                named = true;
            }
        } else if (r.type == dnsmsg::kTypeTxt || r.type == dnsmsg::kTypeSrv) {
            Instance* i = instance(r.owner);
            if (i && r.type == dnsmsg::kTypeSrv && i->host.isEmpty() && !r.target.isEmpty()) {
                i->host = r.target;
                named = true;
            }
            if (!i || r.type != dnsmsg::kTypeTxt)
                continue;
            i->heardEdit = true;
            for (const QByteArray& entry : r.txt) {
                const qsizetype eq = entry.indexOf('=');
                const QByteArray key = (eq < 0 ? entry : entry.left(eq)).toLower();
                if (!key.isEmpty() && !i->txt.contains(key))
                    i->txt.insert(key, eq < 0 ? QByteArray() : entry.mid(eq + 1));
            }
        }
    }
    qsizetype afterEdit = 0;
    for (const Instance& i : std::as_const(m_instances))
        afterEdit += i.txt.size() + (i.heardEdit ? 1 : 0);
    return named || m_types != typesBefore || m_instances.size() != instancesBefore || afterEdit != beforeEdit;
}

QString DeviceServices::deviceName() const
{
    // Ranked, a name that says which device before one that only says what; the first heard of equals.
    std::pair<bool, MdnsName::Candidate> best;
    const auto weigh = [&best](const MdnsName::Candidate& c) {
        const bool telling = !MdnsName::isGeneric(c.name);
        if (c.rank > 0 && std::pair(telling, c.rank) > std::pair(best.first, best.second.rank))
            best = {telling, c};
    };
    for (auto it = m_instances.begin(); it != m_instances.end(); ++it) {
        // The instance's own part: its name without ".<service>.local".
        const QByteArray label = it.key().left(it.key().size() - it->service.size() - 7);
        weigh(MdnsName::ofInstance(it->service, label, it->txt));
        if (!it->host.isEmpty())
            weigh(MdnsName::ofHost(it->host, false));
    }
    if (!m_host.isEmpty())
        weigh(MdnsName::ofHost(m_host, true));
    return best.second.name;
}

QList<QByteArray> DeviceServices::instancesWithoutTxt() const
{
    QList<QByteArray> names;
    for (auto it = m_instances.begin(); it != m_instances.end(); ++it) {
        if (!it->heardEdit)
            names.append(it.key());
    }
    return names;
}

Clue DeviceServices::clue() const
{
    QList<std::pair<int, Clue>> ranked;
    for (const Instance& i : m_instances)
        ranked.append(ServiceClues::ofService(i.service, i.txt));
    // A service type named but with no instance heard still says something (an SSH server, a printer).
    for (const QByteArray& type : m_types) {
        const QByteArray service = serviceOf(QByteArrayLiteral("x.") + type);
        ranked.append(ServiceClues::ofService(service, {}));
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    Clue clue;
    for (const auto& [rank, c] : ranked) {
        if (rank <= 0)
            break;
        if (clue.type == DeviceType::Unknown)
            clue.type = c.type;
        if (clue.model.isEmpty())
            clue.model = c.model;
        if (clue.os.isEmpty())
            clue.os = c.os;
    }
    if (!clue.isEmpty())
        clue.source = FactSource::Mdns;
    return clue;
}

namespace ServiceClues {

Clue appleModel(const QByteArray& identifier)
{
    struct Family
    {
        const char* prefix;
        DeviceType type;
        const char* os;
    };
    static const Family families[] = {{"iPhone", DeviceType::Phone, "iOS"}, {"iPad", DeviceType::Tablet, "iPadOS"},
        {"iPod", DeviceType::Phone, "iOS"}, {"AppleTV", DeviceType::Tv, "tvOS"},
        {"AudioAccessory", DeviceType::Speaker, "HomePod software"}, {"Watch", DeviceType::Wearable, "watchOS"},
        {"MacBook", DeviceType::Computer, "macOS"}, {"iMac", DeviceType::Computer, "macOS"},
        {"Macmini", DeviceType::Computer, "macOS"}, {"MacPro", DeviceType::Computer, "macOS"},
        {"Mac1", DeviceType::Computer, "macOS"}};
    const QString model = text(identifier);
    // Samba and NAS systems borrow a Mac's icon by naming an old server model: that says nothing of them.
    if (model.isEmpty() || anyOf(model, {"Xserve", "RackMac", "MacSamba", "TimeCapsule", "AirPort"}))
        return {};
    for (const Family& f : families) {
        if (model.startsWith(QLatin1String(f.prefix)))
            return Clue {FactSource::Mdns, f.type, model, QString::fromLatin1(f.os)};
    }
    return {};
}

std::pair<int, Clue> ofService(const QByteArray& service, const QHash<QByteArray, QByteArray>& txt)
{
    const auto value = [&txt](const char* key) { return text(txt.value(key)); };
    const auto clue = [](DeviceType type, const QString& model = {}, const QString& os = {}) {
        return Clue {FactSource::Mdns, type, model, os};
    };
    if (service == "_ipp._tcp" || service == "_ipps._tcp" || service == "_printer._tcp"
        || service == "_pdl-datastream._tcp") {
        QString model = value("ty");
        if (model.isEmpty()) // "product" is the model in parentheses: "(HP LaserJet M479fdw)"
            model = value("product").remove(QLatin1Char('(')).remove(QLatin1Char(')')).trimmed();
        return {100, clue(DeviceType::Printer, model)};
    }
    if (service == "_hap._tcp") {
        bool ok = false;
        const int category = value("ci").toInt(&ok);
        return {90, clue(ok ? homeKitType(category) : DeviceType::SmartHome, value("md"))};
    }
    if (service == "_googlecast._tcp") {
        const QString model = value("md");
        if (model.isEmpty())
            return {0, {}}; // a speaker or a screen: its TXT says which
        const bool speaker =
            anyOf(model, {"Home Mini", "Nest Mini", "Home Max", "Nest Audio", "Google Home", "Speaker"})
            || (anyOf(model, {"Audio"}) && !anyOf(model, {"TV"}));
        return {80, clue(speaker ? DeviceType::Speaker : DeviceType::Tv, model)};
    }
    for (const auto& [name, key] :
        {std::pair {"_device-info._tcp", "model"}, std::pair {"_airplay._tcp", "model"}, std::pair {"_raop._tcp", "am"},
            std::pair {"_raop._tcp", "model"}, std::pair {"_companion-link._tcp", "rpmd"}}) {
        if (service == name) {
            const Clue apple = appleModel(txt.value(key));
            if (!apple.isEmpty())
                return {70, apple};
        }
    }
    if (service == "_sonos._tcp")
        return {60, clue(DeviceType::Speaker, {}, {})};
    if (service == "_amzn-wplay._tcp")
        return {55, clue(DeviceType::Tv)};
    if (service == "_hue._tcp")
        return {55, clue(DeviceType::SmartHome, QStringLiteral("Hue Bridge"))};
    if (service == "_home-assistant._tcp")
        return {50, clue(DeviceType::SmartHome, QStringLiteral("Home Assistant"))};
    if (service == "_airplay._tcp" || service == "_raop._tcp" || service == "_spotify-connect._tcp")
        return {40, clue(DeviceType::Speaker)};
    if (service == "_adisk._tcp")
        return {35, clue(DeviceType::Nas)};
    if (service == "_rfb._tcp" || service == "_smb._tcp" || service == "_ssh._tcp" || service == "_sftp-ssh._tcp")
        return {20, clue(DeviceType::Computer)};
    if (service == "_workstation._tcp") // avahi's own, on by default on Linux desktops
        return {20, clue(DeviceType::Computer, {}, QStringLiteral("Linux"))};
    if (service == "_companion-link._tcp")
        return {10, clue(DeviceType::Unknown, {}, QStringLiteral("Apple"))};
    return {0, {}};
}

} // namespace ServiceClues
