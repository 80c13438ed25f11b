#pragma once

#include <QObject>
#include <memory>

// The system's word that the machine is about to sleep and has woken: logind's PrepareForSleep on the system bus,
// where there is one. Without a bus (a container, a minimal server) it never speaks, and sleep is known from the
// clocks alone (engine/Sight). Tests emit prepareForSleep themselves.
class SleepSignal : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SleepSignal)

public:
    explicit SleepSignal(QObject* parent = nullptr)
        : QObject(parent)
    { }
    ~SleepSignal() override = default;
    // Whether it listens to a system that can say so.
    virtual bool listening() const { return false; }

Q_SIGNALS:
    // true before the sleep, false after waking.
    void prepareForSleep(bool sleeping);
};

std::unique_ptr<SleepSignal> createLogindSleepSignal();
