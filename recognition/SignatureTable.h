#pragma once

#include "recognition/Clue.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The table of signatures that tell a device's type and operating system from what it sends: DHCP request lists
// and vendor classes, host-name patterns and IEEE manufacturers. It is data (share/device-signatures.txt), one
// signature a line:
//
//     MATCH:PATTERN | TYPE | OS | where it is documented
//
// MATCH is dhcp-list (the option 55 list exactly, codes by commas), dhcp-list-prefix (the list starts so),
// dhcp-vendor (option 60 exactly), dhcp-vendor-prefix, host-prefix, host-contains (host names,
// case-insensitive) or maker (the IEEE manufacturer contains it, case-insensitive). TYPE is a type word or
// empty; OS is free text or empty, and "%v" in it stands for what follows a vendor prefix (android-dhcp-13 is
// "Android 13"). The fourth field says where the signature is documented, and a line without it is refused.
// Lines starting with # and empty lines are comments. A pure matcher: the tests call it as the engine does.
class SignatureTable final
{
public:
    // The table a text makes; each refused line gives one problem ("line 7: ..."), and the rest still count.
    static SignatureTable parse(const QString& text, QStringList* problems = nullptr);
    // The table in a file; a file that cannot be read gives an empty table and one problem.
    static SignatureTable load(const QString& path, QStringList* problems = nullptr);

    // What a DHCP client's request list and vendor class say (source Dhcp): the most telling signature that
    // matches (an exact vendor class, the longest vendor prefix, an exact list, the longest list prefix), each
    // field from the best match that has it; a weaker match's OS that says more of the same system wins
    // ("Windows 10/11" over "Windows").
    Clue matchDhcp(const QByteArray& requestList, const QString& vendorClass) const;
    // What a host name says (source HostName).
    Clue matchHostName(const QString& hostName) const;
    // What the IEEE manufacturer says (source Vendor).
    Clue matchMaker(const QString& maker) const;

    qsizetype size() const { return m_rows.size(); }

private:
    enum class Match { List, ListPrefix, Vendor, VendorPrefix, HostPrefix, HostContains, Maker };
    struct Row
    {
        Match match = Match::List;
        QString text;
        QByteArray list;
        DeviceType type = DeviceType::Unknown;
        QString os;
    };
    // One clue from the scored matches: each field from the best match that has it.
    static Clue best(const QList<std::pair<int, Clue>>& scored, FactSource source);

    QList<Row> m_rows;
};
