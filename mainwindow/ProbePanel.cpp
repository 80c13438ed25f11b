#include "mainwindow/ProbePanel.h"

#include "mainwindow/Geometry.h"
#include "mainwindow/PlainText.h"
#include "mainwindow/Theme.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

using Geometry::s;

namespace {

// Row and header heights from the cells' font.
int rowHeight(const QFont& font)
{
    return qMax(s(20), QFontMetrics(font).height() + s(6));
}

int tableHeight(const QTableWidget* table)
{
    const int header = table->horizontalHeader()->isHidden() ? 0 : table->horizontalHeader()->height();
    int rows = 0;
    for (int r = 0; r < table->rowCount(); ++r)
        rows += table->rowHeight(r);
    return header + rows + 2;
}

QTableWidget* makeTable(QWidget* parent, int rows, const QStringList& headings, const QList<int>& widths)
{
    auto* table = new QTableWidget(rows, int(widths.size()), parent);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->verticalHeader()->hide();
    QFont cells = Theme::font(11);
    cells.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    table->verticalHeader()->setDefaultSectionSize(rowHeight(cells));
    table->verticalHeader()->setMinimumSectionSize(rowHeight(cells));
    table->horizontalHeader()->setFont(Theme::font(11, true));
    table->horizontalHeader()->setFixedHeight(qMax(s(22), QFontMetrics(Theme::font(11, true)).height() + s(6)));
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setWordWrap(false);
    table->setShowGrid(false);
    table->setFont(cells);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    if (headings.isEmpty())
        table->horizontalHeader()->hide();
    else
        table->setHorizontalHeaderLabels(headings);
    for (int c = 0; c < widths.size(); ++c)
        table->setColumnWidth(c, s(widths[c]));
    return table;
}

// Rows shaded like the window's other grids; a title cell is set in the quieter ink.
void setCell(QTableWidget* table, int row, int column, const QString& text, bool title = false)
{
    auto* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setBackground(row % 2 == 0 ? QColor(0x1A, 0x27, 0x39) : QColor(0x14, 0x20, 0x30));
        table->setItem(row, column, item);
    }
    item->setText(text);
    item->setToolTip(PlainText::toolTip(text));
    if (title)
        item->setForeground(QColor(0x9D, 0xB1, 0xC8));
}

} // namespace

ProbePanel::ProbePanel(QWidget* parent)
    : QWidget(parent)
{
    // The page is laid out from the top, each piece as tall as its font asks; the sheet scrolls it.
    const int left = s(16);
    const int wide = s(320);
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText); // the device's name
    m_title->setFont(Theme::font(14, true));
    m_title->setGeometry(left, s(10), wide, QFontMetrics(m_title->font()).height() + s(6));
    m_title->setStyleSheet(QStringLiteral("color: #EAF0F7;"));

    m_facts = makeTable(this, 5, {}, {100, 218});
    // The manufacturer and the dates take two lines, so that a long vendor or date is never cut.
    m_facts->setWordWrap(true);
    for (int r = 2; r < 5; ++r)
        m_facts->setRowHeight(r, QFontMetrics(m_facts->font()).lineSpacing() * 2 + s(6));
    m_facts->setGeometry(left, m_title->geometry().bottom() + s(4), wide, tableHeight(m_facts));
    const char* const titles[] = {"IP Address", "MAC Address", "Manufacturer", "First Seen", "Last Seen"};
    for (int r = 0; r < 5; ++r)
        setCell(m_facts, r, 0, QLatin1String(titles[r]), true);

    m_check = new QPushButton(QStringLiteral("Check now"), this);
    m_check->setFont(Theme::font(12, true));
    const QSize check = m_check->sizeHint().expandedTo(QSize(s(120), s(28)));
    m_summary = new QLabel(this);
    m_summary->setTextFormat(Qt::PlainText); // the device's stored address
    m_summary->setWordWrap(true);
    m_summary->setFont(Theme::font(11));
    const int summaryHeight = qMax(check.height(), 2 * QFontMetrics(m_summary->font()).lineSpacing() + s(4));
    const int checkTop = m_facts->geometry().bottom() + s(10);
    m_check->setGeometry(left, checkTop + (summaryHeight - check.height()) / 2, check.width(), check.height());
    m_check->setCursor(Qt::PointingHandCursor);
    m_check->setToolTip(QStringLiteral("Try a TCP connection to each listed port of this device"));
    connect(m_check, &QPushButton::clicked, this, [this] { startCheck(); });
    m_summary->setGeometry(left + check.width() + s(10), checkTop, wide - check.width() - s(10), summaryHeight);
    m_summary->setStyleSheet(QStringLiteral("color: #EAF0F7;"));

    m_ports = makeTable(this, int(ReachabilityProbe::commonServices().size()),
        {QStringLiteral("Service"), QStringLiteral("Port"), QStringLiteral("Result")}, {150, 46, 122});
    m_ports->setGeometry(left, checkTop + summaryHeight + s(8), wide, tableHeight(m_ports));
    for (int r = 0; r < m_ports->rowCount(); ++r) {
        const auto& service = ReachabilityProbe::commonServices()[r];
        setCell(m_ports, r, 0, service.name);
        setCell(m_ports, r, 1, QString::number(service.port));
        setCell(m_ports, r, 2, QString());
    }

    auto* note = new QLabel(this);
    note->setWordWrap(true);
    note->setFont(Theme::font(10));
    note->setStyleSheet(QStringLiteral("color: #9DB1C8;"));
    note->setText(QStringLiteral("The check connects only to this device's own address, on the ports above, each "
                                 "for at most %1 s. A refused connection still shows that the device answers.")
                      .arg(ReachabilityProbe::TimeoutMs / 1000.0, 0, 'f', 1));
    note->setGeometry(left, m_ports->geometry().bottom() + s(8), wide, note->heightForWidth(wide));
    m_naturalSize = QSize(s(352), note->geometry().bottom() + s(10));
    resize(m_naturalSize);
    showTarget();
}

