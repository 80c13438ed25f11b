#pragma once

#include "store/NetworkBook.h"

#include <QSet>
#include <QStringList>
#include <QWidget>
#include <optional>

class QComboBox;
class QLabel;

// The line above the lists that names the network whose devices they show: "Home network — 198.18.0.0/24". By
// default the lists follow the monitor: the watched networks on the adapters now, or, while it is away from all
// of them, the last one it watched (its devices out of sight, not an empty window). When the store knows several
// networks the line is a choice: each network, and "All networks"; the user's choice holds until the monitor
// moves to other networks. Devices with no network recorded (older stores) show under every choice.
class NetworkHeader final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkHeader)

public:
    static const QString AllNetworks; // "All networks", also the choice's value for them
    static const QString OutOfSight; // " · out of sight", after a network the monitor is away from

    // What the lists show: the networks (nullopt for every one) and the header's words.
    struct Shown
    {
        std::optional<QSet<QString>> networks;
        QString text;
        bool operator==(const Shown&) const = default;
    };
    // choice: empty to follow the monitor, AllNetworks, or a network's id. lastWatched: the watched network the
    // monitor was on last.
    static Shown decide(const QList<NetworkBook::Network>& networks, const QStringList& inView,
        const QString& lastWatched, const QString& choice);

    explicit NetworkHeader(QWidget* parent = nullptr);

    // The networks again (a start, a sweep): lastWatched as above.
    void update(const QList<NetworkBook::Network>& networks, const QStringList& inView, const QString& lastWatched);
    // The user's choice (as the box's items hold it), or empty to follow the monitor again.
    void choose(const QString& choice);
    const Shown& shown() const { return m_shown; }
    QString text() const { return m_shown.text; }
    // The choice box, shown while the store knows several networks.
    QComboBox* choiceBox() const { return m_box; }
    QLabel* label() const { return m_label; }

Q_SIGNALS:
    // The networks the lists show changed.
    void shownChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void fill();
    void place();

    QLabel* m_label = nullptr;
    QComboBox* m_box = nullptr;
    QList<NetworkBook::Network> m_networks;
    QStringList m_inView;
    QStringList m_lastInView; // the networks last in view, across blind moments
    QStringList m_words; // what the networks looked like at the last update
    QString m_lastWatched;
    QString m_choice;
    Shown m_shown;
    int m_filledWidth = -1; // the header's width the box's words were fitted to
};
