#pragma once

#include "web/WebEndpoint.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

class MonitorCore;
class WebServer;
struct DeviceEvent;

// The monitor without window or tray, for servers and tests. Each device event goes to stdout as one line per
// history line (or user action) in the form of EventLine, debug lines to stderr; there is no sound and no
// pop-up, and nothing says there would be; mail, MQTT and the history are the core's. SIGINT and SIGTERM run the
// orderly shutdown and end the process at once after it.
class HeadlessFront final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessFront)

public:
    explicit HeadlessFront(MonitorCore& core, QObject* parent = nullptr);
    ~HeadlessFront() override;

    // Serve /metrics there once the store is open (--metrics).
    void setMetricsEndpoint(const WebEndpoint& where) { m_metricsAt = where; }
    // Runs the start-up steps; returns the process's exit code when start-up ends the process, else -1.
    int start();
    void Shutdown();

    // Routes SIGINT and SIGTERM to Shutdown through the event loop.
    void watchSignals();

private:
    // One line on stderr: the ranges watched and their interfaces, or that none are watched and why.
    void announceWatch();
    // One line on stderr whenever the monitor goes blind or sees again.
    void announceSight();
    void printEvent(const DeviceEvent& event);
    // The diagnostics dump after each harvest, when LogExtra asks for it.
    void ShowStatus();

    MonitorCore& m_core;
    QTimer m_closeTimer;
    std::optional<WebEndpoint> m_metricsAt;
    std::unique_ptr<WebServer> m_metrics;
    bool m_shuttingDown = false;
};
