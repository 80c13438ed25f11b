#include "store/DeviceFacts.h"

#include "platform/DebugSink.h"
#include "store/DeviceKind.h"
#include "store/DeviceTable.h"
#include "store/DeviceText.h"
#include "store/MacAddress.h"

namespace {
const QString kType = QStringLiteral("Type");
const QString kTypeSource = QStringLiteral("Type_Source");
const QString kModel = QStringLiteral("Model");
const QString kModelSource = QStringLiteral("Model_Source");
const QString kOs = QStringLiteral("OS");
const QString kOsSource = QStringLiteral("OS_Source");
const QString kFormerMacs = QStringLiteral("Former_MACs");
} // namespace

namespace DeviceFacts {

QStringList parseFormerMacs(const QString& text)
{
    QStringList macs;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString mac = part.trimmed().toUpper().replace(QLatin1Char(':'), QLatin1Char('-'));
        if (!MacAddress::isDeviceMac(mac)) {
            Log(QStringLiteral("Load_Registry - former MAC \"%1\" is no device's MAC; it is left out")
                    .arg(part.left(40)));
            continue;
        }
        if (!macs.contains(mac) && macs.size() < MaxFormerMacs)
            macs.append(mac);
    }
    return macs;
}

QString formerMacsText(const QStringList& macs)
{
    return parseFormerMacs(macs.join(QLatin1Char(','))).join(QLatin1Char(','));
}

void read(DeviceRecord& d, const std::function<QString(const QString&)>& read)
{
    // A value in the store passed the one door when it was written; what another program wrote there is
    // filtered again, as a name would be.
    const auto text = [&read](const QString& name) {
        const DeviceText::Name checked = DeviceText::filterName(read(name));
        return checked.ok() ? checked.text : QString();
    };
    d.Type = DeviceKind::typeFromWord(read(kType));
    d.TypeSource = d.Type == DeviceType::Unknown ? FactSource::None : DeviceKind::sourceFromWord(read(kTypeSource));
    d.Model = text(kModel);
    d.ModelSource = d.Model.isEmpty() ? FactSource::None : DeviceKind::sourceFromWord(read(kModelSource));
    d.Os = text(kOs);
    d.OsSource = d.Os.isEmpty() ? FactSource::None : DeviceKind::sourceFromWord(read(kOsSource));
    d.FormerMacs = parseFormerMacs(read(kFormerMacs));
}

modRegistry::ValueTexts values(const DeviceRecord& d)
{
    return {
        {kType, d.Type == DeviceType::Unknown ? QString() : DeviceKind::typeWord(d.Type)},
        {kTypeSource, DeviceKind::sourceWord(d.TypeSource)},
        {kModel, d.Model},
        {kModelSource, DeviceKind::sourceWord(d.ModelSource)},
        {kOs, d.Os},
        {kOsSource, DeviceKind::sourceWord(d.OsSource)},
        {kFormerMacs, formerMacsText(d.FormerMacs)},
    };
}

} // namespace DeviceFacts
