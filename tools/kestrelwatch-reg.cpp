// kestrelwatch-reg: reads and edits the store the way `reg` does on the system's original platform.
//   kestrelwatch-reg [--home DIR] keys KEY | get KEY NAME | set KEY NAME DATA | delete KEY [NAME] | dump [KEY]
// KEY is a full path below HKEY_LOCAL_MACHINE, such as Software\Brackmoor\Kestrelwatch\GENERAL.

#include "platform/AppPaths.h"
#include "platform/Hive.h"

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

int usage()
{
    std::fputs("usage: kestrelwatch-reg [--home DIR] COMMAND\n"
               "  keys KEY              list the subkeys of KEY, one per line\n"
               "  get KEY NAME          print the value NAME of KEY (exit 1 when absent)\n"
               "  set KEY NAME DATA     write the value NAME of KEY, creating the key\n"
               "  delete KEY [NAME]     delete the value NAME, or KEY with everything below it\n"
               "  dump [KEY]            print every key below KEY (default Software) with its values\n"
               "KEY is a path below HKEY_LOCAL_MACHINE, e.g. Software\\Brackmoor\\Kestrelwatch\\GENERAL\n",
               stderr);
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
    QStringList args = app.arguments().mid(1);
    QString homeOption;
    if (args.size() >= 2 && args.first() == QLatin1String("--home")) {
        homeOption = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h"))
        return usage();

    const QString command = args.takeFirst();
    const bool writes = command == QLatin1String("set") || command == QLatin1String("delete");
    const int needed = command == QLatin1String("keys") ? 1
                       : command == QLatin1String("get") ? 2
                       : command == QLatin1String("set") ? 3
                       : command == QLatin1String("delete") ? 1
                       : command == QLatin1String("dump") ? 0
                                                          : -1;
    const int most = command == QLatin1String("delete") ? 2 : command == QLatin1String("dump") ? 1 : needed;
    if (needed < 0 || args.size() < needed || args.size() > most)
        return usage();

    const AppPaths paths = AppPaths::forDirs(AppPaths::resolveHome(homeOption), QString());
    const QString file = paths.hiveFile();
    // Reading never creates a store; a missing one reads as empty.
    if (!writes && !QFileInfo::exists(file))
        return command == QLatin1String("get") ? 1 : 0;
    if (writes)
        paths.prepareHome();

    Hive::OpenResult opened = Hive::open(file);
    if (!opened.hive) {
        err(opened.error);
        return 3;
    }
    Hive& hive = *opened.hive;
    const QString key = args.isEmpty() ? QString() : keyArg(args.first());

    if (command == QLatin1String("keys")) {
        for (const QString& name : hive.subkeys(key))
            out(name);
        return 0;
    }
    if (command == QLatin1String("get")) {
        const auto value = hive.value(key, args.at(1));
        if (!value)
            return 1;
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
