#include "store/DeviceKind.h"

#include <array>

namespace {
constexpr std::array<const char*, 14> kTypeWords = {
    "unknown",
    "router",
    "computer",
    "phone",
    "tablet",
    "tv",
    "speaker",
    "printer",
    "camera",
    "console",
    "nas",
    "smart-home",
    "wearable",
    "network",
};
constexpr std::array<const char*, 7> kSourceWords = {"", "vendor", "hostname", "dhcp", "upnp", "mdns", "user"};
} // namespace

QString DeviceKind::typeWord(DeviceType type)
{
    const auto i = size_t(type);
    return QString::fromLatin1(i < kTypeWords.size() ? kTypeWords[i] : kTypeWords[0]);
}

DeviceType DeviceKind::typeFromWord(const QString& word)
{
    for (size_t i = 0; i < kTypeWords.size(); ++i)
        if (word.compare(QLatin1String(kTypeWords[i]), Qt::CaseInsensitive) == 0)
            return DeviceType(i);
    return DeviceType::Unknown;
}

QStringList DeviceKind::typeWords()
{
    QStringList words;
    for (const char* w : kTypeWords)
        words << QString::fromLatin1(w);
    return words;
}

QString DeviceKind::sourceWord(FactSource source)
{
    const auto i = size_t(source);
    return QString::fromLatin1(i < kSourceWords.size() ? kSourceWords[i] : kSourceWords[0]);
}

FactSource DeviceKind::sourceFromWord(const QString& word)
{
    for (size_t i = 1; i < kSourceWords.size(); ++i)
        if (word.compare(QLatin1String(kSourceWords[i]), Qt::CaseInsensitive) == 0)
            return FactSource(i);
    return FactSource::None;
}

bool DeviceKind::mayReplace(FactSource current, FactSource incoming)
{
    if (current == FactSource::User)
        return incoming == FactSource::User;
    return incoming >= current;
}
