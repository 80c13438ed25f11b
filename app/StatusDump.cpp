#include "app/StatusDump.h"

#include "engine/DiscoveryEngine.h"

QString statusDump(const DiscoveryEngine& engine, qint32 deviceCount, int intruderRows, int safeRows,
    bool selectionInSafeList, int selectedRow)
{
    const QString eol = QStringLiteral("\r\n");
    QString text = QStringLiteral("MAC = %1").arg(deviceCount) + eol;
    text += QStringLiteral("INTRUDERS = %1").arg(intruderRows) + eol;
    text += QStringLiteral("ALLOWED = %1").arg(safeRows) + eol;
    text += QStringLiteral("LIST = ") + (selectionInSafeList ? QStringLiteral("True") : QStringLiteral("False")) + eol;
    text += QStringLiteral("INDEX = %1").arg(selectedRow) + eol;
    text += eol + QStringLiteral("IP ADDRESS RANGES") + eol + QString(17, QLatin1Char('=')) + eol;
    for (qint32 r = 0; r < engine.ranges().size(); ++r)
        text += engine.rangeText(r) + eol;
    text += eol + QStringLiteral("GATEWAY ADDRESSES") + eol + QString(17, QLatin1Char('=')) + eol;
    for (const QString& gateway : engine.gateways())
        text += gateway + eol;
    return text;
}
