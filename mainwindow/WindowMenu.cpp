#include "mainwindow/WindowMenu.h"

#include "app/MonitorCore.h"
#include "devicefile/DeviceExport.h"
#include "mainwindow/DeviceCommands.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NetworkView.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/PlainText.h"
#include "mainwindow/Theme.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QToolButton>

namespace DeviceFiles {

QString exportTo(MonitorCore& core, const QString& fileName)
{
    const bool csv = fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    // Memory holds where each device is now; the presence file its intervals, the open ones ending now.
    const QString text = DeviceExport::exportText(
        core.devices(), csv ? DeviceExport::Format::Csv : DeviceExport::Format::Json, core.presence());
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return QStringLiteral("The devices could not be exported to %1: %2").arg(fileName, file.errorString());
    return {};
}

QString exportName(const QString& typed, bool csvFilter)
{
    if (typed.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
        || typed.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return typed;
    return typed + (csvFilter ? QStringLiteral(".csv") : QStringLiteral(".json"));
}

Checked check(MonitorCore& core, const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("%1 cannot be read: %2").arg(fileName, file.errorString())};
    const DeviceExport::Parsed parsed = DeviceExport::parse(file);
    if (!parsed.fault.isEmpty())
        return {QStringLiteral("%1 is refused, nothing was imported:\n%2").arg(fileName, parsed.fault)};
    Checked checked;
    for (const DeviceExport::Imported& device : parsed.devices)
        checked.known += core.devices().contains(device.record.MacAddress) ? 1 : 0;
    return checked;
}

Report importFrom(MonitorCore& core, const QString& fileName, bool replace)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {false, QStringLiteral("%1 cannot be read: %2").arg(fileName, file.errorString())};
    const DeviceExport::Parsed parsed = DeviceExport::parse(file);
    if (!parsed.fault.isEmpty())
        return {false, QStringLiteral("%1 is refused, nothing was imported:\n%2").arg(fileName, parsed.fault)};
    DeviceActions& actions = core.actions();
    DeviceStore& devices = core.devices();
    const OriginScope origin(actions, DeviceEvent::Origin::Import); // each device's history says so
    DeviceExport::Adopt adopt;
    adopt.added = [&](const DeviceRecord& record) {
        DeviceRecord d = record;
        d.NameLookupPending = true;
        actions.adoptAdded(d);
    };
    adopt.replaced = [&](const DeviceRecord& d) {
        actions.adoptStored(d.MacAddress, d.FriendlyName, d.Intruder, d.NewDevice, d.Watch);
        actions.adoptFacts(d.MacAddress, d);
        actions.adoptNote(d.MacAddress, d.Note);
    };
    const DeviceExport::Merged merged = DeviceExport::merge(devices, parsed.devices, replace, core.presence(), adopt);
    if (!merged.refused.isEmpty())
        return {false, QStringLiteral("%1 is refused, nothing was imported:\n%2").arg(fileName, merged.refused)};
    if (!merged.stored)
        return {false, QStringLiteral("The store could not be written; nothing was imported.")};
    QString text = QStringLiteral("%1: %2.").arg(fileName, DeviceExport::summary(merged));
    if (!merged.presenceError.isEmpty())
        text += QStringLiteral("\nThe devices were imported, but %1.").arg(merged.presenceError);
    return {merged.presenceError.isEmpty(), text};
}

} // namespace DeviceFiles

namespace {

void askExport(QWidget* window, MonitorCore& core)
{
    const QString json = QStringLiteral("JSON (*.json)");
    const QString csv = QStringLiteral("CSV (*.csv)");
    QString filter = json;
    QString name = QFileDialog::getSaveFileName(window, QStringLiteral("Export devices"),
        QDir::home().filePath(QStringLiteral("kestrelwatch-devices.json")), json + QStringLiteral(";;") + csv, &filter);
    if (name.isEmpty())
        return;
    name = DeviceFiles::exportName(name, filter == csv);
    const QString failure = DeviceFiles::exportTo(core, name);
    if (!failure.isEmpty())
        PlainText::critical(failure);
}

void askImport(QWidget* window, MonitorCore& core)
{
    QString name = QFileDialog::getOpenFileName(window, QStringLiteral("Import devices"), QDir::homePath(),
        QStringLiteral("Device exports (*.json *.csv);;All files (*)"));
    if (name.isEmpty())
        return;
    // The file is checked whole first: a refused one is said at once, and only devices the store knows already
    // raise the question whose names and lists win.
    const DeviceFiles::Checked checked = DeviceFiles::check(core, name);
    if (!checked.refusal.isEmpty()) {
        PlainText::critical(checked.refusal);
        return;
    }
    int choice = 0;
    if (checked.known > 0) {
        choice = PlainText::choose(QStringLiteral("%1 of the file's devices are known already and keep their names "
                                                  "and lists. Should the file's names and lists replace theirs?")
                                       .arg(checked.known),
            {QStringLiteral("Keep names"), QStringLiteral("Replace names"), QStringLiteral("Cancel")});
        if (choice < 0 || choice > 1)
            return;
    }
    const DeviceFiles::Report report = DeviceFiles::importFrom(core, name, choice == 1);
    if (report.ok)
        PlainText::inform(report.text);
    else
        PlainText::critical(report.text);
}

} // namespace

