#include "RecordingWindow.h"

#include <stdexcept>

void RecordingWindow::record(const QString& line)
{
    calls << line;
    if (!failOn.isEmpty() && line.startsWith(failOn))
        throw std::runtime_error("window call failed: " + line.toStdString());
}

void RecordingWindow::AddLogEntry(qint32 index, const QString& text)
{
    record(QStringLiteral("AddLogEntry %1 %2").arg(index).arg(text));
}

void RecordingWindow::Load_Log(qint32 index)
{
    record(QStringLiteral("Load_Log %1").arg(index));
}

void RecordingWindow::MacUpdateOccured(qint32 index)
{
    record(QStringLiteral("MacUpdateOccured %1").arg(index));
}

void RecordingWindow::AddNewDevice(qint32 index)
{
    record(QStringLiteral("AddNewDevice %1").arg(index));
}

void RecordingWindow::SysTrayMouseEventHandlerleft()
{
    record(QStringLiteral("SysTrayMouseEventHandlerleft"));
}

void RecordingWindow::playNewIntruderSound(int volume)
{
    record(QStringLiteral("playNewIntruderSound %1").arg(volume));
}

void RecordingWindow::playIntruderOnlineSound(int volume)
{
    record(QStringLiteral("playIntruderOnlineSound %1").arg(volume));
}

void RecordingWindow::SendNewEmail(qint32 index)
{
    record(QStringLiteral("SendNewEmail %1").arg(index));
}

void RecordingWindow::SendOnlineEmail(qint32 index)
{
    record(QStringLiteral("SendOnlineEmail %1").arg(index));
}

void RecordingWindow::setLastIntruderWarning(const QDateTime& when)
{
    lastIntruderWarning = when;
    record(QStringLiteral("setLastIntruderWarning"));
}

void RecordingWindow::ShowStatus()
{
    record(QStringLiteral("ShowStatus"));
}

QStringList RecordingWindow::callsStartingWith(const QString& prefix) const
{
    QStringList out;
    for (const QString& c : calls) {
        if (c.startsWith(prefix))
            out << c;
    }
    return out;
}
