#pragma once

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace kwtest {

// A finished program's exit code (-1: crashed or timed out) and its output.
struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// Runs a program to its end; input goes to its standard input.
Run run(const QString& program, const QStringList& args, int timeoutMs = 60000, const QByteArray& input = {});
// A program of the build tree's bin folder (kestrelwatch, kestrelwatch-reg, kw-gen-*).
QString binary(const QString& name);

// A long-running program whose output is kept line by line, per channel. A wait starts from a cursor taken
// before the action it waits for, so a line printed earlier never satisfies it.
class Process : public QObject
{
    Q_OBJECT

public:
    enum Channel { Out, Err };

    explicit Process(QObject* parent = nullptr);
    ~Process() override; // stop(3000) when still running

    void start(const QString& program, const QStringList& args,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    bool waitStarted(int timeoutMs = 10000) { return m_process.waitForStarted(timeoutMs); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }

    // The number of complete lines seen so far on a channel: the position a later wait starts from.
    qsizetype cursor(Channel channel = Out) const { return lines(channel).size(); }
    // The first line after `from` that matches (empty on time-out or when the program ended first).
    QString waitForLine(const QRegularExpression& re, qsizetype from, int timeoutMs, Channel channel = Out);
    const QStringList& lines(Channel channel = Out) const { return channel == Out ? m_out : m_err; }
    // Lines after `from` that contain text.
    QStringList linesAfter(qsizetype from, const QString& text, Channel channel = Out) const;

    // SIGTERM, then waits; the exit code, or -1 when it had to be killed or crashed.
    int stop(int timeoutMs = 10000);
    // SIGKILL at once (a crash); the output written before it stays readable.
    void kill();

private:
    void readLines(Channel channel);

    QProcess m_process;
    QByteArray m_pending[2];
    QStringList m_out;
    QStringList m_err;
};

} // namespace kwtest
