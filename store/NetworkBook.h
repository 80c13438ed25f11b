#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// The networks the monitor has been on, each known by its identity: the gateway's MAC with the subnet
// ("02-00-C6-12-00-01 198.18.0.0/24"; "- 198.18.0.0/24" for a subnet without a gateway). The identity a network was
// first seen with stays its name; a router replaced on the same subnet, while most of its known devices still answer,
// is the same network with a new gateway. Whether the monitor watches a network is the user's choice, kept with it.
// Stored under "Networks", one key per network with "Subnet", "Gateway_MAC", "Gateway_IP", "Watch", "First_Seen".
class NetworkBook final
{
public:
    // Asked: joined and not yet answered; NotNow: not watched this time, asked again when joined again.
    enum class Watch : quint8 { Asked, Watched, NotNow, Never };
    struct Network
    {
        QString id;
        QString subnet;
        QString gatewayMac; // the gateway answering now; empty without one
        QString gatewayIp;
        Watch watch = Watch::Asked;
        QDateTime firstSeen;
        QString name {}; // the user's name for it ("Name"); empty when it has none
    };
    // What WatchNetworks holds: every new network watched at once, or each asked about.
    enum class Policy { All, Asked };

    static QString identity(const QString& gatewayMac, const QString& subnet);
    static QString watchWord(Watch watch); // "asked", "watched", "not now", "never"
    static std::optional<Watch> parseWatch(const QString& word);
    static std::optional<Policy> parsePolicy(const QString& word); // "all" or "asked"
    // How the lists' header names a network: "Home network — 198.18.0.0/24", or without a name the subnet and its
    // gateway ("198.18.0.0/24 · gateway 198.18.0.1").
    static QString title(const Network& network);
    static const QString StoreKey; // "Networks"
    static const QString PolicyValue; // "WatchNetworks" in GENERAL

    // Reads every network from the store (again).
    void load();
    const QList<Network>& all() const { return m_networks; }
    const Network* find(const QString& id) const;
    // An id, or a subnet that names one network.
    const Network* findByText(const QString& text) const;
    bool watched(const QString& id) const;

    struct Resolution
    {
        QString id;
        bool created = false;
        QString formerGateway; // set when a replaced router was taken for the same network
    };
    // The network of subnet whose gateway answers as gatewayMac. answering(id) tells whether most of that network's
    // known devices answer now: a new gateway on such a subnet is a replaced router. A network seen for the first time
    // is stored: watched when it is the first of all or the policy says all, else asked about.
    Resolution resolve(const QString& subnet, const QString& gatewayMac, const QString& gatewayIp, Policy policy,
        const QDateTime& now, const std::function<bool(const QString& id)>& answering);
    bool setWatch(const QString& id, Watch watch);
    // The user's name for a network (empty clears it); a name the name filter refuses is not kept: the refusal.
    std::optional<QString> setName(const QString& id, const QString& name);
    // Forgets a network: joined again, it is new.
    bool forget(const QString& id);

private:
    void store(const Network& network) const;

    QList<Network> m_networks;
};
