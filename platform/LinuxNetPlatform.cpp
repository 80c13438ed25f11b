// The privileged requests (through the helper) and the reverse lookups of the Linux network layer; adapters
// are in LinuxAdapters.cpp, the rtnetlink reading (routes, neighbour table) in LinuxNetlink.cpp, the questions
// to devices for their own names in DeviceNameQueries.cpp.

#include "platform/LinuxNetPlatform.h"
#include "platform/DebugSink.h"
#include "platform/DescriptionFetch.h"
#include "platform/DeviceNameQueries.h"
#include "platform/DiscoverySockets.h"
#include "platform/HelperClient.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>

#include <QFile>

#include <cerrno>
#include <cstring>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool isDottedQuad(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        if (p.isEmpty() || p.size() > 3 || p.toUInt(&ok) > 255 || !ok)
            return false;
        for (const QChar c : p) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
    }
    return true;
}

} // namespace

LinuxNetPlatform::LinuxNetPlatform(QString helperProgram)
    : m_helperProgram(std::move(helperProgram))
    , m_lookupContext(new QObject)
    , m_nameQueries(std::make_unique<DeviceNameQueries>())
{
    m_restartTimer.setSingleShot(true);
    QObject::connect(&m_restartTimer, &QTimer::timeout, [this] { restartHelper(); });
}

LinuxNetPlatform::~LinuxNetPlatform()
{
    for (auto it = m_lookups.cbegin(); it != m_lookups.cend(); ++it)
        QHostInfo::abortHostLookup(it.key());
    m_lookups.clear();
    // Results already queued for the context die with it.
    m_lookupContext.reset();
    closeIcmpSocket();
    dropRoute();
}

std::unique_ptr<NetPlatform> createLinuxNetPlatform()
{
    return std::make_unique<LinuxNetPlatform>();
}

namespace {

QString fixCommand(const QString& program)
{
    return QStringLiteral("sudo setcap cap_net_raw,cap_net_admin=ep %1").arg(program);
}

// An installed helper may be run only by the members of its group (mode 0750 root:kestrelwatch), as only the
// members of Wireshark's capture group may run dumpcap; empty when this user may run it.
QString groupProblem(const QString& program)
{
    if (::access(QFile::encodeName(program).constData(), X_OK) == 0 || errno != EACCES)
        return {};
    const passwd* user = ::getpwuid(::getuid());
    const QString name = user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("$USER");
    return QStringLiteral("Kestrelwatch is not sweeping the network because only members of the group kestrelwatch "
                          "may run its helper %1; fix it with: sudo usermod -aG kestrelwatch %2, then log in again")
        .arg(program, name);
}

} // namespace

bool LinuxNetPlatform::openIcmpSocket()
{
    if (icmpSocketOpen())
        return true;
    QString program = m_helperProgram;
    // The headless service's helper is a unit of its own, reached over its socket.
    const QString socket = qEnvironmentVariable("KESTRELWATCH_HELPER_SOCKET");
    if (program.isEmpty() && !socket.isEmpty())
        program = QStringLiteral("unix:") + socket;
    if (program.isEmpty()) {
        QStringList searched;
        program = HelperClient::locate(QCoreApplication::applicationDirPath(), &searched);
        if (program.isEmpty()) {
            m_privilegeProblem =
                QStringLiteral("Kestrelwatch is not sweeping the network because its helper program is missing "
                               "(looked for %1); reinstall Kestrelwatch with: sudo apt-get install --reinstall "
                               "kestrelwatch")
                    .arg(searched.join(QStringLiteral(" and ")));
            Log(kwNetwork, QStringLiteral("NetPlatform - ") + m_privilegeProblem);
            return false;
        }
    }
    m_privilegeProblem = program.startsWith(QLatin1String("unix:")) ? QString() : groupProblem(program);
    if (!m_privilegeProblem.isEmpty()) {
        Log(kwNetwork, QStringLiteral("NetPlatform - ") + m_privilegeProblem);
        return false;
    }
    m_helper = std::make_unique<HelperClient>(program);
    m_helper->onReply = [this](const helperproto::Reply& reply) { helperReply(reply); };
    m_helper->onGone = [this] { helperGone(); };
    m_sendCounts = {};
    if (!m_helper->start()) {
        m_privilegeProblem = QStringLiteral("Kestrelwatch is not sweeping the network because its helper %1 cannot "
                                            "start (%2); reinstall Kestrelwatch with: sudo apt-get install "
                                            "--reinstall kestrelwatch")
                                 .arg(program, m_helper->startError());
        Log(kwNetwork, QStringLiteral("NetPlatform - ") + m_privilegeProblem);
        m_helper.reset();
        return false;
    }
    m_helperUp.start();
    m_quickEnds = 0;
    setProblemFromHelper();
    if (!m_privilegeProblem.isEmpty())
        Log(kwNetwork, QStringLiteral("NetPlatform - ") + m_privilegeProblem);
    listenForArp();
    listenForDhcp();
    return icmpSocketOpen();
}

