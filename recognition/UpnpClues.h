#pragma once

#include "recognition/Clue.h"

#include <QByteArray>
#include <QString>
#include <optional>

// SSDP and UPnP, read as pure functions over what the network sent. An SSDP datagram (a NOTIFY or an answer to
// a search) gives the address of the device's description (LOCATION); the description's root device gives its
// type, name, maker and model. Bounded: a datagram of at most kMaxSsdpBytes with at most kMaxSsdpHeaders
// headers; a description of at most kMaxDescriptionBytes, no DTD, nested at most kMaxDepth deep.
namespace UpnpClues {

constexpr qsizetype kMaxSsdpBytes = 8192;
constexpr int kMaxSsdpHeaders = 64;
constexpr qsizetype kMaxDescriptionBytes = qsizetype(64) * 1024;
constexpr int kMaxDepth = 32;

struct Ssdp
{
    bool alive = true; // false for a NOTIFY ssdp:byebye
    QByteArray location; // the LOCATION header as sent
    QByteArray target; // NT (a NOTIFY) or ST (a search answer)
    QByteArray server;
};
// A NOTIFY or a search's answer ("HTTP/1.1 200"); nullopt for anything else (a search, a malformed header line,
// over the bounds).
std::optional<Ssdp> parseSsdp(const QByteArray& datagram);

// Whether a LOCATION may be fetched: plain http to the sender's own address (dotted, as sent), any port but 0.
bool locationOfSender(const QByteArray& location, const QString& sender);

struct Description
{
    QString deviceType; // "urn:schemas-upnp-org:device:MediaRenderer:1"
    QString friendlyName;
    QString manufacturer;
    QString modelName;
    QString error; // why the document says nothing; then the fields are empty
};
// The root device of a description document (the first <device> under <root>).
Description parseDescription(const QByteArray& xml);

// What the description says (source Upnp): a media renderer is a speaker unless it says it is a TV, an
// Internet gateway a router, and so on; the model is maker and model name ("Sonos Play:1").
Clue clueOf(const Description& d);

} // namespace UpnpClues
