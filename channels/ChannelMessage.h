#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

struct Alert;
class DeviceStore;

// The push channels, in the order of their settings.
enum class Channel { Ntfy, Gotify, Webhook };
QString channelName(Channel channel); // "ntfy", "Gotify", "webhook"

// One alert as the push channels say it. It is what the delivery queue keeps (no server, no token: those are
// read when it is sent), and the webhook's JSON is its public part.
struct Notice
{
    QString kind; // new_intruder, impersonation, intruder_online, likely_return, storm, offline, online, test
    QString mac;
    QString ip;
    QString name;
    QString vendor;
    QString list; // intruders or safe; empty for a storm
    QString type; // the device's type word ("phone", "unknown"), model and os; empty for a storm
    QString model;
    QString os;
    QDateTime time;
    QDateTime lastSeen; // the device's last sighting; invalid for a storm or a test
    QString title;
    QString text;
    bool high = false; // intruders and storms; a watched device's change is of default priority

    // kind, mac, ip, name, vendor, list, type, model, os, time and last_seen (ISO 8601, UTC; last_seen only when
    // known), text: the webhook's body.
    QJsonObject webhookJson() const;
    QByteArray toStored() const;
    static std::optional<Notice> fromStored(const QByteArray& stored);

    // The notice of an alert about the device of its MAC (none for a storm); vendor names a MAC's maker.
    static Notice fromAlert(const Alert& alert, const DeviceStore& table, const QString& vendor);
    static Notice test(const QDateTime& now);
};

// Where a channel sends: its server (ntfy: the topic URL; Gotify: the server's base URL; the webhook: its URL)
// and the optional token.
struct ChannelTarget
{
    QString server;
    QString token;
};

// One HTTP POST as the server expects it.
struct ChannelRequest
{
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// The request of a notice for one channel, or the reason there is none (an URL that is not http or https).
// ntfy: the text as body, Title, Priority (high or default), Tags, Authorization: Bearer. Gotify: JSON title,
// message and priority (8 or 5) to <server>/message with X-Gotify-Key. The webhook: the notice's JSON with
// Authorization: Bearer when a token is set.
struct BuiltRequest
{
    std::optional<ChannelRequest> request;
    QString error;
};
BuiltRequest buildRequest(Channel channel, const ChannelTarget& target, const Notice& notice);

// A server's reply as the user sees it: at most maxChars characters of valid UTF-8 text (anything else
// replaced), without control characters, on one line.
QString replyText(const QByteArray& body, int maxChars = 300);
