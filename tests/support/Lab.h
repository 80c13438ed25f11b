#pragma once

#include "Process.h"
#include "Skip.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

// A namespace LAN of scripts/netlab for one test, owned by the test process (so `netlab gc` removes it when
// the test dies) and removed when the object goes; and the real monitor, headless, inside it.
namespace kwtest {

QString netlabScript();
// Empty when labs can be built here, else why not (not root, no iproute2, no scripts/netlab).
QString whyNoLab();

class Lab final
{
public:
    // The lab is named tag + the test's process id: parallel tests and engineers never collide. subnet as
    // netlab's --subnet ("198.18.0.0/22"); empty: its default /24.
    explicit Lab(const QString& tag, const QString& subnet = {});
    ~Lab();
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString name() const { return m_name; }
    // netlab COMMAND LAB ARGS...
    Run netlab(const QString& command, const QStringList& args = {}) const;
    QString ns(const QString& host = QStringLiteral("monitor")) const;
    // A device NAME at IP with MAC ("02:4b:57:00:00:0a").
    bool addDevice(const QString& name, const QString& ip, const QString& mac) const;
    // A command in a host's namespace (default: the monitor's).
    Run exec(const QStringList& command, const QString& host = QStringLiteral("monitor")) const;

private:
    QString m_name;
    bool m_ok = false;
    QString m_error;
};

// kestrelwatch --headless --home HOME in a namespace: event lines on Out, debug lines on Err.
class Monitor final : public Process
{
    Q_OBJECT

public:
    explicit Monitor(QString home, QObject* parent = nullptr);

    // prefix runs before the program inside the namespace (e.g. setpriv); program defaults to the build's.
    void start(const QString& ns, const QStringList& prefix = {}, const QString& program = QString());
    QString home() const { return m_home; }
    // Options after --headless --home DIR on the next start (such as --metrics).
    void setExtraArguments(const QStringList& args) { m_extra = args; }

private:
    QString m_home;
    QStringList m_extra;
};

// A headless event line of the device with this MAC whose event text starts with event: TIME, MAC, ADDRESS,
// NAME, VENDOR, EVENT, tab-separated.
QRegularExpression eventLine(const QString& mac, const QString& event);

} // namespace kwtest

// The one skip rule of the namespace tests.
#define KW_REQUIRE_LAB()                                                                                               \
    do {                                                                                                               \
        const QString kwWhyNoLab = kwtest::whyNoLab();                                                                 \
        if (!kwWhyNoLab.isEmpty())                                                                                     \
            KW_SKIP(qPrintable(kwWhyNoLab));                                                                           \
    } while (false)
