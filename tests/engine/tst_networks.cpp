// Networks, plural: identity by the gateway's MAC with the subnet, a replaced router taken for the same network
// only while most of its devices still answer, a spoofed gateway naming no network, and a network nobody chose to
// watch admitting nobody, alerting nothing and leaving the devices at home out of sight.

#include "EngineRig.h"
#include "LogCapture.h"
#include "Skip.h"
#include "store/KeyStore.h"
#include "store/NetworkBook.h"
#include "store/Settings.h"

#include <QSignalSpy>
#include <QTest>

namespace {
const QString kHome = QStringLiteral("198.18.0.5/24 gw 198.18.0.1");
const QString kAway = QStringLiteral("198.18.8.5/24 gw 198.18.8.1");
const QString kRouter1 = QStringLiteral("02-00-00-00-01-01");
const QString kRouter2 = QStringLiteral("02-00-00-00-01-02");
const QString kHomeNet = kRouter1 + QStringLiteral(" 198.18.0.0/24");
const QStringList kHomeDevices {"02-AA-00-00-00-07", "02-AA-00-00-00-08", "02-AA-00-00-00-09"};

// One sweep with the given hosts answering (MAC -> address); its events without the harvest marks.
QStringList sweep(EngineRig& rig, const QList<std::pair<QString, QString>>& hosts)
{
    for (const auto& [mac, ip] : hosts)
        rig.net.addNeighbour(mac, ip);
    QStringList calls = rig.nextSweep();
    calls.removeAll(QStringLiteral("harvested"));
    return calls;
}

QList<std::pair<QString, QString>> home(const QString& router, int devices)
{
    QList<std::pair<QString, QString>> out {{router, QStringLiteral("198.18.0.1")}};
    for (int d = 0; d < devices; ++d)
        out.append({kHomeDevices.at(d), QStringLiteral("198.18.0.%1").arg(7 + d)});
    return out;
}

const QList<std::pair<QString, QString>> kCafe {{QStringLiteral("02-00-00-00-08-01"), QStringLiteral("198.18.8.1")},
    {QStringLiteral("02-CC-00-00-00-07"), QStringLiteral("198.18.8.7")},
    {QStringLiteral("02-CC-00-00-00-08"), QStringLiteral("198.18.8.8")}};

void startHome(EngineRig& rig)
{
    rig.net.addAdapter(kHome);
    rig.load();
    sweep(rig, home(kRouter1, 3));
    sweep(rig, home(kRouter1, 3));
}
} // namespace

