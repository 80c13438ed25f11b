// The web server as a browser, a script and a hostile peer meet it: a monitor on the fake platform with its page
// served on loopback, asked over real sockets; and the listener's bounds against slow, crowding and oversized
// clients.
#include "Devices.h"
#include "FakeNetPlatform.h"
#include "HttpPeer.h"
#include "LogCapture.h"
#include "Process.h"
#include "Skip.h"
#include "TestHome.h"
#include "app/MonitorCore.h"
#include "app/MonitorWeb.h"
#include "engine/DiscoveryEngine.h"
#include "notify/AlertNameWait.h"
#include "platform/Clock.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "web/WebHost.h"
#include "web/WebServer.h"
#include "web/WebToken.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTcpSocket>
#include <QtTest>
#include <unistd.h>

namespace {

const QString kPrinter = QStringLiteral("00-0C-29-12-34-56");
const QString kPhone = QStringLiteral("02-AA-00-00-00-0D");
const QDateTime kStart(QDate(2026, 12, 5), QTime(22, 0), Qt::UTC);

struct Answer
{
    int status = 0;
    QByteArray head;
    QByteArray body;
    QJsonValue json() const
    {
        return QJsonDocument::fromJson(body).isArray() ? QJsonValue(QJsonDocument::fromJson(body).array())
                                                       : QJsonValue(QJsonDocument::fromJson(body).object());
    }
};

// One request on its own connection, read until the answer's length is complete.
Answer ask(quint16 port, const QByteArray& method, const QByteArray& path, const QByteArray& token = {},
    const QByteArray& body = {}, bool tls = false)
{
    QSslSocket socket;
    if (tls) {
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    } else {
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    if (!socket.waitForConnected(5000))
        return {};
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!token.isEmpty())
        request += "Authorization: Bearer " + token + "\r\n";
    if (!body.isEmpty() || method == "POST")
        request += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    socket.write(request + "\r\n" + body);
    QByteArray got;
    // The server runs on this thread: wait by running its event loop, never by blocking.
    for (int i = 0; i < 500; ++i) {
        QTest::qWait(10);
        got += socket.readAll();
        if (socket.state() == QAbstractSocket::UnconnectedState && got.isEmpty())
            return {};
        const qsizetype split = got.indexOf("\r\n\r\n");
        if (split < 0)
            continue;
        const QByteArray head = got.left(split);
        const qsizetype at = head.indexOf("Content-Length: ");
        const qsizetype length = head.mid(at + 16, head.indexOf('\r', at) - at - 16).toLongLong();
        if (got.size() - split - 4 >= length)
            return {head.mid(9, 3).toInt(), head, got.mid(split + 4, length)};
    }
    return {};
}

// A host over a plain table, for what needs no monitor: reading rules and the listener's streams.
struct TableHost final : WebHost
{
    DeviceStore table;
    QList<const DeviceRecord*> devices() const override
    {
        QList<const DeviceRecord*> all;
        for (const DeviceRecord& d : table)
            all.append(&d);
        return all;
    }
    const DeviceRecord* find(const QString& mac) const override { return table.find(mac); }
    QString vendorName(const QString&) const override { return {}; }
    QString history(const QString&) const override { return {}; }
    QList<PresenceInterval> intervals(const QString&, const QDateTime&, const QDateTime&) const override { return {}; }
    Result act(const QString&, Action, const QString&) override { return {Outcome::Changed, {}}; }
};

// A monitor on the fake platform whose page is served on a free loopback port.
struct Rig
{
    ManualClock clock {kStart};
    TestHome home;
    MonitorCore core {home.paths()};
    FakeNetPlatform* fake = nullptr;
    QByteArray token;

