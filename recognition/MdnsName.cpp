#include "recognition/MdnsName.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

namespace MdnsName {

namespace {

QString utf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString t = decoder.decode(bytes);
    return decoder.hasError() ? QString() : t;
}

Candidate candidate(int rank, const QString& raw)
{
    const QString name = withoutMacs(raw);
    return name.isEmpty() ? Candidate {} : Candidate {rank, name};
}

} // namespace

Candidate ofInstance(const QByteArray& service, const QByteArray& label, const QHash<QByteArray, QByteArray>& txt)
{
    QString name = utf8(label);
    // Names the owner gave the device in its settings, shown on every other Apple device.
    if (service == "_device-info._tcp" || service == "_companion-link._tcp" || service == "_airplay._tcp")
        return candidate(100, name);
    if (service == "_raop._tcp") // "MAC@Name"
        return candidate(90, name.section(QLatin1Char('@'), 1));
    if (service == "_googlecast._tcp") // the instance is a model and an id; the owner's name is in "fn"
        return candidate(85, utf8(txt.value("fn")));
    if (service == "_workstation._tcp" || service == "_smb._tcp" || service == "_afpovertcp._tcp"
        || service == "_rfb._tcp" || service == "_ssh._tcp" || service == "_sftp-ssh._tcp")
        return candidate(70, name);
    return candidate(50, name);
}

Candidate ofHost(const QByteArray& host, bool fromAddress)
{
    QString name = utf8(host);
    if (name.endsWith(QLatin1String(".local"), Qt::CaseInsensitive))
        name.chop(6);
    return candidate(fromAddress ? 40 : 30, name);
}

QString withoutMacs(const QString& name)
{
    // Six hex pairs with separators or twelve hex digits, in brackets or not, and what joins them to the name.
    static const QRegularExpression mac(
        QStringLiteral(R"([\[(]?\b(?:[0-9A-Fa-f]{2}[:-]){5}[0-9A-Fa-f]{2}\b[\])]?|[\[(]?\b[0-9A-Fa-f]{12}\b[\])]?)"));
    QString out = name;
    out.replace(mac, QString());
    out = out.simplified();
    while (!out.isEmpty() && QStringLiteral("@-_:").contains(out.front()))
        out.remove(0, 1);
    while (!out.isEmpty() && QStringLiteral("@-_:").contains(out.back()))
        out.chop(1);
    return out.trimmed();
}

QString identityForm(const QString& name)
{
    static const QRegularExpression conflict(QStringLiteral(R"(\s*\(\d{1,3}\)$)"));
    return QString(name).remove(conflict).toCaseFolded();
}

bool isGeneric(const QString& name)
{
    static const QStringList names {QStringLiteral("iphone"), QStringLiteral("ipad"), QStringLiteral("ipod"),
        QStringLiteral("ipod touch"), QStringLiteral("android"), QStringLiteral("macbook"),
        QStringLiteral("macbook pro"), QStringLiteral("macbook air"), QStringLiteral("imac"), QStringLiteral("mac"),
        QStringLiteral("mac mini"), QStringLiteral("mac studio"), QStringLiteral("mac pro"), QStringLiteral("apple tv"),
        QStringLiteral("homepod"), QStringLiteral("homepod mini"), QStringLiteral("apple watch"),
        QStringLiteral("chromecast"), QStringLiteral("google home"), QStringLiteral("google home mini"),
        QStringLiteral("nest mini"), QStringLiteral("nest hub"), QStringLiteral("nest audio"),
        QStringLiteral("localhost"), QStringLiteral("linux"), QStringLiteral("ubuntu"), QStringLiteral("debian"),
        QStringLiteral("fedora"), QStringLiteral("raspberrypi"), QStringLiteral("espressif"), QStringLiteral("printer"),
        QStringLiteral("unknown"), QStringLiteral("phone"), QStringLiteral("laptop"), QStringLiteral("desktop"),
        QStringLiteral("computer"), QStringLiteral("tv")};
    QString plain = identityForm(name).toLower();
    plain.replace(QLatin1Char('-'), QLatin1Char(' ')).replace(QLatin1Char('_'), QLatin1Char(' '));
    return names.contains(plain.simplified());
}

} // namespace MdnsName
