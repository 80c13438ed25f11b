// The window's layout for its height and the desktop's font: the bands, the lists, the stage and its sheets.
#include "mainwindow/MainWindow.h"

#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/ProbePanel.h"
#include "mainwindow/Theme.h"
#include "mainwindow/TimelineStrip.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>

using namespace Geometry;

int MainWindow::headerHeight() const
{
    return qMax(s(22), QFontMetrics(Theme::font(11, true)).height() + s(6));
}

int MainWindow::gridRowHeight(int lines) const
{
    QFont cells = Theme::font(11);
    cells.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    const int line = QFontMetrics(cells).lineSpacing();
    return qMax(s(lines == 1 ? 20 : 34), lines * line + s(6));
}

// The window's height is shared out: the top and bottom bands keep theirs, the lists, their scroll bars and the
// stage of the panels take the rest.
void MainWindow::layoutWindow()
{
    const int bandTop = s(TopBand);
    // The lists under their filter boxes; the stage beside them takes the whole height.
    m_deviceLists->layout(bandTop, height() - s(BottomBand));
    const int stageHeight = qMax(s(3 * ScrollRow), height() - bandTop - s(BottomBand));
    m_stage->setGeometry(s(Stage.x()), bandTop, s(Stage.width()), stageHeight);
    const int hintHeight = qMin(stageHeight, s(110));
    m_stageHint->setGeometry(s(16), (stageHeight - hintHeight) / 2, s(Stage.width() - 32), hintHeight);
    m_welcome->setGeometry(s(16), 0, s(Stage.width() - 32), stageHeight);
    for (size_t b = 0; b < m_buttons.size(); ++b) {
        QRect place = s(m_buttonPlaces[b]);
        // The bottom row keeps its distance from the window's bottom edge.
        if (m_buttonPlaces[b].y() > TopBand)
            place.moveTop(height() - s(DesignHeight - m_buttonPlaces[b].y()));
        m_buttons[b]->setGeometry(place);
    }
    for (int p = DetailsPanel; p <= ProbePanelState; ++p)
        m_sheets[size_t(p)]->setGeometry(0, 0, px(PanelOpenWidth), stageHeight);
    m_panelStage->placeAll();
    layoutSheets();
    if (m_loaded)
        Set_ListSizes();
}

void MainWindow::layoutSheets()
{
    const int sheetHeight = m_stage->height();
    // The details grid is as tall as its rows; the hint below it shows where there is room for it.
    int gridHeight = headerHeight() + 2;
    for (int r = 0; r < m_fgDetails->rowCount(); ++r)
        gridHeight += m_fgDetails->rowHeight(r);
    if (m_fgDetails->rowCount() == 0)
        gridHeight += 3 * gridRowHeight(2) + 7 * gridRowHeight(1);
    const int hintHeight = m_nameHint->heightForWidth(s(284));
    auto* strip = m_sheets[DetailsPanel]->findChild<TimelineStrip*>();
    const int stripHeight = strip->sizeHint().height();
    strip->setGeometry(s(34), sheetHeight - s(12) - stripHeight, s(284), stripHeight);
    const int room = sheetHeight - s(18) - s(12) - stripHeight - s(8);
    const bool hint = gridHeight + s(12) + hintHeight <= room;
    m_fgDetails->setGeometry(s(34), s(18), s(284), qMin(gridHeight, room));
    m_nameHint->setGeometry(s(34), s(18) + gridHeight + s(12), s(284), hintHeight);
    m_nameHint->setVisible(hint);
    m_fgLog->setGeometry(s(30), s(18), s(292), sheetHeight - s(36));
    m_probeScroll->setGeometry(0, s(4), px(PanelOpenWidth), sheetHeight - s(8));
    m_probe->resize(m_probeScroll->viewport()->width(), m_probe->sizeHint().height());
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutWindow();
}

void MainWindow::fitToScreen()
{
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    int tallest = s(DesignHeight);
    if (shown) {
        // Room for the title bar a window manager adds, known only once the window has been shown.
        const int chrome = qMax(frameGeometry().height() - height(), 2 * fontMetrics().height() + 8);
        tallest = qMin(tallest, shown->availableGeometry().height() - chrome);
    }
    resize(s(DesignWidth), qMax(minimumHeight(), tallest));
}
