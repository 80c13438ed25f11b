#pragma once

#include "store/DeviceKind.h"

#include <QString>

// What one source says a device is: any of type, model and os may be unknown (Unknown, empty). Each source's
// clue is weighed against the device's current values by DeviceKind::mayReplace, field by field.
struct Clue
{
    FactSource source = FactSource::None;
    DeviceType type = DeviceType::Unknown;
    QString model;
    QString os;

    bool isEmpty() const { return type == DeviceType::Unknown && model.isEmpty() && os.isEmpty(); }
    bool operator==(const Clue&) const = default;
};
