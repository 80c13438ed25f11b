#pragma once

#include "engine/MainWindowSeam.h"

class MqttPublisher;

// Stands between the engine and a front end (window or headless): every call goes on to the front end
// unchanged, and history lines and device changes also go to the MQTT publisher. So both front ends feed
// the broker without knowing of it.
class ObservingSeam final : public MainWindowSeam
{
public:
    ObservingSeam(MainWindowSeam& front, MqttPublisher& mqtt)
        : m_front(front)
        , m_mqtt(mqtt)
    { }

    MainWindowSeam& front() { return m_front; }

    void AddLogEntry(qint32 index, const QString& text) override;
    void Load_Log(qint32 index) override { m_front.Load_Log(index); }
    void MacUpdateOccured(qint32 index) override;
    void AddNewDevice(qint32 index) override;
    void SysTrayMouseEventHandlerleft() override { m_front.SysTrayMouseEventHandlerleft(); }
    bool isMainWindowVisible() const override { return m_front.isMainWindowVisible(); }
    void playNewIntruderSound(int volume) override { m_front.playNewIntruderSound(volume); }
    void playIntruderOnlineSound(int volume) override { m_front.playIntruderOnlineSound(volume); }
    void notifyDesktop(qint32 index, bool newIntruder) override { m_front.notifyDesktop(index, newIntruder); }
    void SendNewEmail(qint32 index) override { m_front.SendNewEmail(index); }
    void SendOnlineEmail(qint32 index) override { m_front.SendOnlineEmail(index); }
    void setLastIntruderWarning(const QDateTime& when) override { m_front.setLastIntruderWarning(when); }
    void ShowStatus() override { m_front.ShowStatus(); }
    void Log(const QString& text) override { m_front.Log(text); }

private:
    MainWindowSeam& m_front;
    MqttPublisher& m_mqtt;
};
