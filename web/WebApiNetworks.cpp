// The networks for the page's choice of whose devices its lists show, and the choice as a device list's query.
#include "web/WebApi.h"

#include "store/NetworkBook.h"

#include <QJsonArray>
#include <QUrlQuery>

namespace {

// An id is a MAC and a subnet; anything much longer names no network.
constexpr qsizetype MaxQueryChars = 256;

} // namespace

QString WebApi::askedNetwork(const QString& query, WebReply& refusal)
{
    if (query.size() > MaxQueryChars) {
        refusal = error(414, QStringLiteral("the query is longer than %1 characters").arg(MaxQueryChars));
        return {};
    }
    QString network = QUrlQuery(query).queryItemValue(QStringLiteral("network"), QUrl::FullyDecoded).trimmed();
    if (network.isEmpty() || network == QLatin1String("all"))
        return {};
    NetworkBook book;
    book.load();
    if (!book.find(network)) {
        refusal = error(404, QStringLiteral("no such network; /api/networks lists them"));
        return {};
    }
    return network;
}

WebReply WebApi::networks()
{
    NetworkBook book;
    book.load();
    QJsonArray array;
    for (const NetworkBook::Network& n : book.all()) {
        if (n.watch == NetworkBook::Watch::Never)
            continue;
        array.append(QJsonObject {{QStringLiteral("id"), n.id}, {QStringLiteral("title"), NetworkBook::title(n)},
            {QStringLiteral("name"), n.name}, {QStringLiteral("subnet"), n.subnet},
            {QStringLiteral("gateway"), n.gatewayIp}, {QStringLiteral("watch"), NetworkBook::watchWord(n.watch)}});
    }
    return json(array);
}
