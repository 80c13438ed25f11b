#include "app/CommandLine.h"

#include "app/HeadlessFront.h"
#include "app/MonitorCore.h"
#include "platform/AppPaths.h"
#include "vendor/CMacDatabase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <cstdio>

namespace {

void printUsage(FILE* stream)
{
    std::fputs("usage: kestrelwatch [--home DIR] [--headless]\n"
               "       kestrelwatch --vendor MAC\n"
               "  --home DIR     keep the store, device histories and logs in DIR\n"
               "                 (default $KESTRELWATCH_HOME, else $XDG_DATA_HOME/kestrelwatch)\n"
               "  --headless     monitor without window or tray: device events on stdout as MAC<TAB>line,\n"
               "                 debug lines on stderr; SIGINT or SIGTERM shuts down\n"
               "  --vendor MAC   print the manufacturer of MAC (empty line when unknown) and exit\n"
               "  --help         this text\n"
               "  --version      the program's version\n",
        stream);
}

// Accepts 00:0c:41:a2:3b:7f, 000c.41a2.3b7f and 00-0C-41-A2-3B-7F alike; the database takes the last form.
QString normalisedMac(const QString& text)
{
    QString hex = text;
    hex.remove(QRegularExpression(QStringLiteral("[^0-9A-Fa-f]")));
    if (hex.size() < 6)
        return text.toUpper();
    QStringList bytes;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
        bytes.append(hex.mid(i, 2).toUpper());
    return bytes.join(QLatin1Char('-'));
}

QString executableDir(const char* argv0)
{
    // applicationDirPath needs an application object; --vendor runs without one to stay small.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString target = self.symLinkTarget();
    return QFileInfo(target.isEmpty() ? QString::fromLocal8Bit(argv0) : target).absolutePath();
}

} // namespace

int kestrelwatchMain(int argc, char** argv, DesktopRunner desktop)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    QString home;
    QString vendorMac;
    bool headless = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            printUsage(stdout);
            return 0;
        }
        if (a == QLatin1String("--version")) {
            std::printf("Kestrelwatch %s\n", KW_VERSION);
            return 0;
        }
        if (a == QLatin1String("--headless")) {
            headless = true;
        } else if ((a == QLatin1String("--home") || a == QLatin1String("--vendor")) && i + 1 < args.size()) {
            (a == QLatin1String("--home") ? home : vendorMac) = args[++i];
        } else {
            std::fprintf(stderr, "kestrelwatch: unknown argument %s\n", argv[i + 1]);
            printUsage(stderr);
            return 2;
        }
    }

    const QString share = AppPaths::resolveShare(executableDir(argv[0]));
    if (!vendorMac.isEmpty()) {
        const CMacDatabase vendors(AppPaths::forDirs(QString(), share).macDatabase());
        std::printf("%s\n", vendors.GetMacName(normalisedMac(vendorMac)).toUtf8().constData());
        return 0;
    }

    const AppPaths paths = AppPaths::forDirs(AppPaths::resolveHome(home), share);
    if (!headless && desktop)
        return desktop(argc, argv, paths);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrelwatch"));
    MonitorCore core(paths);
    HeadlessFront front(core);
    front.watchSignals();
    const int early = front.start();
    if (early >= 0)
        return early;
    return QCoreApplication::exec();
}
