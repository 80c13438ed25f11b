#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

void printUsage()
{
    std::fputs("usage: kestrelwatch [--home DIR] [--headless]\n"
               "       kestrelwatch --vendor MAC\n"
               "  --home DIR     keep the store, device histories and logs in DIR\n"
               "                 (default $KESTRELWATCH_HOME, else $XDG_DATA_HOME/kestrelwatch)\n"
               "  --headless     monitor without window or tray: device events on stdout, debug lines on stderr\n"
               "  --vendor MAC   print the manufacturer of MAC (empty line when unknown) and exit\n"
               "  --help         this text\n"
               "  --version      the program's version\n",
               stdout);
}

} // namespace

int kestrelwatchMain(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        printUsage();
        return 0;
    }
    if (args.contains(QLatin1String("--version"))) {
        std::printf("Kestrelwatch %s\n", KW_VERSION);
        return 0;
    }
    printUsage();
    return 2;
}
