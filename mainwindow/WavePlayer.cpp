#include "mainwindow/WavePlayer.h"

#include "platform/DebugSink.h"

#include <QAudioDevice>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <cmath>
#include <limits>

namespace {

// The output takes levels from −100 dB (silence) to 0 dB (the file as it is); louder would clip.
constexpr qint32 kQuietestHundredthsDb = -10000;
constexpr quint16 kFormatPcm = 1;
constexpr quint16 kFormatFloat = 3;

quint32 le32(const QByteArray& b, qsizetype at)
{
    return static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8) | (static_cast<quint8>(b[at + 2]) << 16)
        | (static_cast<quint32>(static_cast<quint8>(b[at + 3])) << 24);
}

quint16 le16(const QByteArray& b, qsizetype at)
{
    return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}

std::optional<WavePlayer::WaveFormat> fail(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return std::nullopt;
}

} // namespace

double WavePlayer::WaveFormat::seconds() const
{
    const qint64 bytesPerSecond = qint64(sampleRate) * channels * (bitsPerSample / 8);
    return bytesPerSecond > 0 ? double(dataBytes) / double(bytesPerSecond) : 0.0;
}

WavePlayer::WavePlayer() = default;

WavePlayer::~WavePlayer()
{
    if (m_effect)
        m_effect->stop();
}

std::optional<qint32> WavePlayer::volumeHundredthsDb(qint32 slider)
{
    qint32 scaled = 0;
    if (qMulOverflow(slider, qint32(50), &scaled))
        return std::nullopt;
    qint32 level = 0;
    if (qSubOverflow(scaled, qint32(5000), &level))
        return std::nullopt;
    if (level < kQuietestHundredthsDb || level > 0)
        return std::nullopt;
    return level;
}

double WavePlayer::volumeFactor(qint32 hundredthsDb)
{
    return std::pow(10.0, double(hundredthsDb) / 2000.0);
}

std::optional<WavePlayer::WaveFormat> WavePlayer::readWaveFormat(const QByteArray& bytes, QString* why)
{
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return fail(why, QStringLiteral("not a RIFF WAVE file"));
    WaveFormat format;
    bool haveFormat = false;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = le32(bytes, at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > bytes.size())
                return fail(why, QStringLiteral("format chunk too short"));
            const quint16 tag = le16(bytes, body);
            if (tag != kFormatPcm && tag != kFormatFloat)
                return fail(why, QStringLiteral("compressed format %1").arg(tag));
            format.channels = le16(bytes, body + 2);
            format.sampleRate = int(le32(bytes, body + 4));
            format.bitsPerSample = le16(bytes, body + 14);
            if (format.channels < 1 || format.channels > 8 || format.sampleRate < 1000 || format.sampleRate > 384000)
                return fail(why, QStringLiteral("%1 channels at %2 Hz").arg(format.channels).arg(format.sampleRate));
            if (format.bitsPerSample != 8 && format.bitsPerSample != 16 && format.bitsPerSample != 24
                && format.bitsPerSample != 32)
                return fail(why, QStringLiteral("%1 bits per sample").arg(format.bitsPerSample));
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return fail(why, QStringLiteral("data before format"));
            // A file cut short plays what it holds.
            format.dataBytes = qMin<qint64>(size, bytes.size() - body);
            if (format.dataBytes < format.channels * (format.bitsPerSample / 8))
                return fail(why, QStringLiteral("no samples"));
            return format;
        }
        at = body + qint64(size) + (size & 1);
    }
    return fail(why, haveFormat ? QStringLiteral("no data chunk") : QStringLiteral("no format chunk"));
}

bool WavePlayer::OpenFile(const QString& path)
{
    if (m_effect)
        m_effect->stop();
    m_effect.reset();
    m_path = path;
    m_open = false;
    m_reported = false;

    QFile file(path);
    if (!QFileInfo::exists(path)) {
        Log(kwSound, QStringLiteral("WavePlayer:  OpenFile - %1 does not exist").arg(path));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        Log(kwSound, QStringLiteral("WavePlayer:  OpenFile - cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    QString why;
    if (!readWaveFormat(file.readAll(), &why)) {
        Log(kwSound, QStringLiteral("WavePlayer:  OpenFile - %1 is not a playable wave (%2)").arg(path, why));
        return false;
    }

    m_effect = std::make_unique<QSoundEffect>();
    QSoundEffect* effect = m_effect.get();
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [this, effect] {
        if (effect->status() == QSoundEffect::Error && m_open) {
            m_open = false;
            Log(kwSound, QStringLiteral("WavePlayer:  OpenFile - cannot decode %1").arg(m_path));
        }
    });
    // Open before the source is set: a sample the cache already holds reports its status at once.
    m_open = true;
    m_effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    return m_open;
}

void WavePlayer::Play(qint32 volume)
{
    if (!m_open || !m_effect)
        return;
    // With no output (no sound server, a headless box) the effect would warn on every play; say it once.
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) {
        reportOnce(QStringLiteral("WavePlayer:  Play - no audio output, %1 stays silent").arg(m_path));
        return;
    }
    m_reported = false;

    m_effect->stop();
    if (const std::optional<qint32> level = volumeHundredthsDb(volume)) {
        m_hundredthsDb = *level;
        m_effect->setVolume(float(volumeFactor(*level)));
    }
    m_effect->play();
}

void WavePlayer::Stop()
{
    if (m_effect)
        m_effect->stop();
}

bool WavePlayer::isPlaying() const
{
    return m_effect && m_effect->isPlaying();
}

void WavePlayer::reportOnce(const QString& text)
{
    if (m_reported)
        return;
    m_reported = true;
    Log(kwSound, text);
}
