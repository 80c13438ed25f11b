#include "app/MonitorWeb.h"

#include "app/MonitorCore.h"
#include "platform/DebugSink.h"
#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/LiveSettings.h"
#include "store/PresenceStore.h"
#include "web/WebHost.h"
#include "web/WebServer.h"
#include "web/WebToken.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

namespace {

MonitorWeb::CommandLine& given()
{
    static MonitorWeb::CommandLine line;
    return line;
}

} // namespace

class MonitorWeb::Host final : public WebHost
{
public:
    explicit Host(MonitorCore& core)
        : m_core(core)
    { }
    QList<const DeviceRecord*> devices() const override
    {
        QList<const DeviceRecord*> all;
        all.reserve(m_core.devices().size());
        for (const DeviceRecord& d : std::as_const(m_core.devices()))
            all.append(&d);
        return all;
    }
    const DeviceRecord* find(const QString& mac) const override { return std::as_const(m_core.devices()).find(mac); }
    QString vendorName(const QString& mac) const override { return m_core.vendorName(mac); }
    QString history(const QString& mac) const override { return m_core.deviceLog().history(mac); }
    QList<PresenceInterval> intervals(const QString& mac, const QDateTime& from, const QDateTime& to) const override
    {
        PresenceStore* presence = m_core.presence();
        return presence ? presence->intervals(mac, from, to) : QList<PresenceInterval>();
    }
    Result act(const QString& mac, Action action, const QString& argument) override
    {
        DeviceActions& actions = m_core.actions();
        const OriginScope origin(actions, DeviceEvent::Origin::Web); // each history line says the page did it
        const DeviceRecord* device = find(mac);
        if (!device)
            return {Outcome::Refused, QStringLiteral("no device has that MAC address")};
        const auto changed = [](bool done) { return Result {done ? Outcome::Changed : Outcome::Unchanged, {}}; };
        switch (action) {
        case Action::Acknowledge:
            return changed(actions.Acknowledge(mac));
        case Action::MoveSafe:
            return changed(actions.MoveToSafe(mac));
        case Action::MoveIntruders:
            return changed(actions.MoveToIntruders(mac));
        case Action::Rename: {
            const DeviceText::Name name = DeviceText::filterName(argument);
            if (!name.ok())
                return {Outcome::Refused, name.refusal};
            return changed(actions.Rename(mac, name.text));
        }
        case Action::Note: {
            const DeviceText::Name note = DeviceText::filterNote(argument);
            if (!note.ok())
                return {Outcome::Refused, QStringLiteral("the note ") + note.refusal};
            return changed(actions.setNote(mac, note.text));
        }
        case Action::Watch: {
            const auto mode = argument == QLatin1String("none") ? DeviceWatch::None : DeviceWatch::parse(argument);
            return changed(mode && actions.SetWatch(mac, quint8(*mode)));
        }
        case Action::Remove:
            if (!DeviceActions::removable(*device))
                return {Outcome::Refused,
                    QStringLiteral("an online device cannot be removed: the next sweep would admit it again")};
            return changed(actions.Remove(mac));
        }
        return changed(false);
    }

private:
    MonitorCore& m_core;
};

void MonitorWeb::setCommandLine(const CommandLine& line)
{
    given() = line;
}

const MonitorWeb::CommandLine& MonitorWeb::commandLine()
{
    return given();
}

std::optional<WebEndpoint> MonitorWeb::wanted(const LiveSettings& settings, bool sayWhy)
{
    if (given().web)
        return given().web;
    const QString listen = settings.web.listen;
    if (listen.isEmpty())
        return std::nullopt;
    auto where = WebEndpoint::parse(listen);
    if (!where && sayWhy)
        Log(kwWeb,
            QStringLiteral("Web - WebListen '%1' is no ADDRESS:PORT or PORT; no web page is served")
                .arg(listen.left(64)));
    return where;
}

MonitorWeb::MonitorWeb(MonitorCore& core)
    : m_core(core)
    , m_host(std::make_unique<Host>(core))
{ }

MonitorWeb::~MonitorWeb() = default;

QString MonitorWeb::start()
{
    const std::optional<WebEndpoint> where = wanted(m_core.settings(), true);
    if (!where)
        return {};
    WebServer::Options options;
    options.host = m_host.get();
    options.files = m_core.paths().share + QStringLiteral("web/");
    QString problem;
    options.token = WebToken::load(m_core.paths().home, &problem);
    if (options.token.isEmpty())
        return QStringLiteral("no web page: ") + problem;
    if (given().metrics == where)
        options.metrics = [this] { return m_core.metrics().render(); };
    const QString certificate = m_core.settings().web.certificate;
    const QString key = m_core.settings().web.key;
    if (!certificate.isEmpty() || !key.isEmpty()) {
        QFile certFile(certificate);
        QFile keyFile(key);
        const QList<QSslCertificate> chain =
            certFile.open(QIODevice::ReadOnly) ? QSslCertificate::fromDevice(&certFile) : QList<QSslCertificate>();
        const QSslKey privateKey = keyFile.open(QIODevice::ReadOnly) ? QSslKey(&keyFile, QSsl::Rsa) : QSslKey();
        const QSslKey ecKey = privateKey.isNull() && keyFile.seek(0) ? QSslKey(&keyFile, QSsl::Ec) : privateKey;
        if (chain.isEmpty() || ecKey.isNull())
            return QStringLiteral("no web page: WebCertificate and WebKey must name a PEM certificate and its key");
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(ecKey);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        options.tls = tls;
    }
    m_server = std::make_unique<WebServer>(std::move(options));
    const QString failed = m_server->listen(*where);
    if (!failed.isEmpty()) {
        m_server.reset();
        return QStringLiteral("--web: ") + failed;
    }
    Log(kwWeb,
        QStringLiteral("Web - the page is served at %1://%2/")
            .arg(certificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"), where->text()));
    return {};
}

void MonitorWeb::deviceEvent(const DeviceEvent& event)
{
    if (m_server)
        m_server->deviceEvent(event);
}
