#include "ctl/CtlHome.h"

#include "platform/AppPaths.h"

#include <QFileInfo>
#include <pwd.h>
#include <unistd.h>

namespace Ctl {

namespace {

QString userName(uint uid)
{
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// A word as a POSIX shell reads it back unchanged.
QString shellWord(const QString& word)
{
    static const QString safe = QStringLiteral("@%+=:,./-_");
    const bool plain = !word.isEmpty()
        && std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetterOrNumber() || safe.contains(c); });
    if (plain)
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

HomeRule checkHome(const QString& homeOption, bool create, bool importing, const QStringList& arguments)
{
    HomeRule rule;
    rule.home = AppPaths::resolveHome(homeOption);
    const QString from = !homeOption.isEmpty()              ? QStringLiteral("--home")
        : !qEnvironmentVariableIsEmpty("KESTRELWATCH_HOME") ? QStringLiteral("KESTRELWATCH_HOME")
                                                            : QStringLiteral("the default home");
    QString bare = rule.home;
    while (bare.size() > 1 && bare.endsWith(QLatin1Char('/')))
        bare.chop(1);
    const QFileInfo info(bare); // "file/" would not exist

    if (info.exists() && !info.isDir()) {
        rule.problem = QStringLiteral("%1 %2 is no folder").arg(from, rule.home);
        rule.code = 2;
        return rule;
    }
    if (!info.exists()) {
        if (create || importing)
            return rule;
        rule.problem = QStringLiteral("%1 %2: no such folder; nothing was done (give --create to start a new home "
                                      "there)")
                           .arg(from, rule.home);
        rule.code = 3;
        return rule;
    }
    const uint owner = info.ownerId();
    if (owner != ::geteuid()) {
        QStringList command {
            QStringLiteral("sudo"), QStringLiteral("-u"), userName(owner), QStringLiteral("kestrelwatch-ctl")};
        if (homeOption.isEmpty())
            command << QStringLiteral("--home") << shellWord(rule.home);
        for (const QString& argument : arguments)
            command << shellWord(argument);
        rule.problem = QStringLiteral("%1 belongs to %2, not to %3; work on it as its owner, so that every file "
                                      "stays readable to the monitor: %4")
                           .arg(rule.home, userName(owner), userName(::geteuid()), command.join(QLatin1Char(' ')));
        rule.code = 3;
    }
    return rule;
}

} // namespace Ctl
