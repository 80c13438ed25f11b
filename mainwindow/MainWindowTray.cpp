// The tray icon's wiring, the right-click menus, the external programs, window placement and the small buttons
// that open pages or the settings dialog.
#include "mainwindow/MainWindow.h"

#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/AboutDialog.h"
#include "mainwindow/AlarmPresenter.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/WindowMenu.h"
#include "platform/DebugSink.h"
#include "platform/UrlText.h"
#include "settings/SettingsDialog.h"
#include "store/IniFile.h"

#include <QProcess>
#include <QSystemTrayIcon>

// --- the tray icon: the alarm presenter's, with the window's menu

void MainWindow::startTray()
{
    m_alarm->startTray(m_menus->toolTipAction());
}

bool MainWindow::trayAvailable() const
{
    return m_services.trayAvailable ? m_services.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void MainWindow::stopTray()
{
    if (m_settingsDialog) {
        m_settingsDialog->allowClose(true);
        m_settingsDialog->hide();
    }
    m_alarm->stopTray();
}

void MainWindow::SysTrayMouseEventHandlerRight(const QPoint& globalPos)
{
    m_menus->popupToolTip(globalPos);
}

// --- external programs

void MainWindow::Load_ExternalProgs()
{
    m_menus->clearPrograms();
    m_programs.clear();
    const bool wanted = m_core.settings().window.externalPrograms;
    if (wanted) {
        m_menus->setSeparatorsVisible(true);
        const QString file = m_core.paths().programsIni();
        QStringList problems;
        m_programs = ExternalPrograms::parse(IniFile::dbGetAllEntries(QStringLiteral("PROGRAMS"), file), &problems);
        for (const QString& problem : problems)
            ::Log(kwWindow, QStringLiteral("Load_ExternalProgs - ") + problem);
        for (int i = 0; i < m_programs.size(); ++i)
            m_menus->addProgram(i + 1, m_programs[i].name);
    }
    if (!wanted || m_programs.isEmpty())
        m_menus->setSeparatorsVisible(false);
}

void MainWindow::programsClicked(int index)
{
    if (selectMenuDevice(true))
        launchProgram(index);
}

void MainWindow::programs2Clicked(int index)
{
    if (selectMenuDevice(false))
        launchProgram(index);
}

void MainWindow::launchProgram(int index)
{
    const DiscoveryEngine* engine = m_core.engine();
    if (!engine || !engine->isRunning())
        return;
    const DeviceStore& devices = m_core.devices();
    const DeviceRecord* device = devices.find(m_menuMac);
    if (index < 1 || index > m_programs.size() || !device) {
        ::Log(kwWindow, QStringLiteral("programsAction - no program %1 for device %2").arg(index).arg(m_menuMac));
        return;
    }
    const ExternalProgram& entry = m_programs[index - 1];
    if (!entry.usable || entry.program.isEmpty()) {
        ::Log(kwWindow, QStringLiteral("programsAction - \"%1\" names no program").arg(entry.name));
        return;
    }
    // The address is one argument of its own: nothing in it reaches a shell.
    const QStringList arguments = ExternalPrograms::argumentList(entry.arguments, device->IpAddress);
    const bool started = m_services.launch ? m_services.launch(entry.program, arguments)
                                           : QProcess::startDetached(entry.program, arguments);
    if (!started)
        ::Log(kwWindow, QStringLiteral("programsAction - %1 could not be started").arg(entry.program));
}

// --- placement and buttons

void MainWindow::Centre()
{
    Centre(*this);
}

void MainWindow::Centre(QWidget& form)
{
    Geometry::centre(form);
}

// Help never sends the window away: the page opens beside it, and without a browser the About dialog shows
// where the page is.
void MainWindow::helpClicked()
{
    if (openPage(QStringLiteral("help.htm"))) {
        showNotice(QStringLiteral("Help opened in your web browser"), 5);
    } else {
        showNotice(QStringLiteral("No web browser opened the help page: About shows where it is"), 8);
        showAbout();
    }
    Sound_MouseClick();
}

void MainWindow::showAbout()
{
    if (!m_about)
        m_about = new AboutDialog(m_core.paths().site() + QStringLiteral("help.htm"), this);
    m_about->setWindowFlag(Qt::Window);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

QString MainWindow::donateUrl()
{
    return IniFile::dbGetEntry(QStringLiteral("GENERAL"), QStringLiteral("DonateUrl"), QString()).trimmed();
}

void MainWindow::donateClicked()
{
    // Only an installation that names a donation page shows the button; it opens that page.
    const QUrl url(donateUrl());
    if (!url.isValid() || url.isEmpty())
        return;
    if (!(m_services.openUrl && m_services.openUrl(url))) {
        ::Log(kwWindow, QStringLiteral("openPage - %1 was not opened").arg(UrlText::origin(url)));
        showNotice(QStringLiteral("No web browser opened the donation page: ") + url.toString(), 8);
    }
    Sound_MouseClick();
}

void MainWindow::settingsClicked()
{
    // The window stays where it is: the settings open above it, and what they change shows in it at once.
    if (m_settingsDialog) {
        m_settingsDialog->show();
        Centre(*m_settingsDialog);
        m_settingsDialog->raise();
        m_settingsDialog->activateWindow();
    }
    Sound_MouseClick();
    Q_EMIT settingsRequested();
}
