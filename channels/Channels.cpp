#include "channels/Channels.h"

#include "notify/AlertPolicy.h"
#include "notify/SmtpClient.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "platform/UrlText.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"
#include "store/SettingsTable.h"

#include <QNetworkRequest>
#include <QSslConfiguration>
#include <memory>

namespace {

constexpr std::array<Channel, 3> kChannels {Channel::Ntfy, Channel::Gotify, Channel::Webhook};
constexpr const char* kCut = "kwCutAtDeadline";
constexpr const char* kDeadlineMs = "kwDeadlineMs";

// The trust store once per process: the system's, or the one SSL_CERT_FILE / SSL_CERT_DIR name.
const QSslConfiguration& tlsConfiguration()
{
    static const QSslConfiguration config = [] {
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        if (qEnvironmentVariableIsSet("SSL_CERT_FILE") || qEnvironmentVariableIsSet("SSL_CERT_DIR"))
            c.setCaCertificates(SmtpClient::trustedCertificates());
        c.setPeerVerifyMode(QSslSocket::VerifyPeer);
        return c;
    }();
    return config;
}

} // namespace

Channels::Outcome Channels::judge(int status)
{
    if (status >= 200 && status < 300)
        return Outcome::Delivered;
    if (status == 0 || status == 408 || status == 429 || status >= 500)
        return Outcome::Retry;
    return Outcome::Refused;
}

qint64 Channels::retryDelaySecs(int attempts)
{
    qint64 delay = FirstRetrySecs;
    for (int i = 1; i < attempts && delay < LongestRetrySecs; ++i)
        delay *= 2;
    return std::min(delay, LongestRetrySecs);
}

Channels::Channels(const LiveSettings& settings, const DeviceStore& table, VendorLookup vendor, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_table(table)
    , m_vendor(std::move(vendor))
{
    m_net.setAutoDeleteReplies(false);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &Channels::pump);
    m_timer.start();
}

Channels::~Channels()
{
    // Requests still running end with the manager; none may report to a queue that is already gone.
    for (QNetworkReply* reply : m_net.findChildren<QNetworkReply*>())
        reply->disconnect(this);
}

void Channels::openQueue(const QString& file)
{
    const QString error = m_queue.open(file);
    if (!error.isEmpty())
        Log(kwPush,
            QStringLiteral("Channels - the delivery queue %1 cannot be opened (%2); messages are kept in memory only")
                .arg(file, error));
    else if (pending() > 0)
        Log(kwPush, QStringLiteral("Channels - %1 messages wait from before the restart").arg(pending()));
    pump();
}

ChannelTarget Channels::target(const LiveSettings& s, Channel channel)
{
    switch (channel) {
    case Channel::Ntfy:
        return {s.push.ntfy.url, s.push.ntfy.token};
    case Channel::Gotify:
        return {s.push.gotify.url, s.push.gotify.token};
    case Channel::Webhook:
        break;
    }
    return {s.push.webhook.url, s.push.webhook.token};
}

bool Channels::enabled(Channel channel) const
{
    return !target(m_settings, channel).server.trimmed().isEmpty();
}

QString Channels::alertWord(const Alert& alert)
{
    switch (alert.kind) {
    case Alert::Kind::NewIntruder:
    case Alert::Kind::LikelyReturn: // a new device, though likely a known one
        break;
    case Alert::Kind::IntruderOnline:
        return QStringLiteral("online");
    case Alert::Kind::Watched:
        return QStringLiteral("watched");
    case Alert::Kind::Storm:
        return QStringLiteral("storm");
    }
    return QStringLiteral("new");
}

const QString& Channels::alertsOf(const LiveSettings& s, Channel channel)
{
    switch (channel) {
    case Channel::Ntfy:
        return s.push.ntfy.alerts;
    case Channel::Gotify:
        return s.push.gotify.alerts;
    case Channel::Webhook:
        break;
    }
    return s.push.webhook.alerts;
}