// A helper that ends on its own (a crash, or killed) is started again after 1, 2 and 4 s, so the sweep goes on
// with at most a few echoes lost; three in a row that end within a minute of their start are given up, with
// the notice that says how to go on.
void LinuxNetPlatform::helperGone()
{
    if (m_helperUp.isValid() && m_helperUp.elapsed() > 60000)
        m_quickEnds = 0;
    m_helperUp.invalidate();
    m_pendingDeletes.clear();
    m_listenSeq = 0;
    if (m_quickEnds >= 3) {
        m_privilegeProblem = QStringLiteral("Kestrelwatch stopped sweeping the network because its helper %1 ended "
                                            "unexpectedly; restart Kestrelwatch with: kestrelwatch")
                                 .arg(m_helper->program());
        Log(kwNetwork, QStringLiteral("NetPlatform - ") + m_privilegeProblem);
        reportProblem(QStringLiteral("helper ended"), m_privilegeProblem);
        return;
    }
    const int delayMs = 1000 << m_quickEnds++;
    Log(kwNetwork,
        QStringLiteral("NetPlatform - the helper %1 ended unexpectedly; starting it again in %2 s")
            .arg(m_helper->program())
            .arg(delayMs / 1000));
    m_restartTimer.start(delayMs);
}

void LinuxNetPlatform::restartHelper()
{
    if (!m_helper || m_helper->running())
        return;
    if (!m_helper->start()) {
        Log(kwNetwork,
            QStringLiteral("NetPlatform - the helper %1 cannot start again (%2)")
                .arg(m_helper->program(), m_helper->startError()));
        m_helper->stop();
        helperGone();
        return;
    }
    m_helperUp.start();
    ++m_tally.helperRestarts;
    setProblemFromHelper();
    Log(kwNetwork, QStringLiteral("NetPlatform - the helper %1 runs again").arg(m_helper->program()));
    listenForArp();
    listenForDhcp();
}

void LinuxNetPlatform::listenForArp()
{
    if (!(m_helper->flags() & helperproto::ArpListen)) {
        Log(kwNetwork,
            QStringLiteral("NetPlatform - passive ARP listening is off: the helper %1 cannot open its ARP socket "
                           "(%2); devices are found by the sweep alone")
                .arg(m_helper->program(), errnoText(m_helper->arpSocketErrno())));
        return;
    }
    m_listenSeq = m_helper->send(helperproto::Type::ListenArp, {});
}

void LinuxNetPlatform::arpHeard(const helperproto::Reply& reply)
{
    using namespace helperproto;
    const ArpHeardBatch batch = parseArpHeard(reply.payload);
    if (!batch.ok) {
        Log(kwNetwork,
            QStringLiteral("NetPlatform - the helper sent a malformed ARP report of %1 bytes; ignored")
                .arg(reply.payload.size()));
        return;
    }
    if (reply.seq != 0 && reply.seq == m_listenSeq) {
        m_listenSeq = 0;
        Log(kwNetwork, QStringLiteral("NetPlatform - listening for ARP on the swept interfaces"));
    }
    if (batch.dropped > 0)
        reportProblem(QStringLiteral("ArpHeard dropped"),
            QStringLiteral("heard ARP comes faster than %1 reports a second; the helper dropped %2 of them")
                .arg(kArpReportsPerSecond)
                .arg(batch.dropped));
    for (const Heard& s : batch.sightings)
        deliverHeard(s);
}

