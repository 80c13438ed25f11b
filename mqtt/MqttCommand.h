#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A command for one device, as a broker client sends it to "<topic>/<sensor>/set/<MAC>": a JSON object with
// any of "acknowledge" (true), "safe" (true moves the device to the safe list, false back to the intruder
// list), "name" (the friendly name), "watch" ("offline", "online", "both" or "" for none) and "merge_from" (the MAC of
// an older device that is this one: it is merged into it, last). Anything else makes the whole command invalid, so a
// command is applied completely or not at all.
struct MqttCommand
{
    bool acknowledge = false;
    std::optional<bool> safe;
    std::optional<QString> name;
    std::optional<quint8> watch; // DeviceWatch::Mode
    std::optional<QString> mergeFrom; // a device's MAC in the table's form
    QString error; // why the payload is not a command; empty when it is one

    bool valid() const { return error.isEmpty(); }
};

// Parses a command payload. A pure function of its input: it never fails otherwise than by the error text.
MqttCommand parseMqttCommand(const QByteArray& payload);

// The MAC address text of a command topic ("AA-BB-CC-DD-EE-FF", any case, colons allowed) in the form the
// device table uses, or an empty string when the topic's last level is not a MAC address or names no device
// (zero, broadcast or a group address).
QString commandMac(const QString& topic, const QString& prefix);
