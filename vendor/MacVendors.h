#pragma once

#include "vendor/MacRegistryTable.h"

#include <QString>

// Names the manufacturer of a device from its MAC address, using local copies of the IEEE registries: the OUI
// registry (MA-L, 24-bit prefixes), the IAB registry (the blocks issued under 00-50-C2), and the MA-M (28-bit)
// and MA-S (36-bit) registries, the longest prefix that names the address winning. The eight files of the
// "Mac Database" folder are loaded whole at construction; every problem found there is one "MacVendors "
// line in the debug log, and the registry it concerns then answers every lookup with the empty text.
//
// A locally administered unicast address is one a device made up itself (a private, randomised address): no
// registry speaks for it, whatever prefix it shows, so it is named PrivateAddressName().
class MacVendors final
{
public:
    // folder: the "Mac Database/" folder (AppPaths::macDatabase()) holding oui.idx, oui.db, iab.idx, iab.db,
    // mam.idx, mam.db, mas.idx and mas.db.
    explicit MacVendors(const QString& folder);

    // mac in the system's form (00-50-C2-A3-B4-01); the manufacturer, PrivateAddressName() for a private
    // address, or empty when unknown. Every place that shows a manufacturer asks here.
    QString GetMacName(const QString& mac) const;

    // Whether mac, six bytes (or an OUI's three) in the system's form, has the locally administered bit set
    // and the group bit clear: a device's own made-up address.
    static bool isPrivateMac(QStringView mac);
    static QString PrivateAddressName();

    // Records held, the placeholder record included (0 when the registry failed to load).
    qsizetype ouiRecords() const { return m_oui.recordCount(); }
    qsizetype iabRecords() const { return m_iab.recordCount(); }
    qsizetype mamRecords() const { return m_mam.recordCount(); }
    qsizetype masRecords() const { return m_mas.recordCount(); }

private:
    Q_DISABLE_COPY_MOVE(MacVendors)

    MacRegistryTable m_oui;
    MacRegistryTable m_iab;
    MacRegistryTable m_mam; // key: the OUI's six digits and the next one
    MacRegistryTable m_mas; // key: the OUI's six digits and the next three
};
