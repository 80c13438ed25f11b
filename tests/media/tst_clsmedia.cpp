// The sounds the build synthesises, and clsMedia without a sound server, under a QCoreApplication as the
// headless monitor runs it: the wave header check, the sliders the output cannot take, and the one log line
// for a file that cannot play or for a box with no audio output. The levels heard are tst_media_audible's.
#include "LogCapture.h"
#include "Process.h"
#include "TestHome.h"
#include "notify/clsMedia.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>
#include <map>

namespace {

QByteArray le(quint32 v, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

// A RIFF WAVE file built from its parts; chunks are id + little-endian size + body (+ pad byte when odd).
QByteArray chunk(const char* id, const QByteArray& body)
{
    return QByteArray(id, 4) + le(quint32(body.size()), 4) + body + (body.size() % 2 ? QByteArray(1, '\0') : "");
}

QByteArray fmt(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = quint16(channels * bits / 8);
    return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2));
}

QByteArray riff(const QByteArray& chunks)
{
    return QByteArray("RIFF") + le(quint32(4 + chunks.size()), 4) + "WAVE" + chunks;
}

const char* const kSounds[] = {
    "Button_Over.wav", "Button_Click.wav", "New_Intruder.wav", "Intruder_Online.wav", "Intruder_Still_Online.wav"};

QString soundsDir()
{
    return qEnvironmentVariable("KESTRELWATCH_SHARE") + QStringLiteral("/Sounds/");
}

struct Wave
{
    std::vector<qint16> samples;

    double seconds() const { return double(samples.size()) / 44100; }
    double rms(double from, double to) const
    {
        const auto a = std::min(samples.size(), std::size_t(from * 44100));
        const auto b = std::min(samples.size(), std::size_t(to * 44100));
        double sum = 0;
        for (std::size_t i = a; i < b; ++i)
            sum += double(samples[i]) * samples[i];
        return b > a ? std::sqrt(sum / double(b - a)) : 0.0;
    }
    int peak() const
    {
        int p = 0;
        for (const qint16 s : samples)
            p = std::max(p, std::abs(int(s)));
        return p;
    }
};

// A generated sound: a canonical 44-byte header of 16-bit mono at 44.1 kHz, else no samples.
Wave readSound(const QString& path)
{
    Wave w;
    QFile f(path);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const auto format = clsMedia::readWaveFormat(b);
    if (!format || format->channels != 1 || format->sampleRate != 44100 || format->bitsPerSample != 16
        || b.size() - format->dataBytes != 44)
        return w;
    for (qsizetype at = 44; at + 1 < b.size(); at += 2)
        w.samples.push_back(qint16(quint8(b[at]) | (quint8(b[at + 1]) << 8)));
    return w;
}

} // namespace

