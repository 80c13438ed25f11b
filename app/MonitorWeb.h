#pragma once

#include "web/WebEndpoint.h"

#include <QString>
#include <memory>
#include <optional>

class MonitorCore;
class WebServer;
struct DeviceEvent;
struct LiveSettings;

// The web page, its API and live events for the running monitor, window or headless: served where --web or the
// setting WebListen says (nothing when neither), over TLS when WebCertificate and WebKey name a certificate and
// its key. The host it hands the server reads the core's table and acts through its DeviceActions.
class MonitorWeb final
{
public:
    struct CommandLine
    {
        std::optional<WebEndpoint> web; // --web
        std::optional<WebEndpoint> metrics; // --metrics: served by the web server too when it is the same place
    };
    // What the command line asked for, for this process (the window's runner has no other way in).
    static void setCommandLine(const CommandLine& given);
    static const CommandLine& commandLine();

    explicit MonitorWeb(MonitorCore& core);
    ~MonitorWeb();
    MonitorWeb(const MonitorWeb&) = delete;
    MonitorWeb& operator=(const MonitorWeb&) = delete;

    // Where the page is to be served: --web, else the loaded WebListen (a port alone means 127.0.0.1); nullopt
    // when off. A WebListen that is no address serves nothing (sayWhy: with a log line).
    static std::optional<WebEndpoint> wanted(const LiveSettings& settings, bool sayWhy = false);
    // Starts the server; empty, or why it does not serve (the address in use, an unreadable certificate).
    QString start();
    WebServer* server() { return m_server.get(); }
    void deviceEvent(const DeviceEvent& event);

private:
    class Host;
    MonitorCore& m_core;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<WebServer> m_server;
};
