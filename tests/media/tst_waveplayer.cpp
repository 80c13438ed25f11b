// The synthesised sounds, and the window's sound player WavePlayer with no sound server: the wave header
// check, sliders the output cannot take, one log line for a file that cannot play or a box with no output.
#include "LogCapture.h"
#include "Process.h"
#include "TestHome.h"
#include "mainwindow/WavePlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <limits>
#include <set>

namespace {

QByteArray le(quint32 v, int bytes)
{
    v = qToLittleEndian(v);
    return QByteArray(reinterpret_cast<const char*>(&v), bytes);
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

// A generated sound's samples: a canonical 44-byte header of 16-bit mono at 44.1 kHz, else none.
std::vector<qint16> readSound(const QString& path)
{
    QFile f(path);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const auto format = WavePlayer::readWaveFormat(b);
    if (!format || format->channels != 1 || format->sampleRate != 44100 || format->bitsPerSample != 16
        || b.size() - format->dataBytes != 44)
        return {};
    std::vector<qint16> samples(std::size_t(format->dataBytes / 2));
    qFromLittleEndian<qint16>(b.constData() + 44, qsizetype(samples.size()), samples.data());
    return samples;
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
        QCOMPARE(WavePlayer::volumeHundredthsDb(-100), std::optional<qint32>(-10000)); // as quiet as it goes
        for (const qint32 slider : {-101, 101, 42949673, std::numeric_limits<qint32>::min()})
            QVERIFY2(!WavePlayer::volumeHundredthsDb(slider), qPrintable(QString::number(slider)));
    }

    void waveFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("outcome"); // the data bytes that play, or why nothing does
        const auto row = [](const char* name, const QByteArray& bytes, const char* outcome) {
            QTest::newRow(name) << bytes << QString::fromLatin1(outcome);
        };
        const QByteArray pcm16 = fmt(1, 1, 44100, 16), data = chunk("data", QByteArray(8820, '\x01'));
        row("16-bit mono", riff(pcm16 + data), "8820 bytes");
        row("a LIST chunk of odd size first", riff(pcm16 + chunk("LIST", QByteArray(5, 'x')) + data), "8820 bytes");
        row("32-bit float stereo", riff(fmt(3, 2, 48000, 32) + data), "8820 bytes");
        row("cut short: plays what it holds", riff(pcm16 + data).left(44 + 100), "100 bytes");
        row("a RIFF AVI", QByteArray("RIFF\x04\0\0\0AVI ", 12), "not a RIFF WAVE file");
        row("MP3 inside", riff(fmt(0x55, 1, 44100, 16) + data), "compressed format 85");
        row("12-bit", riff(fmt(1, 1, 44100, 12) + data), "12 bits per sample");
        row("no channels", riff(fmt(1, 0, 44100, 16) + data), "0 channels at 44100 Hz");
        row("format chunk too short", riff(chunk("fmt ", QByteArray(10, '\x01')) + data), "format chunk too short");
        row("no data chunk", riff(pcm16), "no data chunk");
        row("data before format", riff(data + pcm16), "data before format");
        row("no samples", riff(pcm16 + chunk("data", QByteArray())), "no samples");
    }

    void waveFormat()
    {
        QFETCH(QByteArray, bytes);
        QString reason;
        const auto format = WavePlayer::readWaveFormat(bytes, &reason);
        QTEST(format ? QStringLiteral("%1 bytes").arg(format->dataBytes) : reason, "outcome");
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
        WavePlayer player;
        QVERIFY(player.OpenFile(soundsDir() + QStringLiteral("Intruder_Online.wav")));
        // The file that cannot play replaces the one open before.
        QVERIFY(!player.OpenFile(path));
        QVERIFY(!player.isOpen());
        // Playing it is a no-op, as often as the alerts ask, and adds nothing to the log.
        player.Play(70);
        player.Play(100);
        player.Stop();
        QVERIFY(!player.isPlaying());
        QCOMPARE(m_capture.lines().size(), 1);
        const QString line = m_capture.lines()[0];
        QVERIFY2(
            line.startsWith(QStringLiteral("WavePlayer:  OpenFile - ")) && line.contains(path) && line.contains(says),
            qPrintable(line));
    }

    void playWithoutOutput()
    {
        QVERIFY(QMediaDevices::defaultAudioOutput().isNull());
        const QString file = soundsDir() + QStringLiteral("New_Intruder.wav");
        WavePlayer player;
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
        QVERIFY2(m_capture.lines()[0].startsWith(QStringLiteral("WavePlayer:  Play - no audio output")),
            qPrintable(m_capture.lines()[0]));
        QVERIFY(m_capture.lines()[0].contains(QStringLiteral("New_Intruder.wav")));
    }

    // Five distinct sounds, below full scale, silent at both ends; drawn the same twice; no arguments fails.
    void synthesisedSounds()
    {
        std::set<std::vector<qint16>> distinct;
        for (const char* name : kSounds) {
            const std::vector<qint16> s = readSound(soundsDir() + QLatin1String(name));
            QVERIFY2(s.size() >= 44100 / 2, name);
            const auto [low, high] = std::minmax_element(s.begin(), s.end());
            const int peak = std::max(-int(*low), int(*high));
            QVERIFY2(peak < 29205 && peak > 1000, name); // 1 dB headroom: nothing clips after resampling
            QVERIFY2(std::abs(int(s.front())) < 64 && std::abs(int(s.back())) < 64, name);
            distinct.insert(s);
        }
        QCOMPARE(distinct.size(), std::size(kSounds));
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
#include "tst_waveplayer.moc"
