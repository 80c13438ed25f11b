// The main window's construction, its controls and their wiring, and the engine's calls into the window.
#include "mainwindow/MainWindow.h"

#include "app/MonitorCore.h"
#include "app/StatusDump.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/AlarmPresenter.h"
#include "mainwindow/DeviceCommands.h"
#include "mainwindow/DeviceKindMenu.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/NetworkView.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/PlainText.h"
#include "mainwindow/Theme.h"
#include "mainwindow/TimelineStrip.h"
#include "mainwindow/WatchMenu.h"
#include "mainwindow/WavePlayer.h"
#include "mainwindow/WindowMenu.h"
#include "notify/AlertMails.h"
#include "platform/DebugSink.h"
#include "platform/FileMask.h"
#include "settings/SettingsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>

using namespace Geometry;

namespace {

// A panel's light sheet; the panel around it clips it while it slides.
class Sheet final : public QWidget
{
public:
    explicit Sheet(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("sheet"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::Line, 1.0));
        p.setBrush(Theme::Sheet);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

QLabel* makeLabel(QWidget* parent, const QRect& place, const QFont& font, const QString& colour,
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* label = new QLabel(parent);
    label->setGeometry(place);
    label->setFont(font);
    label->setAlignment(align);
    label->setTextFormat(Qt::PlainText); // some show device names: never a guessed format
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colour));
    return label;
}

