// The window's own clockwork: the panel slide of animationTimer (asleep while the window is hidden and idle); the
// flashing rows, the alarm and normal looks, the reminder, and the notice count-down of
// alarmTimer; and the skin's loading.
#include "mainwindow/MainWindow.h"

#include "app/MonitorCore.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "platform/Clock.h"

#include <QLabel>

using namespace Geometry;

int MainWindow::panelLeft(int panel) const
{
    return panel >= DetailsPanel && panel <= ProbePanelState ? m_panelLeft[size_t(panel)] : PanelClosedLeft;
}

void MainWindow::placePanel(int panel)
{
    const int left = m_panelLeft[size_t(panel)];
    QWidget* frame = m_panels[size_t(panel)];
    frame->setGeometry(px(left - PanelOpenLeft), 0, px(PanelClosedLeft - left), m_stage->height());
    frame->setVisible(left != PanelClosedLeft);
}

// direction +1 closes one step (width - 480, left + 480), -1 opens one step.
void MainWindow::stepPanel(int panel, int direction)
{
    m_panelLeft[size_t(panel)] += direction * PanelStep;
    placePanel(panel);
}

void MainWindow::animationTick()
{
    // A selection that no longer exists closes the details and log panels; the probe panel stays.
    const bool gone = !selectedDevice();
    if (gone && (panelState == DetailsPanel || panelState == LogPanel)) {
        // The next device chosen opens it again (Set_Selection).
        m_panelAwaitingDevice = panelState;
        panelState = NoPanel;
        updateTabPictures();
    }
    const auto closeStep = [this](int panel) {
        if (m_panelLeft[size_t(panel)] != PanelClosedLeft)
            stepPanel(panel, +1);
    };
    switch (panelState) {
    case NoPanel:
        closeStep(LogPanel);
        closeStep(DetailsPanel);
        closeStep(ProbePanelState);
        m_selectedDetailsLabel->hide();
        break;
    case DetailsPanel:
    case LogPanel:
    case ProbePanelState: {
        const int wanted = panelState;
        int others[2];
        if (wanted == DetailsPanel)
            others[0] = LogPanel, others[1] = ProbePanelState;
        else if (wanted == LogPanel)
            others[0] = DetailsPanel, others[1] = ProbePanelState;
        else
            others[0] = LogPanel, others[1] = DetailsPanel;
        closeStep(others[0]);
        closeStep(others[1]);
        if (m_panelLeft[size_t(others[0])] == PanelClosedLeft && m_panelLeft[size_t(others[1])] == PanelClosedLeft
            && m_panelLeft[size_t(wanted)] != PanelOpenLeft)
            stepPanel(wanted, -1);
        const bool open = m_panelLeft[size_t(wanted)] == PanelOpenLeft;
        m_selectedDetailsLabel->setVisible(open);
        break;
    }
    default:
        break;
    }
    const bool bare = m_panelLeft[DetailsPanel] == PanelClosedLeft && m_panelLeft[LogPanel] == PanelClosedLeft
        && m_panelLeft[ProbePanelState] == PanelClosedLeft;
    m_stageHint->setVisible(bare && !welcomeShown());
    m_welcome->setVisible(bare && welcomeShown());
    // A hidden window with every panel where it belongs needs no 33 ms clock: showing the window or a panel
    // button starts it again.
    if (m_tmr100ms.isActive() && !isVisible() && panelsAtRest()) {
        m_tmr100ms.stop();
        m_panelTimerIdle = true;
    }
}

void MainWindow::alarmTick()
{
    flashOn = !flashOn;
    // The unacknowledged intruders' rows pick the flash picture by the phase.
    intruderList()->setFlashPhase(flashOn);
    const DeviceStore& devices = m_core.devices();
    bool intruderOnline = false;
    for (const DeviceRecord& d : devices)
        intruderOnline = intruderOnline || (d.Intruder && d.isOnline());
    if (++iconRefreshTick >= 15)
        iconRefreshTick = 0;

    if (intruderOnline) {
        applyAlarmLook(flashOn);
        // The reminder's clock moves on even when the reminder is off, so switching it on is not at once
        // followed by a sound.
        if (datLastIntruderWarning.secsTo(kwclock::now()) > 300) {
            datLastIntruderWarning = kwclock::now();
            if (m_core.settings().alerts.reminder)
                playStillOnlineSound(m_core.settings().alerts.volume);
        }
    } else if (!quietLastTick || iconRefreshTick == 0) {
        // The first quiet tick, then every 5 s: this also brings the tray icon back after the tray restarted.
        applyNormalLook();
    }
    quietLastTick = !intruderOnline;

    // The notice's count-down.
    if (buttonTimeout > 0) {
        --buttonTimeout;
        if (buttonTimeout < 1 && !m_buttonPicture->isHidden())
            m_buttonPicture->hide();
    }
}

void MainWindow::Load_Pictures()
{
    // Device pixels per design pixel: the dense pictures serve a dense screen and a large desktop font alike.
    const qreal scale = devicePixelRatioF() * Geometry::unit();
    m_picturesScale = scale;
    const QStringList missing = m_pictures.load(m_core.paths().images(), scale);
    for (const QString& file : missing)
        Log(QStringLiteral("Load_Pictures - %1 is missing or unreadable; its picture stays blank").arg(file));
    // The initial pictures: every button at rest, the tab of the open panel selected, the lamp normal.
    for (SkinButton* b : m_buttons)
        b->setPair(b->normalPicture(), b->downPicture());
    updateTabPictures();
    m_status->setPicture(Pic::StatusNormal);
    update();
    for (QWidget* w : findChildren<QWidget*>())
        w->update();
}
