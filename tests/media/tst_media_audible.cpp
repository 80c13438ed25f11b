// clsMedia heard through a real sound server: a private PulseAudio server with a null sink, whose monitor is
// recorded while the player plays. The recorded level must be the slider's level in decibels, a second play
// must restart the sound, and a volume the output cannot take must leave the level as it was. Built twice:
// under a QGuiApplication (the desktop) and under a QCoreApplication (the headless monitor).
#include "LogCapture.h"
#include "PulseSink.h"
#include "TestHome.h"
#include "notify/clsMedia.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <cmath>
#include <limits>

namespace {

struct Heard
{
    double level = -200; // dB relative to the file as it is
    double seconds = 0; // from the first to the last clearly audible sample
};

double energy(const std::vector<qint16>& samples)
{
    double sum = 0;
    for (qint16 s : samples)
        sum += double(s) * s;
    return sum;
}

} // namespace

class TestMediaAudible final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void playsAtTheSliderLevel_data();
    void playsAtTheSliderLevel();
    void secondPlayRestarts();
    void volumeTheOutputCannotTakeKeepsTheLevel();

private:
    Heard hear(const std::vector<qint16>& recording) const;
    void waitForTheEnd(clsMedia& player);

    PulseSink m_sink;
    QString m_skip;
    QString m_file;
    std::vector<qint16> m_original;
    LogCapture m_capture;
};

void TestMediaAudible::initTestCase()
{
    pinTestEnvironment();
    // The server comes first: Qt Multimedia connects to the sound server it finds when first used.
    if (!m_sink.start(&m_skip))
        KW_SKIP(qPrintable(m_skip));
    m_file = qEnvironmentVariable("KESTRELWATCH_SHARE") + QStringLiteral("/Sounds/New_Intruder.wav");
    QFile f(m_file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const auto format = clsMedia::readWaveFormat(bytes);
    QVERIFY(format && format->bitsPerSample == 16 && format->channels == 1 && format->sampleRate == PulseSink::kRate);
    for (qsizetype at = bytes.size() - format->dataBytes; at + 1 < bytes.size(); at += 2)
        m_original.push_back(qint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8)));
}

Heard TestMediaAudible::hear(const std::vector<qint16>& recording) const
{
    Heard h;
    const double original = energy(m_original);
    const double heard = energy(recording);
    if (heard > 0)
        h.level = 10.0 * std::log10(heard / original);
    int peak = 0;
    for (qint16 s : recording)
        peak = std::max(peak, std::abs(int(s)));
    const int threshold = std::max(2, peak / 100);
    std::size_t first = recording.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < recording.size(); ++i) {
        if (std::abs(int(recording[i])) > threshold) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first < last)
        h.seconds = double(last - first) / PulseSink::kRate;
    return h;
}

void TestMediaAudible::waitForTheEnd(clsMedia& player)
{
    QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 8000);
    // What the player has handed over still sits in the server's buffers for a moment.
    QTest::qWait(400);
}

void TestMediaAudible::playsAtTheSliderLevel_data()
{
    QTest::addColumn<qint32>("slider");
    QTest::newRow("100: the file as it is") << 100;
    QTest::newRow("70: the stored default, -15 dB") << 70;
    QTest::newRow("40: -30 dB") << 40;
    QTest::newRow("0: -50 dB, quiet but not muted") << 0;
}

void TestMediaAudible::playsAtTheSliderLevel()
{
    QFETCH(qint32, slider);
    clsMedia player;
    QVERIFY(player.OpenFile(m_file));
    QVERIFY(m_sink.startRecording());
    const double playedAt = m_sink.recordedSeconds();
    player.Play(slider);
    waitForTheEnd(player);
    const double latency = m_sink.firstHeard(0) - playedAt;
    const Heard h = hear(m_sink.stopRecording());
    QCOMPARE(player.volumeApplied(), slider * 50 - 5000);
    const double expected = (slider * 50 - 5000) / 100.0;
    qInfo("slider %d: heard %.2f dB (expected %.2f dB) for %.2f s, about %.2f s after the play", slider, h.level,
        expected, h.seconds, latency);
    QVERIFY2(std::abs(h.level - expected) < 1.0, qPrintable(QString::number(h.level)));
    QVERIFY(h.seconds > 1.2);
    QVERIFY2(m_capture.lines().isEmpty(), qPrintable(m_capture.lines().join(QLatin1Char('\n'))));
}

void TestMediaAudible::secondPlayRestarts()
{
    const double duration = double(m_original.size()) / PulseSink::kRate;
    clsMedia player;
    QVERIFY(player.OpenFile(m_file));
    QVERIFY(m_sink.startRecording());
    player.Play(100);
    // The second play comes 0.4 s into what is heard, whatever the output's start-up latency.
    QTRY_VERIFY_WITH_TIMEOUT(m_sink.firstHeard(200) >= 0, 5000);
    QTest::qWait(400);
    QVERIFY(player.isPlaying());
    QElapsedTimer sinceRestart;
    sinceRestart.start();
    player.Play(100);
    QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 8000);
    const double playedOn = sinceRestart.elapsed() / 1000.0;
    QTest::qWait(400);
    const Heard h = hear(m_sink.stopRecording());
    qInfo("second play 0.4 s into the sound: played on for %.2f s, heard for %.2f s (the sound is %.2f s)", playedOn,
        h.seconds, duration);
    // Ignored, the sound would be heard for its own length and stop about a second after the second play;
    // queued, it would be heard for twice its length.
    QVERIFY2(h.seconds > duration + 0.3 && h.seconds < 2 * duration - 0.1, qPrintable(QString::number(h.seconds)));
    QVERIFY2(playedOn > duration - 0.2 && playedOn < duration + 1.0, qPrintable(QString::number(playedOn)));
}

void TestMediaAudible::volumeTheOutputCannotTakeKeepsTheLevel()
{
    clsMedia player;
    QVERIFY(player.OpenFile(m_file));
    player.Play(70);
    waitForTheEnd(player);
    QVERIFY(m_sink.startRecording());
    player.Play(std::numeric_limits<qint32>::max());
    waitForTheEnd(player);
    const Heard h = hear(m_sink.stopRecording());
    QCOMPARE(player.volumeApplied(), -1500);
    QVERIFY2(std::abs(h.level + 15.0) < 1.0, qPrintable(QString::number(h.level)));
}

#ifdef KW_MEDIA_GUILESS
KW_TEST_GUILESS_MAIN(TestMediaAudible)
#else
KW_TEST_MAIN(TestMediaAudible)
#endif
#include "tst_media_audible.moc"