void LinuxNetPlatform::setProblemFromHelper()
{
    const QString program = m_helper->program();
    const std::uint8_t flags = m_helper->flags();
    if (!(flags & helperproto::EchoSocket)) {
        m_privilegeProblem = QStringLiteral("Kestrelwatch is not sweeping the network because its helper %1 lacks "
                                            "the capability to send echo requests (%2); fix it with: %3")
                                 .arg(program, errnoText(m_helper->echoSocketErrno()), fixCommand(program));
    } else if (!(flags & helperproto::NeighbourAdmin)) {
        m_privilegeProblem = QStringLiteral("Kestrelwatch sweeps but cannot prune the neighbour table, so devices "
                                            "that leave are noticed late, because its helper %1 lacks "
                                            "cap_net_admin; fix it with: %2")
                                 .arg(program, fixCommand(program));
    } else {
        m_privilegeProblem.clear();
    }
}

bool LinuxNetPlatform::icmpSocketOpen() const
{
    return m_helper && m_helper->running() && (m_helper->flags() & helperproto::EchoSocket);
}

qint64 LinuxNetPlatform::helperPid() const
{
    return m_helper && m_helper->running() ? m_helper->pid() : 0;
}

int LinuxNetPlatform::sendBufferBytes() const
{
    return icmpSocketOpen() ? m_helper->sendBuffer() : -1;
}

void LinuxNetPlatform::sendEchoBatch(const QList<quint32>& addresses)
{
    // The helper builds the one echo request there is itself; only the targets cross the pipe.
    if (!icmpSocketOpen())
        return;
    for (qsizetype first = 0; first < addresses.size(); first += qsizetype(helperproto::kMaxEchoTargets)) {
        std::vector<std::array<std::uint8_t, 4>> targets;
        for (const quint32 a : addresses.mid(first, qsizetype(helperproto::kMaxEchoTargets)))
            targets.push_back({quint8(a >> 24), quint8(a >> 16), quint8(a >> 8), quint8(a)});
        m_helper->send(helperproto::Type::EchoBatch, helperproto::echoBatchPayload(targets));
    }
}

void LinuxNetPlatform::deleteNeighbour(const NeighbourRow& row)
{
    // Static and no-ARP rows were put there on purpose: never deleted (the helper refuses them too).
    if (row.type == NeighbourType::Static || row.type == NeighbourType::Other || !m_helper || !m_helper->running())
        return;
    m_pendingDeletes.append(row);
    if (m_pendingDeletes.size() >= qsizetype(helperproto::kMaxNeighbourRows))
        flushRequests();
    else
        scheduleFlush();
}

void LinuxNetPlatform::scheduleFlush()
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    QMetaObject::invokeMethod(
        m_lookupContext.get(), [this] { flushRequests(); }, Qt::QueuedConnection);
}

void LinuxNetPlatform::flushRequests()
{
    m_flushScheduled = false;
    if (!m_helper)
        return;
    if (!m_pendingDeletes.isEmpty()) {
        std::vector<helperproto::NeighbourTarget> rows;
        for (const NeighbourRow& row : std::as_const(m_pendingDeletes))
            rows.push_back({std::uint32_t(row.ifindex), row.ip});
        m_helper->send(helperproto::Type::DeleteNeighbours, helperproto::deleteNeighboursPayload(rows));
        m_pendingDeletes.clear();
    }
}

bool LinuxNetPlatform::flushToHelper(int timeoutMs)
{
    flushRequests();
    return m_helper && m_helper->waitForReplies(timeoutMs);
}

