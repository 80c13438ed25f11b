#pragma once

#include "FakeNetPlatform.h"
#include "Skip.h"
#include "TestHome.h"
#include "app/MonitorCore.h"
#include "mainwindow/AlarmPresenter.h"
#include "mainwindow/MainWindow.h"
#include "platform/Clock.h"
#include "store/NetworkBook.h"

#include <QDateTime>
#include <QStringList>
#include <memory>

// One main window on a real hive in a private home, started through its whole start-up with the engine on
// FakeNetPlatform (a 198.18.0.0/24 adapter, nothing reaches a network) and a manual clock. The window's and
// the engine's timers are stopped after start-up: tests call the ticks themselves. Pages, fatal messages and
// the process's end are recorded instead of happening.
class WindowRig final
{
public:
    struct Device
    {
        QString mac;
        QString ip;
        bool intruder = true;
        bool isNew = true;
        QString friendly;
        QString host = QStringLiteral("Unknown Device");
        QDateTime firstSeen = QDateTime(QDate(2024, 3, 1), QTime(9, 0, 0));
        QDateTime lastOnline = QDateTime(QDate(2024, 3, 4), QTime(18, 30, 5));
        QDateTime lastOffline = QDateTime(QDate(1980, 1, 1), QTime(0, 0, 0));
        QString network; // the network it was admitted on (NetworkBook id); none when empty
    };
    static const QDateTime kStart;
    // Device i of a test: MAC 02-00-00-00-00-<i in hex>, address 198.18.<i / 256>.<i % 256>.
    static QString mac(int i);
    static QStringList macs(std::initializer_list<int> ids);
    static Device device(int i, bool intruder = true, bool isNew = false);

    explicit WindowRig(const AppPaths* paths = nullptr);
    // Stores the devices and starts, timers stopped.
    explicit WindowRig(const QList<Device>& stored);
    // "n1 i2 s8 i10-20": device 1 a new intruder, 2 an acknowledged intruder, 8 on the safe list, 10 to 20
    // acknowledged intruders.
    static QList<Device> deviceList(const QString& layout);
    ~WindowRig();

    // Writes devices into the store before start (in the store's own key order they load later).
    void store(const QList<Device>& devices);
    // Writes networks into the store before start, as the engine keeps them.
    void storeNetworks(const QList<NetworkBook::Network>& networks);
    // Runs the window's start-up; returns what Form_Load returned.
    int start(bool stopTimers = true);

    MainWindow& w() { return *window; }
    DeviceStore& devices() { return core->devices(); }
    QStringList intruderMacs() const { return macsOf(0); }
    QStringList allowedMacs() const { return macsOf(1); }
    QString selectedMac() const;
    // Marks a device present (countdown 2) or absent and tells the window, as the harvest does.
    void setOnline(const QString& mac, bool online);
    // The lists and the table agree; the failures as text, empty when consistent.
    QString inconsistency() const;

    // Read back through a second connection to the hive file, as another process would: a device's value by
    // its MAC, or a GENERAL value by Keys::General.
    std::optional<QString> stored(const QString& macOrGeneral, const QString& value) const;
    bool storedKey(const QString& mac) const;

    TestHome home;
    AppPaths paths;
    ManualClock clock {kStart};
    FakeNetPlatform* net = nullptr; // owned by the engine once started
    std::unique_ptr<MonitorCore> core;
    std::unique_ptr<MainWindow> window;
    QList<QUrl> openedUrls;
    QStringList criticals;
    int quits = 0;
    // The notification area the window sees, the browser's answer, and the Delete key's confirmations.
    bool trayHost = true;
    bool browserOpens = true;
    bool confirmAnswer = true;
    QStringList questions;

private:
    QStringList macsOf(int list) const; // by row
};

// A probe that answers from a script: ports 80 and 443 answer Open after 3 ms, port 22 answers Closed after
// 5 ms, the rest stay silent until finish() is called.
class ScriptedProbe final : public ReachabilityProbe
{
public:
    void start(const QString& ip, const QList<quint16>& ports, int timeoutMs) override;
    void cancel() override { }
    void finish();

    static inline QStringList targets;
    static inline ScriptedProbe* last = nullptr;
    QList<quint16> pending;
};
