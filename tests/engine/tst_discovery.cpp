// What devices offer and announce: DNS-SD answers, SSDP datagrams and UPnP descriptions read by the pure parsers
// (tables of messages as devices send them, and malformed ones), and the engine asking a device step by step,
// hearing announcements only from a device's own address and fetching only its own description.

#include "EngineRig.h"
#include "Skip.h"
#include "engine/Describer.h"
#include "recognition/ServiceClues.h"
#include "recognition/UpnpClues.h"

#include <QTest>

namespace {
const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");

QByteArray name(const QByteArray& dotted)
{
    QByteArray out;
    for (const QByteArray& label : dotted.split('.'))
        out += char(label.size()) + label;
    return out + '\0';
}

QByteArray u16(int v)
{
    return QByteArray(1, char(v >> 8)) + char(v & 0xff);
}

// A response as responders send it: records "owner TYPE data" with PTR's target, TXT's strings by '|', SRV's
// port and host, A's address.
QByteArray response(quint16 id, const QStringList& records)
{
    QByteArray out = u16(id) + u16(0x8400) + u16(0) + u16(int(records.size())) + u16(0) + u16(0);
    for (const QString& r : records) {
        const QStringList f = r.split(QLatin1Char(' '));
        const QByteArray owner = f[0].toUtf8();
        const QString data = f.mid(2).join(QLatin1Char(' '));
        QByteArray rdata;
        int type = 0;
        if (f[1] == QLatin1String("PTR")) {
            type = 12;
            rdata = name(data.toUtf8());
        } else if (f[1] == QLatin1String("TXT")) {
            type = 16;
            for (const QString& s : data.split(QLatin1Char('|')))
                rdata += char(s.toUtf8().size()) + s.toUtf8();
        } else if (f[1] == QLatin1String("SRV")) {
            type = 33;
            rdata = u16(0) + u16(0) + u16(f[2].toInt()) + name(f[3].toUtf8());
        } else {
            type = 1;
            rdata = QByteArray::fromHex(f[2].toLatin1());
        }
        out += name(owner) + u16(type) + u16(0x8001) + u16(0) + u16(120) + u16(int(rdata.size())) + rdata;
    }
    return out;
}

QString shown(const Clue& c)
{
    return QStringList {DeviceKind::typeWord(c.type), c.model, c.os}.join(QLatin1Char('|'));
}

const QByteArray kSonos = R"(<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0"><specVersion><major>1</major></specVersion>
<device><deviceType>urn:schemas-upnp-org:device:ZonePlayer:1</deviceType><friendlyName>Kitchen</friendlyName>
<manufacturer>Sonos, Inc.</manufacturer><modelName>Sonos Play:1</modelName>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:MediaRenderer:1</deviceType>
<modelName>inner</modelName></device></deviceList></device></root>)";
} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // One instance's service and TXT strings (by '|'), as a device answers them, to its clue.
    void services_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("clue");
        const auto offer = [](const char* service, const char* txt) {
            const QString instance = QStringLiteral("Dev.%1.local").arg(QLatin1String(service));
            return QStringList {QStringLiteral("%1.local PTR %2").arg(QLatin1String(service), instance),
                QStringLiteral("%1 TXT %2").arg(instance, QLatin1String(txt))};
        };
        QTest::newRow("Google speaker") << offer("_googlecast._tcp", "id=1|md=Google Home Mini|fn=Kitchen")
                                        << "speaker|Google Home Mini|";
        QTest::newRow("Chromecast") << offer("_googlecast._tcp", "md=Chromecast|fn=TV") << "tv|Chromecast|";
        QTest::newRow("Apple TV") << offer("_airplay._tcp", "model=AppleTV6,2") << "tv|AppleTV6,2|tvOS";
        QTest::newRow("HomePod") << offer("_raop._tcp", "am=AudioAccessory5,1")
                                 << "speaker|AudioAccessory5,1|HomePod software";
        QTest::newRow("MacBook") << offer("_device-info._tcp", "model=MacBookPro18,3")
                                 << "computer|MacBookPro18,3|macOS";
        QTest::newRow("iPhone") << offer("_companion-link._tcp", "rpMd=iPhone14,2") << "phone|iPhone14,2|iOS";
        QTest::newRow("Samba borrows a server's icon")
            << offer("_device-info._tcp", "model=Xserve") + offer("_smb._tcp", "") << "computer||";
        QTest::newRow("IPP printer") << offer("_ipp._tcp", "txtvers=1|ty=HP LaserJet M479fdw")
                                     << "printer|HP LaserJet M479fdw|";
        QTest::newRow("raw printer") << offer("_pdl-datastream._tcp", "product=(Brother HL-L2350DW)")
                                     << "printer|Brother HL-L2350DW|";
        QTest::newRow("HomeKit doorbell") << offer("_hap._tcp", "ci=18|md=Doorbell Pro") << "camera|Doorbell Pro|";
        QTest::newRow("HomeKit plug") << offer("_hap._tcp", "ci=7") << "smart-home||";
        QTest::newRow("Sonos") << offer("_sonos._tcp", "info=/api/v1") << "speaker||";
        QTest::newRow("Linux desktop") << offer("_workstation._tcp", "") + offer("_ssh._tcp", "") << "computer||Linux";
        QTest::newRow("printer beats workstation")
            << offer("_workstation._tcp", "") + offer("_ipps._tcp", "ty=Canon G600") << "printer|Canon G600|Linux";
        QTest::newRow("only the service types named")
            << QStringList {"_services._dns-sd._udp.local PTR _rfb._tcp.local"} << "computer||";
        QTest::newRow("nothing telling") << offer("_http._tcp", "path=/") << "unknown||";
    }
    void services()
    {
        QFETCH(QStringList, records);
        QFETCH(QString, clue);
        const dnsmsg::Records r = dnsmsg::parseRecords(response(7, records), quint16(7));
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        DeviceServices s;
        s.add(r.records);
        QCOMPARE(shown(s.clue()), clue);
    }

    // What a device calls itself, from records as devices send them: the owner's name first, MAC parts left out,
    // a host name only for the device's own address (198.18.0.7), a name every such device has only alone.
    void deviceNames_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("name");
        const QString anna =
            QStringLiteral("_companion-link._tcp.local PTR Anna\u2019s iPhone._companion-link._tcp.local");
        QTest::newRow("iPhone") << QStringList {anna, "Anna.local A c6120007"} << "Anna\u2019s iPhone";
        QTest::newRow("AirPlay speaker") << QStringList {"_raop._tcp.local PTR 0A1B2C3D4E5F@Kitchen._raop._tcp.local"}
                                         << "Kitchen";
        QTest::newRow("Chromecast by fn")
            << QStringList {"_googlecast._tcp.local PTR Chromecast-4d3b._googlecast._tcp.local",
                   "Chromecast-4d3b._googlecast._tcp.local TXT md=Chromecast|fn=Living Room TV"}
            << "Living Room TV";
        QTest::newRow("avahi workstation")
            << QStringList {"_workstation._tcp.local PTR anna-laptop [02:44:00:00:00:10]._workstation._tcp.local"}
            << "anna-laptop";
        QTest::newRow("own host name over a name every iPhone has")
            << QStringList {"_companion-link._tcp.local PTR iPhone._companion-link._tcp.local",
                   "iPhone._companion-link._tcp.local SRV 7000 proxy.local", "Annas-iPhone.local A c6120007"}
            << "Annas-iPhone";
        QTest::newRow("a name every iPhone has, alone")
            << QStringList {"_companion-link._tcp.local PTR iPhone._companion-link._tcp.local"} << "iPhone";
        QTest::newRow("another host's address") << QStringList {"Sleeping-Mac.local A c6120009"} << "";
        QTest::newRow("only a MAC") << QStringList {"_raop._tcp.local PTR 0A1B2C3D4E5F@._raop._tcp.local"} << "";
    }
    void deviceNames()
    {
        QFETCH(QStringList, records);
        const dnsmsg::Records r = dnsmsg::parseRecords(response(7, records), quint16(7));
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        DeviceServices s;
        s.add(r.records, 0xC6120007);
        QTEST(s.deviceName(), "name");
    }

    // Whatever is malformed is refused whole, with why.
    void malformedAnswers_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("error");
        const QByteArray good = response(7, {"_ipp._tcp.local PTR P._ipp._tcp.local"});
        QTest::newRow("another id") << response(8, {"_ipp._tcp.local PTR P._ipp._tcp.local"}) << "transaction id 8";
        QTest::newRow("cut short") << good.left(good.size() - 3) << "malformed record";
        QTest::newRow("a question") << QByteArray(good).replace(2, 2, u16(0)) << "not a standard answer";
        QTest::newRow("pointer forwards")
            << QByteArray(good).replace(12, 1, QByteArray::fromHex("c0")).replace(13, 1, QByteArray(1, char(60)))
            << "malformed record";
        QByteArray many = good;
        many.replace(6, 2, u16(200));
        QTest::newRow("too many records") << many << "200 records";
        QByteArray txt = response(7, {"P._ipp._tcp.local TXT ty=HP"});
        txt[txt.size() - 6] = char(40); // the first string's length runs past the record
        QTest::newRow("TXT string past its record") << txt << "malformed TXT record";
    }
    void malformedAnswers()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, error);
        const dnsmsg::Records r = dnsmsg::parseRecords(message, quint16(7));
        QVERIFY2(r.error.startsWith(error), qPrintable(r.error));
        QVERIFY(r.records.isEmpty());
    }

    void ssdp_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("read"); // "alive location target", or "" for nothing
        QTest::newRow("NOTIFY") << QByteArray(
            "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\n"
            "NTS: ssdp:alive\r\nLocation: http://198.18.0.7:1400/xml/d.xml\r\n\r\n")
                                << "1 http://198.18.0.7:1400/xml/d.xml upnp:rootdevice";
        QTest::newRow("byebye") << QByteArray("NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\nNTS: ssdp:byebye\r\n\r\n")
                                << "0  upnp:rootdevice";
        QTest::newRow("search answer")
            << QByteArray("HTTP/1.1 200 OK\r\nST: urn:dial-multiscreen-org:service:dial:1\r\n"
                          "LOCATION: http://198.18.0.8:8008/ssdp/device-desc.xml\r\n\r\n")
            << "1 http://198.18.0.8:8008/ssdp/device-desc.xml urn:dial-multiscreen-org:service:dial:1";
        QTest::newRow("a search") << QByteArray("M-SEARCH * HTTP/1.1\r\nST: ssdp:all\r\n\r\n") << "";
        QTest::newRow("header without colon") << QByteArray("NOTIFY * HTTP/1.1\r\nLOCATION\r\n\r\n") << "";
        QTest::newRow("too many headers") << "NOTIFY * HTTP/1.1\r\n" + QByteArray("X: y\r\n").repeated(65) << "";
        QTest::newRow("too long") << "NOTIFY * HTTP/1.1\r\nX: " + QByteArray(8200, 'y') << "";
    }
    void ssdp()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, read);
        const auto s = UpnpClues::parseSsdp(datagram);
        QCOMPARE(s ? QStringLiteral("%1 %2 %3")
                         .arg(int(s->alive))
                         .arg(QString::fromLatin1(s->location), QString::fromLatin1(s->target))
                   : QString(),
            read);
    }

    void locations_data()
    {
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<bool>("fetched");
        QTest::newRow("own address") << QByteArray("http://198.18.0.7:1400/d.xml") << true;
        QTest::newRow("own address, port 80") << QByteArray("http://198.18.0.7/d.xml") << true;
        QTest::newRow("another host") << QByteArray("http://198.18.0.9:1400/d.xml") << false;
        QTest::newRow("a name") << QByteArray("http://router.lan/d.xml") << false;
        QTest::newRow("https") << QByteArray("https://198.18.0.7/d.xml") << false;
        QTest::newRow("user in it") << QByteArray("http://x@198.18.0.7/d.xml") << false;
        QTest::newRow("file") << QByteArray("file:///etc/passwd") << false;
    }
    void locations()
    {
        QFETCH(QByteArray, location);
        QFETCH(bool, fetched);
        QCOMPARE(UpnpClues::locationOfSender(location, QStringLiteral("198.18.0.7")), fetched);
    }

    void descriptions_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("clue"); // or "error: ..."
        const auto doc = [](const char* type, const char* name, const char* maker, const char* model) {
            return QStringLiteral("<root><device><deviceType>urn:schemas-upnp-org:device:%1:1</deviceType>"
                                  "<friendlyName>%2</friendlyName><manufacturer>%3</manufacturer>"
                                  "<modelName>%4</modelName></device></root>")
                .arg(QLatin1String(type), QLatin1String(name), QLatin1String(maker), QLatin1String(model))
                .toUtf8();
        };
        QTest::newRow("Sonos, root device only") << kSonos << "unknown|Sonos Play:1|";
        QTest::newRow("maker not in model")
            << doc("MediaServer", "Disk", "Synology Inc.", "DS920+") << "nas|Synology Inc. DS920+|";
        QTest::newRow("renderer: speaker")
            << doc("MediaRenderer", "Living room", "Denon", "HEOS 1") << "speaker|Denon HEOS 1|";
        QTest::newRow("renderer that says TV")
            << doc("MediaRenderer", "[TV] Samsung 7 Series", "Samsung", "UE55") << "tv|Samsung UE55|";
        QTest::newRow("gateway") << doc("InternetGatewayDevice", "FRITZ!Box", "AVM", "FRITZ!Box 7590")
                                 << "router|AVM FRITZ!Box 7590|";
        QTest::newRow("maker in model") << doc("Printer", "Office", "HP", "HP OfficeJet 8010")
                                        << "printer|HP OfficeJet 8010|";
        QTest::newRow("DTD") << QByteArray("<!DOCTYPE r [<!ENTITY a \"aaaa\">]><root><device/></root>")
                             << "error: it holds a DTD";
        QTest::newRow("too deep") << "<root>" + QByteArray("<a>").repeated(40) << "error: nested deeper than 32";
        QTest::newRow("not XML") << QByteArray("<root><device><deviceType>x</root>") << "error: no well-formed XML";
        QTest::newRow("no device") << QByteArray("<root><specVersion/></root>") << "error: no root device";
        QTest::newRow("too long") << "<root>" + QByteArray(70000, ' ') + "</root>"
                                  << "error: longer than 65536 bytes";
    }
    void descriptions()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, clue);
        const UpnpClues::Description d = UpnpClues::parseDescription(xml);
        const QString got = d.error.isEmpty() ? shown(UpnpClues::clueOf(d)) : QStringLiteral("error: ") + d.error;
        QVERIFY2(got.startsWith(clue), qPrintable(got));
    }

    // The engine asks an online device step by step, takes announcements and NOTIFYs only from its own address,
    // and fetches only its own description, once. The name its answers give links it to the earlier device of
    // that name.
    void engineAsksAndListens()
    {
        EngineRig rig;
        rig.net.setDiscovery(true);
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        // The speaker's earlier life under another private MAC, on the safe list: its name tells it again.
        DeviceRecord& earlier =
            rig.addLoadedDevice(QStringLiteral("0A-11-22-33-44-55"), QStringLiteral("198.18.0.50"), false);
        std::tie(earlier.FriendlyName, earlier.MdnsName, earlier.NameLookupPending) =
            std::tuple(QStringLiteral("Kitchen speaker"), QStringLiteral("kitchen"), false);
        rig.load();
        rig.nextSweep();
        QCOMPARE(rig.net.listenedInterfaces(), QList<int> {2});
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"));
        rig.window.calls.clear();
        const auto answer = [&rig](const QStringList& records) {
            if (rig.net.mdnsQuestions().size() != 1 || rig.net.mdnsQuestions().first().ip != "198.18.0.7")
                return QByteArray("no one question to 198.18.0.7");
            const auto q = rig.net.mdnsQuestions().first();
            const quint16 id = quint16((quint8(q.query[0]) << 8) | quint8(q.query[1]));
            q.done(rig.net.mdnsQuestions().firstKey(), response(id, records));
            return q.query;
        };
        rig.tick(10);
        QVERIFY(answer({"_services._dns-sd._udp.local PTR _googlecast._tcp.local"})
                    .contains(name("_services._dns-sd._udp.local")));
        QVERIFY(answer({"_googlecast._tcp.local PTR Kitchen._googlecast._tcp.local"})
                    .contains(name("_googlecast._tcp.local")));
        // An answer with another id is ignored, with one line.
        const auto q = rig.net.mdnsQuestions().first();
        q.done(rig.net.mdnsQuestions().firstKey(), response(1, {"x._hap._tcp.local TXT ci=17"}));
        QCOMPARE(rig.log.lines().filter(QStringLiteral("DNS-SD answer of %1 ignored").arg(kMac)).size(), 1);
        answer({"Kitchen._googlecast._tcp.local TXT md=Google Home Mini|fn=Kitchen"});
        QVERIFY(rig.net.mdnsQuestions().isEmpty());
        QCOMPARE(rig.window.calls.join(QLatin1Char('|')),
            QStringLiteral("Described 1 198.18.0.7 type,model|LikelyReturn 1 Kitchen speaker 0A-11-22-33-44-55"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("MDNS_Name")), QStringLiteral("Kitchen"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Model")), QStringLiteral("Google Home Mini"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Model_Source")), QStringLiteral("mdns"));
        // Asked once: later ticks ask nobody.
        rig.tick(100);
        QVERIFY(rig.net.mdnsQuestions().isEmpty());
        QCOMPARE(rig.engine.describer().tally().questions, 3u);
        // A name the name door refuses, announced twice at a higher rank: one line, and the name stays.
        for (int i = 0; i < 2; ++i)
            rig.net.deliverDatagram({HeardDatagram::Kind::Mdns, 0xC6120007, 5353,
                response(0,
                    {QStringLiteral("_device-info._tcp.local PTR Kitchen%1\u202E._device-info._tcp.local").arg(i)})});
        QCOMPARE(rig.log.lines().filter(QStringLiteral("mDNS name of %1 refused").arg(kMac)).size(), 1);
        QCOMPARE(rig.stored(kMac, QStringLiteral("MDNS_Name")), QStringLiteral("Kitchen"));

        // SSDP from elsewhere counts for nobody; the device's own NOTIFY has its description fetched once.
        const QByteArray notify =
            "NOTIFY * HTTP/1.1\r\nNTS: ssdp:alive\r\nLOCATION: http://198.18.0.7:1400/d.xml\r\n\r\n";
        rig.net.deliverDatagram({HeardDatagram::Kind::Ssdp, 0xC6120009, 1900, notify});
        QVERIFY(rig.net.fetches().isEmpty());
        rig.net.deliverDatagram({HeardDatagram::Kind::Ssdp, 0xC6120007, 1900, notify});
        rig.net.deliverDatagram({HeardDatagram::Kind::Ssdp, 0xC6120007, 1900, notify});
        QCOMPARE(rig.net.fetches().size(), 1);
        QCOMPARE(rig.net.fetches().first().first, QStringLiteral("http://198.18.0.7:1400/d.xml"));
        rig.window.calls.clear();
        const int fetchHandle = rig.net.fetches().firstKey();
        rig.net.fetches().take(fetchHandle).second(fetchHandle, kSonos, {});
        // UPnP is weaker than DNS-SD: the model stays the one the device's services named.
        QCOMPARE(rig.window.calls, QStringList {});
        QCOMPARE(rig.stored(kMac, QStringLiteral("Model")), QStringLiteral("Google Home Mini"));
        // An hour later its description is asked for again; one that says nothing is logged and changes nothing.
        rig.clock.advanceSeconds(3601);
        rig.net.deliverDatagram({HeardDatagram::Kind::Ssdp, 0xC6120007, 1900, notify});
        QCOMPARE(rig.net.fetches().size(), 1);
        const auto again = rig.net.fetches().first();
        again.second(rig.net.fetches().firstKey(), "<root><specVersion/></root>", {});
        QCOMPARE(
            rig.log.lines().filter(QStringLiteral("UPnP description of %1 ignored: no root device").arg(kMac)).size(),
            1);
        QCOMPARE(rig.window.calls, QStringList {});
        // A NOTIFY that points elsewhere is refused with one line.
        rig.net.deliverDatagram({HeardDatagram::Kind::Ssdp, 0xC6120007, 1900,
            "NOTIFY * HTTP/1.1\r\nLOCATION: http://198.18.0.1/\x1b[2J\r\n\r\n"});
        QCOMPARE(rig.log.lines()
                     .filter(QStringLiteral("SSDP location of %1 refused").arg(kMac))
                     .value(0)
                     .contains(QLatin1Char('\x1b')),
            false);
        QCOMPARE(rig.net.searches(), 1);
    }
};

KW_TEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
