// The networks the monitor has been on, and the user's choice of which to watch: a running monitor reads them
// again at its next sweep.

#include "ctl/CtlNetworks.h"

#include "ctl/CtlStore.h"
#include "store/NetworkBook.h"

namespace Ctl {

bool isNetworkCommand(const QString& command)
{
    return command == QLatin1String("networks") || command == QLatin1String("watch-network")
        || command == QLatin1String("forget-network") || command == QLatin1String("name-network");
}

int networkCommand(Store& store, const QString& command, const QStringList& args)
{
    NetworkBook book;
    book.load();
    if (command == QLatin1String("networks")) {
        out(QStringLiteral("NETWORK\tSUBNET\tGATEWAY_MAC\tGATEWAY\tWATCH\tDEVICES\tFIRST_SEEN\tNAME"));
        for (const NetworkBook::Network& n : book.all()) {
            int count = 0;
            for (const DeviceRecord& d : std::as_const(store.devices()))
                count += d.Network == n.id ? 1 : 0;
            out(QStringList {n.id, n.subnet, n.gatewayMac, n.gatewayIp, NetworkBook::watchWord(n.watch),
                QString::number(count), isoTime(n.firstSeen), n.name}
                    .join(QLatin1Char('\t')));
        }
        return 0;
    }
    const NetworkBook::Network* network = book.findByText(args.value(0).trimmed());
    if (!network) {
        err(QStringLiteral("no network '%1' (kestrelwatch-ctl networks lists them; a subnet names one only when it "
                           "is the only network on it)")
                .arg(args.value(0)));
        return 1;
    }
    const QString id = network->id;
    if (command == QLatin1String("name-network")) {
        // The name the window's header and the web page show; the same one door as a device's name.
        if (const auto refusal = book.setName(id, args.value(1))) {
            err(QStringLiteral("the name was not taken: %1").arg(*refusal));
            return 1;
        }
        return 0;
    }
    const bool done =
        command == QLatin1String("watch-network") ? book.setWatch(id, NetworkBook::Watch::Watched) : book.forget(id);
    if (!done) {
        err(QStringLiteral("%1 %2 failed").arg(command, id));
        return 1;
    }
    return 0;
}

} // namespace Ctl
