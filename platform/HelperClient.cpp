#include "platform/HelperClient.h"

#include "platform/DebugSink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

using namespace helperproto;

HelperClient::HelperClient(QString program, QObject* parent)
    : QObject(parent)
    , m_program(std::move(program))
{
    // The helper trusts no environment, and is given none.
    m_process.setProcessEnvironment(QProcessEnvironment());
    // Its stderr stays the monitor's, so a crash message is not lost.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setReadChannel(QProcess::StandardOutput);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &HelperClient::readReplies);
    connect(&m_process, &QProcess::finished, this, &HelperClient::gone);
    connect(&m_socket, &QLocalSocket::readyRead, this, &HelperClient::readReplies);
    connect(&m_socket, &QLocalSocket::disconnected, this, &HelperClient::gone);
}

void HelperClient::gone()
{
    const bool wanted = m_ready && !m_stopping;
    m_ready = false;
    if (wanted && onGone)
        onGone();
}

bool HelperClient::alive() const
{
    return m_io == &m_socket ? m_socket.state() == QLocalSocket::ConnectedState
                             : m_process.state() == QProcess::Running;
}

HelperClient::~HelperClient()
{
    stop();
}

QString HelperClient::locate(const QString& monitorDir, QStringList* searched)
{
    const QDir dir(monitorDir);
    const QStringList candidates {dir.filePath(QStringLiteral("kestrelwatch-helper")),
        QDir::cleanPath(dir.filePath(QStringLiteral("../libexec/kestrelwatch/kestrelwatch-helper")))};
    if (searched)
        *searched = candidates;
    for (const QString& path : candidates) {
        // A helper this user may not run (not in its group) is still found, so the notice can say why.
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool HelperClient::start(int timeoutMs)
{
    m_stopping = false;
    m_buffer.clear();
    if (m_program.startsWith(QLatin1String("unix:"))) {
        m_io = &m_socket;
        m_socket.connectToServer(m_program.mid(5), QIODevice::ReadWrite | QIODevice::Unbuffered);
        if (!m_socket.waitForConnected(timeoutMs)) {
            m_startError = m_socket.errorString();
            return false;
        }
    } else {
        m_io = &m_process;
        m_process.start(m_program, {}, QIODevice::ReadWrite | QIODevice::Unbuffered);
        if (!m_process.waitForStarted(timeoutMs)) {
            m_startError = m_process.errorString();
            return false;
        }
    }
    // The one wait of the helper's life: its Ready frame says what it could open, before the first sweep.
    QElapsedTimer clock;
    clock.start();
    while (!m_ready && alive() && clock.elapsed() < timeoutMs) {
        if (m_io->bytesAvailable() == 0)
            m_io->waitForReadyRead(int(std::max<qint64>(1, timeoutMs - clock.elapsed())));
        readReplies();
    }
    if (!m_ready)
        m_startError =
            alive() ? QStringLiteral("no answer from the helper") : QStringLiteral("the helper ended at once");
    return m_ready;
}

std::uint32_t HelperClient::send(Type type, const std::vector<std::uint8_t>& payload)
{
    if (!running())
        return 0;
    const std::uint32_t seq = m_nextSeq++;
    const std::vector<std::uint8_t> bytes = frame(type, seq, payload);
    m_io->write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return seq;
}

bool HelperClient::waitForReplies(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (running() && m_lastAnswered + 1 < m_nextSeq && clock.elapsed() < timeoutMs) {
        m_io->waitForBytesWritten(10);
        if (m_io->bytesAvailable() == 0)
            m_io->waitForReadyRead(int(std::max<qint64>(1, timeoutMs - clock.elapsed())));
        readReplies();
    }
    return m_lastAnswered + 1 >= m_nextSeq;
}

void HelperClient::stop()
{
    if (m_io == &m_socket) {
        m_stopping = true;
        m_socket.abort(); // the helper ends when its connection closes
        m_ready = false;
        return;
    }
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_stopping = true;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(1000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
    m_ready = false;
}

void HelperClient::readReplies()
{
    m_buffer += m_io->readAll();
    qsizetype used = 0;
    for (;;) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(m_buffer.constData()) + used;
        const ReplyResult r = parseReply(data, std::size_t(m_buffer.size() - used));
        if (r.status == Parse::NeedMore)
            break;
        used += qsizetype(r.consumed);
        if (r.status == Parse::Bad) {
            Log(kwNetwork,
                QStringLiteral("NetPlatform - the helper sent a frame of another protocol version; ignored"));
            continue;
        }
        if (r.reply.type == Type::Ready) {
            const std::optional<ReadyInfo> ready = parseReady(r.reply.payload);
            if (!ready) {
                Log(kwNetwork, QStringLiteral("NetPlatform - the helper's first answer is too short; ignored"));
                continue;
            }
            m_ready = true;
            m_flags = ready->flags;
            m_echoErrno = int(ready->echoErrno);
            m_sendBuffer = int(ready->sendBuffer);
            m_arpErrno = int(ready->arpErrno);
            m_dhcpErrno = int(ready->dhcpErrno);
            continue;
        }
        m_lastAnswered = std::max(m_lastAnswered, r.reply.seq);
        if (onReply)
            onReply(r.reply);
    }
    m_buffer.remove(0, used);
}
