#pragma once

#include <QString>
#include <functional>

class DeviceTable;

// The event history of every device: at most 100 lines of "time stamp<TAB>event" held in the device's
// LogText and saved whole to "Devices/<MAC>.log" after every entry.
class DeviceLog final
{
public:
    static constexpr int MaxLines = 100;

    DeviceLog(DeviceTable& table, QString devicesDir);

    void AddLogEntry(qint32 index, const QString& text);
    void Load_Log(qint32 index);
    void Save_Log(qint32 index);
    // The device's last (at most 100) non-empty lines, oldest first, each ending in CR LF. Like Save_Log it
    // cuts the device's history to its last 100 lines (without writing the file).
    QString Make_Text_Log(qint32 index);

    QString fileFor(qint32 index) const;

    // Called after an entry has been added and saved: the window shows it when the device is selected.
    void setEntryHook(std::function<void(qint32 index, const QString& text)> hook) { m_entryHook = std::move(hook); }

    // Keeps the last 100 lines of a history text.
    static QString trimmed(const QString& log);

private:
    DeviceTable& m_table;
    QString m_dir;
    std::function<void(qint32, const QString&)> m_entryHook;
};
