#pragma once

#include "store/DeviceTable.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>

// Devices out of the store and back in: `kestrelwatch-ctl export` writes every device with its stored values
// as JSON (one device object per line) or CSV (a header, then one device per line); `import` reads either
// back, checks the whole file before anything is written, and merges it in one transaction.
namespace DeviceExport {

enum class Format { Json, Csv };

// More values per device in the JSON export: each device object is handed to every extra before it is
// written (the presence intervals' store adds its "intervals" there). Import passes over members it does not
// know, so a file with them still imports.
using Extra = std::function<void(const DeviceRecord& device, QJsonObject& object)>;

QString exportText(const DeviceTable& devices, Format format, const QList<Extra>& extras = {});

// One device as a file gives it, checked.
struct Imported
{
    DeviceRecord record;
    int line = 0;
};
// Every device of a file, or the first fault with its line ("line 7: ..."): then nothing is to be written.
struct Parsed
{
    QList<Imported> devices;
    QString fault;
};
Parsed parse(const QByteArray& file);

// Merges checked devices into the table and the store in one transaction: a new MAC is added with all its
// values; a known one keeps its values, unless replace, which takes the file's name and list.
struct Merged
{
    int added = 0;
    int replaced = 0;
    int kept = 0;
    bool stored = true;
};
Merged merge(DeviceTable& devices, const QList<Imported>& imported, bool replace);

} // namespace DeviceExport