void LinuxNetPlatform::helperReply(const helperproto::Reply& reply)
{
    using namespace helperproto;
    const auto malformed = [&reply] {
        Log(kwNetwork,
            QStringLiteral("NetPlatform - the helper sent a malformed reply of type %1 and %2 bytes; ignored")
                .arg(int(reply.type))
                .arg(reply.payload.size()));
    };
    switch (reply.type) {
    case Type::EchoResult:
        if (const auto o = parseEchoResult(reply.payload))
            echoResult(*o);
        else
            malformed();
        break;
    case Type::DeleteResult:
        if (const auto o = parseDeleteResult(reply.payload))
            deleteResult(*o);
        else
            malformed();
        break;
    case Type::ArpHeard:
        arpHeard(reply);
        break;
    case Type::DhcpHeard:
        dhcpHeard(reply);
        break;
    case Type::DhcpOptions:
        dhcpOptionsHeard(reply);
        break;
    case Type::Error: {
        const auto code = parseError(reply.payload);
        if (!code) {
            malformed();
            break;
        }
        if (reply.seq != 0 && reply.seq == m_listenSeq) {
            m_listenSeq = 0;
            Log(kwNetwork,
                QStringLiteral("NetPlatform - passive ARP listening is off: the helper refused it (error %1); "
                               "devices are found by the sweep alone")
                    .arg(int(*code)));
            break;
        }
        if (reply.seq != 0 && reply.seq == m_listenDhcpSeq) {
            m_listenDhcpSeq = 0;
            Log(kwNetwork,
                QStringLiteral("NetPlatform - DHCP listening is off: the helper refused it (error %1); DHCP "
                               "clients are found by their ARP and the sweep")
                    .arg(int(*code)));
            break;
        }
        reportProblem(QStringLiteral("helper error %1").arg(int(*code)),
            QStringLiteral("the helper rejected request %1 (error %2)").arg(reply.seq).arg(int(*code)));
        break;
    }
    default:
        break; // a reply of a later protocol revision
    }
}

namespace {

QString errName(std::uint32_t err)
{
    return err ? QString::fromLatin1(strerrorname_np(int(err))) : QString();
}

} // namespace

void LinuxNetPlatform::echoResult(const helperproto::EchoOutcome& o)
{
    const int err = int(o.error);
    m_sendCounts.sent += o.sent;
    m_tally.echoesSent += o.sent;
    m_sendCounts.failed += o.failed;
    // A range's network and broadcast addresses are refused every sweep: the normal case, not reported.
    m_sendCounts.refused += quint64(o.refusedRange) + o.refusedRate + o.refusedHostless;
    if (o.failed > 0) {
        m_sendCounts.lastError = err;
        m_sendCounts.byErrno[err] += o.failed;
        if (err == ENOBUFS || err == EAGAIN)
            m_sendCounts.bufferFull += o.failed;
        if (err != EACCES)
            reportProblem(QStringLiteral("sendEcho ") + errName(o.error),
                QStringLiteral("%1 echo requests could not be sent: %2").arg(o.failed).arg(errnoText(err)));
    }
    if (o.refusedRange > 0)
        reportProblem(QStringLiteral("sendEcho refused"),
            QStringLiteral("the helper refused %1 echo requests to addresses outside the connected ranges, "
                           "such as %2")
                .arg(o.refusedRange)
                .arg(QHostAddress(o.refusedAddress).toString()));
    if (o.refusedRate > 0)
        reportProblem(QStringLiteral("sendEcho rate"),
            QStringLiteral("the helper refused %1 echo requests over its rate of %2 a second")
                .arg(o.refusedRate)
                .arg(helperproto::kEchoesPerSecond));
}

void LinuxNetPlatform::deleteResult(const helperproto::DeleteOutcome& o)
{
    const QString addrText = QHostAddress(o.refusedAddress).toString();
    m_sendCounts.deleted += o.deleted;
    m_sendCounts.deleteRefused += quint64(o.refusedRange) + o.refusedState + o.refusedRate;
    if (o.refusedRange > 0)
        reportProblem(QStringLiteral("deleteNeighbour refused"),
            QStringLiteral("the helper refused to delete %1 neighbour rows outside the connected ranges, such as %2")
                .arg(o.refusedRange)
                .arg(addrText));
    if (o.refusedState > 0)
        reportProblem(QStringLiteral("deleteNeighbour static"),
            QStringLiteral("the helper kept %1 static or no-ARP neighbour rows, such as %2")
                .arg(o.refusedState)
                .arg(addrText));
    if (o.refusedRate > 0)
        reportProblem(QStringLiteral("deleteNeighbour rate"),
            QStringLiteral("the helper refused %1 neighbour deletions over its rate of %2 a second, or of a row "
                           "deleted less than a second before")
                .arg(o.refusedRate)
                .arg(helperproto::kDeletionsPerSecond));
    if (o.failed > 0)
        reportProblem(QStringLiteral("deleteNeighbour ") + errName(o.error),
            QStringLiteral("%1 neighbour rows could not be deleted: %2").arg(o.failed).arg(errnoText(int(o.error))));
}

