#include "ctl/CtlStore.h"

#include "platform/Hive.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

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
    modRegistry::attach(m_hive.get());
    Load_Registry(m_settings, m_devices, QString(), {});
    // Dates another locale wrote (a service's) read here too.
    for (qint32 i = 0; i < m_devices.DeviceCount; ++i) {
        DeviceRecord& d = m_devices[i];
        const QString key = Keys::deviceKey(d.MacAddress);
        for (const auto& [name, field] : {std::pair {"Last_Online", &DeviceRecord::LastOnline},
                 std::pair {"Last_Offline", &DeviceRecord::LastOffline},
                 std::pair {"First_Seen", &DeviceRecord::FirstSeen}}) {
            if (const auto when = TextForms::parseDateAnyLocale(
                    modRegistry::ReadString(modRegistry::ProductKey, key, QString::fromLatin1(name))))
                d.*field = *when;
        }
    }
}

Store::~Store()
{
    modRegistry::attach(nullptr);
}

bool Store::online(const DeviceRecord& d) const
{
    // The harvest dates Last_Offline after Last_Online when it finds a device gone, and the other way round.
    return m_monitorRunning && d.LastOnline > d.LastOffline;
}

qint32 Store::find(const QString& mac) const
{
    const QString wanted = normalisedMac(mac);
    if (wanted.isEmpty())
        return -1;
    for (qint32 i = 0; i < m_devices.DeviceCount; ++i) {
        if (m_devices[i].MacAddress.compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString shownName(const DeviceRecord& d)
{
    return d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
}

} // namespace Ctl
