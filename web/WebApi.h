#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QString>

class WebHost;
struct DeviceEvent;
struct DeviceRecord;

// One request as the API sees it, taken from the HTTP library's parse (web/WebServer) or made by a test.
struct WebRequest
{
    QByteArray method;
    QString path; // decoded, without the query
    QByteArray authorization; // the Authorization header's value
    QByteArray body;
    // Whether a proxy says it passed the request on (Forwarded, X-Forwarded-For, X-Real-IP): then the peer's
    // loopback address is the proxy's, not the reader's, and reading needs the token too.
    bool forwarded = false;
    // The Host header: a page of another site whose name was made to point at 127.0.0.1 (DNS rebinding) names
    // its own host there, so only a loopback name or address reads without the token.
    QByteArray host = "127.0.0.1";
    QString query {}; // after the "?", as sent (GET /api/devices?network=ID)
};

struct WebReply
{
    int status = 200;
    QByteArray type = "application/json";
    QByteArray body;
    QByteArray allow; // for 405: the methods the path takes
};

// The API under /api: the devices (the objects `kestrelwatch-ctl list --json` prints: store/DeviceJson;
// ?network=ID narrows them to one network and the devices with none recorded), the networks known,
// one device with its history and presence, the recent events, and the user's actions, each through the host.
// Changes need the bearer token always; reading needs it too unless the server listens on loopback only.
// Errors are JSON objects {"reason": "..."} with their status. Pure over the host: the tests call handle().
class WebApi final
{
public:
    // Room for the longest note (DeviceText::MaxNoteChars) even when every character comes \u-escaped.
    static constexpr qsizetype MaxBodyBytes = 16384;
    static constexpr int RecentEvents = 20;

    WebApi(WebHost& host, QByteArray token, bool openReading);

    WebReply handle(const WebRequest& request) const;
    // Whether a request carries the token ("Bearer TOKEN"), compared in constant time.
    bool authorized(const QByteArray& authorization) const;
    bool openReading() const { return m_openReading; }
    // Whether a read needs no token here: on loopback, asked for by a loopback name, and not passed on by a proxy.
    bool readsOpenTo(const WebRequest& request) const;
    static bool loopbackHost(const QByteArray& host);

    // The device as every API answer and the event stream show it.
    QJsonObject deviceObject(const DeviceRecord& d) const;
    // The event as the stream sends it: its kind, MAC, time and the device as it stands (null once removed).
    QJsonObject eventObject(const DeviceEvent& event) const;
    // Keeps the event among the recent ones /api/summary lists.
    void remember(const QJsonObject& event);

    static WebReply error(int status, const QString& reason);
    static WebReply json(const QJsonValue& value, int status = 200);
    // The route a path takes with any MAC in it replaced by "…", for log lines.
    static QString loggedPath(const QString& path);

private:
    WebReply devices(const QString& query) const;
    // WebApiNetworks.cpp: the networks the monitor has been on, for the page's choice.
    static WebReply networks();
    // The network a device list asks for ("" for all), or the refusal.
    static QString askedNetwork(const QString& query, WebReply& refusal);
    WebReply device(const QString& mac) const;
    WebReply summary() const;
    WebReply action(const QString& mac, const QString& verb, const QByteArray& body) const;
    // The device a MAC in a path names, or nullptr with the refusal (no MAC, or no such device).
    const DeviceRecord* named(const QString& mac, WebReply& refusal) const;

    WebHost& m_host;
    QByteArray m_token;
    bool m_openReading = false;
    QList<QJsonObject> m_recent;
};
