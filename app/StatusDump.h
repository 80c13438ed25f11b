#pragma once

#include <QString>

class DiscoveryEngine;

// The diagnostics text written after every harvest: device and list counts, the selection, the swept
// ranges and the gateways, each line ending in CR LF.
QString statusDump(const DiscoveryEngine& engine, qint32 deviceCount, int intruderRows, int safeRows,
    bool selectionInSafeList, int selectedRow);