class TestClsMedia final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_capture.clear(); }

    void initTestCase()
    {
        pinTestEnvironment();
        // No sound server for this test, whatever the machine offers: the player must cope with none.
        qputenv("PULSE_SERVER", QFile::encodeName(m_dir.filePath(QStringLiteral("no-server"))));
    }

    void slidersTheOutputCannotTake()
    {
        QCOMPARE(clsMedia::volumeHundredthsDb(-100), std::optional<qint32>(-10000)); // as quiet as it goes
        for (const qint32 slider : {-101, 101, 42949673, std::numeric_limits<qint32>::min()})
            QVERIFY2(!clsMedia::volumeHundredthsDb(slider), qPrintable(QString::number(slider)));
    }

    void waveFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("playable");
        QTest::addColumn<qint64>("dataBytes");
        QTest::addColumn<QString>("why");

        const QByteArray pcm16 = fmt(1, 1, 44100, 16);
        const QByteArray samples(8820, '\x01');
        QTest::newRow("16-bit mono") << riff(pcm16 + chunk("data", samples)) << true << qint64(8820) << QString();
        QTest::newRow("a LIST chunk of odd size before the data")
            << riff(pcm16 + chunk("LIST", QByteArray(5, 'x')) + chunk("data", samples)) << true << qint64(8820)
            << QString();
        QTest::newRow("32-bit float stereo")
            << riff(fmt(3, 2, 48000, 32) + chunk("data", samples)) << true << qint64(8820) << QString();
        QTest::newRow("cut short: plays what it holds")
            << riff(pcm16 + chunk("data", samples)).left(44 + 100) << true << qint64(100) << QString();
        QTest::newRow("empty file") << QByteArray() << false << qint64(0) << QStringLiteral("not a RIFF WAVE file");
        QTest::newRow("a RIFF AVI") << QByteArray("RIFF\x04\0\0\0AVI ", 12) << false << qint64(0)
                                    << QStringLiteral("not a RIFF WAVE file");
        QTest::newRow("MP3 inside") << riff(fmt(0x55, 1, 44100, 16) + chunk("data", samples)) << false << qint64(0)
                                    << QStringLiteral("compressed format 85");
        QTest::newRow("12-bit") << riff(fmt(1, 1, 44100, 12) + chunk("data", samples)) << false << qint64(0)
                                << QStringLiteral("12 bits per sample");
        QTest::newRow("no channels") << riff(fmt(1, 0, 44100, 16) + chunk("data", samples)) << false << qint64(0)
                                     << QStringLiteral("0 channels at 44100 Hz");
        QTest::newRow("format chunk too short") << riff(chunk("fmt ", QByteArray(10, '\x01')) + chunk("data", samples))
                                                << false << qint64(0) << QStringLiteral("format chunk too short");
        QTest::newRow("no data chunk") << riff(pcm16) << false << qint64(0) << QStringLiteral("no data chunk");
        QTest::newRow("data before format")
            << riff(chunk("data", samples) + pcm16) << false << qint64(0) << QStringLiteral("data before format");
        QTest::newRow("no samples") << riff(pcm16 + chunk("data", QByteArray())) << false << qint64(0)
                                    << QStringLiteral("no samples");
    }

    void waveFormat()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, playable);
        QFETCH(qint64, dataBytes);
        QFETCH(QString, why);
        QString reason;
        const auto format = clsMedia::readWaveFormat(bytes, &reason);
        QCOMPARE(format.has_value(), playable);
        if (playable)
            QCOMPARE(format->dataBytes, dataBytes);
        else
            QCOMPARE(reason, why);
    }

    void fileThatCannotPlay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("Sounds/New_Intruder.wav"))
                                 << QStringLiteral("does not exist");
        QDir(m_dir.path()).mkpath(QStringLiteral("a folder.wav"));
        QTest::newRow("a folder") << m_dir.filePath(QStringLiteral("a folder.wav")) << QStringLiteral("cannot read");
        QFile text(m_dir.filePath(QStringLiteral("notes.wav")));
        text.open(QIODevice::WriteOnly);
        text.write("a text file with the wrong name\n");
        text.close();
        QTest::newRow("not a wave") << text.fileName()
                                    << QStringLiteral("is not a playable wave (not a RIFF WAVE file)");
    }

    void fileThatCannotPlay()
    {
        QFETCH(QString, path);
        QFETCH(QString, says);
        clsMedia player;
        QVERIFY(!player.OpenFile(path));
        QVERIFY(!player.isOpen());
        // Playing it is a no-op, as often as the alerts ask, and adds nothing to the log.
        player.Play(70);
        player.Play(100);
        player.Stop();
        QVERIFY(!player.isPlaying());
        QCOMPARE(m_capture.lines().size(), 1);
        QVERIFY2(m_capture.lines()[0].startsWith(QStringLiteral("clsMedia:  OpenFile - ")),
            qPrintable(m_capture.lines()[0]));
        QVERIFY2(m_capture.lines()[0].contains(path) && m_capture.lines()[0].contains(says),
            qPrintable(m_capture.lines()[0]));
    }

    void playWithoutOutput()
    {
        QVERIFY(QMediaDevices::defaultAudioOutput().isNull());
        const QString file = qEnvironmentVariable("KESTRELWATCH_SHARE") + QStringLiteral("/Sounds/New_Intruder.wav");
        clsMedia player;
        QVERIFY(player.OpenFile(file));
        QVERIFY(player.isOpen());
        QCOMPARE(player.fileName(), file);
        player.Play(70);
        player.Play(70);
        QTest::qWait(200);
        player.Play(100);
        QVERIFY(!player.isPlaying());
        // One line says the sound stays silent; the alerts after it do not repeat it.
        QCOMPARE(m_capture.lines().size(), 1);
        QVERIFY2(m_capture.lines()[0].startsWith(QStringLiteral("clsMedia:  Play - no audio output")),
            qPrintable(m_capture.lines()[0]));
        QVERIFY(m_capture.lines()[0].contains(QStringLiteral("New_Intruder.wav")));
    }

    void reopeningReplacesTheSound()
    {
        const QString sounds = qEnvironmentVariable("KESTRELWATCH_SHARE") + QStringLiteral("/Sounds/");
        clsMedia player;
        QVERIFY(player.OpenFile(sounds + QStringLiteral("Intruder_Online.wav")));
        QVERIFY(!player.OpenFile(sounds + QStringLiteral("Gone.wav")));
        QVERIFY(!player.isOpen());
        player.Play(70);
        QCOMPARE(m_capture.lines().size(), 1);
        QVERIFY(player.OpenFile(sounds + QStringLiteral("Intruder_Still_Online.wav")));
        QVERIFY(player.fileName().endsWith(QStringLiteral("Intruder_Still_Online.wav")));
    }

    // Five 16-bit PCM mono files of at least half a second, below full scale, starting and ending on silence;
    // the buttons short, the alerts long, the reminder softer than the alerts by 6 dB; each its own sound.
    void synthesisedSounds()
    {
        std::map<QString, Wave> w;
        for (const char* name : kSounds) {
            w[QLatin1String(name)] = readSound(soundsDir() + QLatin1String(name));
            const Wave& s = w[QLatin1String(name)];
            QVERIFY2(s.samples.size() >= 44100 / 2, name);
            QVERIFY2(s.peak() < 29205 && s.peak() > 1000, name); // 1 dB headroom: nothing clips after resampling
            QVERIFY2(std::abs(int(s.samples.front())) < 64 && std::abs(int(s.samples.back())) < 64, name);
        }
        for (const char* button : {"Button_Over.wav", "Button_Click.wav"}) {
            QVERIFY(w[QLatin1String(button)].rms(0.1, 10) < 1.0);
            QVERIFY(w[QLatin1String(button)].rms(0.0, 0.05) > 10.0);
        }
        QVERIFY(w["Button_Over.wav"].peak() < w["Button_Click.wav"].peak() / 2);
        const Wave& still = w["Intruder_Still_Online.wav"];
        for (const char* alert : {"New_Intruder.wav", "Intruder_Online.wav", "Intruder_Still_Online.wav"}) {
            const Wave& a = w[QLatin1String(alert)];
            QVERIFY2(a.seconds() > 1.0 && a.rms(a.seconds() / 2, a.seconds()) > 50.0, alert);
            if (&a != &still) {
                QVERIFY(still.rms(0, 10) * 2 < a.rms(0, 10));
                QVERIFY(a.samples != still.samples);
            }
        }
        QVERIFY(w["New_Intruder.wav"].samples != w["Intruder_Online.wav"].samples);
        // A second run writes the same bytes; no arguments is a usage error.
        QTemporaryDir out;
        QCOMPARE(kwtest::run(kwtest::binary(QStringLiteral("kw-gen-sounds")), {out.path()}).code, 0);
        for (const char* name : kSounds) {
            QFile mine(out.filePath(QLatin1String(name)));
            QFile built(soundsDir() + QLatin1String(name));
            QVERIFY(mine.open(QIODevice::ReadOnly) && built.open(QIODevice::ReadOnly));
            QVERIFY2(mine.readAll() == built.readAll(), name);
        }
        QCOMPARE(kwtest::run(kwtest::binary(QStringLiteral("kw-gen-sounds")), {}).code, 2);
    }

private:
    LogCapture m_capture;
    QTemporaryDir m_dir;
};

KW_TEST_GUILESS_MAIN(TestClsMedia)
#include "tst_clsmedia.moc"
