// Mail figures against a real SMTP server (aiosmtpd) on loopback:
// - alert to mail accepted: SendNewEmail until the server has taken the message and answered QUIT (median),
//   plain and with STARTTLS (a certificate from the tests' own CA);
// - 1,000 queued messages: throughput with the queue kept topped up, and the process's RSS before and after
//   (twice, so that growth across rounds would show).

#include "SmtpPeer.h"
#include "logging/DeviceLog.h"
#include "notify/AlertMails.h"
#include "notify/SmtpClient.h"
#include "platform/DebugSink.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"
#include "store/TextForms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <ctime>
#include <vector>

namespace {

int s_mailLogLines = 0;

double rssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// Runs the event loop until `count` messages have finished (or 60 s have passed).
bool waitFinished(SmtpClient& mail, const int& finished, int count)
{
    if (finished >= count)
        return true;
    QEventLoop loop;
    const auto connection = QObject::connect(&mail, &SmtpClient::mailFinished, &loop, [&] {
        if (finished >= count)
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return finished >= count;
}

struct MailRig
{
    QTemporaryDir spool;
    SmtpPeer peer;
    LiveSettings settings;
    std::unique_ptr<SmtpClient> mail;
    QTimer poll; // the window's 333 ms tick
    int finished = 0;
    int sent = 0;

    bool start(bool startTls = false)
    {
        QStringList options;
        if (startTls) {
            qputenv("SSL_CERT_FILE", TestCertificates::caFile().toLocal8Bit());
            options = TestCertificates::serverOptions(QStringLiteral("--starttls"), QStringLiteral("valid"));
            settings.mail.security = QStringLiteral("STARTTLS");
        }
        if (!peer.startAiosmtpd(options))
            return false;
        settings.mail.server = peer.server();
        settings.mail.from = QStringLiteral("kw@home.example");
        settings.mail.addresses = QStringLiteral("owner@home.example");
        mail = std::make_unique<SmtpClient>(settings);
        QObject::connect(mail.get(), &SmtpClient::mailFinished, [this](bool ok) {
            ++finished;
            sent += ok ? 1 : 0;
        });
        poll.setInterval(333);
        QObject::connect(&poll, &QTimer::timeout, mail.get(), &SmtpClient::Poll);
        poll.start();
        return true;
    }
};

void BM_AlertToMailAccepted(benchmark::State& state)
{
    const bool startTls = state.range(0) == 1;
    MailRig rig;
    if (!rig.start(startTls)) {
        state.SkipWithError("the SMTP server did not start");
        return;
    }
    QTemporaryDir devices;
    DeviceStore table;
    DeviceRecord device = DeviceRecord::empty();
    device.MacAddress = QStringLiteral("00-0C-41-A2-3B-7F");
    device.IpAddress = QStringLiteral("198.18.0.23");
    device.HostName = QStringLiteral("Unknown Device");
    table.append(device);
    DeviceLog log(table, devices.path());
    for (int i = 0; i < 100; ++i)
        log.AddLogEntry(device.MacAddress,
            QStringLiteral("12/4/2026 6:41:%1 PM\tConnected ( 198.18.0.23 )").arg(i % 60, 2, 10, QLatin1Char('0')));
    AlertMails alerts(
        *rig.mail, table, log, rig.settings, [](const QString&) { return QStringLiteral("Cisco-Linksys LLC"); });

    std::vector<double> latencies;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        alerts.SendNewEmail(device.MacAddress);
        if (!waitFinished(*rig.mail, rig.finished, rig.finished + 1)) {
            state.SkipWithError("a mail did not finish");
            return;
        }
        latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p90_ms"] = latencies[latencies.size() * 9 / 10];
    state.counters["max_ms"] = latencies.back();
    state.counters["sent"] = rig.sent;
    std::printf("alert to mail accepted, %s: median %.1f ms, p90 %.1f ms, max %.1f ms over %zu alerts, %d sent "
                "(target < %d ms)\n",
        startTls ? "STARTTLS" : "plain", latencies[latencies.size() / 2], latencies[latencies.size() * 9 / 10],
        latencies.back(), latencies.size(), rig.sent, startTls ? 500 : 300);
}
BENCHMARK(BM_AlertToMailAccepted)->Arg(0)->Arg(1)->Iterations(40)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ThousandQueuedMessages(benchmark::State& state)
{
    MailRig rig;
    if (!rig.start()) {
        state.SkipWithError("the SMTP server did not start");
        return;
    }
    const QString body = QStringLiteral("Date/Time = 12/4/2026 6:41:09 PM\r\n").repeated(60); // about 2 KB
    constexpr int kMessages = 1000;
    int queued = 0;
    // Keeps the ring full: a new message joins each time one leaves.
    QObject::connect(rig.mail.get(), &SmtpClient::mailFinished, [&] {
        if (queued < kMessages) {
            rig.mail->SendEmail(rig.settings.mail.addresses, QStringLiteral("Message %1").arg(queued), body);
            ++queued;
        }
    });

    const double rssStart = rssMiB();
    const std::clock_t cpuStart = std::clock();
    std::vector<double> rssAfterRound;
    double seconds = 0;
    qsizetype received = 0; // messages the server wrote to its spool
    for (auto _ : state) {
        queued = 0;
        const qsizetype before = rig.peer.messages().size();
        const int target = rig.finished + kMessages;
        QElapsedTimer timer;
        timer.start();
        for (; queued < SmtpClient::QueueSlots - 1; ++queued)
            rig.mail->SendEmail(rig.settings.mail.addresses, QStringLiteral("Message %1").arg(queued), body);
        if (!waitFinished(*rig.mail, rig.finished, target)) {
            state.SkipWithError("the messages did not all finish");
            return;
        }
        seconds = double(timer.nsecsElapsed()) / 1e9;
        // A shortfall shows in the received count below rather than ending the round.
        (void)QTest::qWaitFor([&] { return rig.peer.messages().size() >= before + kMessages; }, 5000);
        received += rig.peer.messages().size() - before;
        rssAfterRound.push_back(rssMiB());
        state.counters["msgs_per_s"] = kMessages / seconds;
    }
    const double cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    state.counters["rss_start_MiB"] = rssStart;
    state.counters["rss_end_MiB"] = rssAfterRound.back();
    state.counters["sent"] = rig.sent;
    std::printf("1,000 queued messages: %.0f messages/s (last round %.2f s), %d sent of %d, %lld received by the "
                "server; RSS %.1f MiB before",
        kMessages / seconds, seconds, rig.sent, rig.finished, qint64(received), rssStart);
    for (double r : rssAfterRound)
        std::printf(", %.1f MiB", r);
    std::printf(
        " after each round; client CPU %.2f ms per message; mail log lines %d\n", cpuMs / rig.finished, s_mailLogLines);
}
BENCHMARK(BM_ThousandQueuedMessages)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Failures of the client would show here; a clean run has none.
    installLogSink([](const QString&, const QString& text) {
        if (text.startsWith(QStringLiteral("SmtpClient:  ")))
            ++s_mailLogLines;
        std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
