#pragma once

#include <QJsonObject>
#include <QString>

struct DeviceRecord;

// The device as a JSON object, the same for `kestrelwatch-ctl list --json`, the web API and its event stream:
// mac, address, name (the friendly name, else the host name), host_name, vendor, list, new, online, first_seen,
// last_seen (ISO 8601 with the offset, null for never), watch, type, model, os with where each came from
// (type_source, model_source, os_source), former_macs, note and network.
namespace DeviceJson {

// online is the caller's: the monitor knows it, ctl knows it only while a monitor runs on the store.
QJsonObject object(const DeviceRecord& d, const QString& vendor, bool online);

} // namespace DeviceJson
