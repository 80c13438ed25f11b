#pragma once

#include "store/DeviceEvent.h"

#include <QString>

// The short words a device and its events go by where scripts and other programs read them. Each vocabulary
// is one function here, so that two readers of the same vocabulary never drift apart; the vocabularies differ
// from each other where their readers already depend on them.
namespace DeviceWords {

// The list a device is on: "intruders" or "safe" (ctl, export, the web API, the metrics, the webhook).
QString list(bool intruder);
// The watch: "offline", "online", "both" or "none" (ctl, the web API).
QString watch(quint8 mode);

// An event in the web API and its event stream: "admitted", "online", "address", "renamed", "return", "note"...
QString apiEvent(DeviceEvent::Kind kind);
// An event as MQTT publishes it and the history's readers (kestrelwatch-ctl follow) name its line:
// "admission", "connected", "disconnected", "address", "name", "warning", the user's actions by their verbs,
// "likely_return"; "other" for what has no line of its own.
QString historyEvent(DeviceEvent::Kind kind);
// An event as the metrics count it (the "kind" label): "admitted", "address_changed", "name_changed"...
QString metricsEvent(DeviceEvent::Kind kind);

} // namespace DeviceWords
