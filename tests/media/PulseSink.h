#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// A private PulseAudio server for one test process: a null sink ("kwnull", 16-bit mono at 44.1 kHz) whose
// monitor can be recorded, reached through its own socket in a temporary folder. start() points this process
// at it (PULSE_SERVER), so it must run before anything touches Qt Multimedia.
class PulseSink final
{
public:
    static constexpr int kRate = 44100;

    PulseSink();
    ~PulseSink();

    // Starts the server; false and the reason when PulseAudio is missing or does not come up.
    bool start(QString* why);
    // Records the sink's monitor from now until stopRecording(); samples arrive with the event loop.
    bool startRecording();
    std::vector<qint16> stopRecording();
    // Seconds into the recording of the first sample above threshold, or -1 when all is quiet so far.
    double firstHeard(int threshold) const;
    double recordedSeconds() const { return double(m_raw.size() / 2) / kRate; }

private:
    QTemporaryDir m_dir;
    QString m_server;
    std::unique_ptr<QProcess> m_daemon;
    std::unique_ptr<QProcess> m_recorder;
    QByteArray m_raw;
};
