#include "SettingsRig.h"

#include "store/modRegistry.h"

#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>

void RecordingHost::record(const QString& name, const QString& argument)
{
    calls.append(Call {name, argument, probe ? probe() : QString()});
}

void RecordingHost::setLastIntruderWarning(const QDateTime& when)
{
    record(QStringLiteral("setLastIntruderWarning"), when.toString(Qt::ISODate));
}

void RecordingHost::Load_ExternalProgs()
{
    record(QStringLiteral("Load_ExternalProgs"), QString());
}

void RecordingHost::applyAlwaysOnTop(bool onTop)
{
    record(QStringLiteral("applyAlwaysOnTop"), onTop ? QStringLiteral("true") : QStringLiteral("false"));
}

void RecordingHost::showMainWindowAgain()
{
    record(QStringLiteral("showMainWindowAgain"), QString());
}

QStringList RecordingHost::names() const
{
    QStringList out;
    for (const Call& c : calls)
        out << c.name;
    return out;
}

bool ScriptedPrompt::askYesNo(QWidget*, const QString& text)
{
    questions << text;
    if (answers.isEmpty()) {
        ++unscripted;
        return false;
    }
    return answers.takeFirst();
}

void ScriptedPrompt::inform(QWidget*, const QString& text)
{
    notices << text;
}

SettingsRig::SettingsRig(bool withPictures)
    : hive(Hive::open(home.paths().hiveFile()).hive)
    , debugLog(settings, home.paths().debugLogFile())
    , mail(settings)
    , imagesDir(home.dir() + QStringLiteral("/Images/"))
{
    modRegistry::attach(hive.get());
    settings.lblLogPath = home.paths().debugLogFile();
    QDir().mkpath(imagesDir);
    if (withPictures)
        writePictures(imagesDir);
    frmSettings::Parts parts {settings, debugLog, base64, [this] { return &mail; }, imagesDir, host, &prompt};
    m_dialog = std::make_unique<frmSettings>(parts);
}

SettingsRig::~SettingsRig()
{
    m_dialog.reset();
    modRegistry::attach(nullptr);
}

QCheckBox* SettingsRig::flag(const char* name) const
{
    return m_dialog->findChild<QCheckBox*>(QLatin1String(name));
}

QLineEdit* SettingsRig::text(const char* name) const
{
    return m_dialog->findChild<QLineEdit*>(QLatin1String(name));
}

std::optional<QString> SettingsRig::stored(const QString& name) const
{
    return hive->value(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL"), name);
}

void SettingsRig::writePictures(const QString& dir)
{
    const struct
    {
        const char* name;
        QColor colour;
    } pictures[] = {
        {"General", Qt::darkBlue}, {"Alerts", Qt::darkYellow}, {"Email", Qt::darkGreen}, {"Debug", Qt::darkMagenta}};
    for (const auto& p : pictures) {
        for (int scale : {1, 2}) {
            QImage image(QSize(16, 16) * scale, QImage::Format_RGB32);
            image.fill(p.colour);
            const QString suffix = scale == 2 ? QStringLiteral("@2x") : QString();
            image.save(dir + QLatin1String(p.name) + suffix + QStringLiteral(".bmp"), "BMP");
        }
    }
}
