#include "mainwindow/ReachabilityProbe.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

const QList<ReachabilityProbe::Service>& ReachabilityProbe::commonServices()
{
    static const QList<Service> services {
        {22, QStringLiteral("Remote shell (SSH)")},
        {53, QStringLiteral("Name service (DNS)")},
        {80, QStringLiteral("Web (HTTP)")},
        {443, QStringLiteral("Secure web (HTTPS)")},
        {445, QStringLiteral("File sharing (SMB)")},
        {631, QStringLiteral("Printing (IPP)")},
        {8080, QStringLiteral("Web, alternate")},
        {9100, QStringLiteral("Printer (raw)")},
    };
    return services;
}

TcpReachabilityProbe::TcpReachabilityProbe()
{
    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        // A slot of finished may start the next check; the loop stops when that happens.
        const int run = m_run;
        for (size_t i = 0; i < m_attempts.size() && run == m_run; ++i) {
            if (!m_attempts[i].done)
                settle(m_attempts[i], PortState::Silent);
        }
    });
}

TcpReachabilityProbe::~TcpReachabilityProbe()
{
    cancel();
}

void TcpReachabilityProbe::start(const QString& ip, const QList<quint16>& ports, int timeoutMs)
{
    cancel();
    ++m_run;
    const QHostAddress address(ip);
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        for (quint16 port : ports)
            Q_EMIT portChecked(port, PortState::Unreachable, 0);
        Q_EMIT finished();
        return;
    }
    m_open = int(ports.size());
    m_attempts.resize(size_t(ports.size()));
    m_clock.start();
    for (qsizetype i = 0; i < ports.size(); ++i) {
        Attempt& a = m_attempts[size_t(i)];
        a.port = ports[i];
        a.socket = new QTcpSocket(this);
        a.socket->setProxy(QNetworkProxy::NoProxy);
        const size_t index = size_t(i);
        connect(a.socket, &QTcpSocket::connected, this, [this, index] { settle(m_attempts[index], PortState::Open); });
        connect(a.socket, &QTcpSocket::errorOccurred, this, [this, index](QAbstractSocket::SocketError error) {
            const PortState state = error == QAbstractSocket::ConnectionRefusedError ? PortState::Closed
                : error == QAbstractSocket::SocketTimeoutError                       ? PortState::Silent
                                                                                     : PortState::Unreachable;
            settle(m_attempts[index], state);
        });
        a.socket->connectToHost(address, a.port);
    }
    m_deadline->start(timeoutMs);
}

void TcpReachabilityProbe::settle(Attempt& attempt, PortState state)
{
    if (attempt.done)
        return;
    attempt.done = true;
    const int elapsed = int(m_clock.elapsed());
    attempt.socket->disconnect(this);
    attempt.socket->abort();
    attempt.socket->deleteLater();
    attempt.socket = nullptr;
    Q_EMIT portChecked(attempt.port, state, elapsed);
    if (--m_open == 0) {
        m_deadline->stop();
        Q_EMIT finished();
    }
}

void TcpReachabilityProbe::cancel()
{
    ++m_run;
    m_deadline->stop();
    for (Attempt& a : m_attempts) {
        if (a.socket) {
            a.socket->disconnect(this);
            a.socket->abort();
            a.socket->deleteLater();
        }
    }
    m_attempts.clear();
    m_open = 0;
}
