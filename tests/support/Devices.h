#pragma once

#include "store/DeviceTable.h"

// The one way tests fill a device table: appends a slot holding a device as admission leaves it (MAC,
// address, "Unknown Device", first seen `seen`, never offline) and returns its slot number; the caller
// sets whatever else the case is about through table[slot].
qint32 appendDevice(DeviceTable& table, const QString& mac, const QString& ip = QStringLiteral("198.18.0.10"),
    const QDateTime& seen = QDateTime(QDate(2026, 11, 30), QTime(7, 5, 0)));
