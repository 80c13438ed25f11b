#pragma once

#include "devicefile/DeviceExport.h"
#include "platform/AppPaths.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QDateTime>
#include <QString>
#include <memory>

class Hive;

// What kestrelwatch-ctl's commands share: the store they open, its devices, the printing and the text forms
// a script reads (MACs as the store keeps them, ISO 8601 times).
namespace Ctl {

void out(const QString& text); // one line on stdout
void err(const QString& text); // "kestrelwatch-ctl: " and one line on stderr

// The store of a home, opened and attached to KeyStore for the process's life, its settings and devices
// loaded. A reading command on a home without a store gets an empty one in memory and creates no file.
class Store final
{
public:
    enum class Mode { Read, Write };
    Store(AppPaths paths, Mode mode);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    const AppPaths& paths() const { return m_paths; }
    Hive* hive() { return m_hive.get(); }
    DeviceStore& devices() { return m_devices; }
    LiveSettings& settings() { return m_settings; }
    // Whether a monitor holds this home now; only then does a device's stored state say it is online.
    bool monitorRunning() const { return m_monitorRunning; }
    bool online(const DeviceRecord& d) const;
    // The device of a MAC in any usual form (00:0c:41:a2:3b:7f, 00-0C-41-A2-3B-7F, 000c41a23b7f), or null.
    DeviceRecord* find(const QString& mac);

private:
    AppPaths m_paths;
    std::unique_ptr<Hive> m_hive;
    DeviceStore m_devices;
    LiveSettings m_settings;
    QString m_error;
    bool m_monitorRunning = false;
};

// The text forms a script reads, the same as the export's.
using DeviceExport::isoTime;
using DeviceExport::parseIsoTime;
// A device's name as the lists show it: its friendly name, else its host name.
QString shownName(const DeviceRecord& d);

} // namespace Ctl