WindowMenu::WindowMenu(MainWindow& window, const DeviceCommands& commands)
    : QObject(&window)
    , m_window(window)
{
    setObjectName(QStringLiteral("WindowMenu"));
    const auto menu = [&window](const char* name) {
        auto* m = new QMenu(&window);
        m->setObjectName(QLatin1String(name));
        m->setTitle(QLatin1String(name));
        return m;
    };
    const auto item = [](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };

    m_intruderMenu = menu("IntruderMenu");
    m_intruderAck = commands.acknowledge();
    m_removeIntruder = commands.remove(0);
    m_intruderMenu->addActions({m_intruderAck, commands.moveToSafe(), m_removeIntruder});
    m_programs.append(m_intruderMenu->addSeparator());

    m_allowedMenu = menu("AllowedMenu");
    m_removeAllowed = commands.remove(1);
    m_allowedMenu->addActions({commands.moveToIntruders(), m_removeAllowed});
    m_programs2.append(m_allowedMenu->addSeparator());

    m_toolTipMenu = menu("ToolTip");
    m_exit = item(m_toolTipMenu, "exitAction", QStringLiteral("Exit"));

    connect(m_exit, &QAction::triggered, &window, &MainWindow::exitClicked);
    setSeparatorsVisible(false);
}

WindowMenu::~WindowMenu() = default;

void WindowMenu::clearPrograms()
{
    while (m_programs.size() > 1)
        delete m_programs.takeLast();
    while (m_programs2.size() > 1)
        delete m_programs2.takeLast();
}

void WindowMenu::addProgram(int index, const QString& caption)
{
    QAction* a = m_intruderMenu->addAction(caption);
    a->setObjectName(QStringLiteral("programsAction%1").arg(index));
    connect(a, &QAction::triggered, &m_window, [this, index] { m_window.programsClicked(index); });
    m_programs.append(a);
    QAction* b = m_allowedMenu->addAction(caption);
    b->setObjectName(QStringLiteral("programs2Action%1").arg(index));
    connect(b, &QAction::triggered, &m_window, [this, index] { m_window.programs2Clicked(index); });
    m_programs2.append(b);
}

void WindowMenu::setSeparatorsVisible(bool visible)
{
    m_programs.first()->setVisible(visible);
    m_programs2.first()->setVisible(visible);
}

void WindowMenu::popupIntruderMenu(const QPoint& globalPos, bool acknowledgeVisible)
{
    m_intruderAck->setVisible(acknowledgeVisible);
    popup(m_intruderMenu, globalPos);
}

void WindowMenu::popupAllowedMenu(const QPoint& globalPos)
{
    popup(m_allowedMenu, globalPos);
}

bool WindowMenu::deviceMenuOpen() const
{
    return m_intruderMenu->isVisible() || m_allowedMenu->isVisible();
}

void WindowMenu::popupToolTip(const QPoint& globalPos)
{
    popup(m_toolTipMenu, globalPos);
}

void WindowMenu::popup(QMenu* menu, const QPoint& globalPos)
{
    m_lastPopup = menu;
    if (m_popups)
        menu->popup(globalPos);
}

