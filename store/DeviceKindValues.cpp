#include "store/DeviceKindValues.h"

#include "store/DeviceText.h"

namespace DeviceKindValues {

QList<std::pair<QString, QString>> values(const DeviceRecord& d)
{
    return {{QStringLiteral("Type"), d.Type == DeviceType::Unknown ? QString() : DeviceKind::typeWord(d.Type)},
        {QStringLiteral("Type_Source"), DeviceKind::sourceWord(d.TypeSource)}, {QStringLiteral("Model"), d.Model},
        {QStringLiteral("Model_Source"), DeviceKind::sourceWord(d.ModelSource)}, {QStringLiteral("OS"), d.Os},
        {QStringLiteral("OS_Source"), DeviceKind::sourceWord(d.OsSource)}};
}

void read(DeviceRecord& d, const std::function<QString(const QString& name)>& value)
{
    d.Type = DeviceKind::typeFromWord(value(QStringLiteral("Type")).trimmed());
    d.TypeSource = d.Type == DeviceType::Unknown ? FactSource::None
                                                 : DeviceKind::sourceFromWord(value(QStringLiteral("Type_Source")));
    // The store is ours, but another program may have written it: the texts pass the one door again.
    const auto text = [&](const QString& name) { return DeviceText::filterName(value(name)).text; };
    d.Model = text(QStringLiteral("Model"));
    d.ModelSource =
        d.Model.isEmpty() ? FactSource::None : DeviceKind::sourceFromWord(value(QStringLiteral("Model_Source")));
    d.Os = text(QStringLiteral("OS"));
    d.OsSource = d.Os.isEmpty() ? FactSource::None : DeviceKind::sourceFromWord(value(QStringLiteral("OS_Source")));
}

} // namespace DeviceKindValues
