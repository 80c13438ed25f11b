#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

// Where a listener listens: "ADDRESS:PORT", "[v6]:PORT", "localhost:PORT" or a bare PORT (on 127.0.0.1).
struct WebEndpoint
{
    QHostAddress address;
    quint16 port = 0;

    // nullopt when the text is none of those forms.
    static std::optional<WebEndpoint> parse(const QString& text);
    QString text() const;
    bool operator==(const WebEndpoint& other) const { return address == other.address && port == other.port; }
};