void LinuxNetPlatform::closeIcmpSocket()
{
    m_restartTimer.stop();
    if (!m_helper)
        return;
    flushRequests();
    m_helper->stop();
    m_helper.reset();
}

int LinuxNetPlatform::lookupAddress(const QString& ip, LookupDone done)
{
    // Only dotted-quad texts: anything else would become a forward lookup and a query for a made-up name,
    // and the resolver's shorthand forms ("198.18.1" for 198.18.0.1) are not what the caller meant.
    QHostAddress address;
    if (!isDottedQuad(ip) || !address.setAddress(ip) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return 0;
    auto handle = std::make_shared<int>(0);
    const int id =
        QHostInfo::lookupHost(address.toString(), m_lookupContext.get(), [this, handle](const QHostInfo& info) {
            // One more trip through the event loop: the result never arrives inside lookupAddress, even from
            // Qt's cache, and a cancel made meanwhile still wins.
            QMetaObject::invokeMethod(
                m_lookupContext.get(), [this, handle, info] { deliverLookup(*handle, info); }, Qt::QueuedConnection);
        });
    if (id <= 0)
        return 0;
    *handle = id;
    m_lookups.insert(id, {address.toString(), std::move(done)});
    return id;
}

void LinuxNetPlatform::deliverLookup(int handle, const QHostInfo& info)
{
    const auto it = m_lookups.find(handle);
    if (it == m_lookups.end())
        return; // cancelled
    PendingLookup pending = std::move(*it);
    m_lookups.erase(it);

    int error = int(info.error());
    QString name;
    if (error == QHostInfo::NoError) {
        name = info.hostName();
        // Without a name the resolver hands back the address text itself.
        if (name.isEmpty() || name == pending.ip) {
            error = QHostInfo::HostNotFound;
            name.clear();
        }
    }
    pending.done(handle, error, name);
}

void LinuxNetPlatform::cancelLookup(int handle)
{
    if (m_lookups.remove(handle))
        QHostInfo::abortHostLookup(handle);
}

int LinuxNetPlatform::askDeviceName(NameQuery query, const QString& ip, NameQueryDone done)
{
    return m_nameQueries->ask(query, ip, std::move(done),
        [this](const QString& cause, const QString& detail) { reportProblem(cause, detail); });
}

void LinuxNetPlatform::cancelDeviceName(int handle)
{
    m_nameQueries->cancel(handle);
}

int LinuxNetPlatform::askMdns(const QString& ip, const QByteArray& query, const DatagramDone& done)
{
    return m_nameQueries->askMdns(
        ip, query, done, [this](const QString& cause, const QString& detail) { reportProblem(cause, detail); });
}

bool LinuxNetPlatform::listenDiscovery(const QList<int>& ifindexes)
{
    if (!m_discovery)
        m_discovery = std::make_unique<DiscoverySockets>([this](const HeardDatagram& d) { deliverDatagram(d); },
            [this](const QString& cause, const QString& detail) { reportProblem(cause, detail); });
    return m_discovery->listen(ifindexes);
}

void LinuxNetPlatform::searchSsdp()
{
    if (m_discovery)
        m_discovery->search();
}

int LinuxNetPlatform::fetchDescription(const QString& url, qsizetype maxBytes, int timeoutMs, const FetchDone& done)
{
    if (!m_fetch)
        m_fetch = std::make_unique<DescriptionFetch>();
    return m_fetch->fetch(url, maxBytes, timeoutMs, done);
}

void LinuxNetPlatform::logOnce(QString& last, const QString& text)
{
    // A failure that repeats every sweep is logged once, until the operation succeeds again.
    if (text == last)
        return;
    last = text;
    if (!text.isEmpty())
        Log(kwNetwork, text);
}
