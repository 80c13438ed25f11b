#include "mainwindow/NetworkHeader.h"

#include "mainwindow/Theme.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>

const QString NetworkHeader::AllNetworks = QStringLiteral("All networks");
const QString NetworkHeader::OutOfSight = QStringLiteral(" \u00B7 out of sight");

namespace {

const NetworkBook::Network* findIn(const QList<NetworkBook::Network>& networks, const QString& id)
{
    for (const NetworkBook::Network& n : networks) {
        if (n.id == id)
            return &n;
    }
    return nullptr;
}

// A network the user said never to watch holds no devices and is no choice.
bool offered(const NetworkBook::Network& network)
{
    return network.watch != NetworkBook::Watch::Never;
}

// The box in the window's line style, its arrow drawn as the window draws its other marks: style sheets give a
// box no arrow of their own without an image file.
class ChoiceBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QComboBox::paintEvent(event);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(underMouse() ? Theme::Text : Theme::TextLow, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const qreal size = height() / 6.0;
        const QPointF centre(width() - height() / 2.0 - 2, height() / 2.0 + size / 3);
        p.drawPolyline(QPolygonF {
            centre + QPointF(-size, -size / 2), centre + QPointF(0, size / 2), centre + QPointF(size, -size / 2)});
    }
};

} // namespace

NetworkHeader::Shown NetworkHeader::decide(const QList<NetworkBook::Network>& networks, const QStringList& inView,
    const QString& lastWatched, const QString& choice)
{
    if (choice == AllNetworks)
        return {std::nullopt, AllNetworks};
    if (const NetworkBook::Network* chosen = choice.isEmpty() ? nullptr : findIn(networks, choice))
        return {QSet<QString> {chosen->id},
            NetworkBook::title(*chosen) + (inView.contains(chosen->id) ? QString() : OutOfSight)};
    QSet<QString> here;
    QStringList titles;
    for (const QString& id : inView) {
        const NetworkBook::Network* n = findIn(networks, id);
        if (n && n->watch == NetworkBook::Watch::Watched && !here.contains(id)) {
            here.insert(id);
            titles << NetworkBook::title(*n);
        }
    }
    if (!here.isEmpty())
        return {here, titles.join(QStringLiteral(" + "))};
    // Away from every watched network: the last one stays in the window, out of sight.
    if (const NetworkBook::Network* last = findIn(networks, lastWatched))
        return {QSet<QString> {last->id}, NetworkBook::title(*last) + OutOfSight};
    return {};
}

NetworkHeader::NetworkHeader(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("networkHeader"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("networkLabel"));
    m_label->setTextFormat(Qt::PlainText); // the user's name for a network: never a guessed format
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setFont(Theme::font(11));
    m_label->setStyleSheet(QStringLiteral("color: #9DB1C8; background: transparent;"));
    m_box = new ChoiceBox(this);
    m_box->setObjectName(QStringLiteral("networkChoice"));
    m_box->setAccessibleName(QStringLiteral("Network"));
    m_box->setToolTip(QStringLiteral("Whose devices the lists show: the network the monitor is on, another one "
                                     "it knows, or all of them"));
    m_box->setFont(Theme::font(11));
    m_box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_box->setStyleSheet(QStringLiteral(
        "QComboBox { color: #9DB1C8; background: transparent; border: 1px solid #2A3D58; border-radius: 4px;"
        " padding: 0 18px 0 8px; }"
        "QComboBox:hover, QComboBox:on { border-color: #4DA8FF; color: #EAF0F7; }"
        "QComboBox:focus { border: 2px solid #FFE066; }"
        "QComboBox::drop-down { border: none; width: 16px; }"
        "QComboBox::down-arrow { image: none; }"
        "QComboBox QAbstractItemView { background: #15243A; color: #EAF0F7; border: 1px solid #2A3D58;"
        " selection-background-color: #2A4A73; outline: none; }"));
    m_box->hide();
    connect(m_box, &QComboBox::activated, this, [this](int index) { choose(m_box->itemData(index).toString()); });
}

void NetworkHeader::update(
    const QList<NetworkBook::Network>& networks, const QStringList& inView, const QString& lastWatched)
{
    // The monitor moved to other networks: the lists follow it again (a blind moment between is no move).
    bool moved = false;
    if (!inView.isEmpty()) {
        moved = inView != m_lastInView && !m_choice.isEmpty();
        if (moved)
            m_choice.clear();
        m_lastInView = inView;
    }
    // Each sweep tells the same again: the box is filled anew only for a change, so an open list stays open.
    QStringList words;
    for (const NetworkBook::Network& n : networks)
        words << n.id << NetworkBook::title(n) << NetworkBook::watchWord(n.watch);
    if (!moved && !m_words.isEmpty() && words == m_words && inView == m_inView && lastWatched == m_lastWatched)
        return;
    m_words = words;
    m_networks = networks;
    m_inView = inView;
    m_lastWatched = lastWatched;
    refresh();
}

void NetworkHeader::choose(const QString& choice)
{
    m_choice = choice;
    refresh();
}

void NetworkHeader::refresh()
{
    const Shown before = m_shown;
    m_shown = decide(m_networks, m_inView, m_lastWatched, m_choice);
    fill();
    if (!(m_shown == before))
        Q_EMIT shownChanged();
}

void NetworkHeader::fill()
{
    qsizetype choices = 0;
    for (const NetworkBook::Network& n : std::as_const(m_networks))
        choices += offered(n) ? 1 : 0;
    const bool several = choices > 1;
    m_label->setToolTip(m_shown.text);
    m_label->setVisible(!several);
    m_box->setVisible(several);
    if (!several) {
        place();
        return;
    }
    const QSignalBlocker quiet(m_box);
    m_box->clear();
    // A long name gives way in the box (the arrow and the padding keep their room); the tip holds it whole.
    m_filledWidth = width();
    const int room = qMax(m_filledWidth - 3 * height(), 4 * height());
    const auto add = [this, room](const QString& text, const QString& value) {
        m_box->addItem(m_box->fontMetrics().elidedText(text, Qt::ElideMiddle, room), value);
        m_box->setItemData(m_box->count() - 1, text, Qt::ToolTipRole);
    };
    int current = -1;
    for (const NetworkBook::Network& n : std::as_const(m_networks)) {
        if (!offered(n))
            continue;
        // The first shown network's item says what the header says (out of sight, or beside another).
        if (current < 0 && m_shown.networks && m_shown.networks->contains(n.id)) {
            current = m_box->count();
            add(m_shown.text, n.id);
        } else {
            add(NetworkBook::title(n), n.id);
        }
    }
    add(AllNetworks, AllNetworks);
    m_box->setCurrentIndex(current >= 0 ? current : m_box->count() - 1);
    place();
}

void NetworkHeader::place()
{
    m_label->setGeometry(rect());
    // A long name gives way; the tip holds it whole.
    m_label->setText(m_label->fontMetrics().elidedText(m_shown.text, Qt::ElideMiddle, m_label->contentsRect().width()));
    // The box as wide as its words, centred, never wider than the header.
    const int wide = qMin(width(), m_box->sizeHint().width());
    m_box->setGeometry((width() - wide) / 2, 0, wide, height());
}

void NetworkHeader::resizeEvent(QResizeEvent*)
{
    if (!m_box->isHidden() && width() != m_filledWidth)
        fill();
    else
        place();
}
