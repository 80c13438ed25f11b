#pragma once

#include <QString>
#include <QStringList>

// Where kestrelwatch-ctl may work. One rule for --home and KESTRELWATCH_HOME alike: a folder that is missing
// is refused for every command but an explicit --create or an import (which fills a new home); a folder
// another user owns is refused too, so that a root shell never leaves files there its owner cannot read, and
// the refusal names the owner and the command to run as that user.
namespace Ctl {

struct HomeRule
{
    QString home; // the folder, absolute, with a trailing slash
    QString problem; // empty: the command may go on
    int code = 0; // the exit status with a problem
};

// arguments: the command line as given, for the command the refusal proposes.
HomeRule checkHome(const QString& homeOption, bool create, bool importing, const QStringList& arguments);

} // namespace Ctl
