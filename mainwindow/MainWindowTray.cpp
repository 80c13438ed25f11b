// The tray icon, the right-click menus, the external programs, window placement and the small buttons that
// open pages or the settings dialog.
#include "mainwindow/MainWindow.h"

#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/AboutDialog.h"
#include "mainwindow/WindowMenu.h"
#include "platform/DebugSink.h"
#include "platform/UrlText.h"
#include "settings/SettingsDialog.h"
#include "store/IniFile.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

// --- the tray icon

void MainWindow::startTray()
{
    const QString folder = m_core.paths().share + QStringLiteral("icons/");
    const char* files[] = {"kestrelwatch.png", "kestrelwatch-alarm.png", "kestrelwatch-alarm2.png"};
    for (size_t i = 0; i < m_trayIcons.size(); ++i) {
        const QString path = folder + QLatin1String(files[i]);
        if (!QFileInfo::exists(path))
            ::Log(kwWindow, QStringLiteral("AddTrayIcon - %1 is missing; the icon stays blank").arg(path));
        m_trayIcons[i] = QIcon(path);
    }
    setWindowIcon(m_trayIcons[0]);
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(this);
        m_tray->setObjectName(QStringLiteral("trayIcon"));
        connect(m_tray, &QSystemTrayIcon::activated, this, &MainWindow::trayActivated);
        // The host opens the menu itself: a StatusNotifierItem host may never report a context click.
        m_tray->setContextMenu(m_menus->toolTipAction());
    }
    m_tray->setIcon(m_trayIcons[0]);
    m_trayLook = 0;
    ChangeTrayTip(TitleText() + QStringLiteral(" Running"));
    m_trayHostSeen = trayAvailable();
    m_tray->show();
}

bool MainWindow::trayAvailable() const
{
    return m_services.trayAvailable ? m_services.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void MainWindow::hideToTray()
{
    if (trayAvailable())
        hide();
    else
        showMinimized();
}

void MainWindow::stopTray()
{
    if (m_settingsDialog) {
        m_settingsDialog->allowClose(true);
        m_settingsDialog->hide();
    }
    if (m_tray)
        m_tray->hide();
}

QString MainWindow::trayTipText(const QString& tip)
{
    // The tray's tip holds 63 characters and its terminator.
    return tip.left(63);
}

void MainWindow::ChangeTrayIcon(const QIcon& icon)
{
    if (!m_tray)
        return;
    // Setting the same icon again would only repaint the tray: skip it, the quiet ticks call this often.
    if (m_tray->icon().cacheKey() != icon.cacheKey())
        m_tray->setIcon(icon);
    refreshTrayPresence();
}

void MainWindow::ChangeTrayTip(const QString& tip)
{
    const QString cut = trayTipText(tip);
    if (cut == m_trayTip)
        return;
    m_trayTip = cut;
    if (m_tray)
        m_tray->setToolTip(cut);
}

// The icon is added anew when the tray host has come (back) since the last look: a restarted panel has no
// record of the icon. A host that has gone leaves no way to the hidden window, so the window comes up.
void MainWindow::refreshTrayPresence()
{
    const bool host = trayAvailable();
    if (host && !m_trayHostSeen && m_tray && !m_shuttingDown) {
        ::Log(kwWindow, QStringLiteral("ChangeTrayIcon - the notification area is back; adding the icon again"));
        m_tray->hide();
        m_tray->show();
    }
    if (!host && m_trayHostSeen && !m_shuttingDown && m_loaded) {
        ::Log(kwWindow, QStringLiteral("ChangeTrayIcon - no notification area; the window stays on the desktop"));
        if (isHidden())
            showMainWindowAgain();
    }
    m_trayHostSeen = host;
}

void MainWindow::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        popUp();
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
    const DeviceRecord* device = devices.find(menuMacAddress);
    if (index < 1 || index > m_programs.size() || !device) {
        ::Log(kwWindow, QStringLiteral("programsAction - no program %1 for device %2").arg(index).arg(menuMacAddress));
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
    const QScreen* screen = form.screen() ? form.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect work = screen->availableGeometry();
    // Only the work area's right and bottom edges count, as the window has always been centred.
    const int right = work.x() + work.width();
    const int bottom = work.y() + work.height();
    form.move((right - form.frameGeometry().width()) / 2, (bottom - form.frameGeometry().height()) / 2);
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
