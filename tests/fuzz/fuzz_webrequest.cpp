// What a web client controls after the HTTP library's parse: the method, the path (with a MAC in it) and its
// query, the Authorization header and the body. Every answer is a JSON object or array with a status the API gives; no
// change is made without the token; and the listen text and the kernel's socket table parse without a fault.
#include "FuzzInput.h"
#include "store/DeviceStore.h"
#include "web/WebApi.h"
#include "web/WebEndpoint.h"
#include "web/WebHost.h"
#include "web/WebListener.h"

#include <QJsonDocument>

namespace {

struct TableHost final : WebHost
{
    DeviceStore table;
    int changes = 0;
    QList<const DeviceRecord*> devices() const override
    {
        QList<const DeviceRecord*> all;
        for (const DeviceRecord& d : table)
            all.append(&d);
        return all;
    }
    const DeviceRecord* find(const QString& mac) const override { return table.find(mac); }
    QString vendorName(const QString&) const override { return QStringLiteral("Vendor"); }
    QString history(const QString&) const override { return QStringLiteral("2026-12-05T22:00:00+00:00\tConnected"); }
    QList<PresenceInterval> intervals(const QString&, const QDateTime&, const QDateTime&) const override { return {}; }
    Result act(const QString&, Action, const QString&) override
    {
        ++changes;
        return {Outcome::Changed, {}};
    }
};

void require(bool holds)
{
    if (!holds)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TableHost host;
    if (host.table.isEmpty()) {
        DeviceRecord printer;
        printer.MacAddress = QStringLiteral("00-0C-29-12-34-56");
        host.table.append(printer);
    }
    static const QByteArray token = "0123456789abcdef0123456789abcdef0123456789a";
    const auto [head, body] = fuzz::split(data, size);
    const QList<QByteArray> words = head.split('\n');
    WebRequest request {words.value(0), QString::fromUtf8(words.value(1)), words.value(2), body, words.size() > 3};
    // The path's query as sent (?network=), after the path: a line of its own.
    request.query = QString::fromUtf8(words.value(4));
    const int before = host.changes;
    for (const bool open : {true, false}) {
        const WebReply reply = WebApi(host, token, open).handle(request);
        const QJsonDocument doc = QJsonDocument::fromJson(reply.body);
        require(!doc.isNull() && reply.type == "application/json");
        require(reply.status == 200 || doc.isObject());
        require(reply.status == 200 || !doc.object().value(QStringLiteral("reason")).toString().isEmpty());
        // The header's value may carry white space around the token, as HTTP allows.
        require(host.changes == before
            || (request.authorization.startsWith("Bearer ") && request.authorization.mid(7).trimmed() == token));
    }
    (void)WebEndpoint::parse(QString::fromUtf8(head));
    (void)WebListener::ownerInTable(body, 1, 2);
    return 0;
}
