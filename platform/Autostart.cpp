#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Exec= quoting of the desktop entry format: a path with blanks or quotes is quoted, '"', '`', '$' and '\'
// escaped inside.
QString quoteExec(const QString& data)
{
    static const QString special = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    bool needs = false;
    for (QChar c : data)
        needs = needs || special.contains(c);
    if (!needs)
        return data;
    QString out = QStringLiteral("\"");
    for (QChar c : data) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

QString unquoteExec(const QString& exec)
{
    if (!exec.startsWith(QLatin1Char('"')))
        return exec;
    QString out;
    for (qsizetype i = 1; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
            out += exec.at(++i);
        } else if (c == QLatin1Char('"')) {
            break;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString autostartFile()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/kestrelwatch.desktop");
}

std::optional<QString> readAutostart()
{
    QFile f(autostartFile());
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("Exec="))) {
            // The program alone: a quoted path ends at its quote, a bare one at the first blank.
            const QString exec = line.mid(5).trimmed();
            return exec.startsWith(QLatin1Char('"')) ? unquoteExec(exec) : exec.section(QLatin1Char(' '), 0, 0);
        }
    }
    return QString();
}

bool writeAutostart(const QString& program, const QStringList& arguments)
{
    QString exec = quoteExec(program);
    for (const QString& argument : arguments)
        exec += QLatin1Char(' ') + quoteExec(argument);
    const QString file = autostartFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Kestrelwatch\n"
                                         "Comment=Watches the local network for intruders\n"
                                         "Exec=%1\n"
                                         "Icon=kestrelwatch\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(exec);
    f.write(entry.toUtf8());
    return f.commit();
}

bool removeAutostart()
{
    return QFile::remove(autostartFile());
}

namespace {

// The build tree that holds the program, or an empty text when it lies in none.
QString buildTreeOf(const QString& program)
{
    QDir dir = QFileInfo(program).absoluteDir();
    for (int up = 0; up < 3; ++up) {
        if (dir.exists(QStringLiteral("CMakeCache.txt")))
            return dir.absolutePath() + QLatin1Char('/');
        if (!dir.cdUp())
            break;
    }
    return {};
}

} // namespace

std::optional<QString> autostartProgram(const QString& running)
{
    const QString tree = buildTreeOf(running);
    if (tree.isEmpty())
        return QFileInfo(running).absoluteFilePath();
    const QString installed = QStandardPaths::findExecutable(QStringLiteral("kestrelwatch"));
    if (installed.isEmpty() || QFileInfo(installed).canonicalFilePath().startsWith(tree) || installed.startsWith(tree))
        return std::nullopt;
    return installed;
}
