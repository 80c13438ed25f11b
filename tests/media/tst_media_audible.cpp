// WavePlayer heard through a private PulseAudio server's null sink, whose monitor is recorded while the player
// plays: the level heard is the slider's in decibels, and a second play restarts the sound, under a
// QGuiApplication as the window plays it.
#include "LogCapture.h"
#include "PulseSink.h"
#include "TestHome.h"
#include "mainwindow/WavePlayer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

struct Heard
{
    double level = -200; // dB relative to the file as it is
    double seconds = 0; // from the first to the last clearly audible sample
};

} // namespace

class TestMediaAudible final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        pinTestEnvironment();
        // The server comes first: Qt Multimedia connects to the sound server it finds when first used.
        if (!m_sink.start(&m_skip))
            KW_SKIP(qPrintable(m_skip));
        m_file = qEnvironmentVariable("KESTRELWATCH_SHARE") + QStringLiteral("/Sounds/New_Intruder.wav");
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const auto format = WavePlayer::readWaveFormat(bytes);
        QVERIFY(
            format && format->bitsPerSample == 16 && format->channels == 1 && format->sampleRate == PulseSink::kRate);
        m_original.resize(std::size_t(format->dataBytes / 2));
        qFromLittleEndian<qint16>(
            bytes.constData() + bytes.size() - format->dataBytes, qsizetype(m_original.size()), m_original.data());
    }

    void playsAtTheSliderLevel_data()
    {
        QTest::addColumn<qint32>("slider");
        QTest::addColumn<double>("decibels");
        QTest::newRow("100: the file as it is") << 100 << 0.0;
        QTest::newRow("70: the stored default") << 70 << -15.0;
        QTest::newRow("40") << 40 << -30.0;
        QTest::newRow("0: quiet but not muted") << 0 << -50.0;
        // After a play at 70, a volume the output cannot take leaves the level as it was.
        QTest::newRow("out of range after 70") << std::numeric_limits<qint32>::max() << -15.0;
    }

    void playsAtTheSliderLevel()
    {
        QFETCH(qint32, slider);
        QFETCH(double, decibels);
        WavePlayer player;
        QVERIFY(player.OpenFile(m_file));
        if (slider > 100) {
            player.Play(70);
            waitForTheEnd(player);
        }
        QVERIFY(m_sink.startRecording());
        const double playedAt = m_sink.recordedSeconds();
        player.Play(slider);
        waitForTheEnd(player);
        const double latency = m_sink.firstHeard(0) - playedAt;
        const Heard h = hear(m_sink.stopRecording());
        QCOMPARE(player.volumeApplied(), qRound(decibels * 100));
        qInfo("slider %d: heard %.2f dB for %.2f s, about %.2f s after the play", slider, h.level, h.seconds, latency);
        QVERIFY2(std::abs(h.level - decibels) < 1.0, qPrintable(QString::number(h.level)));
        QVERIFY(h.seconds > 1.2);
        QVERIFY2(m_capture.lines().isEmpty(), qPrintable(m_capture.lines().join(QLatin1Char('\n'))));
    }

    void secondPlayRestarts()
    {
        const double duration = double(m_original.size()) / PulseSink::kRate;
        WavePlayer player;
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
        qInfo("second play 0.4 s into the sound: played on for %.2f s, heard for %.2f s (the sound is %.2f s)",
            playedOn, h.seconds, duration);
        // Ignored, the sound would be heard for its own length and stop about a second after the second play;
        // queued, it would be heard for twice its length.
        QVERIFY2(h.seconds > duration + 0.3 && h.seconds < 2 * duration - 0.1, qPrintable(QString::number(h.seconds)));
        QVERIFY2(playedOn > duration - 0.2 && playedOn < duration + 1.0, qPrintable(QString::number(playedOn)));
    }

private:
    void waitForTheEnd(WavePlayer& player)
    {
        QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 8000);
        // What the player has handed over still sits in the server's buffers for a moment.
        QTest::qWait(400);
    }

    Heard hear(const std::vector<qint16>& recording) const
    {
        Heard h;
        const auto energy = [](const std::vector<qint16>& samples) {
            return std::accumulate(samples.begin(), samples.end(), 0.0, [](double e, qint16 s) { return e + s * s; });
        };
        const double original = energy(m_original);
        const double heard = energy(recording);
        if (heard > 0)
            h.level = 10.0 * std::log10(heard / original);
        int peak = 0;
        for (qint16 s : recording)
            peak = std::max(peak, std::abs(int(s)));
        const auto loud = [threshold = std::max(2, peak / 100)](qint16 s) { return std::abs(int(s)) > threshold; };
        const auto first = std::find_if(recording.begin(), recording.end(), loud);
        const auto last = std::find_if(recording.rbegin(), recording.rend(), loud).base();
        if (first < last)
            h.seconds = double(last - first) / PulseSink::kRate;
        return h;
    }

    PulseSink m_sink;
    QString m_skip;
    QString m_file;
    std::vector<qint16> m_original;
    LogCapture m_capture;
};

KW_TEST_MAIN(TestMediaAudible)
#include "tst_media_audible.moc"
