#pragma once

#include "Skip.h"
#include "platform/AppPaths.h"

#include <QString>
#include <QTemporaryDir>

// A private home for one test: XDG_DATA_HOME and XDG_CONFIG_HOME point into a temporary folder, so nothing a
// test does reaches a real profile; paths() gives the writable store there and the build tree's share folder.
class TestHome final
{
public:
    TestHome();
    ~TestHome();

    QString dir() const { return m_dir.path(); }
    AppPaths paths() const { return m_paths; }

    // The build tree's bin folder (kestrelwatch, kestrelwatch-reg).
    static QString binDir();
    static QString sourceDir();

private:
    QTemporaryDir m_dir;
    AppPaths m_paths;
};

// Pins the default locale and marks QStandardPaths as in test mode; call from initTestCase().
void pinTestEnvironment();
