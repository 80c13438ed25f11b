#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QTcpSocket;
class QTimer;

// A reachability check of one device: a TCP connection attempt to each of a few common service ports of that
// one address, each with a short time-out. A port that accepts is open; one that refuses still proves that
// the device answers. Nothing else is sent, and nothing beyond that address is touched.
class ReachabilityProbe : public QObject
{
    Q_OBJECT

public:
    enum class PortState { Open, Closed, Silent, Unreachable };
    Q_ENUM(PortState)
    struct Service
    {
        quint16 port;
        QString name;
    };
    // The ports a probe tries, in the order shown.
    static const QList<Service>& commonServices();
    static constexpr int TimeoutMs = 1500;

    // Starts checking ports of ip (dotted decimal); every port answers once through portChecked, then
    // finished follows. A running check is cancelled first.
    virtual void start(const QString& ip, const QList<quint16>& ports, int timeoutMs) = 0;
    // Stops a running check; no further signal follows.
    virtual void cancel() = 0;

Q_SIGNALS:
    void portChecked(quint16 port, ReachabilityProbe::PortState state, int elapsedMs);
    void finished();
};

// The real check over QTcpSocket, all ports at once.
class TcpReachabilityProbe final : public ReachabilityProbe
{
    Q_OBJECT

public:
    TcpReachabilityProbe();
    ~TcpReachabilityProbe() override;

    void start(const QString& ip, const QList<quint16>& ports, int timeoutMs) override;
    void cancel() override;

private:
    struct Attempt
    {
        quint16 port = 0;
        QTcpSocket* socket = nullptr;
        bool done = false;
    };
    void settle(Attempt& attempt, PortState state);

    std::vector<Attempt> m_attempts;
    QTimer* m_deadline = nullptr;
    QElapsedTimer m_clock;
    int m_open = 0;
    int m_run = 0;
};
