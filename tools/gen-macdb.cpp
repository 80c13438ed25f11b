// kw-gen-macdb OUI_TXT IAB_TXT OUTPUT_DIR
//
// Turns the IEEE registry listings (Debian's ieee-data oui.txt and iab.txt) into the four vendor files the
// program reads: oui.idx / oui.db and iab.idx / iab.db. Each index holds fixed records (the key, then CR LF)
// and each name list one UTF-8 line per record, CR LF separated; record 0 of both is a placeholder that no
// MAC address in the system's form can match. A listing that is missing gives files with the placeholder
// alone and a warning, so a build without ieee-data still succeeds.
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

const QString OuiPlaceholder = QStringLiteral("XXXXXX");
const QString IabPlaceholder = QStringLiteral("XXX");
// The IAB files serve addresses under this OUI only; blocks issued under other OUIs are left out.
const QString IabOui = QStringLiteral("00-50-C2");

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

// "7D5000-7D5FFF     (base 16)\t\tOrganisation": the block's 3-digit key (fourth byte and high nibble of the
// fifth), or false when the line is no such range or the range is not one whole 4096-address block.
bool parseBlockLine(QStringView line, QString& key, QString& name, bool& malformed)
{
    malformed = false;
    const qsizetype tag = line.indexOf(u"(base 16)");
    if (tag < 0)
        return false;
    const QStringView range = line.first(tag).trimmed();
    name = line.mid(tag + 9).trimmed().toString();
    const QString first = range.first(qMin<qsizetype>(6, range.size())).toString().toUpper();
    const QString last = range.mid(7).toString().toUpper();
    if (range.size() != 13 || range[6] != u'-' || !isHex(first) || !isHex(last) || !first.endsWith(u"000")
        || last != first.first(3) + QStringLiteral("FFF")) {
        malformed = true;
        return false;
    }
    key = first.first(3);
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

Registry parseIab(const QStringList& lines)
{
    Registry registry;
    QString pendingName;
    bool pending = false;
    for (const QString& line : lines) {
        QString oui;
        QString name;
        if (parseHexLine(line, oui, name)) {
            pending = (oui == IabOui);
            pendingName = name;
            continue;
        }
        if (!pending)
            continue;
        QString key;
        bool malformed = false;
        if (parseBlockLine(line, key, name, malformed)) {
            pending = false;
            const QString chosen = pendingName.isEmpty() ? name : pendingName;
            if (!chosen.isEmpty())
                registry.emplace(key, chosen);
        } else if (malformed) {
            pending = false;
            warn(QStringLiteral("skipping an IAB entry with the range \"%1\"").arg(line.trimmed()));
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
    if (argc != 4) {
        std::fprintf(stderr, "usage: kw-gen-macdb OUI_TXT IAB_TXT OUTPUT_DIR\n");
        return 2;
    }
    const QString ouiText = QFile::decodeName(argv[1]);
    const QString iabText = QFile::decodeName(argv[2]);
    const QString outDir = QFile::decodeName(argv[3]);

    bool found = false;
    const Registry oui = parseOui(readLines(ouiText, found));
    if (!found)
        warn(QStringLiteral("%1 not found (package ieee-data); oui.idx and oui.db hold only the placeholder")
                 .arg(ouiText));
    const Registry iab = parseIab(readLines(iabText, found));
    if (!found)
        warn(QStringLiteral("%1 not found (package ieee-data); iab.idx and iab.db hold only the placeholder")
                 .arg(iabText));

    if (!writeRegistry(oui, OuiPlaceholder, outDir, QStringLiteral("oui"))
        || !writeRegistry(iab, IabPlaceholder, outDir, QStringLiteral("iab")))
        return 1;
    std::printf("kw-gen-macdb: %zu OUI and %zu IAB records\n", oui.size(), iab.size());
    return 0;
}
