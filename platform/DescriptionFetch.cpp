#include "platform/DescriptionFetch.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

DescriptionFetch::DescriptionFetch()
{
    m_network.setProxy(QNetworkProxy::NoProxy);
    m_network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

DescriptionFetch::~DescriptionFetch()
{
    for (auto& [handle, p] : m_pending) {
        p.reply->disconnect();
        p.reply->abort();
        p.reply->deleteLater();
    }
}

int DescriptionFetch::fetch(const QString& url, qsizetype maxBytes, int timeoutMs, NetPlatform::FetchDone done)
{
    const QUrl target(url, QUrl::StrictMode);
    if (!target.isValid() || target.scheme() != QLatin1String("http"))
        return 0;
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(timeoutMs);
    const int handle = m_nextHandle++;
    QNetworkReply* reply = m_network.get(request);
    m_pending[handle] = Pending {reply, {}, maxBytes, {}, std::move(done)};
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, handle] {
        Pending& p = m_pending.at(handle);
        p.body += p.reply->read(p.maxBytes + 1 - p.body.size());
        if (p.body.size() > p.maxBytes) {
            p.refusal = QStringLiteral("longer than %1 bytes").arg(p.maxBytes);
            p.reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, handle] {
        Pending& p = m_pending.at(handle);
        if (p.refusal.isEmpty() && p.reply->bytesAvailable() > 0) {
            p.body += p.reply->read(p.maxBytes + 1 - p.body.size());
            if (p.body.size() > p.maxBytes || p.reply->bytesAvailable() > 0)
                p.refusal = QStringLiteral("longer than %1 bytes").arg(p.maxBytes);
        }
        const int status = p.reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!p.refusal.isEmpty())
            finish(handle, p.refusal);
        else if (p.reply->error() == QNetworkReply::OperationCanceledError)
            finish(handle, QStringLiteral("not done within the time allowed")); // the transfer timed out
        else if (p.reply->error() != QNetworkReply::NoError)
            finish(handle, p.reply->errorString());
        else if (status != 200)
            finish(handle, QStringLiteral("HTTP status %1").arg(status));
        else
            finish(handle, {});
    });
    // A server that sends slowly but steadily is cut off as well: the whole transfer has timeoutMs.
    QTimer::singleShot(timeoutMs, reply, [this, handle] {
        const auto it = m_pending.find(handle);
        if (it != m_pending.end() && it->second.refusal.isEmpty()) {
            it->second.refusal = QStringLiteral("not done within the time allowed");
            it->second.reply->abort();
        }
    });
    return handle;
}

void DescriptionFetch::finish(int handle, QString error)
{
    const auto it = m_pending.find(handle);
    if (it == m_pending.end())
        return;
    // error is taken by value: it may be this very entry's refusal, which the move below empties.
    const QString why = std::move(error);
    Pending p = std::move(it->second);
    m_pending.erase(it);
    p.reply->deleteLater();
    if (p.done)
        p.done(handle, why.isEmpty() ? p.body : QByteArray(), why);
}
