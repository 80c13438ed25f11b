#include "Reg.h"

#include "store/KeyStore.h"

namespace Reg {

QString path(const QString& subkey)
{
    return QStringLiteral("Software\\") + KeyStore::ProductKey + QLatin1Char('\\') + subkey;
}

kwtest::Run tool(const QString& home, const QStringList& args)
{
    return kwtest::run(
        kwtest::binary(QStringLiteral("kestrelwatch-reg")), QStringList {QStringLiteral("--home"), home} + args);
}

QString get(const QString& home, const QString& key, const QString& name)
{
    const kwtest::Run r = tool(home, {QStringLiteral("get"), key, name});
    return r.code == 0 ? r.out.chopped(1) : QString();
}

bool set(const QString& home, const QString& key, const QString& name, const QString& data)
{
    return tool(home, {QStringLiteral("set"), key, name, data}).code == 0;
}

QStringList keys(const QString& home, const QString& key)
{
    return tool(home, {QStringLiteral("keys"), key}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString dump(const QString& home, const QString& key)
{
    return tool(home, key.isEmpty() ? QStringList {QStringLiteral("dump")} : QStringList {QStringLiteral("dump"), key})
        .out;
}

} // namespace Reg
