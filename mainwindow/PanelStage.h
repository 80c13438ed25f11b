#pragma once

#include <array>

class QWidget;
class SkinButton;

// The stage between the lists where the details, log and probe panels slide: which panel is open, each
// panel's left edge as it slides (in twips, one step a tick), and the pictures of the three tab buttons that
// open them. A panel closed for want of a chosen device opens again with the next one.
class PanelStage final
{
public:
    enum Panel { NoPanel = 0, DetailsPanel = 1, LogPanel = 2, ProbePanelState = 3 };

    // The panels' frames are made on the stage; tabs are the Details, Log and Probe buttons.
    PanelStage(QWidget& stage, const std::array<SkinButton*, 3>& tabs);
    PanelStage(const PanelStage&) = delete;
    PanelStage& operator=(const PanelStage&) = delete;

    // The panel wanted open (it may still be sliding), NoPanel for none.
    int open() const { return m_open; }
    // A tab button's click: its panel opens, or closes when it was the one open.
    void toggle(int panel);
    // The frame of a panel (1 details, 2 log, 3 probe), and its left edge in twips.
    QWidget* panel(int which) const;
    int left(int which) const;
    // One step of the slide (animationTimer's tick). Without a chosen device the details and log panels close.
    void step(bool deviceChosen);
    // A selection shown: a panel closed for want of a device opens again; true when one did.
    bool selectionShown(bool deviceChosen);
    // The wanted panel is wholly open (the caption above it shows the device); no panel is out at all.
    bool showsDevice() const;
    bool bare() const;
    // Every panel where it belongs: nothing left to slide.
    bool atRest() const;
    // Each panel's frame for the stage's height, as its left edge puts it.
    void placeAll();
    // The tab buttons' pictures: the open panel's tab selected.
    void updateTabs();

private:
    void place(int panel);

    QWidget& m_stage;
    std::array<SkinButton*, 3> m_tabs;
    std::array<QWidget*, 4> m_panels {}; // 1 details, 2 log, 3 probe
    std::array<int, 4> m_left {};
    int m_open = DetailsPanel;
    int m_awaiting = NoPanel; // a panel closed for want of a selection, open again with the next one
};
