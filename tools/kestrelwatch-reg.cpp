// kestrelwatch-reg: reads and edits the store the way `reg` does on the system's original platform.
//   kestrelwatch-reg [--home DIR] keys KEY | get KEY NAME | set KEY NAME DATA | delete KEY [NAME] | dump [KEY]
// KEY is a full path below HKEY_LOCAL_MACHINE, such as Software\Brackmoor\Kestrelwatch\GENERAL.

#include "platform/AppPaths.h"
#include "platform/Hive.h"
#include "platform/OptionErrors.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

namespace {

void out(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

void err(const QString& line)
{
    std::fputs(("kestrelwatch-reg: " + line).toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

const char* const kUsage =
    "Usage: kestrelwatch-reg [--home DIR] COMMAND [ARGS]\n"
    "Reads and edits Kestrelwatch's store.\n\n"
    "  keys KEY              list the subkeys of KEY, one per line\n"
    "  get KEY NAME          print the value NAME of KEY (exit 1 when absent)\n"
    "  set KEY NAME DATA     write the value NAME of KEY, creating the key\n"
    "  delete KEY [NAME]     delete the value NAME, or KEY with everything below it\n"
    "  dump [KEY]            print every key below KEY (default Software) with its values\n\n"
    "  --home DIR            the store's folder (default $KESTRELWATCH_HOME, else\n"
    "                        $XDG_DATA_HOME/kestrelwatch)\n"
    "  -h, --help            this text\n"
    "  -v, --version         the program's version\n\n"
    "KEY is a path below HKEY_LOCAL_MACHINE, e.g. Software\\Brackmoor\\Kestrelwatch\\GENERAL\n"
    "Exit status: 0 on success, 1 when a key, value or the --home folder does not exist or a write\n"
    "fails, 2 on a usage error, 3 when the store cannot be opened (it is left untouched).\n";

int usageError(const QString& problem)
{
    err(problem);
    std::fputs("Try 'kestrelwatch-reg --help' for more information.\n", stderr);
    return 2;
}

// Accepts "HKEY_LOCAL_MACHINE\..." and "HKLM\..." as well as the bare path; '/' works as a separator too.
QString keyArg(QString key)
{
    key.replace(QLatin1Char('/'), QLatin1Char('\\'));
    for (const QString& root : {QStringLiteral("HKEY_LOCAL_MACHINE"), QStringLiteral("HKLM")}) {
        if (key.compare(root, Qt::CaseInsensitive) == 0)
            return {};
        if (key.startsWith(root + QLatin1Char('\\'), Qt::CaseInsensitive))
            return key.mid(root.size() + 1);
    }
    return key;
}

QString quoted(QString s)
{
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

void dump(Hive& hive, const QString& key)
{
    const QString shown = key.isEmpty() ? QStringLiteral("HKEY_LOCAL_MACHINE") : key;
    out(QLatin1Char('[') + shown + QLatin1Char(']'));
    for (const Hive::Value& v : hive.values(key))
        out(quoted(v.name) + QLatin1Char('=') + quoted(v.data));
    out(QString());
    for (const QString& child : hive.subkeys(key))
        dump(hive, key.isEmpty() ? child : key + QLatin1Char('\\') + child);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Options end at the command: a value such as "-1" after it is data, not an option.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption homeOption(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringList {QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({homeOption, helpOption, versionOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(optionErrorText(parser, QCoreApplication::arguments()));
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("kestrelwatch-reg (Kestrelwatch) %s\n", KW_VERSION);
        return 0;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));

    const QString command = args.takeFirst();
    const bool writes = command == QLatin1String("set") || command == QLatin1String("delete");
    const int needed = command == QLatin1String("keys") ? 1
        : command == QLatin1String("get")               ? 2
        : command == QLatin1String("set")               ? 3
        : command == QLatin1String("delete")            ? 1
        : command == QLatin1String("dump")              ? 0
                                                        : -1;
    const int most = command == QLatin1String("delete") ? 2 : command == QLatin1String("dump") ? 1 : needed;
    if (needed < 0)
        return usageError(QStringLiteral("unknown command '%1' (keys, get, set, delete or dump)").arg(command));
    if (args.size() < needed || args.size() > most)
        return usageError(
            QStringLiteral("%1 takes %2 arguments")
                .arg(command,
                    needed == most ? QString::number(needed) : QStringLiteral("%1 to %2").arg(needed).arg(most)));

    const QString homeText = parser.value(homeOption);
    if (parser.isSet(homeOption)) {
        const QFileInfo info(homeText);
        if (homeText.isEmpty())
            return usageError(QStringLiteral("--home needs a folder"));
        if (info.exists() && !info.isDir())
            return usageError(QStringLiteral("--home %1 cannot be used: it is a file, and the store lives in a "
                                             "folder")
                                  .arg(homeText));
        if (!info.exists()) {
            err(QStringLiteral("--home %1: no such folder").arg(homeText));
            return 1;
        }
    }
    const AppPaths paths = AppPaths::forDirs(AppPaths::resolveHome(homeText), QString());
    const QString file = paths.hiveFile();
    const QString key = args.isEmpty() ? QString() : keyArg(args.first());
    // Reading never creates a store; a missing one reads as empty.
    if (!writes && !QFileInfo::exists(file)) {
        if (command == QLatin1String("get"))
            err(QStringLiteral("no value %1 in %2 (there is no store in %3 yet)").arg(args.at(1), key, paths.home));
        else if (command == QLatin1String("keys") || !args.isEmpty())
            err(QStringLiteral("no key %1 (there is no store in %2 yet)").arg(key, paths.home));
        else
            err(QStringLiteral("there is no store in %1 yet").arg(paths.home));
        return 1;
    }
    if (writes)
        paths.prepareHome();

    Hive::OpenResult opened = Hive::open(file);
    if (!opened.hive) {
        err(opened.error);
        return 3;
    }
    Hive& hive = *opened.hive;
    if ((command == QLatin1String("keys") || (command == QLatin1String("dump") && !args.isEmpty())) && !key.isEmpty()
        && !hive.keyExists(key)) {
        err(QStringLiteral("no key %1").arg(key));
        return 1;
    }

    if (command == QLatin1String("keys")) {
        for (const QString& name : hive.subkeys(key))
            out(name);
        return 0;
    }
    if (command == QLatin1String("get")) {
        const auto value = hive.value(key, args.at(1));
        if (!value) {
            err(QStringLiteral("no value %1 in %2").arg(args.at(1), key));
            return 1;
        }
        out(*value);
        return 0;
    }
    if (command == QLatin1String("set")) {
        if (!hive.setValue(key, args.at(1), args.at(2))) {
            err(QStringLiteral("cannot write %1 in %2").arg(args.at(1), key));
            return 1;
        }
        return 0;
    }
    if (command == QLatin1String("delete")) {
        const bool ok = args.size() == 2 ? hive.deleteValue(key, args.at(1)) : hive.deleteKey(key);
        if (!ok) {
            err(args.size() == 2 ? QStringLiteral("no value %1 in %2").arg(args.at(1), key)
                                 : QStringLiteral("no key %1").arg(key));
            return 1;
        }
        return 0;
    }
    dump(hive, args.isEmpty() ? QStringLiteral("Software") : key);
    return 0;
}
