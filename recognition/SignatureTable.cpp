#include "recognition/SignatureTable.h"

#include <QFile>
#include <algorithm>

namespace {

constexpr qsizetype kMaxVersionChars = 16;

const QList<std::pair<QString, int>>& matchWords()
{
    static const QList<std::pair<QString, int>> words {{QStringLiteral("dhcp-list"), 0},
        {QStringLiteral("dhcp-list-prefix"), 1}, {QStringLiteral("dhcp-vendor"), 2},
        {QStringLiteral("dhcp-vendor-prefix"), 3}, {QStringLiteral("host-prefix"), 4},
        {QStringLiteral("host-contains"), 5}, {QStringLiteral("maker"), 6}};
    return words;
}

// What follows a vendor prefix, when it is a short version ("13", "9.4.1"); anything else is not repeated.
QString versionAfter(const QString& vendorClass, qsizetype prefix)
{
    QString v = vendorClass.mid(prefix);
    const qsizetype end = v.indexOf(QLatin1Char(':'));
    if (end >= 0)
        v.truncate(end);
    if (v.isEmpty() || v.size() > kMaxVersionChars
        || !std::all_of(v.begin(), v.end(), [](QChar c) { return c.isDigit() || c == QLatin1Char('.'); }))
        return {};
    return v;
}

QString fillVersion(const QString& os, const QString& version)
{
    if (!os.contains(QLatin1String("%v")))
        return os;
    QString filled = os;
    filled.replace(QLatin1String("%v"), version);
    return filled.simplified();
}

} // namespace

SignatureTable SignatureTable::parse(const QString& text, QStringList* problems)
{
    SignatureTable table;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto refuse = [&](const QString& why) {
            if (problems)
                problems->append(QStringLiteral("line %1: %2").arg(n + 1).arg(why));
        };
        const QStringList fields = line.split(QLatin1Char('|'));
        if (fields.size() != 4 || fields[3].trimmed().isEmpty()) {
            refuse(QStringLiteral("not MATCH:PATTERN | TYPE | OS | where it is documented"));
            continue;
        }
        const QString head = fields[0].trimmed();
        const qsizetype colon = head.indexOf(QLatin1Char(':'));
        const QString word = head.left(colon);
        const auto kind = std::find_if(
            matchWords().begin(), matchWords().end(), [&](const auto& w) { return colon > 0 && w.first == word; });
        if (kind == matchWords().end()) {
            refuse(QStringLiteral("unknown match \"%1\"").arg(word));
            continue;
        }
        Row row;
        row.match = Match(kind->second);
        row.text = head.mid(colon + 1).trimmed();
        if (row.text.isEmpty()) {
            refuse(QStringLiteral("empty pattern"));
            continue;
        }
        if (row.match == Match::List || row.match == Match::ListPrefix) {
            bool ok = true;
            for (const QString& code : row.text.split(QLatin1Char(','))) {
                const uint value = code.trimmed().toUInt(&ok);
                ok = ok && value >= 1 && value <= 254;
                if (!ok)
                    break;
                row.list.append(char(value));
            }
            if (!ok || row.list.isEmpty()) {
                refuse(QStringLiteral("request list \"%1\" is not option codes 1 to 254 by commas").arg(row.text));
                continue;
            }
        }
        const QString type = fields[1].trimmed();
        row.type = DeviceKind::typeFromWord(type);
        if (!type.isEmpty() && row.type == DeviceType::Unknown && type != QLatin1String("unknown")) {
            refuse(QStringLiteral("unknown type \"%1\"").arg(type));
            continue;
        }
        row.os = fields[2].trimmed();
        table.m_rows.append(row);
    }
    return table;
}

SignatureTable SignatureTable::load(const QString& path, QStringList* problems)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (problems)
            problems->append(QStringLiteral("%1: %2").arg(path, file.errorString()));
        return {};
    }
    return parse(QString::fromUtf8(file.readAll()), problems);
}

Clue SignatureTable::best(const QList<std::pair<int, Clue>>& scored, FactSource source)
{
    QList<std::pair<int, Clue>> sorted = scored;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    Clue clue;
    for (const auto& [score, c] : sorted) {
        if (clue.type == DeviceType::Unknown)
            clue.type = c.type;
        if (clue.os.isEmpty())
            clue.os = c.os;
    }
    // A weaker match may still say more of the same system: "Windows 10/11" beside "Windows".
    for (const auto& [score, c] : sorted) {
        if (c.os.size() > clue.os.size() && c.os.startsWith(clue.os + QLatin1Char(' ')))
            clue.os = c.os;
    }
    if (!clue.isEmpty())
        clue.source = source;
    return clue;
}

Clue SignatureTable::matchDhcp(const QByteArray& requestList, const QString& vendorClass) const
{
    // Scores: what a client calls itself (its vendor class) above how it asks (its request list, which several
    // systems share), an exact match above a prefix, a longer prefix above a shorter one.
    QList<std::pair<int, Clue>> scored;
    for (const Row& r : m_rows) {
        Clue c {FactSource::Dhcp, r.type, {}, r.os};
        switch (r.match) {
        case Match::List:
            if (!requestList.isEmpty() && requestList == r.list)
                scored.append({2000, c});
            break;
        case Match::ListPrefix:
            if (requestList.startsWith(r.list))
                scored.append({1000 + int(r.list.size()), c});
            break;
        case Match::Vendor:
            if (!vendorClass.isEmpty() && vendorClass == r.text)
                scored.append({4000, c});
            break;
        case Match::VendorPrefix:
            if (vendorClass.startsWith(r.text, Qt::CaseInsensitive)) {
                c.os = fillVersion(c.os, versionAfter(vendorClass, r.text.size()));
                scored.append({3000 + int(r.text.size()), c});
            }
            break;
        default:
            break;
        }
    }
    return best(scored, FactSource::Dhcp);
}

Clue SignatureTable::matchHostName(const QString& hostName) const
{
    QList<std::pair<int, Clue>> scored;
    if (hostName.isEmpty())
        return {};
    for (const Row& r : m_rows) {
        const bool hit = (r.match == Match::HostPrefix && hostName.startsWith(r.text, Qt::CaseInsensitive))
            || (r.match == Match::HostContains && hostName.contains(r.text, Qt::CaseInsensitive));
        if (hit)
            scored.append({int(r.text.size()), Clue {FactSource::HostName, r.type, {}, r.os}});
    }
    return best(scored, FactSource::HostName);
}

Clue SignatureTable::matchMaker(const QString& maker) const
{
    QList<std::pair<int, Clue>> scored;
    if (maker.isEmpty())
        return {};
    for (const Row& r : m_rows) {
        if (r.match == Match::Maker && maker.contains(r.text, Qt::CaseInsensitive))
            scored.append({int(r.text.size()), Clue {FactSource::Vendor, r.type, {}, r.os}});
    }
    return best(scored, FactSource::Vendor);
}
