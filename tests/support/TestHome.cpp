#include "TestHome.h"

#include <QDir>
#include <QLocale>
#include <QStandardPaths>

TestHome::TestHome()
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/config")));
    qunsetenv("KESTRELWATCH_HOME");
    m_paths = AppPaths::forDirs(m_dir.path() + QStringLiteral("/home"), AppPaths::resolveShare(binDir()));
    m_paths.prepareHome();
}

TestHome::~TestHome() = default;

QString TestHome::binDir()
{
    return qEnvironmentVariable("KW_BIN_DIR");
}

QString TestHome::sourceDir()
{
    return qEnvironmentVariable("KW_SOURCE_DIR");
}

void pinTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}