    // beforeStart runs once the settings are loaded, before the engine and the page start.
    explicit Rig(const std::function<void(MonitorCore&)>& beforeStart = {})
    {
        kwclock::install(&clock);
        // --metrics at the same place: the page's server answers /metrics too.
        const WebEndpoint here {QHostAddress(QHostAddress::LocalHost), 0};
        MonitorWeb::setCommandLine({here, here});
        core.claimInstance();
        core.openStore();
        core.loadInstallation();
        core.loadRegistry();
        if (beforeStart)
            beforeStart(core);
        auto net = std::make_unique<FakeNetPlatform>();
        fake = net.get();
        fake->addAdapter(QStringLiteral("198.18.0.5/24"));
        core.startEngine(std::move(net));
        core.engine()->pingTimer().stop();
        token = WebToken::load(home.paths().home);
    }
    ~Rig()
    {
        core.shutdown();
        MonitorWeb::setCommandLine({});
        kwclock::install(nullptr);
    }
    quint16 port() { return core.web()->server()->port(); }
    void sweep()
    {
        int harvests = 0;
        auto c = QObject::connect(core.engine(), &DiscoveryEngine::harvested, [&harvests] { ++harvests; });
        for (int i = 0; i < 600 && harvests == 0; ++i) {
            clock.advanceMSecs(100);
            core.engine()->sweepTick();
        }
        QObject::disconnect(c);
    }
    const DeviceRecord& device(const QString& mac) { return *core.devices().find(mac); }
};

} // namespace