// The top bar's window menu (what the tray menu offers, for desktops without a notification area) and the
// Donate button, shown only when the installation names a donation page.
void MainWindow::buildTopBar()
{
    using namespace Geometry;
    m_windowMenuButton = new QToolButton(this);
    m_windowMenuButton->setObjectName(QStringLiteral("windowMenu"));
    m_windowMenuButton->setText(QStringLiteral("\u2630"));
    m_windowMenuButton->setPopupMode(QToolButton::InstantPopup);
    m_windowMenuButton->setToolTip(QStringLiteral("Menu (F10)"));
    m_windowMenuButton->setAccessibleName(QStringLiteral("Menu"));
    m_windowMenuButton->setAccessibleDescription(
        QStringLiteral("Settings, help, About, the network's presence, export and import of devices, and Exit"));
    auto* windowMenu = new QMenu(m_windowMenuButton);
    windowMenu->setObjectName(QStringLiteral("windowAction"));
    windowMenu->addAction(QStringLiteral("Settings\u2026"), this, &MainWindow::settingsClicked);
    QAction* help = windowMenu->addAction(QStringLiteral("Help"), this, &MainWindow::helpClicked);
    help->setObjectName(QStringLiteral("windowHelpAction"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::WindowShortcut);
    addAction(help);
    windowMenu->addAction(QStringLiteral("About Kestrelwatch"), this, &MainWindow::showAbout)
        ->setObjectName(QStringLiteral("windowAboutAction"));
    QAction* network = windowMenu->addAction(
        QStringLiteral("Network\u2026"), this, [this] { showNetworkView(this, m_core.devices(), m_core.presence()); });
    network->setObjectName(QStringLiteral("networkAction"));
    network->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    network->setShortcutContext(Qt::WindowShortcut);
    addAction(network);
    windowMenu->addAction(QStringLiteral("Trust everything here now\u2026"), this, &MainWindow::trustEverythingHere)
        ->setObjectName(QStringLiteral("trustAllAction"));
    m_undoTrustAction = windowMenu->addAction(QStringLiteral("Undo trust"), this, &MainWindow::undoTrust);
    m_undoTrustAction->setObjectName(QStringLiteral("undoTrustAction"));
    m_undoTrustAction->setEnabled(false);
    windowMenu->addAction(QStringLiteral("Export devices\u2026"), this, [this] { askExport(this, m_core); })
        ->setObjectName(QStringLiteral("exportAction"));
    windowMenu->addAction(QStringLiteral("Import devices\u2026"), this, [this] { askImport(this, m_core); })
        ->setObjectName(QStringLiteral("importAction"));
    windowMenu->addSeparator();
    QAction* exit = windowMenu->addAction(QStringLiteral("Exit"), this, &MainWindow::exitClicked);
    exit->setObjectName(QStringLiteral("windowExitAction"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    exit->setShortcutContext(Qt::WindowShortcut);
    addAction(exit);
    m_windowMenuButton->setMenu(windowMenu);
    // F10 opens it from the keyboard, as it opens the main menu of most desktop programs.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    menuKey->setContext(Qt::WindowShortcut);
    connect(menuKey, &QShortcut::activated, m_windowMenuButton, &QToolButton::showMenu);

    m_donate = new QPushButton(QStringLiteral("Donate"), this);
    m_donate->setObjectName(QStringLiteral("donateButton"));
    m_donate->setFont(Theme::font(12, true));
    {
        // Right of the menu button, left of the settings button, as wide as its word needs.
        const int right = s(Settings.x() - 12);
        const int wide = qMax(s(72), m_donate->fontMetrics().horizontalAdvance(m_donate->text()) + s(28) + 4);
        const int high = qMax(s(24), m_donate->fontMetrics().height() + s(8));
        const int top = s(Settings.center().y()) - high / 2;
        m_donate->setGeometry(right - wide, top, wide, high);
        m_windowMenuButton->setFont(Theme::font(13));
        const QFontMetrics menu = m_windowMenuButton->fontMetrics();
        const int menuWide = qMax(s(32), menu.horizontalAdvance(m_windowMenuButton->text()) + s(12));
        m_windowMenuButton->setGeometry(
            right - wide - s(8) - menuWide, top, menuWide, qMax(high, menu.height() + s(4)));
    }
    m_donate->setFlat(true);
    m_donate->setAutoDefault(false);
    m_donate->setCursor(Qt::PointingHandCursor);
    m_donate->setToolTip(QStringLiteral("Support Kestrelwatch: opens the donation page"));
    m_donate->hide(); // until the installation names a donation page (Form_Load)
    m_donate->setAccessibleDescription(QStringLiteral("Opens the donation page in the browser"));
    m_donate->setStyleSheet(
        QStringLiteral("QPushButton { color: #9DB1C8; background: transparent; border: 1px solid #3A4B60; "
                       "border-radius: 4px; } QPushButton:hover { color: #EAF0F7; } "
                       "QPushButton:focus { border: 2px solid #FFE066; color: #EAF0F7; }"));
    connect(m_donate, &QPushButton::clicked, this, &MainWindow::donateClicked);
}
