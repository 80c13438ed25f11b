#include "mainwindow/NetworkQuestion.h"

#include "mainwindow/Theme.h"

#include <QAbstractButton>
#include <QPushButton>

NetworkQuestion::NetworkQuestion(const NetworkBook::Network& network, QWidget* parent)
    : QMessageBox(
        QMessageBox::NoIcon, QStringLiteral("Kestrelwatch"), questionText(network), QMessageBox::NoButton, parent)
    , m_id(network.id)
{
    setObjectName(QStringLiteral("networkQuestion"));
    setTextFormat(Qt::PlainText);
    setStyleSheet(Theme::styleSheet()
        + QStringLiteral("QMessageBox { background: #15243A; } QMessageBox QLabel { color: #EAF0F7; }"));
    setInformativeText(QStringLiteral("Until you watch it, nothing on it is admitted and nothing alerts; the devices "
                                      "of your other networks are out of sight, not gone."));
    m_watch = addButton(QStringLiteral("Watch"), QMessageBox::AcceptRole);
    m_notNow = addButton(QStringLiteral("Not now"), QMessageBox::RejectRole);
    m_never = addButton(QStringLiteral("Never"), QMessageBox::DestructiveRole);
    setDefaultButton(static_cast<QPushButton*>(m_notNow));
    setEscapeButton(m_notNow);
    setWindowModality(Qt::NonModal);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(this, &QMessageBox::buttonClicked, this, [this](QAbstractButton* pressed) {
        const NetworkBook::Watch watch = pressed == m_watch ? NetworkBook::Watch::Watched
            : pressed == m_never                            ? NetworkBook::Watch::Never
                                                            : NetworkBook::Watch::NotNow;
        Q_EMIT answered(m_id, watch);
    });
}

QString NetworkQuestion::questionText(const NetworkBook::Network& network)
{
    const QString gateway =
        network.gatewayIp.isEmpty() ? QStringLiteral("no gateway") : QStringLiteral("gateway ") + network.gatewayIp;
    return QStringLiteral("You joined a new network (%1, %2). Watch it?").arg(gateway, network.subnet);
}

QAbstractButton* NetworkQuestion::button(NetworkBook::Watch watch) const
{
    switch (watch) {
    case NetworkBook::Watch::Watched:
        return m_watch;
    case NetworkBook::Watch::Never:
        return m_never;
    default:
        return m_notNow;
    }
}
