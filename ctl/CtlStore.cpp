#include "ctl/CtlStore.h"

#include "platform/Hive.h"
#include "store/KeyStore.h"
#include "store/MacAddress.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QFileInfo>
#include <QLockFile>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace Ctl {

void out(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

void err(const QString& text)
{
    std::fputs(("kestrelwatch-ctl: " + text).toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

Store::Store(AppPaths paths, Mode mode)
    : m_paths(std::move(paths))
{
    QLockFile lock(m_paths.lockFile());
    qint64 pid = 0;
    QString host;
    QString app;
    if (lock.getLockInfo(&pid, &host, &app) && pid > 0)
        m_monitorRunning = ::kill(pid_t(pid), 0) == 0 || errno == EPERM;

    if (mode == Mode::Read && !QFileInfo::exists(m_paths.hiveFile()))
        return;
    if (mode == Mode::Write) {
        const QString problem = m_paths.prepareHome();
        if (!problem.isEmpty()) {
            m_error = QStringLiteral("cannot use %1: %2").arg(m_paths.home, problem);
            return;
        }
    }
    Hive::OpenResult opened = Hive::open(m_paths.hiveFile());
    if (!opened.hive) {
        m_error = opened.error;
        return;
    }
    m_hive = std::move(opened.hive);
    KeyStore::attach(m_hive.get());
    // Dates of an earlier release are read in memory only: this locale may not be the one that wrote them,
    // and the monitor rewrites them at its start.
    loadStore(m_settings, m_devices, QString(), OldDates::Keep);
}

Store::~Store()
{
    KeyStore::attach(nullptr);
}

bool Store::online(const DeviceRecord& d) const
{
    // The harvest dates Last_Offline after Last_Online when it finds a device gone, and the other way round.
    return m_monitorRunning && d.LastOnline > d.LastOffline;
}

DeviceRecord* Store::find(const QString& mac)
{
    const QString wanted = MacAddress::canonical(mac);
    if (wanted.isEmpty())
        return nullptr;
    if (DeviceRecord* d = m_devices.find(wanted))
        return d;
    for (DeviceRecord& d : m_devices) {
        if (d.MacAddress.compare(wanted, Qt::CaseInsensitive) == 0)
            return &d;
    }
    return nullptr;
}

QString shownName(const DeviceRecord& d)
{
    return d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
}

} // namespace Ctl