// xdg-open reports success for a local page even when no program takes HTML, and then nothing appears: the
// desktop is asked first, so the window can say where the page is instead. Where xdg-mime cannot be asked,
// the opening itself decides.
bool htmlHandlerKnown()
{
    QProcess query;
    query.start(
        QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForStarted(2000) || !query.waitForFinished(3000))
        return true;
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

MainWindow::Services MainWindow::desktopServices()
{
    Services s;
    s.openUrl = [](const QUrl& url) {
        if (url.isLocalFile() && !htmlHandlerKnown())
            return false;
        return FileMask::withUserMask([&] { return QDesktopServices::openUrl(url); });
    };
    s.critical = [](const QString& message) { PlainText::critical(message); };
    s.quit = [] { QCoreApplication::exit(0); };
    s.makeProbe = [] { return std::make_unique<TcpReachabilityProbe>(); };
    s.launch = [](const QString& program, const QStringList& arguments) {
        return FileMask::withUserMask([&] { return QProcess::startDetached(program, arguments); });
    };
    s.confirm = [](const QString& question) { return PlainText::confirm(question); };
    return s;
}

MainWindow::MainWindow(MonitorCore& core, Services services, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
    , m_services(std::move(services))
{
    // Places and sizes follow the desktop's font size, taken when the window is made, as far as the screen
    // holds the window's least size: beyond that the window keeps to the screen and its text gives way.
    qreal unit = Geometry::unitFor(QApplication::font());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect work = screen->availableGeometry();
        const int chrome = 2 * QFontMetrics(QApplication::font()).height() + 8;
        unit =
            std::min({unit, (work.width() - 8) / qreal(DesignWidth), (work.height() - chrome) / qreal(MinimumHeight)});
    }
    Geometry::setUnit(unit);
    m_commands = new DeviceCommands(this);
    buildWindow();
    buildPanels();
    buildWelcome();
    setupGrids();
    layoutWindow();
    m_menus = new WindowMenu(*this, *m_commands);
    m_alarm =
        new AlarmPresenter({m_core, *this, *m_status, *intruderList(), TitleText(), [this] { return trayAvailable(); },
                               [this] { return m_loaded && !m_shuttingDown; }},
            this);
    connect(m_alarm, &AlarmPresenter::poppedUpFor, this, &MainWindow::alertPoppedUp);
    connect(m_alarm, &AlarmPresenter::showRequested, this, &MainWindow::showDevice);
    connect(m_alarm, &AlarmPresenter::acknowledgeRequested, this, &MainWindow::acknowledgeDevice);
    wireControls();
    m_panelStage->updateTabs();

    m_tmr100ms.setInterval(33);
    m_tmr333ms.setInterval(333);
    m_closeTimer.setInterval(2000);
    m_closeTimer.setSingleShot(true);
    connect(&m_tmr100ms, &QTimer::timeout, this, &MainWindow::animationTick);
    connect(&m_tmr333ms, &QTimer::timeout, this, &MainWindow::alarmTick);
    connect(&m_closeTimer, &QTimer::timeout, this, &MainWindow::CloseTimer_Timer);
    m_tmr100ms.start();
    m_tmr333ms.start();
}

MainWindow::~MainWindow()
{
    m_core.deviceLog().setEntryHook({});
    // The engine calls this window; it must be stopped before the window goes.
    m_core.shutdown();
}

void MainWindow::buildWindow()
{
    setObjectName(QStringLiteral("MainWindow"));
    // As wide as the design, as tall as the screen allows: the lists and panels take the height there is.
    setMinimumSize(s(DesignWidth), s(MinimumHeight));
    setMaximumWidth(s(DesignWidth));
    fitToScreen();
    setWindowTitle(TitleText());
    setStyleSheet(Theme::styleSheet());
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_deviceLists = new DeviceLists(m_core, m_pictures, this);

    m_status = new PictureBox(m_pictures, this);
    m_status->setObjectName(QStringLiteral("statusPicture"));
    m_status->setGeometry(s(Status));
    m_status->setPicture(Pic::StatusNormal);

    // Created in Tab order: the lists first, then the buttons from left to right.
    const struct
    {
        Button id;
        Pic normal;
        Pic down;
        QRect place;
        const char* name;
        const char* title;
        const char* tip;
    } buttons[] = {
        {Button::RemoveIntruder, Pic::RemoveIntruderNormal, Pic::RemoveIntruderDown, RemoveIntruder, "remove0Picture",
            "Remove intruder", "Remove the selected intruder (only while it is offline)"},
        {Button::MoveToAllowed, Pic::MoveToAllowedNormal, Pic::MoveToAllowedDown, MoveToAllowed, "allowedPicture",
            "Move to safe list", "Move the selected intruder to the safe list"},
        {Button::Details, Pic::DetailsSelectedNormal, Pic::DetailsSelectedDown, DetailsTab, "detailsButtonPicture",
            "Details", "Details of the selected device (Ctrl+D)"},
        {Button::Log, Pic::LogUnSelectedNormal, Pic::LogUnSelectedDown, LogTab, "logButtonPicture", "Log",
            "Event log of the selected device (Ctrl+L)"},
        {Button::Probe, Pic::ProbeUnSelectedNormal, Pic::ProbeUnSelectedDown, ProbeTab, "probeButtonPicture", "Probe",
            "Probe the selected device (Ctrl+P)"},
        {Button::MoveToIntruder, Pic::MoveToIntruderNormal, Pic::MoveToIntruderDown, MoveToIntruder, "intruderPicture",
            "Move to intruders", "Move the selected device back to the intruder list"},
        {Button::RemoveAllowed, Pic::RemoveAllowedNormal, Pic::RemoveAllowedDown, RemoveAllowed, "remove1Picture",
            "Remove safe device", "Remove the selected safe device (only while it is offline)"},
        {Button::Settings, Pic::SettingsNormal, Pic::SettingsDown, Settings, "settingsPicture", "Settings",
            "Open the settings: alerts, e-mail, start-up and the debug log"},
        {Button::Help, Pic::HelpNormal, Pic::HelpDown, Help, "helpPicture", "Help",
            "Open the help page in the browser (F1)"},
    };
    for (const auto& b : buttons) {
        auto* button = new SkinButton(m_pictures, b.normal, b.down, this);
        button->setObjectName(QLatin1String(b.name));
        m_buttonPlaces[size_t(b.id)] = b.place;
        button->setToolTip(QLatin1String(b.tip));
        button->setAccessibleName(QLatin1String(b.title));
        button->setAccessibleDescription(QLatin1String(b.tip));
        m_buttons[size_t(b.id)] = button;
    }

    buildTopBar();

    m_selectedDetailsLabel =
        makeLabel(this, s(Caption), Theme::font(13, true), QStringLiteral("#EAF0F7"), Qt::AlignCenter);
    m_selectedDetailsLabel->setObjectName(QStringLiteral("selectedDetailsLabel"));
    m_selectedDetailsLabel->hide();

    m_stage = new QWidget(this);
    m_stage->setObjectName(QStringLiteral("stage"));
    m_stageHint = makeLabel(m_stage, QRect(), Theme::font(12), QStringLiteral("#5E7188"), Qt::AlignCenter);
    m_stageHint->setWordWrap(true);
    m_stageHint->setText(QStringLiteral("The selected device's details, log\nand probe open here.\n\n"
                                        "Ctrl+D  \u00B7  Ctrl+L  \u00B7  Ctrl+P"));

    // Tab goes through each list and the buttons below it, then the top bar; the intruder list starts with
    // the focus, so no first key press lands on a button that sends the window away.
    QWidget* order[] = {intruderList(), button(Button::RemoveIntruder), button(Button::MoveToAllowed),
        button(Button::Details), button(Button::Log), button(Button::Probe), allowedList(),
        button(Button::MoveToIntruder), button(Button::RemoveAllowed), m_windowMenuButton, m_donate,
        button(Button::Settings), button(Button::Help)};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    intruderList()->setFocus(Qt::OtherFocusReason);

    m_buttonPicture = new PictureBox(m_pictures, this);
    m_buttonPicture->setObjectName(QStringLiteral("buttonPicture"));
    m_buttonPicture->setPicture(Pic::Button);
    m_buttonPicture->resize(s(Notice.width()), s(Notice.height()));
    m_buttonPicture->hide();
    m_buttonLabel =
        makeLabel(m_buttonPicture, QRect(), Theme::font(13, true), QStringLiteral("#EAF0F7"), Qt::AlignCenter);
    m_buttonLabel->setObjectName(QStringLiteral("buttonLabel"));
}

void MainWindow::buildPanels()
{
    m_panelStage = std::make_unique<PanelStage>(
        *m_stage, std::array {button(Button::Details), button(Button::Log), button(Button::Probe)});
    auto* details = new Sheet(m_panelStage->panel(DetailsPanel));
    m_sheets[DetailsPanel] = details;
    m_fgDetails = new QTableWidget(details);
    m_fgDetails->setObjectName(QStringLiteral("fgDetails"));
    auto* nameHint =
        makeLabel(details, QRect(), Theme::font(11), QStringLiteral("#9DB1C8"), Qt::AlignLeft | Qt::AlignTop);
    nameHint->setObjectName(QStringLiteral("nameHint"));
    m_nameHint = nameHint;
    nameHint->setWordWrap(true);
    nameHint->setText(QStringLiteral("Type a friendly name in the table: it is saved as you type and shown "
                                     "in the list instead of the host name."));
    // The device's presence below its details (layoutSheets places it, Display_Details fills it).
    new TimelineStrip(details);

    auto* log = new Sheet(m_panelStage->panel(LogPanel));
    m_sheets[LogPanel] = log;
    m_fgLog = new QTableWidget(log);
    m_fgLog->setObjectName(QStringLiteral("fgLog"));

    auto* probe = new Sheet(m_panelStage->panel(ProbePanelState));
    m_sheets[ProbePanelState] = probe;
    // The probe's page keeps its height; a shorter window scrolls it.
    m_probeScroll = new QScrollArea(probe);
    m_probeScroll->setObjectName(QStringLiteral("probeScroll"));
    m_probeScroll->setFrameShape(QFrame::NoFrame);
    m_probeScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_probeScroll->setStyleSheet(
        QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
    m_probe = new ProbePanel;
    m_probeScroll->setWidget(m_probe);
    m_probe->setObjectName(QStringLiteral("probePanel"));
    m_probe->setProbeFactory(m_services.makeProbe);

    m_friendlyNameEdit = new QLineEdit(m_fgDetails->viewport());
    m_friendlyNameEdit->setObjectName(QStringLiteral("friendlyNameEdit"));
    m_friendlyNameEdit->setPlaceholderText(QStringLiteral("name this device"));
    m_friendlyNameEdit->setToolTip(QStringLiteral("The friendly name, saved as you type"));
    PlainText::acceptNamesOnly(m_friendlyNameEdit);
    m_friendlyNameEdit->hide();
}

// Start-up step 6: the two grids and the friendly-name box.
void MainWindow::setupGrids()
{
    const auto grid = [this](QTableWidget* table, const QString& first, int firstTwips, const QString& second,
                          int secondTwips) {
        table->setColumnCount(2);
        table->setRowCount(0);
        table->setHorizontalHeaderLabels({first, second});
        table->setColumnWidth(0, px(firstTwips));
        table->setColumnWidth(1, px(secondTwips));
        table->horizontalHeader()->setFont(Theme::font(11, true));
        table->horizontalHeader()->setFixedHeight(headerHeight());
        table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        table->horizontalHeader()->setHighlightSections(false);
        table->verticalHeader()->hide();
        table->verticalHeader()->setMinimumSectionSize(gridRowHeight(1));
        table->verticalHeader()->setDefaultSectionSize(gridRowHeight(1));
        table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionMode(QAbstractItemView::NoSelection);
        table->setFocusPolicy(Qt::NoFocus);
        table->setWordWrap(false);
        table->setShowGrid(false);
        // A narrower face keeps dates whole in the fixed column widths.
        QFont cells = Theme::font(11);
        cells.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
        table->setFont(cells);
    };
    grid(m_fgLog, QStringLiteral("Date/Time"), 1740, QStringLiteral("Event"), 2460);
    grid(m_fgDetails, QStringLiteral("Detail"), 1410, QStringLiteral("Value"), 2790);
    m_fgLog->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_fgDetails->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_fgDetails->setWordWrap(true);
}

void MainWindow::wireControls()
{
    DeviceLists* lists = m_deviceLists;
    connect(lists, &DeviceLists::listsChanged, this, &MainWindow::listsChanged);
    connect(lists, &DeviceLists::selectionChanged, this, &MainWindow::listSelectionChanged);
    connect(lists, &DeviceLists::keyCommand, this, &MainWindow::listKey);
    connect(lists, &DeviceLists::rowRightReleased, this,
        [this](int list, qint32 row, const QPoint& at) { openDeviceMenu(list == 0, row, at); });
    connect(lists, &DeviceLists::ackClicked, this, &MainWindow::acknowledgeRow);
    // The buttons under the lists and the lists' menus are one set of commands.
    DeviceCommands::bind(button(Button::MoveToAllowed), m_commands->moveToSafe());
    DeviceCommands::bind(button(Button::MoveToIntruder), m_commands->moveToIntruders());
    DeviceCommands::bind(button(Button::RemoveIntruder), m_commands->remove(0));
    DeviceCommands::bind(button(Button::RemoveAllowed), m_commands->remove(1));
    connect(m_commands->acknowledge(), &QAction::triggered, this, &MainWindow::acknowledgeSelected);
    connect(m_commands->moveToSafe(), &QAction::triggered, this, &MainWindow::allowedClicked);
    connect(m_commands->moveToIntruders(), &QAction::triggered, this, &MainWindow::intruderClicked);
    connect(m_commands->remove(0), &QAction::triggered, this, [this] { removeClicked(0); });
    connect(m_commands->remove(1), &QAction::triggered, this, [this] { removeClicked(1); });
    connect(button(Button::Details), &SkinButton::clicked, this, &MainWindow::detailsButtonClicked);
    connect(button(Button::Log), &SkinButton::clicked, this, &MainWindow::logButtonClicked);
    connect(button(Button::Probe), &SkinButton::clicked, this, &MainWindow::probeButtonClicked);
    connect(button(Button::Help), &SkinButton::clicked, this, &MainWindow::helpClicked);
    connect(button(Button::Settings), &SkinButton::clicked, this, &MainWindow::settingsClicked);
    connect(this, &MainWindow::intruderMenuRequested, m_menus,
        [this](const QString&, const QPoint& at, bool ack) { m_menus->popupIntruderMenu(at, ack); });
    connect(this, &MainWindow::allowedMenuRequested, m_menus,
        [this](const QString&, const QPoint& at) { m_menus->popupAllowedMenu(at); });
    new WatchMenu(*this, *m_menus);
    new DeviceKindMenu(*this, *m_menus);
    // Only the user's edits are stored: the details' own refresh writes the box with setText, which is no edit.
    connect(m_friendlyNameEdit, &QLineEdit::textEdited, this, &MainWindow::friendlyNameEdited);

    // The window takes its control keys before any of its controls (the name box included).
    const struct
    {
        Qt::Key key;
        int code;
    } keys[] = {{Qt::Key_D, 4}, {Qt::Key_L, 12}, {Qt::Key_P, 16}, {Qt::Key_R, 18}};
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | k.key), this);
        shortcut->setContext(Qt::WindowShortcut);
        const int code = k.code;
        connect(shortcut, &QShortcut::activated, this, [this, code] { Form_KeyPress(code); });
    }

    m_core.deviceLog().setEntryHook([this](const QString& mac, const QString& text) { logGridAppend(mac, text); });
}

