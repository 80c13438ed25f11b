#include "app/ObservingSeam.h"

#include "mqtt/MqttPublisher.h"

void ObservingSeam::AddLogEntry(qint32 index, const QString& text)
{
    m_front.AddLogEntry(index, text);
    m_mqtt.historyLine(index, text);
    // An address change comes as a history line alone; the device's state follows it.
    m_mqtt.deviceChanged(index);
}

void ObservingSeam::MacUpdateOccured(qint32 index)
{
    m_front.MacUpdateOccured(index);
    m_mqtt.deviceChanged(index);
}

void ObservingSeam::AddNewDevice(qint32 index)
{
    m_front.AddNewDevice(index);
    m_mqtt.deviceChanged(index);
}