ProbePanel::~ProbePanel() = default;

QSize ProbePanel::sizeHint() const
{
    return m_naturalSize;
}

void ProbePanel::setProbeFactory(ProbeFactory factory)
{
    m_factory = std::move(factory);
    showTarget();
}

void ProbePanel::setTarget(const std::optional<Target>& target)
{
    const bool sameDevice = target && m_target && target->mac == m_target->mac && target->ip == m_target->ip;
    m_target = target;
    if (!sameDevice) {
        if (m_probe)
            m_probe->cancel();
        m_checking = false;
        m_checkedIp.clear();
        clearResults();
    }
    showTarget();
}

bool ProbePanel::checkedCurrent() const
{
    return m_target && !m_checkedIp.isEmpty() && m_checkedIp == m_target->ip;
}

bool ProbePanel::startCheck()
{
    if (m_target && m_isLocal)
        m_target->local = m_isLocal(m_target->ip);
    if (!m_target || !m_target->local || !m_factory || m_target->ip.trimmed().isEmpty())
        return false;
    if (!m_probe) {
        m_probe = m_factory();
        if (!m_probe)
            return false;
        connect(m_probe.get(), &ReachabilityProbe::portChecked, this, &ProbePanel::portChecked);
        connect(m_probe.get(), &ReachabilityProbe::finished, this, &ProbePanel::checkFinished);
    }
    clearResults();
    QList<quint16> ports;
    for (const auto& service : ReachabilityProbe::commonServices()) {
        ports.append(service.port);
        setCell(m_ports, rowOfPort(service.port), 2, QStringLiteral("checking\u2026"));
    }
    m_checking = true;
    m_checkedIp = m_target->ip.trimmed();
    m_open = m_closed = 0;
    m_firstAnswerMs = -1;
    showTarget();
    m_probe->start(m_checkedIp, ports, ReachabilityProbe::TimeoutMs);
    return true;
}

int ProbePanel::rowOfPort(quint16 port) const
{
    const auto& services = ReachabilityProbe::commonServices();
    for (int r = 0; r < services.size(); ++r) {
        if (services[r].port == port)
            return r;
    }
    return -1;
}

