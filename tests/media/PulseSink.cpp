#include "PulseSink.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

PulseSink::PulseSink() = default;

PulseSink::~PulseSink()
{
    for (QProcess* p : {m_recorder.get(), m_daemon.get()}) {
        if (p) {
            p->kill(); // nothing of theirs outlives the temporary folder
            p->waitForFinished(3000);
        }
    }
}

bool PulseSink::start(QString* why)
{
    const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (pulseaudio.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        *why = QStringLiteral("PulseAudio is not installed (packages pulseaudio, pulseaudio-utils)");
        return false;
    }
    const QString dir = m_dir.path();
    const QString socket = dir + QStringLiteral("/native");
    m_server = QStringLiteral("unix:") + socket;

    // Everything the server and its clients keep (cookie, state, runtime files) stays in the temporary folder.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
        {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        env.insert(QString::fromLatin1(name), dir);
    env.remove(QStringLiteral("PULSE_SERVER"));
    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProcessEnvironment(env);
    m_daemon->setProcessChannelMode(QProcess::MergedChannels);
    m_daemon->setStandardOutputFile(dir + QStringLiteral("/pulseaudio.log"));
    m_daemon->start(pulseaudio,
        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
            QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-target=stderr"),
            QStringLiteral("--load=module-null-sink sink_name=kwnull rate=%1 channels=1").arg(kRate),
            QStringLiteral("--load=module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket)});
    if (!m_daemon->waitForStarted(5000)) {
        *why = QStringLiteral("pulseaudio did not start: ") + m_daemon->errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!QFileInfo::exists(socket)) {
        if (m_daemon->state() == QProcess::NotRunning || deadline.hasExpired()) {
            *why = QStringLiteral("pulseaudio did not come up; see its log in ") + dir;
            m_dir.setAutoRemove(false);
            return false;
        }
        QThread::msleep(50);
    }
    qputenv("PULSE_SERVER", m_server.toUtf8());
    qputenv("PULSE_COOKIE", QFile::encodeName(dir + QStringLiteral("/cookie")));
    return true;
}

bool PulseSink::startRecording()
{
    if (!m_recorder) {
        m_recorder = std::make_unique<QProcess>();
        QProcess* recorder = m_recorder.get();
        QObject::connect(recorder, &QProcess::readyReadStandardOutput, recorder,
            [this, recorder] { m_raw.append(recorder->readAllStandardOutput()); });
        recorder->start(QStringLiteral("parec"),
            {QStringLiteral("--server=") + m_server, QStringLiteral("--device=kwnull.monitor"),
                QStringLiteral("--format=s16le"), QStringLiteral("--channels=1"),
                QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--latency-msec=10"), QStringLiteral("--raw")});
        if (!recorder->waitForStarted(5000))
            return false;
        // An idle null sink hands its monitor the first block only after its own (long) latency.
        const QDeadlineTimer deadline(10000);
        while (m_raw.isEmpty() && !deadline.hasExpired() && recorder->state() == QProcess::Running)
            recorder->waitForReadyRead(100);
    }
    if (m_recorder->state() != QProcess::Running)
        return false;
    m_raw.append(m_recorder->readAllStandardOutput());
    m_raw.clear();
    return true;
}

double PulseSink::firstHeard(int threshold) const
{
    for (qsizetype i = 0; i + 1 < m_raw.size(); i += 2) {
        if (std::abs(qFromLittleEndian<qint16>(m_raw.constData() + i)) > threshold)
            return double(i / 2) / kRate;
    }
    return -1;
}

std::vector<qint16> PulseSink::stopRecording()
{
    if (m_recorder)
        m_raw.append(m_recorder->readAllStandardOutput());
    std::vector<qint16> samples(std::size_t(m_raw.size() / 2));
    qFromLittleEndian<qint16>(m_raw.constData(), qsizetype(samples.size()), samples.data());
    m_raw.clear();
    return samples;
}
