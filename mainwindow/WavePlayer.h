#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

class QByteArray;
class QSoundEffect;

// One wave sound, opened once and played asynchronously as often as wanted. Play restarts a sound that is
// still playing. The volume is the settings slider value (0..100), mapped to hundredths of a decibel as
// slider × 50 − 5000 (100 → 0 dB, 70 → −15 dB, 0 → −50 dB, quiet but not muted) and from there to the linear
// factor 10^(v/2000) the output takes. A file that is missing or is no playable wave gives one log line when
// opened, and playing it does nothing. Works under a QGuiApplication and a QCoreApplication alike; without an
// audio output a play is skipped with one log line until an output appears.
class WavePlayer final
{
    Q_DISABLE_COPY_MOVE(WavePlayer)

public:
    WavePlayer();
    ~WavePlayer();

    // Prepares the file for playing; false (and one log line) when it is missing or not a playable wave.
    bool OpenFile(const QString& path);
    // Plays the prepared file from its start at the slider volume; the call returns at once.
    void Play(qint32 volume);
    void Stop();

    bool isOpen() const { return m_open; }
    bool isPlaying() const;
    QString fileName() const { return m_path; }
    // The level last applied, in hundredths of a decibel (0 until a play sets one).
    qint32 volumeApplied() const { return m_hundredthsDb; }

    // slider × 50 − 5000, or nothing when the multiplication overflows or the level lies outside what the
    // output takes (−10000..0): then a play keeps the level it had.
    static std::optional<qint32> volumeHundredthsDb(qint32 slider);
    // 10^(hundredthsDb / 2000): 0 → 1.0, −2000 → 0.1, −5000 → 0.00316.
    static double volumeFactor(qint32 hundredthsDb);

    // What a wave file holds, read from its header.
    struct WaveFormat
    {
        int channels = 0;
        int sampleRate = 0;
        int bitsPerSample = 0;
        qint64 dataBytes = 0;
        double seconds() const;
    };
    // Parses the header of a RIFF WAVE file (its first bytes, at least up to the data chunk's header). Only
    // uncompressed PCM plays; anything else gives nothing and, in why, the reason.
    static std::optional<WaveFormat> readWaveFormat(const QByteArray& head, QString* why = nullptr);

private:
    void reportOnce(const QString& text);

    std::unique_ptr<QSoundEffect> m_effect;
    QString m_path;
    bool m_open = false;
    bool m_reported = false;
    qint32 m_hundredthsDb = 0;
};
