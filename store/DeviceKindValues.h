#pragma once

#include "store/DeviceTable.h"

#include <QList>
#include <QString>
#include <functional>
#include <utility>

// A device's type, model and os with their sources as stored values ("Type", "Type_Source", "Model",
// "Model_Source", "OS", "OS_Source"): one writer and one reader for every place that keeps a device.
namespace DeviceKindValues {

QList<std::pair<QString, QString>> values(const DeviceRecord& d);
// Reads the six values through value(name); an absent or unknown word reads as unknown, with no source.
void read(DeviceRecord& d, const std::function<QString(const QString& name)>& value);

} // namespace DeviceKindValues
