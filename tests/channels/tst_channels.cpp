// The push channels against real HTTP servers (Python's http.server): one table of server behaviours per
// channel, what each request carries, the queue's retries, its hour, and a restart between attempts.
#include "Devices.h"
#include "HttpPeer.h"
#include "LogCapture.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "channels/ChannelMessage.h"
#include "channels/Channels.h"
#include "notify/AlertPolicy.h"
#include "platform/Clock.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

namespace {
const QDateTime kT(QDate(2026, 12, 4), QTime(18, 41, 8), Qt::UTC);

Notice notice()
{
    Notice n;
    n.kind = QStringLiteral("new_intruder");
    n.mac = QStringLiteral("00-00-0C-12-34-56");
    n.ip = QStringLiteral("198.18.0.44");
    n.name = QStringLiteral("Ünknown\u202e Device");
    n.vendor = QStringLiteral("Cisco Systems, Inc");
    n.list = QStringLiteral("intruders");
    n.time = kT;
    n.title = QStringLiteral("New device on the network");
    n.text = QStringLiteral("New device: ") + n.name;
    n.high = true;
    n.lastSeen = kT.addSecs(-5);
    return n;
}

void setTarget(LiveSettings& s, Channel channel, const QString& url, const QString& token)
{
    (channel == Channel::Ntfy            ? s.txtNtfyServer
            : channel == Channel::Gotify ? s.txtGotifyServer
                                         : s.txtWebhookUrl) = url;
    (channel == Channel::Ntfy            ? s.txtNtfyToken
            : channel == Channel::Gotify ? s.txtGotifyToken
                                         : s.txtWebhookToken) = token;
}
} // namespace

