// kw-gen-macdb OUI_TXT IAB_TXT MAM_TXT OUI36_TXT OUTPUT_DIR
//
// Turns the IEEE registry listings (Debian's ieee-data oui.txt, iab.txt, mam.txt and oui36.txt) into the eight
// vendor files the program reads: oui, iab, mam (28-bit blocks) and mas (36-bit blocks), each an .idx and a
// .db. Each index holds fixed records (the key, then CR LF) and each name list one UTF-8 line per record, CR LF
// separated; record 0 of each is a placeholder that no MAC address in the system's form can match. A listing
// that is missing gives files with the placeholder alone and a warning, so a build without ieee-data still
// succeeds.
#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <algorithm>
#include <cstdio>
#include <map>

namespace {
using Registry = std::map<QString, QString>; // key -> name, ordered by key

// The IAB files serve addresses under this OUI only; IAB blocks issued under other OUIs are 36-bit blocks like
// those of MA-S, and are served with them.
const QString IabOui = QStringLiteral("0050C2");

void warn(const QString& text)
{
    std::fprintf(stderr, "kw-gen-macdb: warning: %s\n", qPrintable(text));
}

bool isHex(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
    });
}

// "00-00-0C   (hex)\t\tCisco Systems, Inc": the OUI as it stands (upper-cased) and the name, or false.
bool parseHexLine(QStringView line, QString& oui, QString& name)
{
    const qsizetype tag = line.indexOf(u"(hex)");
    if (tag < 0)
        return false;
    const QStringView head = line.first(tag).trimmed();
    if (head.size() != 8 || head[2] != u'-' || head[5] != u'-' || !isHex(head.mid(0, 2)) || !isHex(head.mid(3, 2))
        || !isHex(head.mid(6, 2)))
        return false;
    oui = head.toString().toUpper();
    name = line.mid(tag + 5).trimmed().toString();
    return true;
}

// "7D5000-7D5FFF     (base 16)\t\tOrganisation": the block's digits beyond the OUI (digits of them: 3 for a
// 4096-address block, 1 for a 28-bit one), or false when the line is no such range or the range is not one
// whole block of that size.
bool parseBlockLine(QStringView line, qsizetype digits, QString& key, QString& name, bool& malformed)
{
    malformed = false;
    const qsizetype tag = line.indexOf(u"(base 16)");
    if (tag < 0)
        return false;
    const QStringView range = line.first(tag).trimmed();
    name = line.mid(tag + 9).trimmed().toString();
    const QString first = range.first(qMin<qsizetype>(6, range.size())).toString().toUpper();
    const QString last = range.mid(7).toString().toUpper();
    if (range.size() != 13 || range[6] != u'-' || !isHex(first) || !isHex(last)
        || first.mid(digits) != QString(6 - digits, u'0') || last != first.first(digits) + QString(6 - digits, u'F')) {
        malformed = true;
        return false;
    }
    key = first.first(digits);
    return true;
}

QStringList readLines(const QString& file, bool& found)
{
    QFile f(file);
    found = f.open(QIODevice::ReadOnly);
    if (!found)
        return {};
    // Both CR LF and LF listings are read; a stray CR at a line's end is trimmed away with the name.
    return QString::fromUtf8(f.readAll()).split(u'\n');
}

Registry parseOui(const QStringList& lines)
{
    Registry registry;
    QString oui;
    QString name;
    for (const QString& line : lines) {
        if (!parseHexLine(line, oui, name) || name.isEmpty())
            continue;
        registry.emplace(oui.remove(u'-'), name); // emplace keeps the first holder of a repeated OUI
    }
    return registry;
}

// Blocks of a listing keyed by the OUI's six digits and the block's digits beyond it.
Registry parseBlocks(const QStringList& lines, qsizetype digits)
{
    Registry registry;
    QString pendingOui;
    QString pendingName;
    for (const QString& line : lines) {
        QString oui;
        QString name;
        if (parseHexLine(line, oui, name)) {
            pendingOui = oui.remove(u'-');
            pendingName = name;
            continue;
        }
        if (pendingOui.isEmpty())
            continue;
        QString key;
        bool malformed = false;
        if (parseBlockLine(line, digits, key, name, malformed)) {
            const QString chosen = pendingName.isEmpty() ? name : pendingName;
            if (!chosen.isEmpty())
                registry.emplace(pendingOui + key, chosen);
            pendingOui.clear();
        } else if (malformed) {
            pendingOui.clear();
            warn(QStringLiteral("skipping a block with the range \"%1\"").arg(line.trimmed()));
        }
    }
    return registry;
}

bool writeFile(const QString& file, const QByteArray& bytes)
{
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        std::fprintf(stderr, "kw-gen-macdb: cannot write %s: %s\n", qPrintable(file), qPrintable(f.errorString()));
        return false;
    }
    return true;
}

bool writeRegistry(const Registry& registry, const QString& placeholder, const QString& outDir, const QString& base)
{
    QByteArray index = placeholder.toLatin1() + "\r\n";
    QByteArray names = "\r\n";
    for (const auto& [key, name] : registry) {
        index += key.toLatin1() + "\r\n";
        names += name.toUtf8() + "\r\n";
    }
    return writeFile(outDir + u'/' + base + QStringLiteral(".idx"), index)
        && writeFile(outDir + u'/' + base + QStringLiteral(".db"), names);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: kw-gen-macdb OUI_TXT IAB_TXT MAM_TXT OUI36_TXT OUTPUT_DIR\n");
        return 2;
    }
    const QString outDir = QFile::decodeName(argv[5]);
    QStringList listings[4];
    const char* const bases[4] = {"oui", "iab", "mam", "mas"};
    for (int i = 0; i < 4; ++i) {
        bool found = false;
        const QString file = QFile::decodeName(argv[i + 1]);
        listings[i] = readLines(file, found);
        if (!found)
            warn(QStringLiteral("%1 not found (package ieee-data); %2.idx and %2.db hold only the placeholder")
                     .arg(file, QLatin1String(bases[i])));
    }

    const Registry oui = parseOui(listings[0]);
    Registry iab;
    Registry mam = parseBlocks(listings[2], 1);
    Registry mas = parseBlocks(listings[3], 3);
    for (const auto& [key, name] : parseBlocks(listings[1], 3)) {
        if (key.startsWith(IabOui))
            iab.emplace(key.mid(6), name);
        else
            mas.emplace(key, name); // a block MA-S lists as well keeps the MA-S name
    }

    const Registry* registries[4] = {&oui, &iab, &mam, &mas};
    for (int i = 0; i < 4; ++i) {
        const qsizetype keyLength = i == 1 ? 3 : i == 2 ? 7 : i == 3 ? 9 : 6;
        if (!writeRegistry(*registries[i], QString(keyLength, u'X'), outDir, QLatin1String(bases[i])))
            return 1;
    }
    std::printf("kw-gen-macdb: %zu OUI, %zu IAB, %zu MA-M and %zu MA-S records\n", oui.size(), iab.size(), mam.size(),
        mas.size());
    return 0;
}
