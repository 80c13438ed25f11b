#include "app/CommandLine.h"

#include "app/HeadlessFront.h"
#include "app/MonitorCore.h"
#include "app/MonitorWeb.h"
#include "platform/AppPaths.h"
#include "platform/FileMask.h"
#include "platform/OptionErrors.h"
#include "store/MacAddress.h"
#include "vendor/MacVendors.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const char* const kUsage =
    "Usage: kestrelwatch [--home DIR] [--headless] [--web ADDR] [--metrics ADDR]\n"
    "       kestrelwatch --vendor MAC\n"
    "Watches the local IPv4 networks and warns of devices it has not seen before.\n\n"
    "  --home DIR     keep the store, device histories and logs in DIR\n"
    "                 (default $KESTRELWATCH_HOME, else $XDG_DATA_HOME/kestrelwatch)\n"
    "  --headless     monitor without window or tray: device events on stdout, one line each:\n"
    "                 TIME MAC ADDRESS NAME VENDOR EVENT, tab-separated (man kestrelwatch);\n"
    "                 debug lines on stderr; SIGINT or SIGTERM shuts down\n"
    "  --metrics ADDR serve Prometheus figures at http://ADDR/metrics (headless; ADDR is\n"
    "                 HOST:PORT or a PORT on 127.0.0.1)\n"
    "  --web ADDR     serve the web page and its API at http://ADDR/ (ADDR as for --metrics;\n"
    "                 overrides the setting WebListen); changes need the token that\n"
    "                 kestrelwatch-ctl web-token prints, and so does reading off loopback\n"
    "  --vendor MAC   print the manufacturer of MAC and exit (exit 1, with the reason on stderr,\n"
    "                 when no manufacturer is registered or MAC is no device's address)\n"
    "  -h, --help     this text\n"
    "  -v, --version  the program's version\n\n"
    "Exit status: 0 on success, 1 when start-up fails or --vendor knows no manufacturer,\n"
    "2 on a usage error.\n";

int usageError(const QString& problem)
{
    std::fprintf(stderr, "kestrelwatch: %s\nTry 'kestrelwatch --help' for more information.\n",
        problem.toLocal8Bit().constData());
    return 2;
}

// Accepts 00:0c:41:a2:3b:7f, 000c.41a2.3b7f, 00-0C-41-A2-3B-7F and a bare OUI (00:0c:41) alike; the database
// takes the dash form. Anything else is no MAC address: empty.
QString normalisedMac(const QString& text)
{
    QString hex = text;
    hex.remove(QRegularExpression(QStringLiteral("[:.\\- ]")));
    if (!QRegularExpression(QStringLiteral("^([0-9A-Fa-f]{6}|[0-9A-Fa-f]{12})$")).match(hex).hasMatch())
        return {};
    QStringList bytes;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
        bytes.append(hex.mid(i, 2).toUpper());
    return bytes.join(QLatin1Char('-'));
}

// The manufacturer on stdout; or why there is none on stderr, and exit status 1. Only a whole address can be
// a group or broadcast address: a three-byte prefix is looked up as it is.
int printVendor(const MacVendors& vendors, const QString& mac, const QString& typed)
{
    const QString name = vendors.GetMacName(mac);
    if (!name.isEmpty()) {
        std::printf("%s\n", name.toUtf8().constData());
        return 0;
    }
    const MacAddress::Refusal why =
        mac.size() == 17 ? MacAddress::refusal(QStringView(mac)) : MacAddress::Refusal::Device;
    QString reason = QStringLiteral("no manufacturer is registered for %1").arg(typed);
    if (why == MacAddress::Refusal::Broadcast)
        reason = QStringLiteral("%1 is the broadcast address, no device's own: it has no manufacturer").arg(typed);
    else if (why == MacAddress::Refusal::Zero)
        reason = QStringLiteral("%1 is the all-zero address, no device's own: it has no manufacturer").arg(typed);
    else if (why == MacAddress::Refusal::Group)
        reason =
            QStringLiteral("%1 is a group (multicast) address, no device's own: it has no manufacturer").arg(typed);
    std::fprintf(stderr, "kestrelwatch: %s\n", reason.toUtf8().constData());
    return 1;
}

QString executableDir(const char* argv0)
{
    // applicationDirPath needs an application object; --vendor runs without one to stay small.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString target = self.symLinkTarget();
    return QFileInfo(target.isEmpty() ? QString::fromLocal8Bit(argv0) : target).absolutePath();
}

