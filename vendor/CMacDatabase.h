#pragma once

#include "vendor/MacRegistryTable.h"

#include <QString>

// Names the manufacturer of a device from its MAC address, using local copies of the IEEE OUI registry and of
// the IAB registry (the blocks issued under 00-50-C2). The four files of the "Mac Database" folder are loaded
// whole at construction; every problem found there is one "CMacDatabase " line in the debug log, and the
// registry it concerns then answers every lookup with the empty text.
class CMacDatabase final
{
public:
    // folder: the "Mac Database/" folder (AppPaths::macDatabase()) holding oui.idx, oui.db, iab.idx, iab.db.
    explicit CMacDatabase(const QString& folder);

    // mac in the system's form (00-50-C2-A3-B4-01); the manufacturer, or empty when unknown.
    QString GetMacName(const QString& mac) const;

    // Records held, the placeholder record included (0 when the registry failed to load).
    qsizetype ouiRecords() const { return m_oui.recordCount(); }
    qsizetype iabRecords() const { return m_iab.recordCount(); }

private:
    Q_DISABLE_COPY_MOVE(CMacDatabase)

    MacRegistryTable m_oui;
    MacRegistryTable m_iab;
};
