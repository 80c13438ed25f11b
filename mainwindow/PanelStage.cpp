#include "mainwindow/PanelStage.h"

#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"

#include <QWidget>

using namespace Geometry;

PanelStage::PanelStage(QWidget& stage, const std::array<SkinButton*, 3>& tabs)
    : m_stage(stage)
    , m_tabs(tabs)
{
    m_left.fill(PanelClosedLeft);
    for (int p = DetailsPanel; p <= ProbePanelState; ++p) {
        auto* frame = new QWidget(&m_stage);
        frame->setObjectName(p == DetailsPanel ? QStringLiteral("detailsPicture")
                : p == LogPanel                ? QStringLiteral("logPicture")
                                               : QStringLiteral("probePicture"));
        m_panels[size_t(p)] = frame;
        place(p);
    }
}

void PanelStage::toggle(int panel)
{
    m_open = m_open == panel ? int(NoPanel) : panel;
    updateTabs();
}

QWidget* PanelStage::panel(int which) const
{
    return which >= DetailsPanel && which <= ProbePanelState ? m_panels[size_t(which)] : nullptr;
}

int PanelStage::left(int which) const
{
    return which >= DetailsPanel && which <= ProbePanelState ? m_left[size_t(which)] : PanelClosedLeft;
}

void PanelStage::place(int panel)
{
    const int left = m_left[size_t(panel)];
    QWidget* frame = m_panels[size_t(panel)];
    frame->setGeometry(px(left - PanelOpenLeft), 0, px(PanelClosedLeft - left), m_stage.height());
    frame->setVisible(left != PanelClosedLeft);
}

void PanelStage::placeAll()
{
    for (int p = DetailsPanel; p <= ProbePanelState; ++p)
        place(p);
}

void PanelStage::step(bool deviceChosen)
{
    // A selection that no longer exists closes the details and log panels; the probe panel stays.
    if (!deviceChosen && (m_open == DetailsPanel || m_open == LogPanel)) {
        // The next device chosen opens it again (selectionShown).
        m_awaiting = m_open;
        m_open = NoPanel;
        updateTabs();
    }
    // A step closes by 480 twips (the width shrinks as the left edge moves right), or opens by as much.
    const auto move = [this](int panel, int direction) {
        m_left[size_t(panel)] += direction * PanelStep;
        place(panel);
    };
    const auto closeStep = [&](int panel) {
        if (m_left[size_t(panel)] != PanelClosedLeft)
            move(panel, +1);
    };
    if (m_open == NoPanel) {
        closeStep(LogPanel);
        closeStep(DetailsPanel);
        closeStep(ProbePanelState);
        return;
    }
    // The others close first; the wanted panel opens once they are shut.
    const int wanted = m_open;
    int others[2];
    if (wanted == DetailsPanel)
        others[0] = LogPanel, others[1] = ProbePanelState;
    else if (wanted == LogPanel)
        others[0] = DetailsPanel, others[1] = ProbePanelState;
    else
        others[0] = LogPanel, others[1] = DetailsPanel;
    closeStep(others[0]);
    closeStep(others[1]);
    if (m_left[size_t(others[0])] == PanelClosedLeft && m_left[size_t(others[1])] == PanelClosedLeft
        && m_left[size_t(wanted)] != PanelOpenLeft)
        move(wanted, -1);
}

bool PanelStage::selectionShown(bool deviceChosen)
{
    bool reopened = false;
    if (deviceChosen && m_open == NoPanel && m_awaiting != NoPanel) {
        m_open = m_awaiting;
        updateTabs();
        reopened = true;
    }
    if (deviceChosen || m_open != NoPanel)
        m_awaiting = NoPanel;
    return reopened;
}

bool PanelStage::showsDevice() const
{
    return m_open != NoPanel && m_left[size_t(m_open)] == PanelOpenLeft;
}

bool PanelStage::bare() const
{
    return m_left[DetailsPanel] == PanelClosedLeft && m_left[LogPanel] == PanelClosedLeft
        && m_left[ProbePanelState] == PanelClosedLeft;
}

bool PanelStage::atRest() const
{
    for (int p = DetailsPanel; p <= ProbePanelState; ++p) {
        if (m_left[size_t(p)] != (p == m_open ? PanelOpenLeft : PanelClosedLeft))
            return false;
    }
    return true;
}

void PanelStage::updateTabs()
{
    const struct
    {
        int panel;
        Pic selectedNormal, selectedDown, normal, down;
    } tabs[] = {
        {DetailsPanel, Pic::DetailsSelectedNormal, Pic::DetailsSelectedDown, Pic::DetailsUnSelectedNormal,
            Pic::DetailsUnSelectedDown},
        {LogPanel, Pic::LogSelectedNormal, Pic::LogSelectedDown, Pic::LogUnSelectedNormal, Pic::LogUnSelectedDown},
        {ProbePanelState, Pic::ProbeSelectedNormal, Pic::ProbeSelectedDown, Pic::ProbeUnSelectedNormal,
            Pic::ProbeUnSelectedDown},
    };
    for (const auto& t : tabs) {
        SkinButton* tab = m_tabs[size_t(t.panel - DetailsPanel)];
        if (m_open == t.panel)
            tab->setPair(t.selectedNormal, t.selectedDown);
        else
            tab->setPair(t.normal, t.down);
    }
}