// The window's build links Qt's GUI, sound and X libraries, which the loader maps and relocates before main
// runs: megabytes a monitor without a window never uses. A headless run of that build continues in
// kestrelwatch-headless, the same program without them, when it stands beside this one: the same process and
// arguments, and its memory starts over. Without it, this process monitors as it is.
void continueWithoutWindow(char** argv)
{
    const QString headless = executableDir(argv[0]) + QStringLiteral("/kestrelwatch-headless");
    if (!QFileInfo(headless).isExecutable())
        return;
    ::execv(QFile::encodeName(headless).constData(), argv);
    std::fprintf(stderr, "kestrelwatch: cannot start %s (%s); monitoring in this process\n",
        QFile::encodeName(headless).constData(), std::strerror(errno));
}

} // namespace

int kestrelwatchMain(int argc, char** argv, DesktopRunner desktop)
{
    // Everything this process creates is its user's alone: the store, the histories, the logs, the lock file,
    // SQLite's journals and Qt's temporary files alike, whatever the umask it was started with. One setting here
    // reaches files no explicit mode would (they are made inside Qt and SQLite); the rights step
    // (HomePrivacy) makes what an earlier run left private too.
    FileMask::makePrivate();
    QStringList args {QStringLiteral("kestrelwatch")};
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption homeOption(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption headlessOption(QStringLiteral("headless"));
    const QCommandLineOption metricsOption(QStringLiteral("metrics"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption webOption(QStringLiteral("web"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption vendorOption(QStringLiteral("vendor"), QString(), QStringLiteral("MAC"));
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringList {QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({homeOption, headlessOption, metricsOption, webOption, vendorOption, helpOption, versionOption});
    if (!parser.parse(args))
        return usageError(optionErrorText(parser, args));
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("Kestrelwatch %s\n", KW_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    for (const QCommandLineOption& once : {homeOption, vendorOption, metricsOption, webOption}) {
        if (parser.values(once).size() > 1)
            return usageError(QStringLiteral("--%1 is given more than once").arg(once.names().first()));
    }
    const QString home = parser.value(homeOption);
    const bool headless = parser.isSet(headlessOption);
    QString vendorMac;
    if (parser.isSet(vendorOption)) {
        vendorMac = normalisedMac(parser.value(vendorOption));
        if (vendorMac.isEmpty())
            return usageError(QStringLiteral("--vendor: '%1' is not a MAC address (six bytes in hexadecimal, such "
                                             "as 00:0c:29:12:34:56)")
                                  .arg(parser.value(vendorOption)));
    }
    if (parser.isSet(homeOption)) {
        const QFileInfo info(home);
        if (home.isEmpty())
            return usageError(QStringLiteral("--home needs a folder"));
        if (info.exists() && !info.isDir())
            return usageError(QStringLiteral("--home %1 cannot be used: it is a file, and Kestrelwatch keeps a "
                                             "folder of files there (its store, device histories and logs)")
                                  .arg(home));
    }

    const QString share = AppPaths::resolveShare(executableDir(argv[0]));
    if (!vendorMac.isEmpty()) {
        const MacVendors vendors(AppPaths::forDirs(QString(), share).macDatabase());
        return printVendor(vendors, vendorMac, parser.value(vendorOption));
    }

    MonitorWeb::CommandLine served;
    for (const auto& [option, place] :
        {std::pair {&webOption, &served.web}, std::pair {&metricsOption, &served.metrics}}) {
        if (!parser.isSet(*option))
            continue;
        *place = WebEndpoint::parse(parser.value(*option));
        if (!*place) {
            std::fprintf(stderr, "kestrelwatch: --%s %s: is no HOST:PORT or PORT\n",
                option->names().first().toLocal8Bit().constData(), parser.value(*option).toLocal8Bit().constData());
            return 2;
        }
    }
    MonitorWeb::setCommandLine(served);
    const AppPaths paths = AppPaths::forDirs(AppPaths::resolveHome(home), share);
    if (!headless && desktop)
        return desktop(argc, argv, paths);
    if (desktop)
        continueWithoutWindow(argv);

    // ps, pgrep and the journal know the monitor as kestrelwatch, whichever of the two files runs it.
    ::prctl(PR_SET_NAME, "kestrelwatch", 0, 0, 0);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrelwatch"));
    MonitorCore core(paths);
    HeadlessFront front(core);
    front.watchSignals();
    if (served.metrics) {
        if (!headless) {
            std::fprintf(stderr, "kestrelwatch: --metrics %s: needs --headless\n",
                parser.value(metricsOption).toLocal8Bit().constData());
            return 2;
        }
        front.setMetricsEndpoint(*served.metrics);
    }
    const int early = front.start();
    if (early >= 0)
        return early;
    return QCoreApplication::exec();
}
