#include "WindowRig.h"

#include "mainwindow/DeviceListModel.h"

#include "engine/DiscoveryEngine.h"
#include "platform/Hive.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QTest>

const QDateTime WindowRig::kStart = QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0));

QString WindowRig::mac(int i)
{
    return QStringLiteral("02-00-00-00-00-%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
}

QStringList WindowRig::macs(std::initializer_list<int> ids)
{
    QStringList list;
    for (int i : ids)
        list << mac(i);
    return list;
}

WindowRig::Device WindowRig::device(int i, bool intruder, bool isNew)
{
    Device d;
    d.mac = mac(i);
    d.ip = QStringLiteral("198.18.%1.%2").arg(i / 256).arg(i % 256);
    d.intruder = intruder;
    d.isNew = isNew;
    return d;
}

WindowRig::WindowRig(const AppPaths* given)
    : paths(given ? *given : home.paths())
{
    kwclock::install(&clock);
}

WindowRig::WindowRig(const QList<Device>& stored)
    : WindowRig()
{
    store(stored);
    start();
}

QList<WindowRig::Device> WindowRig::deviceList(const QString& layout)
{
    QList<Device> list;
    for (const QString& d : layout.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList range = d.mid(1).split(QLatin1Char('-'));
        for (int i = range.first().toInt(); i <= range.last().toInt(); ++i)
            list << device(i, d[0] != QLatin1Char('s'), d[0] == QLatin1Char('n'));
    }
    return list;
}

WindowRig::~WindowRig()
{
    window.reset();
    core.reset();
    kwclock::install(nullptr);
}

void WindowRig::store(const QList<Device>& devices)
{
    paths.prepareHome();
    auto opened = Hive::open(paths.hiveFile());
    QVERIFY2(opened.hive, qPrintable(opened.error));
    Hive* previous = KeyStore::attached();
    KeyStore::attach(opened.hive.get());
    for (const Device& d : devices) {
        const QString key = Keys::deviceKey(d.mac);
        const auto w = [&](const char* name, const QString& text) {
            KeyStore::writeString(KeyStore::ProductKey, key, QLatin1String(name), text);
        };
        KeyStore::createKey(KeyStore::ProductKey, key);
        w("IP_Address", d.ip);
        w("Host_Name", d.host);
        w("Friendly_Name", d.friendly);
        w("New_Device", TextForms::boolText(d.isNew));
        w("Intruder", TextForms::boolText(d.intruder));
        w("First_Seen", TextForms::dateText(d.firstSeen));
        w("Last_Online", TextForms::dateText(d.lastOnline));
        w("Last_Offline", TextForms::dateText(d.lastOffline));
        w("Mac_Type", QStringLiteral("3"));
        if (!d.network.isEmpty())
            w("Network", d.network);
    }
    KeyStore::attach(previous);
}

void WindowRig::storeNetworks(const QList<NetworkBook::Network>& networks)
{
    paths.prepareHome();
    auto opened = Hive::open(paths.hiveFile());
    QVERIFY2(opened.hive, qPrintable(opened.error));
    Hive* previous = KeyStore::attached();
    KeyStore::attach(opened.hive.get());
    for (const NetworkBook::Network& n : networks) {
        const QString key = NetworkBook::StoreKey + QLatin1Char('\\') + n.id;
        KeyStore::createKey(KeyStore::ProductKey, key);
        const auto w = [&](const char* name, const QString& text) {
            KeyStore::writeString(KeyStore::ProductKey, key, QLatin1String(name), text);
        };
        w("Subnet", n.subnet);
        w("Gateway_MAC", n.gatewayMac);
        w("Gateway_IP", n.gatewayIp);
        w("Watch", NetworkBook::watchWord(n.watch));
        w("Name", n.name);
    }
    KeyStore::attach(previous);
}

int WindowRig::start(bool stopTimers)
{
    core = std::make_unique<MonitorCore>(paths);
    MainWindow::Services services;
    services.openUrl = [this](const QUrl& url) {
        openedUrls.append(url);
        return browserOpens;
    };
    services.trayAvailable = [this] { return trayHost; };
    services.confirm = [this](const QString& question) {
        questions << question;
        return confirmAnswer;
    };
    services.critical = [this](const QString& message) { criticals.append(message); };
    services.quit = [this] { ++quits; };
    services.makeProbe = [] { return std::make_unique<ScriptedProbe>(); };
    window = std::make_unique<MainWindow>(*core, services);
    auto fake = std::make_unique<FakeNetPlatform>();
    fake->addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
    net = fake.get();
    const int result = window->Form_Load(std::move(fake));
    if (stopTimers) {
        window->animationTimer().stop();
        window->alarmTimer().stop();
        if (core->engine())
            core->engine()->pingTimer().stop();
    }
    return result;
}

QStringList WindowRig::macsOf(int list) const
{
    QStringList macs;
    for (qint32 r = 0; r < window->listRows(list).rowCount(); ++r)
        macs << window->listRows(list).macAt(r);
    return macs;
}

QString WindowRig::selectedMac() const
{
    const DeviceRecord* d = window->selectedDevice();
    return d ? d->MacAddress : QString();
}

void WindowRig::setOnline(const QString& mac, bool online)
{
    DeviceRecord* d = core->devices().find(mac);
    QVERIFY(d);
    d->PresenceCountdown = online ? 2 : 0;
    DeviceEvent event;
    event.kind = online ? DeviceEvent::Kind::Online : DeviceEvent::Kind::Offline;
    event.mac = mac;
    window->deviceEvent(event);
}

QString WindowRig::inconsistency() const
{
    // Unfiltered, the lists show every device of the networks shown once, in its own list, the new intruders on
    // top.
    QStringList problems;
    const DeviceStore& t = core->devices();
    QStringList shown = macsOf(0) + macsOf(1);
    const auto& networks = window->listRows(0).networks();
    qint32 due = 0;
    for (const DeviceRecord& d : t) {
        const int times = networks && !d.Network.isEmpty() && !networks->contains(d.Network) ? 0 : 1;
        due += times;
        if (shown.count(d.MacAddress) != times)
            problems << QStringLiteral("%1 shown %2 times").arg(d.MacAddress).arg(shown.count(d.MacAddress));
    }
    if (shown.size() != due)
        problems << QStringLiteral("%1 rows for %2 devices").arg(shown.size()).arg(due);
    bool acknowledgedSeen = false;
    for (qint32 list = 0; list < 2; ++list) {
        for (qint32 r = 0; r < window->listRows(list).rowCount(); ++r) {
            const DeviceRecord& d = *t.find(window->listRows(list).macAt(r));
            if (d.Intruder != (list == 0))
                problems << QStringLiteral("%1 in the wrong list").arg(d.MacAddress);
            if (list == 0 && d.NewDevice && acknowledgedSeen)
                problems << QStringLiteral("new intruder below an acknowledged one at row %1").arg(r);
            acknowledgedSeen = acknowledgedSeen || !d.NewDevice;
        }
    }
    return problems.join(QStringLiteral("; "));
}

namespace {

QString keyPath(const QString& macOrGeneral)
{
    return KeyStore::fullKeyPath(
        KeyStore::ProductKey, macOrGeneral == Keys::General ? Keys::General : Keys::deviceKey(macOrGeneral));
}

} // namespace

std::optional<QString> WindowRig::stored(const QString& macOrGeneral, const QString& value) const
{
    auto opened = Hive::open(paths.hiveFile());
    return opened.hive ? opened.hive->value(keyPath(macOrGeneral), value) : std::nullopt;
}

bool WindowRig::storedKey(const QString& mac) const
{
    auto opened = Hive::open(paths.hiveFile());
    return opened.hive && opened.hive->keyExists(keyPath(mac));
}

void ScriptedProbe::start(const QString& ip, const QList<quint16>& ports, int)
{
    last = this;
    targets << ip;
    pending.clear();
    for (quint16 port : ports) {
        if (port == 80 || port == 443)
            Q_EMIT portChecked(port, PortState::Open, 3);
        else if (port == 22)
            Q_EMIT portChecked(port, PortState::Closed, 5);
        else
            pending << port;
    }
}

void ScriptedProbe::finish()
{
    for (quint16 port : std::as_const(pending))
        Q_EMIT portChecked(port, PortState::Silent, 1500);
    pending.clear();
    Q_EMIT finished();
}