void ProbePanel::portChecked(quint16 port, ReachabilityProbe::PortState state, int elapsedMs)
{
    const int row = rowOfPort(port);
    if (row < 0)
        return;
    QString text;
    QColor colour(0x9D, 0xB1, 0xC8);
    switch (state) {
    case ReachabilityProbe::PortState::Open:
        text = QStringLiteral("\u25CF open \u00B7 %1 ms").arg(elapsedMs);
        colour = QColor(0x3D, 0xD6, 0xA3);
        break;
    case ReachabilityProbe::PortState::Closed:
        text = QStringLiteral("\u25CB closed \u00B7 %1 ms").arg(elapsedMs);
        colour = QColor(0x9C, 0xCF, 0xFF);
        break;
    case ReachabilityProbe::PortState::Silent:
        text = QStringLiteral("\u2013 no answer");
        break;
    case ReachabilityProbe::PortState::Unreachable:
        text = QStringLiteral("\u2715 unreachable");
        colour = QColor(0xFF, 0xA6, 0x2B);
        break;
    }
    if (state == ReachabilityProbe::PortState::Open || state == ReachabilityProbe::PortState::Closed) {
        ++(state == ReachabilityProbe::PortState::Open ? m_open : m_closed);
        if (m_firstAnswerMs < 0 || elapsedMs < m_firstAnswerMs)
            m_firstAnswerMs = elapsedMs;
    }
    setCell(m_ports, row, 2, text);
    m_ports->item(row, 2)->setForeground(colour);
}

void ProbePanel::checkFinished()
{
    m_checking = false;
    showTarget();
}

void ProbePanel::clearResults()
{
    for (int r = 0; r < m_ports->rowCount(); ++r)
        setCell(m_ports, r, 2, QString());
    m_open = m_closed = 0;
    m_firstAnswerMs = -1;
}

QString ProbePanel::summary() const
{
    return m_summary->text();
}

void ProbePanel::showTarget()
{
    if (!m_target) {
        m_title->setText(QStringLiteral("No device selected"));
        for (int r = 0; r < 5; ++r)
            setCell(m_facts, r, 1, QString());
        m_check->setEnabled(false);
        m_summary->setText(QStringLiteral("Select a device to probe it."));
        return;
    }
    const Target& t = *m_target;
    // A long name gives way (elided); the whole name is the tip.
    m_title->setText(m_title->fontMetrics().elidedText(t.name, Qt::ElideRight, m_title->contentsRect().width()));
    m_title->setToolTip(PlainText::toolTip(t.name));
    setCell(m_facts, 0, 1, t.ip);
    setCell(m_facts, 1, 1, t.mac);
    setCell(m_facts, 2, 1, t.vendor.isEmpty() ? QStringLiteral("(not in the vendor registry)") : t.vendor);
    setCell(m_facts, 3, 1, t.firstSeen);
    setCell(m_facts, 4, 1, t.online ? QStringLiteral("Now (online)") : t.lastSeen);

    const int total = int(ReachabilityProbe::commonServices().size());
    m_check->setEnabled(t.local && m_factory && !m_checking);
    if (!m_factory)
        m_summary->setText(QStringLiteral("Reachability checks are not available here."));
    else if (!t.local)
        m_summary->setText(QStringLiteral("%1 lies outside the local ranges; it is not probed.").arg(t.ip));
    else if (m_checking)
        m_summary->setText(QStringLiteral("Checking %1 ports of %2\u2026").arg(total).arg(t.ip));
    else if (!checkedCurrent())
        m_summary->setText(QStringLiteral("Not checked yet."));
    else
        m_summary->setText(summaryText(m_open, m_closed, total, m_firstAnswerMs));
}

QString ProbePanel::summaryText(int open, int closed, int total, int firstMs)
{
    if (open + closed == 0)
        return QStringLiteral("No answer within %1 s: offline, or every port filtered.")
            .arg(ReachabilityProbe::TimeoutMs / 1000.0, 0, 'f', 1);
    const QString first = QStringLiteral("first answer after %1 ms").arg(firstMs);
    const int silent = total - open - closed;
    const QString silentText = silent == 0 ? QString() : QStringLiteral(", %1 silent").arg(silent);
    // A closed port is an answer: the device is there and refuses that service.
    if (open == 0)
        return closed == total
            ? QStringLiteral("Reachable, but every service is closed: all %1 ports refused (%2).").arg(total).arg(first)
            : QStringLiteral("Reachable, but no service is open: %1 of %2 ports refused%3 (%4).")
                  .arg(closed)
                  .arg(total)
                  .arg(silentText, first);
    return QStringLiteral("Reachable: %1 of %2 ports open, %3 closed%4 (%5).")
        .arg(open)
        .arg(total)
        .arg(closed)
        .arg(silentText, first);
}
