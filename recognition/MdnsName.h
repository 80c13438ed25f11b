#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// What a device calls itself over mDNS: the name its owner gave it ("Anna's iPhone"), as its service instances
// carry it, or the host name it announces ("Annas-iPhone.local"). A private MAC changes, the name stays; so it
// tells a returning device when nothing else does. Pure functions over what a device said, unfiltered: the
// caller passes the chosen name through the one name door.
namespace MdnsName {

// One candidate: a higher rank is the better name of the device (0: none).
struct Candidate
{
    int rank = 0;
    QString name;
};

// The name one service instance gives its device: label is the instance's own part of its name ("Anna's
// iPhone" of "Anna's iPhone._companion-link._tcp.local"), service its type ("_companion-link._tcp"), txt its
// TXT entries (keys lower-case). The names Apple devices show their owners rank first, then a Chromecast's
// "fn", then computers' sharing services, then any other instance.
Candidate ofInstance(const QByteArray& service, const QByteArray& label, const QHash<QByteArray, QByteArray>& txt);
// A host name the device announces ("Annas-iPhone.local"), without ".local"; fromAddress: an A record for the
// device's own address (an SRV target may be a host the device speaks for).
Candidate ofHost(const QByteArray& host, bool fromAddress);

// The name without the MAC parts some services add ("AABBCCDDEEFF@Kitchen", "pi [dc:a6:32:01:02:03]"): a
// rotating MAC would change them, the name underneath stays.
QString withoutMacs(const QString& name);
// The name as two announcements of one device compare: case aside, and without the " (2)" that mDNS adds when
// another host still holds the name (its own earlier address, in a neighbour's cache).
QString identityForm(const QString& name);
// A name every device of its kind has out of the box ("iPhone", "MacBook-Pro", "android", "raspberrypi"): it
// says what, not which. Case, '-', '_' and a conflict's " (2)" do not count.
bool isGeneric(const QString& name);

} // namespace MdnsName
