// clsMedia without a sound server, under a QCoreApplication as the headless monitor runs it: the slider to
// decibel to factor mapping, the wave header check, and the one log line for a file that cannot play or for
// a box with no audio output. The audible side is tst_media_audible.
#include "LogCapture.h"
#include "TestHome.h"
#include "notify/clsMedia.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

namespace {

// A RIFF WAVE file built from its parts; chunks are id + little-endian size + body (+ pad byte when odd).
QByteArray chunk(const char* id, const QByteArray& body)
{
    QByteArray c(id, 4);
    const quint32 n = quint32(body.size());
    for (int i = 0; i < 4; ++i)
        c.append(char((n >> (8 * i)) & 0xFF));
    c.append(body);
    if (body.size() % 2)
        c.append('\0');
    return c;
}

QByteArray le(quint32 v, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
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

} // namespace

class TestClsMedia final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { m_capture.clear(); }

    void volumeScale_data();
    void volumeScale();
    void waveFormat_data();
    void waveFormat();
    void fileThatCannotPlay_data();
    void fileThatCannotPlay();
    void playWithoutOutput();
    void reopeningReplacesTheSound();

private:
    LogCapture m_capture;
    QTemporaryDir m_dir;
};

void TestClsMedia::initTestCase()
{
    pinTestEnvironment();
    // No sound server for this test, whatever the machine offers: the player must cope with none.
    qputenv("PULSE_SERVER", QFile::encodeName(m_dir.filePath(QStringLiteral("no-server"))));
}

void TestClsMedia::volumeScale_data()
{
    QTest::addColumn<qint32>("slider");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<qint32>("hundredthsDb");
    QTest::newRow("full") << 100 << true << 0;
    QTest::newRow("stored default") << 70 << true << -1500;
    QTest::newRow("half") << 50 << true << -2500;
    QTest::newRow("one step up from the bottom") << 1 << true << -4950;
    QTest::newRow("bottom, quiet but not muted") << 0 << true << -5000;
    QTest::newRow("as quiet as the output goes") << -100 << true << -10000;
    QTest::newRow("below silence") << -101 << false << 0;
    QTest::newRow("louder than the file") << 101 << false << 0;
    QTest::newRow("multiplication overflows") << 42949673 << false << 0;
    QTest::newRow("largest") << std::numeric_limits<qint32>::max() << false << 0;
    QTest::newRow("smallest") << std::numeric_limits<qint32>::min() << false << 0;
}

void TestClsMedia::volumeScale()
{
    QFETCH(qint32, slider);
    QFETCH(bool, applied);
    QFETCH(qint32, hundredthsDb);
    const std::optional<qint32> level = clsMedia::volumeHundredthsDb(slider);
    QCOMPARE(level.has_value(), applied);
    if (applied)
        QCOMPARE(*level, hundredthsDb);
}

void TestClsMedia::waveFormat_data()
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
    QTest::newRow("32-bit float stereo") << riff(fmt(3, 2, 48000, 32) + chunk("data", samples)) << true << qint64(8820)
                                         << QString();
    QTest::newRow("cut short: plays what it holds")
        << riff(pcm16 + chunk("data", samples)).left(44 + 100) << true << qint64(100) << QString();
    QTest::newRow("empty file") << QByteArray() << false << qint64(0) << QStringLiteral("not a RIFF WAVE file");
    QTest::newRow("text") << QByteArray("this is not a sound at all") << false << qint64(0)
                          << QStringLiteral("not a RIFF WAVE file");
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
    QTest::newRow("data before format") << riff(chunk("data", samples) + pcm16) << false << qint64(0)
                                        << QStringLiteral("data before format");
    QTest::newRow("no samples") << riff(pcm16 + chunk("data", QByteArray())) << false << qint64(0)
                                << QStringLiteral("no samples");
}

void TestClsMedia::waveFormat()
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

void TestClsMedia::fileThatCannotPlay_data()
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
    QTest::newRow("not a wave") << text.fileName() << QStringLiteral("is not a playable wave (not a RIFF WAVE file)");
}

void TestClsMedia::fileThatCannotPlay()
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
    QVERIFY2(
        m_capture.lines()[0].startsWith(QStringLiteral("clsMedia:  OpenFile - ")), qPrintable(m_capture.lines()[0]));
    QVERIFY2(
        m_capture.lines()[0].contains(path) && m_capture.lines()[0].contains(says), qPrintable(m_capture.lines()[0]));
}

void TestClsMedia::playWithoutOutput()
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

void TestClsMedia::reopeningReplacesTheSound()
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

KW_TEST_GUILESS_MAIN(TestClsMedia)
#include "tst_clsmedia.moc"
