#pragma once

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>
#include <memory>

// A child process whose merged output is read from a cursor taken before the awaited action.
struct Proc
{
    QProcess p;
    QByteArray out;
    Proc(const QString& program, const QStringList& args)
    {
        p.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&p, &QProcess::readyRead, [this] { out += p.readAll(); });
        p.start(program, args);
    }
    ~Proc()
    {
        p.terminate();
        p.waitForFinished(3000);
    }
    qsizetype cursor() const { return out.size(); }
    bool saw(const QByteArray& needle, qsizetype from) const { return out.indexOf(needle, from) >= 0; }
};

inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// Debian's mosquitto on a loopback port with its own configuration (no persistence: a restart forgets all).
inline std::unique_ptr<Proc> startBroker(const QString& dir, quint16 port, const QString& extra)
{
    QFile conf(dir + QStringLiteral("/mosquitto.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        return {};
    conf.write(QStringLiteral("listener %1 127.0.0.1\npersistence false\n%2\n").arg(port).arg(extra).toUtf8());
    conf.close();
    auto broker = std::make_unique<Proc>(QStringLiteral("mosquitto"), QStringList {"-c", conf.fileName()});
    QDeadlineTimer deadline(5000);
    while (!broker->saw("running", 0) && !deadline.hasExpired())
        QTest::qWait(20);
    return broker->saw("running", 0) ? std::move(broker) : nullptr;
}

inline QStringList brokerArgs(quint16 port)
{
    return {"-h", "127.0.0.1", "-p", QString::number(port)};
}
