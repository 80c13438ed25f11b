// kw-gen-skin SHAREDIR: draws the window's skin into SHAREDIR/Images (every picture as NAME.bmp and, drawn
// again at twice the size for high-density screens, NAME@2x.bmp) and the application and tray icons into
// SHAREDIR/icons (kestrelwatch.png, kestrelwatch-alarm.png, kestrelwatch-alarm2.png at 256 px, and
// hicolor/NxN/apps/ at every icon size).
// kw-gen-skin --contact-sheet FILE.png: one page showing every picture and icon, to look at.
// kw-gen-skin --list: the relative path of every file the first form writes, one a line.
#include "gen-skin.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

namespace {

const char* const kIconNames[] = {"kestrelwatch", "kestrelwatch-alarm", "kestrelwatch-alarm2"};

struct Output
{
    QString path;
    std::function<QImage()> make;
    const char* format;
};

std::vector<Output> outputs()
{
    std::vector<Output> out;
    for (const skin::Picture& picture : skin::pictures()) {
        out.push_back(
            {QStringLiteral("Images/%1.bmp").arg(picture.name), [picture] { return render(picture, 1); }, "BMP"});
        out.push_back(
            {QStringLiteral("Images/%1@2x.bmp").arg(picture.name), [picture] { return render(picture, 2); }, "BMP"});
    }
    for (int kind = 0; kind < 3; ++kind) {
        const QString name = QString::fromLatin1(kIconNames[kind]);
        out.push_back(
            {QStringLiteral("icons/%1.png").arg(name), [kind] { return skin::renderIcon(kind, 256); }, "PNG"});
        for (int size : skin::iconSizes()) {
            out.push_back({QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(name),
                [kind, size] { return skin::renderIcon(kind, size); }, "PNG"});
        }
    }
    return out;
}

int writeAll(const QString& shareDir)
{
    const QDir root(shareDir);
    for (const Output& o : outputs()) {
        const QString path = root.filePath(o.path);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !o.make().save(path, o.format)) {
            QTextStream(stderr) << "kw-gen-skin: cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Drawing text needs the font database of a GUI application, never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments().mid(1);

    if (args.size() == 1 && args[0] == QLatin1String("--list")) {
        QTextStream out(stdout);
        for (const Output& o : outputs())
            out << o.path << '\n';
        return 0;
    }
    if (args.size() == 2 && args[0] == QLatin1String("--contact-sheet")) {
        if (!skin::contactSheet().save(args[1], "PNG")) {
            QTextStream(stderr) << "kw-gen-skin: cannot write " << args[1] << '\n';
            return 1;
        }
        return 0;
    }
    if (args.size() == 1 && !args[0].startsWith(QLatin1String("--")))
        return writeAll(args[0]);

    QTextStream(stderr) << "usage: kw-gen-skin SHAREDIR | --contact-sheet FILE.png | --list\n";
    return 2;
}
