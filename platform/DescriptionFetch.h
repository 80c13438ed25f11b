#pragma once

#include "platform/NetPlatform.h"

#include <QNetworkAccessManager>
#include <map>

class QNetworkReply;

// UPnP device descriptions over HTTP, bounded: never through a proxy, no redirect followed, at most maxBytes
// (the reply is aborted at the first byte past it) and timeoutMs in all.
class DescriptionFetch final
{
public:
    DescriptionFetch();
    ~DescriptionFetch();
    Q_DISABLE_COPY_MOVE(DescriptionFetch)

    int fetch(const QString& url, qsizetype maxBytes, int timeoutMs, NetPlatform::FetchDone done);

private:
    void finish(int handle, QString error);

    struct Pending
    {
        QNetworkReply* reply = nullptr;
        QByteArray body;
        qsizetype maxBytes = 0;
        QString refusal;
        NetPlatform::FetchDone done;
    };
    QNetworkAccessManager m_network;
    std::map<int, Pending> m_pending;
    int m_nextHandle = 1;
};
