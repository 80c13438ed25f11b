#pragma once

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

// A namespace LAN for one test (scripts/netlab), removed again when the object goes, and the real
// kestrelwatch binary running headless inside its monitor namespace.
namespace e2e {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& args, int timeoutMs = 60000);
QString netlabScript();
QString binary(const QString& name);
// Empty when the tests can run here, else the reason to skip.
QString whyNotRunnable();

class Lab final
{
public:
    explicit Lab(const QString& tag);
    ~Lab();
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString name() const { return m_name; }
    // netlab LAB-less commands: netlab CMD LAB ARGS...
    Run netlab(const QString& command, const QStringList& args = {}) const;
    QString ns(const QString& host = QStringLiteral("monitor")) const;
    // netlab add: a device NAME at IP with the given MAC ("02:4b:57:00:00:0a").
    bool addDevice(const QString& name, const QString& ip, const QString& mac) const;
    // A command in the monitor's namespace.
    Run inMonitor(const QStringList& command) const;

private:
    QString m_name;
    bool m_ok = false;
    QString m_error;
};

// kestrelwatch --headless --home HOME in the lab's monitor namespace (or any namespace), collecting its
// event lines (stdout) and debug lines (stderr).
class Monitor final : public QObject
{
    Q_OBJECT

public:
    explicit Monitor(QString home, QObject* parent = nullptr);
    ~Monitor() override;

    // prefix runs before the binary inside the namespace, e.g. setpriv to drop to another user.
    void start(const QString& ns, const QStringList& prefix = {}, const QString& program = QString());
    bool waitStarted() { return m_process.waitForStarted(10000); }
    // Waits until an event line (stdout) matches; returns the first match (empty on time-out).
    QString waitForEvent(const QRegularExpression& re, int timeoutMs);
    QString waitForDebug(const QRegularExpression& re, int timeoutMs);
    // SIGTERM, then waits; returns the exit code (-1 when it had to be killed or crashed).
    int stop(int timeoutMs = 10000);
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    QStringList events() const { return m_events; }
    QStringList debug() const { return m_debug; }
    QString home() const { return m_home; }
    QProcess& process() { return m_process; }

private:
    QString waitFor(const QStringList& lines, const QRegularExpression& re, int timeoutMs);
    void readLines(QProcess::ProcessChannel channel, QByteArray& pending, QStringList& into);

    QString m_home;
    QProcess m_process;
    QByteArray m_pendingOut;
    QByteArray m_pendingErr;
    QStringList m_events;
    QStringList m_debug;
};

// The test SMTP server (tests/notify/smtp_sink.py, aiosmtpd) inside a namespace, on that namespace's own
// loopback, so no mail leaves the lab. Killed when the object goes.
class MailSink final
{
public:
    explicit MailSink(const QString& ns);
    ~MailSink();
    // The port it listens on; 0 when it did not start.
    int port() const { return m_port; }
    // The first received message whose text contains needle (empty when none has arrived yet).
    QString messageContaining(const QString& needle) const;
    bool anyMessage() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

// Points the store at the sink: server, sender, recipient, and the new-intruder mail switched on.
bool configureAlertMail(const QString& home, int port);

// The store as kestrelwatch-reg reads it.
QString regGet(const QString& home, const QString& key, const QString& name);
QStringList regKeys(const QString& home, const QString& key);
QString regDump(const QString& home, const QString& key);
bool regSet(const QString& home, const QString& key, const QString& name, const QString& data);
QString deviceKey(const QString& mac);

} // namespace e2e