void Channels::alertRaised(const Alert& alert)
{
    if (!alert.push)
        return;
    const Notice notice =
        Notice::fromAlert(alert, m_table, m_vendor && !alert.mac.isEmpty() ? m_vendor(alert.mac) : QString());
    // Each channel carries the kinds of alert chosen for it (all, unless the user chose otherwise).
    const QString word = alertWord(alert);
    for (const Channel channel : kChannels) {
        if (enabled(channel) && SettingsTable::hasWord(alertsOf(m_settings, channel), word))
            post(channel, notice);
    }
}

void Channels::post(Channel channel, const Notice& notice)
{
    m_queue.add(channel, notice.toStored(), kwclock::now());
    pump();
}

void Channels::pump()
{
    const QDateTime now = kwclock::now();
    std::vector<qint64> due;
    std::array<int, 3> free {};
    for (const Channel channel : kChannels)
        free[size_t(channel)] = InFlight - m_inFlight[size_t(channel)];
    for (const ChannelQueue::Item& item : m_queue.items()) {
        int& slots = free[size_t(item.channel)];
        if (!item.sending && item.due <= now && slots > 0) {
            due.push_back(item.id);
            --slots;
        }
    }
    for (const qint64 id : due) {
        if (ChannelQueue::Item* item = m_queue.find(id))
            start(*item);
    }
}

void Channels::start(ChannelQueue::Item& item)
{
    const Channel channel = item.channel;
    const qint64 id = item.id;
    const std::optional<Notice> notice = Notice::fromStored(item.notice);
    const BuiltRequest built = notice ? buildRequest(channel, target(m_settings, channel), *notice) : BuiltRequest {};
    if (!built.request) {
        const QString why = !enabled(channel) ? QStringLiteral("the channel is off now")
            : notice                          ? built.error
                                              : QStringLiteral("the queued message cannot be read");
        Log(kwPush, QStringLiteral("Channels - %1: a message is dropped: %2").arg(channelName(channel), why));
        m_queue.remove(id);
        Q_EMIT dropped(channel, id);
        return;
    }
    item.sending = true;
    ++m_inFlight[size_t(channel)];
    QNetworkReply* reply = send(m_net, *built.request, m_timeoutMs);
    Q_EMIT requestStarted(channel, id);
    whenFinished(reply, this, [this, channel, id](int status, const QString& text, const QString& error) {
        finished(channel, id, status, text, error);
    });
}

QString Channels::answerText(int status, const QString& text, const QString& error)
{
    return status == 0 ? QStringLiteral("Failed: ") + error
                       : QStringLiteral("HTTP %1 %2").arg(status).arg(text).trimmed();
}

QNetworkReply* Channels::send(QNetworkAccessManager& net, const ChannelRequest& request, int timeoutMs)
{
    QNetworkRequest r(request.url);
    for (const auto& [name, value] : request.headers)
        r.setRawHeader(name, value);
    r.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Kestrelwatch/" KW_VERSION));
    r.setTransferTimeout(timeoutMs);
    // The request's headers carry the channel's credential: a redirect is followed only to the same scheme, host
    // and port, never to a host that would receive the token and the alert.
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    r.setMaximumRedirectsAllowed(3);
    if (request.url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
        r.setSslConfiguration(tlsConfiguration());
    QNetworkReply* reply = net.post(r, request.body);
    // The transfer time-out only catches silence; a server that trickles a byte now and then is cut here, so an
    // item never stays "sending" and "Send test" always ends.
    reply->setProperty(kDeadlineMs, timeoutMs);
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply] {
        reply->setProperty(kCut, true);
        reply->abort();
    });
    deadline->start(timeoutMs);
    return reply;
}

