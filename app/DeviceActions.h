#pragma once

#include <QString>

class DeviceTable;

// The user's actions on one device as the store sees them, usable without a window (the MQTT commands call
// them): each changes the record in memory and writes the changed values to the device's key at once. They
// leave the on-screen lists alone; the caller redraws. Each returns true when it changed something.
namespace DeviceActions {

// Acknowledge: the device is no longer new ("New_Device" = "False").
bool Acknowledge(DeviceTable& devices, qint32 slot);
// Move to the safe list: acknowledged and no longer an intruder ("New_Device", then "Intruder" = "False").
bool MoveToSafe(DeviceTable& devices, qint32 slot);
// Move back to the intruder list ("Intruder" = "True"); it stays acknowledged. holdReminder is set when the
// still-online reminder is to be held back: no other intruder exists, or one of them is online.
bool MoveToIntruders(DeviceTable& devices, qint32 slot, bool& holdReminder);
// The friendly name ("Friendly_Name"), through the one name filter: a refused name is logged and not kept.
bool Rename(DeviceTable& devices, qint32 slot, const QString& name);

} // namespace DeviceActions
