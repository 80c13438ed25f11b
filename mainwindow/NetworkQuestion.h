#pragma once

#include "store/NetworkBook.h"

#include <QMessageBox>

// The window's one question when the monitor joins a network nobody chose to watch: "You joined a new network
// (gateway 198.51.100.1, 198.51.100.0/24). Watch it?" with Watch, Not now and Never, in the window's own dark look.
// It never blocks: the engine goes on sweeping while it waits, and answered() carries the choice.
class NetworkQuestion final : public QMessageBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkQuestion)

public:
    NetworkQuestion(const NetworkBook::Network& network, QWidget* parent = nullptr);
    ~NetworkQuestion() override = default;

    static QString questionText(const NetworkBook::Network& network);
    QString networkId() const { return m_id; }
    QAbstractButton* button(NetworkBook::Watch watch) const;

Q_SIGNALS:
    // Watched, NotNow or Never; closing the box is Not now.
    void answered(const QString& id, NetworkBook::Watch watch);

private:
    QString m_id;
    QAbstractButton* m_watch = nullptr;
    QAbstractButton* m_notNow = nullptr;
    QAbstractButton* m_never = nullptr;
};
