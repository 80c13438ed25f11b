// The window's own clockwork: the panel slide of animationTimer (asleep while the window is hidden and idle);
// alarmTimer's tick (the alarm presenter's rows, looks and reminder, and the notice count-down); and the
// skin's loading.
#include "mainwindow/MainWindow.h"

#include "app/MonitorCore.h"
#include "mainwindow/AlarmPresenter.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "platform/DebugSink.h"

#include <QLabel>

using namespace Geometry;

void MainWindow::animationTick()
{
    m_panelStage->step(selectedDevice() != nullptr);
    m_selectedDetailsLabel->setVisible(m_panelStage->showsDevice());
    const bool bare = m_panelStage->bare();
    m_stageHint->setVisible(bare && !welcomeShown());
    m_welcome->setVisible(bare && welcomeShown());
    // A hidden window with every panel where it belongs needs no 33 ms clock: showing the window or a panel
    // button starts it again.
    if (m_tmr100ms.isActive() && !isVisible() && m_panelStage->atRest()) {
        m_tmr100ms.stop();
        m_panelTimerIdle = true;
    }
}

void MainWindow::alarmTick()
{
    m_alarm->tick();
    // The notice's count-down.
    if (m_noticeTicks > 0) {
        --m_noticeTicks;
        if (m_noticeTicks < 1 && !m_buttonPicture->isHidden())
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
        ::Log(
            kwWindow, QStringLiteral("Load_Pictures - %1 is missing or unreadable; its picture stays blank").arg(file));
    // The initial pictures: every button at rest, the tab of the open panel selected, the lamp normal.
    for (SkinButton* b : m_buttons)
        b->setPair(b->normalPicture(), b->downPicture());
    m_panelStage->updateTabs();
    m_status->setPicture(Pic::StatusNormal);
    update();
    for (QWidget* w : findChildren<QWidget*>())
        w->update();
}