class TestChannels final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        QVERIFY2(!TestCertificates::caFile().isEmpty(), "openssl could not make the test certificates");
        qputenv("SSL_CERT_FILE", TestCertificates::caFile().toLocal8Bit());
    }

    // peer: the server's behaviour (http_peer.py); outcome: "delivered", "dropped" or still "retrying" after
    // `attempts` requests; log: what each "Channels - " line says, one line per cause.
    void serverBehaviours_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QStringList>("peer");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QStringList>("log");
        const auto row = [](const char* name, Channel c, const QStringList& peer, const char* token,
                             const char* outcome, int attempts, const QStringList& log) {
            QTest::newRow(name) << int(c) << peer << QString::fromLatin1(token) << QString::fromLatin1(outcome)
                                << attempts << log;
        };
        const QStringList ntfy {"--style", "ntfy", "--token", "tk_1"};
        const QString again = QStringLiteral("delivers again");
        row("ntfy takes it", Channel::Ntfy, ntfy, "tk_1", "delivered", 1, {});
        row("ntfy, wrong token: refused, not retried", Channel::Ntfy, ntfy, "tk_2", "dropped", 1,
            {"the server refused the message: HTTP 401 {\"code\": 40101, \"http\": 401, \"error\": \"unauthorized\"}"});
        row("ntfy fails, then takes it", Channel::Ntfy, ntfy + QStringList {"--answers", "500,200"}, "tk_1",
            "delivered", 2, {"HTTP 500", again});
        const QStringList gotify {"--style", "gotify", "--token", "AppTok"};
        row("Gotify takes it", Channel::Gotify, gotify, "AppTok", "delivered", 1, {});
        row("Gotify, no token: refused", Channel::Gotify, gotify, "", "dropped", 1, {"HTTP 401"});
        row("webhook takes it", Channel::Webhook, {}, "", "delivered", 1, {});
        row("webhook hangs, then takes it", Channel::Webhook, {"--answers", "hang,200"}, "", "delivered", 2,
            {"Failed: no answer in time", again});
        row("webhook closes, logged once", Channel::Webhook, {"--answers", "close"}, "", "retrying", 3, {"Failed: "});
        row("webhook 429 is retried, 403 is not", Channel::Webhook, {"--answers", "429,403"}, "", "dropped", 2,
            {"HTTP 429", "refused the message: HTTP 403"});
        row("webhook over HTTPS, trusted", Channel::Webhook,
            TestCertificates::serverOptions(QStringLiteral("--tls"), QStringLiteral("valid")), "", "delivered", 1, {});
        row("webhook over HTTPS, untrusted: retried, logged once", Channel::Webhook,
            TestCertificates::serverOptions(QStringLiteral("--tls"), QStringLiteral("untrusted")), "", "retrying", 3,
            {"Failed: TLS failure: "});
    }

    void serverBehaviours()
    {
        QFETCH(int, channel);
        QFETCH(QStringList, peer);
        QFETCH(QString, token);
        QFETCH(QString, outcome);
        QFETCH(int, attempts);
        QFETCH(QStringList, log);
        HttpPeer server;
        QVERIFY(server.start(peer));
        const bool tls = peer.contains(QStringLiteral("--tls"));
        ManualClock clock(kT);
        kwclock::install(&clock);
        LogCapture logged;
        TestHome home;
        LiveSettings s;
        setTarget(s, Channel(channel), server.url(tls ? "https" : "http", tls ? "localhost" : "127.0.0.1"), token);
        DeviceStore table;
        Channels channels(s, table, {});
        channels.setTimeoutMs(1500);
        channels.openQueue(home.paths().home + QStringLiteral("channels.db"));
        QSignalSpy tried(&channels, &Channels::attempted);
        channels.post(Channel(channel), notice());
        for (int i = 0; i < attempts; ++i) {
            QTRY_COMPARE_WITH_TIMEOUT(tried.size(), i + 1, 15000);
            clock.advanceSeconds(Channels::LongestRetrySecs);
            channels.pump();
        }
        kwclock::install(nullptr);
        QCOMPARE(channels.pending(), outcome == QLatin1String("retrying") ? 1 : 0);
        const QStringList lines = logged.tagged(QStringLiteral("Channels - "));
        QCOMPARE(lines.size(), log.size());
        for (qsizetype i = 0; i < log.size(); ++i)
            QVERIFY2(lines[i].contains(log[i]), qPrintable(lines[i]));
        if (tls || outcome == QLatin1String("retrying"))
            return;
        const QList<QJsonObject> requests = server.requests();
        QCOMPARE(requests.size(), attempts);
        const QJsonObject h = requests.last().value("headers").toObject();
        const QString body = requests.last().value("body").toString();
        if (Channel(channel) == Channel::Ntfy) {
            QCOMPARE(h.value("Priority").toString() + h.value("Tags").toString(), QStringLiteral("highwarning"));
            QCOMPARE(h.value("Title").toString(), notice().title);
            QCOMPARE(body, notice().text);
        } else if (Channel(channel) == Channel::Gotify) {
            QCOMPARE(requests.last().value("path").toString(), QStringLiteral("/hook/message"));
        } else {
            QCOMPARE(QJsonDocument::fromJson(body.toUtf8()).object(), notice().webhookJson());
            QCOMPARE(notice().webhookJson().value("time").toString(), QStringLiteral("2026-12-04T18:41:08Z"));
            QCOMPARE(notice().webhookJson().value("last_seen").toString(), QStringLiteral("2026-12-04T18:41:03Z"));
        }
    }

    // What is not yet delivered survives a restart; after an hour of failures it goes, with one line.
    void queueSurvivesRestart()
    {
        ManualClock clock(kT);
        kwclock::install(&clock);
        LogCapture logged;
        TestHome home;
        const QString file = home.paths().home + QStringLiteral("channels.db");
        LiveSettings s;
        DeviceStore table;
        HttpPeer down;
        QVERIFY(down.start({"--answers", "503"}));
        s.txtWebhookUrl = down.url();
        s.txtNtfyServer = down.url();
        {
            Channels channels(s, table, {});
            channels.openQueue(file);
            QSignalSpy tried(&channels, &Channels::attempted);
            channels.post(Channel::Webhook, notice());
            channels.post(Channel::Ntfy, notice());
            QTRY_COMPARE(tried.size(), 2);
        }
        QCOMPARE(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        HttpPeer up;
        QVERIFY(up.start({}));
        s.txtWebhookUrl = up.url();
        Channels channels(s, table, {});
        QSignalSpy delivered(&channels, &Channels::delivered);
        QSignalSpy dropped(&channels, &Channels::dropped);
        QSignalSpy tried(&channels, &Channels::attempted);
        clock.advanceSeconds(Channels::FirstRetrySecs);
        channels.openQueue(file);
        QCOMPARE(channels.pending(), 2);
        QTRY_COMPARE(delivered.size(), 1);
        QCOMPARE(QJsonDocument::fromJson(up.requests().value(0).value("body").toString().toUtf8()).object(),
            notice().webhookJson());
        // ntfy's server keeps failing: attempts until an hour has passed.
        while (dropped.isEmpty() && tried.size() < 40) {
            const qsizetype before = tried.size();
            clock.advanceSeconds(Channels::LongestRetrySecs);
            channels.pump();
            QTRY_VERIFY(tried.size() > before);
        }
        kwclock::install(nullptr);
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(channels.pending(), 0);
        QCOMPARE(logged.tagged(QStringLiteral("Channels - ")).filter(QStringLiteral("after an hour")).size(), 1);
    }

    // An alert's notice says what the device is and whom it likely is; the webhook carries type, model and os.
    void noticeSaysWhatTheDeviceIs_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString who = "Unknown Android phone (private address), probably Anna's phone, with a new private "
                            "address (198.18.0.44, MAC 02-00-0C-12-34-56, Acme)";
        QTest::newRow("new intruder") << int(Alert::Kind::NewIntruder) << "New device on the network"
                                      << "New device: " + who;
        QTest::newRow("likely return") << int(Alert::Kind::LikelyReturn)
                                       << "A known device is back with a new private address"
                                       << "New address: " + who;
    }
    void noticeSaysWhatTheDeviceIs()
    {
        QFETCH(int, kind);
        DeviceStore table;
        DeviceRecord& earlier = appendDevice(table, QStringLiteral("02-00-0C-00-00-01"));
        earlier.FriendlyName = QStringLiteral("Anna's phone");
        DeviceRecord& d = appendDevice(table, QStringLiteral("02-00-0C-12-34-56"), QStringLiteral("198.18.0.44"));
        std::tie(d.Type, d.Model, d.Os, d.LikelyReturnOf) =
            std::tuple(DeviceType::Phone, QStringLiteral("Pixel 7"), QStringLiteral("Android"), earlier.MacAddress);
        Alert alert;
        std::tie(alert.kind, alert.mac, alert.time) = std::tuple(Alert::Kind(kind), d.MacAddress, kT);
        const Notice n = Notice::fromAlert(alert, table, QStringLiteral("Acme"));
        QTEST(n.title, "title");
        QTEST(n.text, "text");
        const QJsonObject hook = n.webhookJson();
        QCOMPARE(
            hook.value("type").toString() + '/' + hook.value("model").toString() + '/' + hook.value("os").toString(),
            QStringLiteral("phone/Pixel 7/Android"));
        QCOMPARE(Notice::fromStored(n.toStored())->webhookJson(), hook);
    }

    void replyTextIsInert_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QByteArray("{\"ok\":true}") << QStringLiteral("{\"ok\":true}");
        QTest::newRow("controls and lines") << QByteArray("a\x1b[2J\r\nb\tc") << QStringLiteral("a\uFFFD[2J b c");
        QTest::newRow("bidi override") << QByteArray("x\xe2\x80\xaey") << QStringLiteral("x\uFFFDy");
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe") << QStringLiteral("\uFFFD\uFFFD");
        QTest::newRow("bounded") << QByteArray(10000, 'z') << QString(300, QLatin1Char('z'));
    }

    void replyTextIsInert()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, shown);
        QCOMPARE(replyText(reply), shown);
    }
};

KW_TEST_GUILESS_MAIN(TestChannels)
#include "tst_channels.moc"
