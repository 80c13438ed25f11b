#pragma once

#include "channels/ChannelMessage.h"
#include "channels/ChannelQueue.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>

struct Alert;
class DeviceStore;
struct LiveSettings;

// The push channels (ntfy, Gotify, the webhook). Each is on when its server is set, and carries every alert
// the policy marks for them (Alert::push): intruders as the alert check boxes say, watched devices' changes,
// storm digests. Each message waits in the delivery queue (a file of the user's folder, so a restart loses
// nothing) until its server takes it; a server that fails or does not answer gets it again after 5 s, then
// twice as long each time up to 5 min, for an hour. A server that refuses it (a 4xx answer) does not. Nothing
// here waits: the requests run on the event loop, at most InFlight per channel, so a hanging server holds up
// only its own channel's queue, never the sweep. Each failure is logged once with its cause, until the
// channel delivers again.
class Channels final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Channels)

public:
    static constexpr int InFlight = 8;
    static constexpr int TimeoutMs = 10000;
    static constexpr qint64 RetryForSecs = 3600;
    static constexpr qint64 FirstRetrySecs = 5;
    static constexpr qint64 LongestRetrySecs = 300;
    static constexpr qint64 MaxReplyBytes = 4096; // what is kept of a reply; the rest is read and dropped
    static constexpr qint64 MaxReadBytes = 1 << 20; // a longer reply is cut off

    enum class Outcome { Delivered, Refused, Retry };
    // What an HTTP status (0: none came) means for the message.
    static Outcome judge(int status);
    // The wait before attempt number attempts + 1.
    static qint64 retryDelaySecs(int attempts);

    using VendorLookup = std::function<QString(const QString& mac)>;
    Channels(const LiveSettings& settings, const DeviceStore& table, VendorLookup vendor, QObject* parent = nullptr);
    ~Channels() override;

    // The queue's file; without it the queue lives in memory only (logged).
    void openQueue(const QString& file);
    static ChannelTarget target(const LiveSettings& settings, Channel channel);
    bool enabled(Channel channel) const;

    void alertRaised(const Alert& alert);
    void post(Channel channel, const Notice& notice);
    // Starts every message that is due and has a free slot; the timer calls it every second.
    void pump();
    qsizetype pending() const { return qsizetype(m_queue.items().size()); }
    // How long a server may take to answer (TimeoutMs; tests shorten it).
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // The request of a target, sent now with the trust store and the time-out the queue uses; done gets the
    // HTTP status (0: none) and the reply as plain text ("Failed: cause" when none came). For "Send test".
    static QNetworkReply* send(QNetworkAccessManager& net, const ChannelRequest& request, int timeoutMs = TimeoutMs);
    static void whenFinished(QNetworkReply* reply, QObject* context,
        const std::function<void(int status, const QString& text, const QString& error)>& done);
    // The words the outcome of an attempt is shown with: "HTTP 401 {...}" or "Failed: cause".
    static QString answerText(int status, const QString& text, const QString& error);

Q_SIGNALS:
    void requestStarted(Channel channel, qint64 id);
    void attempted(Channel channel, qint64 id, const QString& answer);
    void delivered(Channel channel, qint64 id);
    void dropped(Channel channel, qint64 id);

private:
    void start(ChannelQueue::Item& item);
    void finished(Channel channel, qint64 id, int status, const QString& text, const QString& error);
    void failure(Channel channel, const QString& cause);

    const LiveSettings& m_settings;
    const DeviceStore& m_table;
    VendorLookup m_vendor;
    QNetworkAccessManager m_net;
    ChannelQueue m_queue;
    QTimer m_timer;
    int m_timeoutMs = TimeoutMs;
    std::array<int, 3> m_inFlight {};
    std::array<QString, 3> m_lastFailure {}; // the cause last logged, per channel, until it delivers again
};