class TestWeb : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // Every route and refusal of the API: the status, the reason, and what the store then holds.
    void api_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says"); // in the body
        QTest::addColumn<QString>("printerAfter"); // name|list|new|watch once answered

        const QString untouched = QStringLiteral("Unknown Device|intruders|1|none");
        QTest::newRow("list") << QByteArray("GET") << QByteArray("/api/devices") << false << QByteArray() << 200
                              << QStringLiteral("\"mac\":\"00-0C-29-12-34-56\"") << untouched;
        QTest::newRow("list of one network")
            << QByteArray("GET") << QByteArray("/api/devices?network=-%20198.18.0.0%2F24") << false << QByteArray()
            << 200 << QStringLiteral("\"mac\":\"00-0C-29-12-34-56\"") << untouched;
        QTest::newRow("list of a network never seen")
            << QByteArray("GET") << QByteArray("/api/devices?network=02-00-00-00-00-01%20198.51.100.0%2F24") << false
            << QByteArray() << 404 << QStringLiteral("/api/networks") << untouched;
        QTest::newRow("networks") << QByteArray("GET") << QByteArray("/api/networks") << false << QByteArray() << 200
                                  << QStringLiteral("\"title\":\"198.18.0.0/24\"") << untouched;
        QTest::newRow("one, any MAC form") << QByteArray("GET") << QByteArray("/api/devices/00:0c:29:12:34:56") << false
                                           << QByteArray() << 200 << QStringLiteral("\"history\":[") << untouched;
        QTest::newRow("summary") << QByteArray("GET") << QByteArray("/api/summary") << false << QByteArray() << 200
                                 << QStringLiteral("\"devices\":2") << untouched;
        QTest::newRow("rename without token")
            << QByteArray("POST") << QByteArray("/api/devices/00:0c:29:12:34:56/rename") << false
            << QByteArray(R"({"name":"Printer"})") << 401 << QStringLiteral("web-token") << untouched;
        QTest::newRow("rename with a wrong token")
            << QByteArray("POST") << QByteArray("/api/devices/00:0c:29:12:34:56/rename") << false
            << QByteArray(R"({"name":"x"})") << 401 << QString() << untouched;
        QTest::newRow("rename") << QByteArray("POST") << QByteArray("/api/devices/00:0c:29:12:34:56/rename") << true
                                << QByteArray(R"({"name":"<img src=x onerror=alert(1)>"})") << 200
                                << QStringLiteral("\"changed\":true")
                                << QStringLiteral("<img src=x onerror=alert(1)>|intruders|1|none");
        QTest::newRow("rename refused by the name filter")
            << QByteArray("POST") << QByteArray("/api/devices/00:0c:29:12:34:56/rename") << true
            << QByteArray("{\"name\":\"a\\u202eb\"}") << 400 << QString() << untouched;
        // A note is one line of text, kept as written; the longest one fits a body even in three-byte characters.
        QTest::newRow("note") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/note") << true
                              << QByteArray(R"({"note":"on the shelf, <b>owner</b> Ann"})") << 200
                              << QStringLiteral("\"note\":\"on the shelf, <b>owner</b> Ann\"")
                              << untouched + QStringLiteral("|on the shelf, <b>owner</b> Ann");
        QTest::newRow("note at its longest")
            << QByteArray("POST") << QByteArray("/api/devices/000c29123456/note") << true
            << QByteArray("{\"note\":\"" + QString(2000, QChar(0x20AC)).toUtf8() + "\"}") << 200 << QString()
            << untouched + QLatin1Char('|') + QString(2000, QChar(0x20AC));
        QTest::newRow("note of two lines")
            << QByteArray("POST") << QByteArray("/api/devices/000c29123456/note") << true
            << QByteArray(R"({"note":"first\nsecond"})") << 400 << QStringLiteral("the note holds U+000A") << untouched;
        QTest::newRow("note too long") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/note") << true
                                       << QByteArray("{\"note\":\"" + QByteArray(2001, 'a') + "\"}") << 400
                                       << QStringLiteral("longer than 2000") << untouched;
        QTest::newRow("note without one")
            << QByteArray("POST") << QByteArray("/api/devices/000c29123456/note") << true
            << QByteArray(R"({"text":"x"})") << 400 << QStringLiteral("note takes") << untouched;
        QTest::newRow("ack") << QByteArray("POST") << QByteArray("/api/devices/00-0C-29-12-34-56/ack") << true
                             << QByteArray() << 200 << QString() << QStringLiteral("Unknown Device|intruders|0|none");
        QTest::newRow("move safe") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/move") << true
                                   << QByteArray(R"({"list":"safe"})") << 200 << QString()
                                   << QStringLiteral("Unknown Device|safe|0|none");
        QTest::newRow("move nowhere") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/move") << true
                                      << QByteArray(R"({"list":"attic"})") << 400 << QStringLiteral("safe")
                                      << untouched;
        QTest::newRow("watch") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/watch") << true
                               << QByteArray(R"({"watch":"offline"})") << 200 << QString()
                               << QStringLiteral("Unknown Device|intruders|1|offline");
        QTest::newRow("watch nonsense") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/watch") << true
                                        << QByteArray(R"({"watch":"always"})") << 400 << QString() << untouched;
        QTest::newRow("remove online") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/remove") << true
                                       << QByteArray() << 409 << QStringLiteral("online") << untouched;
        QTest::newRow("no JSON") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/rename") << true
                                 << QByteArray("name=x") << 400 << QStringLiteral("JSON") << untouched;
        QTest::newRow("body too long") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/rename") << true
                                       << QByteArray("{\"name\":\"" + QByteArray(17000, 'a') + "\"}") << 413
                                       << QString() << untouched;
        QTest::newRow("not a MAC") << QByteArray("GET") << QByteArray("/api/devices/printer") << false << QByteArray()
                                   << 400 << QStringLiteral("MAC") << untouched;
        QTest::newRow("unknown MAC") << QByteArray("POST") << QByteArray("/api/devices/02:00:00:00:00:99/ack") << true
                                     << QByteArray() << 404 << QString() << untouched;
        QTest::newRow("unknown action") << QByteArray("POST") << QByteArray("/api/devices/000c29123456/explode") << true
                                        << QByteArray() << 404 << QString() << untouched;
        QTest::newRow("GET an action") << QByteArray("GET") << QByteArray("/api/devices/000c29123456/ack") << true
                                       << QByteArray() << 405 << QString() << untouched;
        QTest::newRow("POST the list") << QByteArray("POST") << QByteArray("/api/devices") << true << QByteArray()
                                       << 405 << QString() << untouched;
        QTest::newRow("unknown route") << QByteArray("GET") << QByteArray("/api/secrets") << false << QByteArray()
                                       << 404 << QString() << untouched;
        QTest::newRow("metrics beside the page")
            << QByteArray("GET") << QByteArray("/metrics") << false << QByteArray() << 200
            << QStringLiteral("kestrelwatch_devices_waiting 2") << untouched;
        QTest::newRow("page") << QByteArray("GET") << QByteArray("/") << false << QByteArray() << 200
                              << QStringLiteral("<!doctype html>") << untouched;
        QTest::newRow("no such file") << QByteArray("GET") << QByteArray("/../kestrelwatch.hive") << false
                                      << QByteArray() << 404 << QString() << untouched;
    }
    void api()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(bool, withToken);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, says);
        QFETCH(QString, printerAfter);
        Rig rig;
        rig.fake->addNeighbour(kPrinter, QStringLiteral("198.18.0.12"));
        rig.fake->addNeighbour(kPhone, QStringLiteral("198.18.0.13"));
        rig.sweep();
        QCOMPARE(rig.core.devices().size(), 2);
        LogCapture log;
        const bool wrong = QByteArray(QTest::currentDataTag()).contains("wrong token");
        const QByteArray token = withToken ? rig.token
            : wrong                        ? rig.token.left(rig.token.size() - 1) + '.'
                                           : QByteArray();
        const Answer answer = ask(rig.port(), method, path, token, body);
        QCOMPARE(answer.status, status);
        QVERIFY2(answer.head.contains("Content-Security-Policy: default-src 'self'"), answer.head.constData());
        QVERIFY(!answer.head.contains("Access-Control") && !answer.head.contains("Set-Cookie"));
        QVERIFY2(says.isEmpty() || QString::fromUtf8(answer.body).contains(says), answer.body.constData());
        if (status >= 400 && path.startsWith("/api"))
            QVERIFY2(!answer.json().toObject().value(QStringLiteral("reason")).toString().isEmpty(),
                answer.body.constData());
        const DeviceRecord& p = rig.device(kPrinter);
        QStringList after {p.FriendlyName.isEmpty() ? p.HostName : p.FriendlyName,
            p.Intruder ? QStringLiteral("intruders") : QStringLiteral("safe"), QString::number(int(p.NewDevice)),
            p.Watch ? QStringLiteral("offline") : QStringLiteral("none")};
        if (!p.Note.isEmpty())
            after.append(p.Note);
        QCOMPARE(after.join(QLatin1Char('|')), printerAfter);
        // A change through the page is in the device's history, saying the page made it.
        if (printerAfter != QLatin1String("Unknown Device|intruders|1|none"))
            QVERIFY2(rig.core.deviceLog().history(kPrinter).contains(QLatin1String(" (on the web page)\r\n")),
                qPrintable(rig.core.deviceLog().history(kPrinter)));
        // A refusal says what it refused, by route: never the MAC or the name.
        const QString said = log.tagged(QStringLiteral("Web - ")).join(QLatin1Char('\n'));
        QVERIFY2(status < 400 || said.contains(QStringLiteral(" %1 from 127.0.0.1").arg(status)), qPrintable(said));
        for (const QString& line : log.tagged(QStringLiteral("Web - ")))
            QVERIFY2(!line.contains(QLatin1String("0C-29"), Qt::CaseInsensitive)
                    && !line.contains(QLatin1String("0c:29")) && !line.contains(QLatin1String("000c29"))
                    && !line.contains(QLatin1String("img")),
                qPrintable(line));
    }

    // Off loopback every read needs the token too; changes always do.
    void readingOffLoopback()
    {
        TableHost host;
        appendDevice(host.table, kPrinter);
        const QByteArray token = "0123456789abcdef0123456789abcdef";
        for (const bool open : {true, false}) {
            const WebApi api(host, token, open);
            for (const char* path : {"/api/devices", "/api/summary", "/api/devices/000c29123456"}) {
                QCOMPARE(api.handle({"GET", QString::fromLatin1(path), {}, {}}).status, open ? 200 : 401);
                QCOMPARE(api.handle({"GET", QString::fromLatin1(path), "Bearer " + token, {}}).status, 200);
                QCOMPARE(api.handle({"GET", QString::fromLatin1(path), "Bearer " + token.left(31) + 'X', {}}).status,
                    open ? 200 : 401);
            }
            // A site whose name was pointed at 127.0.0.1 names its own host: it reads nothing.
            WebRequest rebound {"GET", QStringLiteral("/api/devices"), {}, {}};
            rebound.host = "attacker.example:8080";
            QCOMPARE(api.handle(rebound).status, 401);
            for (const char* host : {"localhost:8080", "127.0.0.1", "[::1]:80", "LOCALHOST"}) {
                rebound.host = host;
                QCOMPARE(api.handle(rebound).status, open ? 200 : 401);
            }
            // Through a proxy on this machine the reader is elsewhere.
            QCOMPARE(api.handle({"GET", QStringLiteral("/api/devices"), {}, {}, true}).status, 401);
            QCOMPARE(api.handle({"GET", QStringLiteral("/api/devices"), "Bearer " + token, {}, true}).status, 200);
            QCOMPARE(api.handle({"POST", QStringLiteral("/api/devices/000c29123456/ack"), {}, {}}).status, 401);
            QCOMPARE(api.handle({"POST", QStringLiteral("/api/devices/000c29123456/ack"), "Basic " + token, {}}).status,
                401);
        }
    }

    // A device that joins, and a rename and a note through the API, reach an open event stream as they happen;
    // the name and note made of markup travel as JSON strings. After a restart the stream names another run.
    void eventStream()
    {
        Rig rig;
        QTcpSocket stream;
        stream.connectToHost(QHostAddress::LocalHost, rig.port());
        QVERIFY(stream.waitForConnected(5000));
        stream.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
        QByteArray got;
        const auto until = [&](const QByteArray& text) {
            for (int i = 0; i < 500 && !got.contains(text); ++i) {
                QTest::qWait(10);
                got += stream.readAll();
            }
            return got.contains(text);
        };
        QVERIFY(until("event: hello\ndata: {\"run\":\""));
        QVERIFY(got.startsWith("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"));
        QTRY_COMPARE(rig.core.web()->server()->streams(), 1);
        rig.fake->addNeighbour(kPrinter, QStringLiteral("198.18.0.12"));
        rig.sweep();
        QVERIFY2(until("\"kind\":\"admitted\",\"mac\":\"00-0C-29-12-34-56\""), got.constData());
        QCOMPARE(
            ask(rig.port(), "POST", "/api/devices/000c29123456/rename", rig.token, R"({"name":"<b>Bob</b>"})").status,
            200);
        QVERIFY2(until("\"name\":\"<b>Bob</b>\""), got.constData());
        QCOMPARE(
            ask(rig.port(), "POST", "/api/devices/000c29123456/note", rig.token, R"({"note":"Bob's, <i>desk</i>"})")
                .status,
            200);
        QVERIFY2(until("\"note\":\"Bob's, <i>desk</i>\""), got.constData());
        QVERIFY(got.contains("\"kind\":\"note\""));
    }

    // The listener's bounds, each against the client that breaks it: a request longer than the limit, one that
    // never ends, a peer that opens more than its share; an idle connection goes after the deadline too.
    void listenerBounds()
    {
        TableHost host;
        WebServer::Options options;
        options.metrics = [] { return QByteArray("kw_up 1\n"); };
        options.host = &host;
        options.limits = {4, 6, 600, 4096};
        WebServer server(std::move(options));
        QVERIFY(server.listen({QHostAddress(QHostAddress::LocalHost), 0}).isEmpty());
        const quint16 port = server.port();
        LogCapture log;

        QTcpSocket huge;
        huge.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(huge.waitForConnected(5000));
        huge.write("POST /metrics HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + QByteArray(100000, 'a'));
        QTRY_COMPARE(huge.state(), QAbstractSocket::UnconnectedState);

        // An event stream outlives the deadline (its keep-alives restart it) and counts as one of the peer's.
        QTcpSocket stream;
        stream.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(stream.waitForConnected(5000));
        stream.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QList<QTcpSocket*> slow;
        for (int i = 0; i < 4; ++i) {
            slow.append(new QTcpSocket(this));
            slow.last()->connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(slow.last()->waitForConnected(5000));
            slow.last()->write("GET /metr");
        }
        // The fourth from this user is one too many; the three others die at the deadline.
        QTRY_COMPARE(slow.last()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(slow.first()->state(), QAbstractSocket::ConnectedState);
        QTRY_COMPARE_WITH_TIMEOUT(server.listener().connections(), 1, 5000);
        QTest::qWait(1000);
        QCOMPARE(stream.state(), QAbstractSocket::ConnectedState);
        QVERIFY(stream.readAll().contains(": keep-alive\n\n"));
        QCOMPARE(ask(port, "GET", "/metrics").body, QByteArray("kw_up 1\n"));
        qDeleteAll(slow);
        const QString said = log.lines().join(QLatin1Char('\n'));
        for (const char* reason : {"a request longer than 4096 bytes", "it has 4 open", "no whole request in time"})
            QVERIFY2(said.contains(QLatin1String(reason)), qPrintable(said));
        for (const auto& [request, status] : {std::pair {QByteArray("POST"), 405}, std::pair {QByteArray("GET"), 404}})
            QCOMPARE(ask(port, request, request == "GET" ? "/other" : "/metrics").status, status);
    }

    // Another local user's twenty half requests cannot keep the owner's scraper out: on loopback the peer is the
    // user at the other end. The crowd runs as nobody.
    void otherUsersCrowdCannotBlock()
    {
        if (::geteuid() != 0)
            KW_SKIP("needs root to run the crowd as another user");
        WebServer::Options options;
        options.metrics = [] { return QByteArray("kw_up 1\n"); };
        WebServer server(std::move(options));
        QVERIFY(server.listen({QHostAddress(QHostAddress::LocalHost), 0}).isEmpty());
        kwtest::Process crowd;
        crowd.start(QStringLiteral("setpriv"),
            {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
                QStringLiteral(
                    "import socket,time\nss=[]\nfor i in range(20):\n"
                    "    try:\n        s=socket.create_connection(('127.0.0.1',%1));s.send(b'GET /met');ss.append(s)\n"
                    "    except OSError: pass\nprint('held',flush=True)\ntime.sleep(30)\n")
                    .arg(server.port())});
        QVERIFY(!crowd.waitForLine(QRegularExpression(QStringLiteral("^held")), 0, 15000).isEmpty());
        QTRY_VERIFY(server.listener().connections() >= 8);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(ask(server.port(), "GET", "/metrics").status, 200);
        crowd.kill();
    }

    // With WebCertificate and WebKey the page is served over TLS only: a plain request gets no answer.
    void tls()
    {
        QTemporaryDir keys;
        const QString cert = keys.filePath(QStringLiteral("web.pem"));
        const QString key = keys.filePath(QStringLiteral("web.key"));
        const kwtest::Run made = kwtest::run(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert, QStringLiteral("-days"),
                QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")});
        QVERIFY2(made.code == 0, qPrintable(made.err));
        Rig rig([&](MonitorCore& core) {
            core.settings().web.certificate = cert;
            core.settings().web.key = key;
        });
        QVERIFY2(rig.core.webProblem().isEmpty(), qPrintable(rig.core.webProblem()));
        QCOMPARE(ask(rig.port(), "GET", "/api/summary", {}, {}, true).status, 200);
        QCOMPARE(ask(rig.port(), "GET", "/api/summary").status, 0);
    }

    // A WebListen that names no place serves nothing and says why, once.
    void unusableWebListen()
    {
        Rig rig([](MonitorCore& core) {
            MonitorWeb::setCommandLine({});
            core.settings().web.listen = QStringLiteral("all of them");
        });
        QVERIFY(!rig.core.web()->server());
        // The monitor's own debug log holds it (the core installs it as the process's log).
        const QString said = rig.core.debugLog().text();
        QCOMPARE(
            said.count(QStringLiteral("WebListen 'all of them' is no ADDRESS:PORT or PORT; no web page is served")), 1);
    }

    // The token: made once, private, kept across loads, replaced by renew; ctl prints the kept one.
    void token()
    {
        TestHome home;
        const QString dir = home.paths().home;
        const QByteArray first = WebToken::load(dir);
        QVERIFY(first.size() >= 40);
        QCOMPARE(QFile::permissions(WebToken::fileIn(dir)),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(WebToken::load(dir), first);
        const kwtest::Run printed = kwtest::run(kwtest::binary(QStringLiteral("kestrelwatch-ctl")),
            {QStringLiteral("--home"), dir, QStringLiteral("web-token")});
        QCOMPARE(printed.out.trimmed().toLatin1(), first);
        const QByteArray second = WebToken::renew(dir);
        QVERIFY(second != first && second.size() == first.size());
        QCOMPARE(WebToken::load(dir), second);
    }

    // The figures of the running monitor as a scraper reads them beside the page: waiting devices, the last
    // sweep's end by the monitor's clock, the build, the push channels' series from the start; a series whose
    // label could carry a MAC is refused with a line and counts nothing.
    void monitorFigures()
    {
        Rig rig;
        rig.fake->addNeighbour(kPrinter, QStringLiteral("198.18.0.12"));
        rig.sweep();
        const QDateTime swept = rig.clock.now();
        const QString figures = QString::fromUtf8(ask(rig.port(), "GET", "/metrics").body);
        for (const QString& sample : {QStringLiteral("kestrelwatch_devices_waiting 1"),
                 QStringLiteral("kestrelwatch_last_sweep_timestamp_seconds %1")
                     .arg(QString::number(double(swept.toMSecsSinceEpoch()) / 1000.0, 'g', 15)),
                 QStringLiteral("kestrelwatch_build_info{version=\"%1\"} 1").arg(QStringLiteral(KW_VERSION)),
                 QStringLiteral("kestrelwatch_channel_deliveries_total{channel=\"gotify\"} 0"),
                 QStringLiteral("kestrelwatch_admissions_total{list=\"intruders\"} 1")})
            QVERIFY2(
                figures.contains(QLatin1Char('\n') + sample + QLatin1Char('\n')), qPrintable(sample + '\n' + figures));
        LogCapture log;
        Metrics::Counter bad = rig.core.metrics().counter(QStringLiteral("kestrelwatch_sweeps_total"),
            {{QStringLiteral("mac"), QStringLiteral("02-AA-00-00-00-0D")}});
        QVERIFY(!bad.valid());
        bad.add();
        QCOMPARE(log.tagged(QStringLiteral("Metrics - ")).size(), 1);
        QVERIFY(!QString::fromUtf8(rig.core.metrics().render()).contains(QStringLiteral("02-AA")));
    }

    // The push channels' deliveries count where they end: a new intruder's alert taken by a webhook server.
    void channelDeliveriesCount()
    {
        HttpPeer peer;
        QVERIFY(peer.start({}));
        Rig rig([&peer](MonitorCore& core) { core.settings().push.webhook.url = peer.url(); });
        const qsizetype before = peer.cursor();
        rig.fake->addNeighbour(kPrinter, QStringLiteral("198.18.0.12"));
        rig.sweep();
        // The alert waits up to 3 s for the device's name, by the monitor's clock.
        rig.clock.advanceSeconds(4);
        rig.core.alertNameWait()->tick();
        QVERIFY(peer.waitForRequest(before));
        const Metrics::Labels webhook {{QStringLiteral("channel"), QStringLiteral("webhook")}};
        QTRY_COMPARE(rig.core.metrics().value(QStringLiteral("kestrelwatch_channel_deliveries_total"), webhook), 1.0);
        QCOMPARE(rig.core.metrics().value(QStringLiteral("kestrelwatch_channel_failures_total"), webhook), 0.0);
    }

    // What --web, --metrics and WebListen take.
    void endpoints_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("place"); // empty: refused
        QTest::newRow("port alone") << QStringLiteral("8080") << QStringLiteral("127.0.0.1:8080");
        QTest::newRow("localhost") << QStringLiteral("localhost:9470") << QStringLiteral("127.0.0.1:9470");
        QTest::newRow("v4") << QStringLiteral("198.18.0.2:80") << QStringLiteral("198.18.0.2:80");
        QTest::newRow("v6") << QStringLiteral("[::1]:8443") << QStringLiteral("[::1]:8443");
        QTest::newRow("port 0") << QStringLiteral("0") << QString();
        QTest::newRow("too high") << QStringLiteral("127.0.0.1:65536") << QString();
        QTest::newRow("a name") << QStringLiteral("example.org:80") << QString();
        QTest::newRow("a service") << QStringLiteral("127.0.0.1:http") << QString();
    }
    void endpoints()
    {
        QFETCH(QString, text);
        QFETCH(QString, place);
        const auto where = WebEndpoint::parse(text);
        QCOMPARE(where ? where->text() : QString(), place);
    }

    // The kernel's socket table as /proc/net/tcp shows it: the row whose ports match names the owner.
    void socketOwner()
    {
        const QByteArray table =
            "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
            "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1 1\n"
            "   1: 0100007F:D431 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1000        0 2 1\n"
            "   2: 0100007F:1F90 0100007F:D431 01 00000000:00000000 00:00000000 00000000     0        0 3 1\n";
        QCOMPARE(WebListener::ownerInTable(table, 0xD431, 0x1F90), std::optional<uint>(1000));
        QCOMPARE(WebListener::ownerInTable(table, 0x1F90, 0xD431), std::optional<uint>(0));
        QCOMPARE(WebListener::ownerInTable(table, 0xD432, 0x1F90), std::nullopt);
        QCOMPARE(WebListener::ownerInTable("garbage\n1: x y\n", 1, 2), std::nullopt);
    }
};

KW_TEST_GUILESS_MAIN(TestWeb)
#include "tst_web.moc"
