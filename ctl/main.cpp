#include "ctl/Ctl.h"
#include "platform/AppPaths.h"
#include "platform/DebugSink.h"
#include "platform/FileMask.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // What this process creates (a new store, SQLite's journals) is its user's alone, as the monitor's is.
    FileMask::makePrivate();
    // The store's loading notes (a value that does not read) belong in the monitor's debug log, which
    // records them at its own start; here they would bury the command's answer.
    installLogSink([](const QString&, const QString&) {});
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return Ctl::run(arguments, AppPaths::resolveShare(QCoreApplication::applicationDirPath()));
}
