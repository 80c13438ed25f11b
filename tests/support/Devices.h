#pragma once

#include "store/DeviceStore.h"

// The one way tests fill a device store: appends a device as admission leaves it (MAC, address, "Unknown
// Device", first seen `seen`, never offline) and returns it; the caller sets whatever else the case is about.
DeviceRecord& appendDevice(DeviceStore& devices, const QString& mac, const QString& ip = QStringLiteral("198.18.0.10"),
    const QDateTime& seen = QDateTime(QDate(2026, 11, 30), QTime(7, 5, 0)));

// Test conveniences over the store's order (admission order): the n-th device, and where a MAC stands (-1 when
// absent). Production code knows devices by MAC only.
DeviceRecord& nth(DeviceStore& devices, qsizetype n);
qint32 positionOf(const DeviceStore& devices, const QString& mac);