void Channels::whenFinished(QNetworkReply* reply, QObject* context,
    const std::function<void(int status, const QString& text, const QString& error)>& done)
{
    // Only the first MaxReplyBytes are kept; a reply past MaxReadBytes is cut off there.
    auto kept = std::make_shared<QByteArray>();
    auto read = std::make_shared<qint64>(0);
    auto tls = std::make_shared<QString>();
    QObject::connect(reply, &QNetworkReply::readyRead, context, [reply, kept, read] {
        const QByteArray chunk = reply->readAll();
        *read += chunk.size();
        kept->append(chunk.left(std::max<qint64>(0, MaxReplyBytes - kept->size())));
        if (*read > MaxReadBytes)
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::sslErrors, context,
        [tls](const QList<QSslError>& errors) { *tls = SmtpClient::tlsCause(errors); });
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, kept, tls, done] {
        if (reply->isOpen())
            kept->append(reply->readAll().left(std::max<qint64>(0, MaxReplyBytes - kept->size())));
        // A reply cut at the deadline, or silent too long, is no answer whatever its status line said: the item
        // is tried again.
        const bool cut = reply->property(kCut).toBool() || reply->error() == QNetworkReply::TimeoutError;
        const int status = cut ? 0 : reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::InsecureRedirectError) {
            // A redirect to another origin is the server's standing answer: refused, as a 4xx would be.
            const QUrl to = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
            reply->deleteLater();
            done(status == 0 ? 307 : status,
                QStringLiteral("redirected elsewhere (%1), not followed")
                    .arg(UrlText::origin(reply->url().resolved(to))),
                {});
            return;
        }
        QString error;
        if (cut) {
            error = QStringLiteral("no whole answer within %1 s")
                        .arg(QString::number(reply->property(kDeadlineMs).toInt() / 1000.0));
        } else if (status == 0) {
            error = reply->error() == QNetworkReply::OperationCanceledError
                ? QStringLiteral("the reply was cut off")
                : reply->errorString().replace(reply->url().toString(), UrlText::origin(reply->url()));
            if (!tls->isEmpty())
                error = QStringLiteral("TLS failure: ") + *tls;
        }
        reply->deleteLater();
        done(status, replyText(*kept), error);
    });
}

void Channels::finished(Channel channel, qint64 id, int status, const QString& text, const QString& error)
{
    --m_inFlight[size_t(channel)];
    ChannelQueue::Item* item = m_queue.find(id);
    if (!item)
        return;
    item->sending = false;
    const QString name = channelName(channel);
    const QString answer = answerText(status, text, error);
    Q_EMIT attempted(channel, id, answer);
    switch (judge(status)) {
    case Outcome::Delivered:
        m_queue.remove(id);
        if (!m_lastFailure[size_t(channel)].isEmpty())
            Log(kwPush, QStringLiteral("Channels - %1 delivers again").arg(name));
        m_lastFailure[size_t(channel)].clear();
        Q_EMIT delivered(channel, id);
        break;
    case Outcome::Refused:
        failure(channel, QStringLiteral("the server refused the message: ") + answer);
        m_queue.remove(id);
        Q_EMIT dropped(channel, id);
        break;
    case Outcome::Retry: {
        failure(channel, answer);
        const QDateTime now = kwclock::now();
        const int attempts = item->attempts + 1;
        const QDateTime next = now.addSecs(retryDelaySecs(attempts));
        if (item->first.secsTo(next) > RetryForSecs) {
            Log(kwPush,
                QStringLiteral("Channels - %1: a message is dropped after an hour of failures (last: %2)")
                    .arg(name, answer));
            m_queue.remove(id);
            Q_EMIT dropped(channel, id);
        } else {
            m_queue.reschedule(id, next, attempts);
        }
        break;
    }
    }
    pump();
}

void Channels::failure(Channel channel, const QString& cause)
{
    QString& last = m_lastFailure[size_t(channel)];
    if (last == cause)
        return;
    last = cause;
    Log(kwPush,
        QStringLiteral("Channels - %1 (%2): %3")
            .arg(channelName(channel), UrlText::origin(target(m_settings, channel).server), cause));
}