SkinButton* MainWindow::button(Button which) const
{
    return m_buttons[size_t(which)];
}

QString MainWindow::TitleText() const
{
    return QStringLiteral("Kestrelwatch v%1.%2.%3").arg(KW_VERSION_MAJOR).arg(KW_VERSION_MINOR).arg(KW_VERSION_PATCH);
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.setClipRegion(event->region());
    if (m_pictures.has(Pic::Background)) {
        // In three bands: the top and bottom keep their proportions, the middle (the lists) stretches to the
        // window's height.
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPixmap& back = m_pictures[Pic::Background];
        const qreal k = back.height() / qreal(DesignHeight);
        const qreal sourceEdges[] = {0, TopBand * k, (DesignHeight - BottomBand) * k, qreal(back.height())};
        const qreal edges[] = {0, qreal(s(TopBand)), qreal(height() - s(BottomBand)), qreal(height())};
        for (int band = 0; band < 3; ++band)
            p.drawPixmap(QRectF(0, edges[band], width(), edges[band + 1] - edges[band]), back,
                QRectF(0, sourceEdges[band], back.width(), sourceEdges[band + 1] - sourceEdges[band]));
    } else {
        Theme::paintFallback(p, QRectF(rect()), Pic::Background);
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The close box only puts the window away: the monitor and its tray icon keep running.
    event->ignore();
    m_alarm->hideToTray();
    Sound_MouseClick();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_D:
            Form_KeyPress(4);
            return;
        case Qt::Key_L:
            Form_KeyPress(12);
            return;
        case Qt::Key_P:
            Form_KeyPress(16);
            return;
        case Qt::Key_R:
            Form_KeyPress(18);
            return;
        case Qt::Key_Q:
            // The Exit action's shortcut only fires in the active window; without a window manager the
            // window takes the keys under the pointer without ever becoming active.
            exitClicked();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::Form_KeyPress(int keyAscii)
{
    switch (keyAscii) {
    case 4:
        detailsButtonClicked();
        break;
    case 12:
        logButtonClicked();
        break;
    case 16:
        probeButtonClicked();
        break;
    case 18:
        Load_Pictures();
        break;
    default:
        break;
    }
}

// --- the engine's events and the policy's alerts

void MainWindow::deviceEvent(const DeviceEvent& event)
{
    // The model redraws, adds, removes and reorders rows; the selection models keep the chosen devices through
    // all of it, save those that left their list.
    // What the panels show is the selection as it was: the table may have changed under the model already.
    const QStringList keep = m_shownMacs;
    const QString current = m_shownMac;
    const bool keptInAllowed = SelectionInAllowed();
    const qint32 keptRow = m_deviceLists->view(keptInAllowed ? 1 : 0)->currentIndex().row();
    m_deviceLists->model().deviceEvent(event);
    using K = DeviceEvent::Kind;
    // An open Network view follows the lists.
    if (event.kind == K::Admitted || event.kind == K::Moved || event.kind == K::Removed || event.kind == K::Renamed) {
        if (auto* view = findChild<NetworkView*>())
            view->reload();
    }
    m_alarm->deviceEvent(event);
    // Nothing chosen stays so: a newcomer takes the selection only when the window pops up for it (its alert),
    // so that no action is ever offered on a device the user has not chosen.
    if (keep.isEmpty())
        return;
    if (selectedMacs() == keep && selectedMac() == current) {
        // Any chosen device's change may change what the buttons offer; only the current one's details show.
        if (keep.contains(event.mac))
            setListButtons();
        if (event.mac == current) {
            Display_Details();
            refreshProbe();
        }
        return;
    }
    // Some of the selection left its list (a move, a removal, another front's change): the current device is
    // followed wherever it stands, with those of the others that stand beside it; a selection that is gone
    // entirely passes to the row where it was, else to the other list.
    QStringList survivors;
    if (m_core.devices().contains(current))
        survivors << current;
    for (const QString& mac : keep) {
        if (mac != current && m_core.devices().contains(mac))
            survivors << mac;
    }
    if (selectMacs(survivors) == 0) {
        const qint32 rows = m_deviceLists->rowCount(keptInAllowed ? 1 : 0);
        if (rows > 0)
            m_deviceLists->selectRow(keptInAllowed, qBound(0, keptRow, rows - 1));
        else if (m_deviceLists->rowCount(keptInAllowed ? 0 : 1) > 0)
            m_deviceLists->selectRow(!keptInAllowed, 0);
        else
            clearSelection();
    }
    Set_Selection();
}

void MainWindow::ShowStatus()
{
    // Called after each sweep's harvest: from the first on, the lamp may say "all clear".
    m_alarm->sweepEnded();
    if (const DiscoveryEngine* engine = m_core.engine()) {
        // The lists follow the networks the monitor is on.
        m_deviceLists->networksSeen(engine->networksInView());
        m_statusEdit = statusDump(*engine, int(m_core.devices().size()), IntruderRowCount(), AllowedRowCount(),
            SelectionInAllowed(), SelectedRow());
    }
}

void MainWindow::Log(const QString& text)
{
    ::Log(kwWindow, text);
}

bool MainWindow::openPage(const QString& file)
{
    const QUrl url = QUrl::fromLocalFile(m_core.paths().site() + file);
    if (m_services.openUrl && m_services.openUrl(url))
        return true;
    ::Log(kwWindow, QStringLiteral("openPage - %1 was not opened").arg(url.toString()));
    return false;
}

void MainWindow::placeWindow()
{
    fitToScreen();
    Centre();
}
