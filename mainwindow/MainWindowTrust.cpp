// Settling in: on the first start the stage says once that a device is an intruder until the user vouches for
// it, and offers "Trust everything here now"; the window menu offers it any time, and its undo for as long as
// the window lives.
#include "mainwindow/MainWindow.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/Theme.h"
#include "store/DeviceRecord.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

const QString MainWindow::WelcomeText = QStringLiteral(
    "Welcome. Every device Kestrelwatch sees for the first time is an intruder until you vouch for it, so on "
    "the first day everything at home appears here: the family's phones are not an attack.\n\n"
    "If every device on the network now is yours, trust them all at once.");

void MainWindow::buildWelcome()
{
    m_welcome = new QWidget(m_stage);
    m_welcome->setObjectName(QStringLiteral("welcome"));
    auto* words = new QLabel(WelcomeText, m_welcome);
    words->setObjectName(QStringLiteral("welcomeText"));
    words->setTextFormat(Qt::PlainText);
    words->setWordWrap(true);
    words->setAlignment(Qt::AlignCenter);
    words->setFont(Theme::font(12));
    words->setStyleSheet(QStringLiteral("color: #9DB1C8;"));
    m_trustButton = new QPushButton(QStringLiteral("Trust everything here now\u2026"), m_welcome);
    m_trustButton->setObjectName(QStringLiteral("trustAllButton"));
    m_trustButton->setFont(Theme::font(12, true));
    m_trustButton->setAutoDefault(false);
    m_trustButton->setToolTip(QStringLiteral("Moves every device online now to the safe list, after one question"));
    connect(m_trustButton, &QPushButton::clicked, this, &MainWindow::trustEverythingHere);
    auto* column = new QVBoxLayout(m_welcome);
    column->addStretch();
    column->addWidget(words);
    column->addSpacing(Geometry::s(12));
    column->addWidget(m_trustButton, 0, Qt::AlignHCenter);
    column->addStretch();
    // Below the panels: an open panel covers it.
    m_welcome->lower();
    m_welcome->hide();
}

bool MainWindow::welcomeShown() const
{
    return m_firstRun && !m_welcomeDone;
}

int MainWindow::onlineIntruderCount() const
{
    int online = 0;
    for (const DeviceRecord& d : m_core.devices())
        online += d.Intruder && d.isOnline() ? 1 : 0;
    return online;
}

QString MainWindow::trustQuestion(int online)
{
    return QStringLiteral("Trust everything here now?\n\n%1 move to the safe list, acknowledged, each with a line in "
                          "its history. \"Undo trust\" in the menu puts them back while Kestrelwatch runs.")
        .arg(online == 1 ? QStringLiteral("The 1 intruder online now")
                         : QStringLiteral("The %1 intruders online now").arg(online));
}

void MainWindow::trustEverythingHere()
{
    const int online = onlineIntruderCount();
    if (online == 0) {
        showNotice(QStringLiteral("No intruder is online now: there is nothing to trust"), 3);
        return;
    }
    if (m_services.confirm && !m_services.confirm(trustQuestion(online)))
        return;
    const QList<DeviceActions::Trusted> trusted =
        m_core.actions().trustAllOnline([](const DeviceRecord& d) { return d.isOnline(); }).moved;
    // A second trust adds to what the undo puts back.
    m_lastTrust += trusted;
    m_welcomeDone = true;
    m_welcome->hide();
    updateTrustActions();
    showNotice(trusted.size() == 1 ? QStringLiteral("1 device moved to the safe list")
                                   : QStringLiteral("%1 devices moved to the safe list").arg(trusted.size()),
        3);
}

void MainWindow::undoTrust()
{
    if (m_lastTrust.isEmpty())
        return;
    const int back = m_core.actions().undoTrust(m_lastTrust);
    m_lastTrust.clear();
    updateTrustActions();
    showNotice(back == 1 ? QStringLiteral("1 device is back on the intruder list")
                         : QStringLiteral("%1 devices are back on the intruder list").arg(back),
        3);
}

void MainWindow::updateTrustActions()
{
    if (m_undoTrustAction)
        m_undoTrustAction->setEnabled(!m_lastTrust.isEmpty());
}
