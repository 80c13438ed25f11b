// The sounds the build synthesises: five 16-bit PCM mono wave files, each at least half a second long, below
// full scale, starting and ending on silence; the button sounds short, the alerts long, the reminder softer
// than the alerts. The header is read here byte by byte, independently of the player's own parser.
#include "Process.h"
#include "TestHome.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {

const char* const kSounds[] = {
    "Button_Over.wav", "Button_Click.wav", "New_Intruder.wav", "Intruder_Online.wav", "Intruder_Still_Online.wav"};

QString soundsDir()
{
    return qEnvironmentVariable("KESTRELWATCH_SHARE") + QStringLiteral("/Sounds/");
}

quint32 le(const QByteArray& b, int at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

struct Wave
{
    QByteArray bytes;
    std::vector<qint16> samples;
    int rate = 0;

    double seconds() const { return double(samples.size()) / rate; }
    double rms(double from, double to) const
    {
        const auto a = std::size_t(from * rate);
        const auto b = std::min(samples.size(), std::size_t(to * rate));
        double sum = 0;
        for (std::size_t i = a; i < b; ++i)
            sum += double(samples[i]) * samples[i];
        return b > a ? std::sqrt(sum / double(b - a)) : 0.0;
    }
    int peak() const
    {
        int p = 0;
        for (qint16 s : samples)
            p = std::max(p, std::abs(int(s)));
        return p;
    }
};

// Reads the canonical 44-byte header the generator writes and fails the test on any other shape.
Wave readWave(const QString& path)
{
    Wave w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return w;
    w.bytes = f.readAll();
    const QByteArray& b = w.bytes;
    if (b.size() < 44 || b.left(4) != "RIFF" || b.mid(8, 8) != "WAVEfmt " || b.mid(36, 4) != "data")
        return w;
    if (le(b, 4, 4) != quint32(b.size() - 8) || le(b, 16, 4) != 16 || le(b, 20, 2) != 1 || le(b, 22, 2) != 1
        || le(b, 34, 2) != 16 || le(b, 40, 4) != quint32(b.size() - 44))
        return w;
    const int rate = int(le(b, 24, 4));
    if (le(b, 28, 4) != quint32(rate * 2) || le(b, 32, 2) != 2)
        return w;
    w.rate = rate;
    for (int at = 44; at + 1 < b.size(); at += 2)
        w.samples.push_back(qint16(le(b, at, 2)));
    return w;
}

} // namespace

class TestGenSounds final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void waveFiles()
    {
        for (const char* name : kSounds) {
            const Wave w = readWave(soundsDir() + QLatin1String(name));
            QVERIFY2(w.rate == 44100, name); // a canonical 16-bit PCM mono RIFF WAVE file
            QVERIFY2(w.seconds() >= 0.5, name);
            // Headroom of at least 1 dB: nothing clips, even after resampling.
            QVERIFY2(w.peak() < 29205 && w.peak() > 1000, name);
            // Starts and ends on silence, so neither the start nor a cut-off restart clicks.
            QVERIFY2(std::abs(int(w.samples.front())) < 64 && std::abs(int(w.samples.back())) < 64, name);
        }
    }

    void soundsHaveTheirCharacter()
    {
        auto wave = [](const char* name) { return readWave(soundsDir() + QLatin1String(name)); };
        const Wave over = wave("Button_Over.wav");
        const Wave click = wave("Button_Click.wav");
        const Wave fresh = wave("New_Intruder.wav");
        const Wave online = wave("Intruder_Online.wav");
        const Wave still = wave("Intruder_Still_Online.wav");
        // The button sounds are over within a tenth of a second; the rest is padding.
        for (const Wave* button : {&over, &click}) {
            QVERIFY(button->rms(0.1, button->seconds()) < 1.0);
            QVERIFY(button->rms(0.0, 0.05) > 10.0);
        }
        QVERIFY(over.peak() < click.peak() / 2); // the hover tick is quieter than the click
        // The alerts sound for more than a second and still carry sound in their second half.
        for (const Wave* alert : {&fresh, &online, &still}) {
            QVERIFY(alert->seconds() > 1.0);
            QVERIFY(alert->rms(alert->seconds() / 2, alert->seconds()) > 50.0);
        }
        // The reminder is the softest alert, by at least 6 dB; each alert is its own sound.
        QVERIFY(still.rms(0, still.seconds()) * 2 < fresh.rms(0, fresh.seconds()));
        QVERIFY(still.rms(0, still.seconds()) * 2 < online.rms(0, online.seconds()));
        QVERIFY(fresh.bytes != online.bytes && online.bytes != still.bytes && fresh.bytes != still.bytes);
    }

    void synthesisIsRepeatableAndUsageFails()
    {
        QTemporaryDir out;
        QCOMPARE(kwtest::run(kwtest::binary(QStringLiteral("kw-gen-sounds")), {out.path()}).code, 0);
        for (const char* name : kSounds) {
            QFile mine(out.filePath(QLatin1String(name)));
            QFile built(soundsDir() + QLatin1String(name));
            QVERIFY(mine.open(QIODevice::ReadOnly) && built.open(QIODevice::ReadOnly));
            QVERIFY2(mine.readAll() == built.readAll(), name);
        }
        const kwtest::Run usage = kwtest::run(kwtest::binary(QStringLiteral("kw-gen-sounds")), {});
        QCOMPARE(usage.code, 2);
        QVERIFY(usage.err.contains(QStringLiteral("usage")));
    }
};

KW_TEST_GUILESS_MAIN(TestGenSounds)
#include "tst_gensounds.moc"
