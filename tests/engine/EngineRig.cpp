#include "EngineRig.h"

#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

#include <stdexcept>

const QDateTime EngineRig::kStart = QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0));

void RecordingWindow::record(const QString& line)
{
    calls << line;
    if (!failOn.isEmpty() && line.startsWith(failOn))
        throw std::runtime_error("window call failed: " + line.toStdString());
}

void RecordingWindow::setLastIntruderWarning(const QDateTime& when)
{
    lastIntruderWarning = when;
    record(QStringLiteral("setLastIntruderWarning"));
}

int RecordingWindow::entries(qint32 index, const QString& text) const
{
    const QString prefix = QStringLiteral("AddLogEntry %1 ").arg(index);
    int n = 0;
    for (const QString& c : calls)
        n += c.startsWith(prefix) && c.endsWith(QLatin1Char('\t') + text) ? 1 : 0;
    return n;
}

EngineRig::EngineRig()
{
    hive = Hive::open(home.paths().hiveFile()).hive;
    modRegistry::attach(hive.get());
    kwclock::install(&clock);
}

EngineRig::~EngineRig()
{
    engine.Shutdown();
    kwclock::install(nullptr);
    modRegistry::attach(nullptr);
}

void EngineRig::load()
{
    engine.Load();
    engine.pingTimer().stop();
}

void EngineRig::tick(int count)
{
    for (int i = 0; i < count; ++i) {
        clock.advanceMSecs(clockStepMs);
        engine.tmrPingTimer_Timer();
    }
}

int EngineRig::runToHarvest(int maxTicks)
{
    const int before = window.count(QStringLiteral("ShowStatus"));
    for (int i = 1; i <= maxTicks; ++i) {
        tick();
        if (window.count(QStringLiteral("ShowStatus")) > before)
            return i;
    }
    return -1;
}

QStringList EngineRig::nextSweep()
{
    window.calls.clear();
    if (runToHarvest() < 0)
        return {QStringLiteral("no harvest")};
    return window.calls;
}

qint32 EngineRig::addLoadedDevice(
    const QString& mac, const QString& ip, bool intruder, const QDateTime& lastOnline, const QDateTime& lastOffline)
{
    const qint32 index = devices.DeviceCount;
    devices.DeviceCount = index + 1;
    devices.ResizeDeviceTable(devices.DeviceCount);
    DeviceRecord& d = devices[index];
    d = DeviceRecord::empty();
    d.MacAddress = mac;
    d.IpAddress = ip;
    d.HostName = QStringLiteral("Unknown Device");
    d.NewDevice = intruder;
    d.Intruder = intruder;
    d.NameLookupPending = true;
    d.FirstSeen = kStart.addDays(-1);
    d.LastOnline = lastOnline.isValid() ? lastOnline : kStart.addDays(-1);
    d.LastOffline = lastOffline.isValid() ? lastOffline : kStart.addSecs(-3600);
    devices.macChanged();
    return index;
}

bool EngineRig::answer(const QString& name, int error)
{
    const QList<int> pending = net.pendingLookups();
    return pending.size() == 1 && net.completeLookup(pending.first(), error, name);
}

QString EngineRig::stored(const QString& mac, const QString& value) const
{
    return modRegistry::ReadString(modRegistry::ProductKey, Keys::deviceKey(mac), value, QStringLiteral("<missing>"));
}

QDateTime EngineRig::now() const
{
    const QDateTime t = clock.now();
    return t.addMSecs(-t.time().msec());
}

QString EngineRig::stamp(const QDateTime& when)
{
    return TextForms::dateText(when) + QLatin1Char('\t');
}

QString EngineRig::entry(qint32 index, const QDateTime& when, const QString& text)
{
    return QStringLiteral("AddLogEntry %1 ").arg(index) + stamp(when) + text;
}
