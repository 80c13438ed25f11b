#pragma once

#include "platform/SleepSignal.h"

// SleepSignal from logind over the system bus.
class LogindSleepSignal final : public SleepSignal
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogindSleepSignal)

public:
    LogindSleepSignal();
    ~LogindSleepSignal() override = default;
    bool listening() const override { return m_listening; }

private Q_SLOTS:
    void onPrepareForSleep(bool sleeping);

private:
    bool m_listening = false;
};
