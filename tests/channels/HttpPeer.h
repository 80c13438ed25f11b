#pragma once

#include "Process.h"

#include <QJsonObject>

// The HTTP peer of the push channels' tests (http_peer.py beside this file): a child process that ends with
// the object. arguments: the script's (--answers, --style, --token, --tls); with a namespace it runs inside it.
class HttpPeer final
{
public:
    bool start(const QStringList& arguments, const QString& netns = {}, const QString& host = {});
    quint16 port() const { return m_port; }
    QString url(const QString& scheme = QStringLiteral("http"), const QString& host = QStringLiteral("127.0.0.1"),
        const QString& path = QStringLiteral("/hook")) const;
    // The requests so far: method, path, headers, body.
    QList<QJsonObject> requests() const;
    qsizetype cursor() const { return m_process.cursor(); }
    // Waits for the request after cursor.
    bool waitForRequest(qsizetype cursor, int timeoutMs = 20000);

private:
    kwtest::Process m_process;
    quint16 m_port = 0;
};
