#pragma once

#include "mainwindow/ReachabilityProbe.h"

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;

// The probe panel's content: what is known about the selected device's addresses and sightings, and a live
// reachability check of that one device inside its own network (TCP connects to a few common service ports,
// showing which answer and how fast). A device outside the swept local ranges is never probed.
class ProbePanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProbePanel)

public:
    using ProbeFactory = std::function<std::unique_ptr<ReachabilityProbe>()>;

    struct Target
    {
        QString name;
        QString ip;
        QString mac;
        QString vendor;
        QString firstSeen;
        QString lastSeen;
        bool online = false;
        bool local = false; // the address lies inside a swept local range
    };

    explicit ProbePanel(QWidget* parent = nullptr);
    ~ProbePanel() override;

    // Without a factory the check is unavailable (the panel says so).
    void setProbeFactory(ProbeFactory factory);
    // Tells whether an address lies inside a swept local range; asked again before every check, since the
    // ranges follow the adapters.
    void setLocalCheck(std::function<bool(const QString& ip)> isLocal) { m_isLocal = std::move(isLocal); }
    // Shows a device (or none). A different device cancels a running check and clears its results.
    void setTarget(const std::optional<Target>& target);
    const std::optional<Target>& target() const { return m_target; }

    // Starts the check of the shown device; false when it cannot run (no device, not local, unavailable).
    bool startCheck();
    bool isChecking() const { return m_checking; }
    // True once a check of the shown device has run or runs.
    bool checkedCurrent() const;

    QString summary() const;
    // What a finished check found, in words: open and closed count the ports that answered (a closed port
    // answers too: the device is there, refusing), out of total, the first answer after firstMs.
    static QString summaryText(int open, int closed, int total, int firstMs);
    QTableWidget* facts() const { return m_facts; }
    QTableWidget* ports() const { return m_ports; }
    QPushButton* checkButton() const { return m_check; }

    QSize sizeHint() const override;

private:
    void portChecked(quint16 port, ReachabilityProbe::PortState state, int elapsedMs);
    void checkFinished();
    void showTarget();
    void clearResults();
    int rowOfPort(quint16 port) const;

    ProbeFactory m_factory;
    std::function<bool(const QString&)> m_isLocal;
    std::unique_ptr<ReachabilityProbe> m_probe;
    std::optional<Target> m_target;
    QString m_checkedIp;
    bool m_checking = false;
    int m_open = 0;
    int m_closed = 0;
    int m_firstAnswerMs = -1;
    QLabel* m_title = nullptr;
    QTableWidget* m_facts = nullptr;
    QTableWidget* m_ports = nullptr;
    QPushButton* m_check = nullptr;
    QLabel* m_summary = nullptr;
    QSize m_naturalSize;
};
