#pragma once

#include <QString>
#include <memory>

class MainWindow;
class NetPlatform;

// The window's start-up and its orderly shutdown, step by step in their order. Each step runs under one error
// handler: a failing step is logged with its operation's tag ("Load", "Shutdown") and the sequence goes on with
// the next, save the few whose failure ends the start (a second copy, a fatal store).
class StartupSequence final
{
public:
    explicit StartupSequence(MainWindow& window)
        : m_window(window)
    { }

    // Returns -1 when the monitor runs, else the process's exit code (0 for a second copy, 1 after a fatal
    // message).
    int start(std::unique_ptr<NetPlatform> net);
    void shutdown();

private:
    int fatal(const QString& message);

    MainWindow& m_window;
};