class TestNetworks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void carriedAwayAndBack_data()
    {
        QTest::addColumn<QString>("policy"); // the store's WatchNetworks; empty: the front end's default, asked
        QTest::addColumn<QString>("answer"); // what the user answers when asked; empty: nothing
        QTest::addColumn<bool>("watchedAway");
        QTest::newRow("asked, unanswered") << ""
                                           << "" << false;
        QTest::newRow("asked, never") << "asked"
                                      << "never" << false;
        QTest::newRow("asked, watch") << "asked"
                                      << "watched" << true;
        QTest::newRow("all: a server watches wherever it is") << "all"
                                                              << "" << true;
    }

    void carriedAwayAndBack()
    {
        QFETCH(QString, policy);
        QFETCH(QString, answer);
        QFETCH(bool, watchedAway);
        EngineRig rig;
        rig.engine.setNetworkPolicyDefault(NetworkBook::Policy::Asked);
        if (!policy.isEmpty())
            KeyStore::writeString(KeyStore::ProductKey, Keys::General, NetworkBook::PolicyValue, policy);
        startHome(rig);
        QCOMPARE(rig.devices.size(), 4); // the first network of all is watched unasked
        QCOMPARE(rig.devices.find(kHomeDevices.first())->Network, kHomeNet);
        QCOMPARE(rig.stored(kHomeDevices.first(), QStringLiteral("Network")), kHomeNet);
        QSignalSpy joined(&rig.engine, &DiscoveryEngine::networkJoined);

        // Carried to another network: its router and strangers answer, the home devices cannot.
        rig.net.scriptedAdapters().clear();
        rig.net.addAdapter(kAway);
        QStringList events = sweep(rig, kCafe);
        QCOMPARE(joined.size(), watchedAway && policy == QLatin1String("all") ? 0 : 1);
        if (!answer.isEmpty())
            rig.engine.answerNetwork(joined.first().first().toString(), *NetworkBook::parseWatch(answer));
        for (int s = 0; s < 3; ++s)
            events += sweep(rig, kCafe);
        QCOMPARE(events.filter(QStringLiteral("Offline")), QStringList());
        QCOMPARE(events.filter(QStringLiteral("Admitted")).size(), watchedAway ? 3 : 0);
        QCOMPARE(events.filter(QStringLiteral("intruder")).isEmpty(), !watchedAway);
        QCOMPARE(joined.size(), watchedAway && policy == QLatin1String("all") ? 0 : 1); // asked once

        // Home again: nothing but what really changed while the monitor could see.
        rig.net.scriptedAdapters().clear();
        rig.net.addAdapter(kHome);
        events.clear();
        for (int s = 0; s < 4; ++s)
            events += sweep(rig, home(kRouter1, 3));
        QCOMPARE(events, QStringList());
        QCOMPARE(rig.engine.networks().all().size(), 2);
    }

    void replacedRouter_data()
    {
        QTest::addColumn<int>("answering"); // home devices answering with the new router
        QTest::addColumn<bool>("same");
        QTest::newRow("all of them: the same network") << 3 << true;
        QTest::newRow("two of three: the same network") << 2 << true;
        QTest::newRow("one of three: another network") << 1 << false;
    }

    void replacedRouter()
    {
        QFETCH(int, answering);
        QFETCH(bool, same);
        EngineRig rig;
        startHome(rig);
        // The old router leaves; its address is free after the gateway's hold (two minutes).
        rig.clockStepMs = 2000;
        sweep(rig, home({}, 3).mid(1));
        sweep(rig, home({}, 3).mid(1));
        rig.clockStepMs = 100;
        rig.log.clear();
        QList<std::pair<QString, QString>> hosts = home(kRouter2, answering);
        sweep(rig, hosts);
        const QStringList changed = rig.log.lines().filter(QStringLiteral("gateway of 198.18.0.0/24 changed"));
        QCOMPARE(changed.size(), same ? 1 : 0);
        QCOMPARE(rig.engine.networks().all().size(), same ? 1 : 2);
        QCOMPARE(rig.engine.networkOfRange(0), same ? kHomeNet : kRouter2 + QStringLiteral(" 198.18.0.0/24"));
        const DeviceRecord* router = rig.devices.find(kRouter2);
        QVERIFY(router && !router->Intruder);
        sweep(rig, hosts);
        QCOMPARE(rig.log.lines().filter(QStringLiteral("changed")).size(), same ? 1 : 0); // said once
    }

    // A second MAC answering for the gateway while its own is about is an impostor, not another network.
    void spoofedGatewayNamesNoNetwork()
    {
        EngineRig rig;
        rig.engine.setNetworkPolicyDefault(NetworkBook::Policy::Asked);
        startHome(rig);
        QSignalSpy joined(&rig.engine, &DiscoveryEngine::networkJoined);
        QList<std::pair<QString, QString>> hosts = home(kRouter1, 3);
        hosts.append({kRouter2, QStringLiteral("198.18.0.1")});
        const QStringList events = sweep(rig, hosts);
        QVERIFY2(events.contains(QStringLiteral("Admitted 4 198.18.0.1 intruder impersonation")),
            qPrintable(events.join(QLatin1Char('\n'))));
        QCOMPARE(joined.size(), 0);
        QCOMPARE(rig.engine.networkOfRange(0), kHomeNet);
    }

    void storedForm()
    {
        EngineRig rig;
        NetworkBook book;
        const auto first = book.resolve(QStringLiteral("198.18.0.0/24"), kRouter1, QStringLiteral("198.18.0.1"),
            NetworkBook::Policy::Asked, EngineRig::kStart, {});
        const auto second = book.resolve(
            QStringLiteral("198.18.8.0/24"), QString(), QString(), NetworkBook::Policy::Asked, EngineRig::kStart, {});
        QVERIFY(first.created && second.created);
        QCOMPARE(second.id, QStringLiteral("- 198.18.8.0/24"));
        QVERIFY(book.setWatch(second.id, NetworkBook::Watch::Never));
        // A name heads the header's title, kept through the name filter; without one, the subnet and its gateway.
        QCOMPARE(book.setName(first.id, QStringLiteral(" Home network ")), std::nullopt);
        QVERIFY(book.setName(second.id, QStringLiteral("Caf\u00E9\u202E")).value_or(QString()).contains("U+202E"));
        NetworkBook again;
        again.load();
        QCOMPARE(NetworkBook::title(*again.find(kHomeNet)), QStringLiteral("Home network \u2014 198.18.0.0/24"));
        QCOMPARE(NetworkBook::title(*again.find(second.id)), QStringLiteral("198.18.8.0/24"));
        NetworkBook::Network unnamed = *again.find(kHomeNet);
        unnamed.name.clear();
        QCOMPARE(NetworkBook::title(unnamed), QStringLiteral("198.18.0.0/24 \u00B7 gateway 198.18.0.1"));
        // A name another program stored that the filter refuses is not shown, and the log says why.
        KeyStore::writeString(KeyStore::ProductKey, NetworkBook::StoreKey + QStringLiteral("\\") + kHomeNet,
            QStringLiteral("Name"), QStringLiteral("Home\u202Eemoh"));
        {
            LogCapture log;
            again.load();
            QCOMPARE(again.find(kHomeNet)->name, QString());
            QCOMPARE(log.tagged(QStringLiteral("Networks - ")).filter(QStringLiteral("U+202E")).size(), 1);
        }
        QCOMPARE(again.all().size(), 2);
        QCOMPARE(again.find(kHomeNet)->watch, NetworkBook::Watch::Watched);
        QCOMPARE(again.findByText(QStringLiteral("198.18.8.0/24"))->watch, NetworkBook::Watch::Never);
        QCOMPARE(again.find(kHomeNet)->firstSeen, EngineRig::kStart);
        QVERIFY(again.forget(kHomeNet));
        again.load();
        QCOMPARE(again.all().size(), 1);
        QVERIFY(!NetworkBook::parseWatch(QStringLiteral("sometimes")));
        QVERIFY(!NetworkBook::parsePolicy(QStringLiteral("some")));
    }
};

KW_TEST_GUILESS_MAIN(TestNetworks)
#include "tst_networks.moc"
