#include "ctl/Ctl.h"

#include "app/DeviceActions.h"
#include "ctl/CtlFacts.h"
#include "ctl/CtlFollow.h"
#include "ctl/CtlHome.h"
#include "ctl/CtlNetworks.h"
#include "ctl/CtlSettings.h"
#include "ctl/CtlSettle.h"
#include "ctl/CtlStore.h"
#include "ctl/CtlWeb.h"
#include "devicefile/DeviceExport.h"
#include "logging/DeviceLog.h"
#include "platform/Clock.h"
#include "store/DeviceJson.h"
#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/DeviceWords.h"
#include "store/MacAddress.h"
#include "store/PresenceStore.h"
#include "store/SettingsTable.h"
#include "store/TextForms.h"
#include "vendor/MacVendors.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace Ctl {

namespace {

const char* const kUsage =
    "Usage: kestrelwatch-ctl [--home DIR] [--create] COMMAND [ARGS]\n"
    "Lists and changes the devices and settings of Kestrelwatch's store. A running monitor takes\n"
    "each change in within two seconds.\n\n"
    "  list [--json] [--intruders|--safe] [--online] [--new]\n"
    "                             the devices (all, or those the filters give): MAC, current address,\n"
    "                             name, vendor, list, online, first and last seen, watch, type, model,\n"
    "                             os, the network it was admitted on (tab-separated with a header, or a\n"
    "                             JSON array, which also carries host_name, new, note and former_macs)\n"
    "  history MAC                the device's history, oldest first\n"
    "  follow [--json]            every device event from now on, one line each, until interrupted\n"
    "  ack MAC | ack --all        acknowledge a new device, or every new device\n"
    "  move MAC safe|intruders    move the device to a list\n"
    "  move --all-online safe|intruders\n"
    "                             move every device online now to a list (a monitor must be running)\n"
    "  trust-all                  every device online now to the safe list, acknowledged\n"
    "  rename MAC NAME            give the device a name (\"\" clears it)\n"
    "  note MAC TEXT              keep a note about the device (\"\" clears it)\n"
    "  watch MAC offline|online|both|none\n"
    "                             which of the device's departures and returns alert every channel\n"
    "  set-type MAC TYPE          what the device is: router, computer, phone, tablet, tv, speaker,\n"
    "                             printer, camera, console, nas, smart-home, wearable, network or\n"
    "                             unknown (the device's own word again)\n"
    "  set-model MAC TEXT         the device's model (\"\" gives it back to the device)\n"
    "  remove MAC                 forget an offline device (its history file stays)\n"
    "  merge OLD NEW              one device under two MACs: NEW takes OLD's name, list, watch,\n"
    "                             hand-set type and model, history and presence, and OLD's MAC as a\n"
    "                             former address; OLD is removed\n"
    "  get [--reveal] [NAME]      print a setting, or every one (key, name, value; kestrelwatch-ctl(1)\n"
    "                             explains them); secrets show masked unless --reveal\n"
    "  set NAME VALUE             change a setting; a value outside its limits is refused\n"
    "  networks                   the networks the monitor has been on: id (the gateway's MAC and the\n"
    "                             subnet), subnet, gateway, whether it is watched, its devices, its\n"
    "                             name\n"
    "  watch-network NETWORK      watch a network (its id, or its subnet): what joins it is admitted\n"
    "  forget-network NETWORK     forget a network: joined again, it is new\n"
    "  name-network NETWORK [NAME]\n"
    "                             name a network for the lists' header and the web page (no NAME:\n"
    "                             none)\n"
    "  export [--format json|csv] every device with its stored values and presence intervals, on\n"
    "                             stdout (JSON unless --format csv)\n"
    "  import [--replace] FILE    add the devices of an export and merge their intervals; a known MAC\n"
    "                             keeps its name and list unless --replace; a faulty file is refused\n"
    "                             whole\n"
    "  web-token [--new]          print the web page's token (made on first use); --new replaces it\n\n"
    "  --home DIR                 the store's folder (default $KESTRELWATCH_HOME, else\n"
    "                             $XDG_DATA_HOME/kestrelwatch); it must exist and be yours\n"
    "  --create                   make the folder when it does not exist yet (import makes it too)\n"
    "  -h, --help                 this text\n"
    "  -v, --version              the program's version\n\n"
    "MAC takes any usual form: 00:0c:41:a2:3b:7f, 00-0C-41-A2-3B-7F or 000c41a23b7f.\n"
    "Exit status: 0 on success, 1 when the device is not in the store or a change is refused or fails,\n"
    "2 on a usage error (also a value outside a setting's limits), 3 when the home is missing or\n"
    "another user's, or the store cannot be opened (it is left untouched).\n";

// The word of the watch command: one of the three modes or "none".
std::optional<DeviceWatch::Mode> watchMode(const QString& word)
{
    if (word.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return DeviceWatch::None;
    return word.trimmed().isEmpty() ? std::nullopt : DeviceWatch::parse(word);
}

int usageError(const QString& problem)
{
    err(problem);
    std::fputs("Try 'kestrelwatch-ctl --help' for more information.\n", stderr);
    return 2;
}

int storeError(const Store& store)
{
    err(store.error());
    return 3;
}

// The home's presence file, only read, when it has one: an unreadable one is said, and costs what lacking says.
std::unique_ptr<PresenceStore> readPresence(const Store& store, const QString& lacking)
{
    if (!QFileInfo::exists(store.paths().presenceFile()))
        return nullptr;
    PresenceStore::OpenResult opened = PresenceStore::openReadOnly(store.paths().presenceFile());
    if (!opened.store)
        err(opened.error + QStringLiteral("; ") + lacking);
    return std::move(opened.store);
}

// The address each device was last seen at: the store keeps the one it was admitted at, a move is kept in the
// monitor's memory and in the presence file.
void takeCurrentAddresses(Store& store, const PresenceStore* presence)
{
    if (!presence)
        return;
    for (DeviceRecord& d : store.devices()) {
        const QString address = presence->lastAddress(d.MacAddress);
        if (!address.isEmpty())
            d.IpAddress = address;
    }
}

int list(Store& store, bool json, const QString& share, const ListFilter& filter)
{
    const MacVendors vendors(AppPaths::forDirs(QString(), share).macDatabase());
    takeCurrentAddresses(
        store, readPresence(store, QStringLiteral("the addresses shown are those devices were admitted at")).get());
    const DeviceStore& devices = store.devices();
    QJsonArray array;
    if (!json)
        out(QStringLiteral(
            "MAC\tADDRESS\tNAME\tVENDOR\tLIST\tONLINE\tFIRST_SEEN\tLAST_SEEN\tWATCH\tTYPE\tMODEL\tOS\tNETWORK"));
    for (const DeviceRecord& d : devices) {
        if (!filter.accepts(store, d))
            continue;
        const QString list = DeviceWords::list(d.Intruder);
        const QString vendor = vendors.GetMacName(d.MacAddress);
        if (json) {
            array.append(DeviceJson::object(d, vendor, store.online(d)));
            continue;
        }
        // A tab inside a field would shift every later column; names hold none (the name filter refuses
        // controls), and a vendor name is the registry's.
        out(QStringList {d.MacAddress, d.IpAddress, shownName(d), vendor, list,
            store.online(d) ? QStringLiteral("yes") : QStringLiteral("no"), isoTime(d.FirstSeen), isoTime(d.LastSeen),
            DeviceWords::watch(d.Watch), DeviceKind::typeWord(d.Type), d.Model, d.Os, d.Network}
                .join(QLatin1Char('\t')));
    }
    if (json)
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

int history(Store& store, const QString& mac)
{
    QFile file(store.paths().devices() + mac + QStringLiteral(".log"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        QString line = raw;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        // Lines of earlier releases carry locale text; newer ones ISO 8601 already.
        const auto when = tab > 0 ? TextForms::parseStoredDate(line.left(tab)) : std::nullopt;
        out(when ? isoTime(when->when) + line.mid(tab) : line);
    }
    return 0;
}

int deviceCommand(Store& store, const QString& command, const QStringList& args)
{
    DeviceRecord* found = store.find(args.first());
    if (!found) {
        err(QStringLiteral("no device %1 in %2").arg(args.first(), store.paths().home));
        return 1;
    }
    DeviceRecord& d = *found;
    const QString mac = d.MacAddress;
    if (command == QLatin1String("history"))
        return history(store, mac);
    Acting acting(store);
    DeviceActions& actions = acting.actions();
    if (command == QLatin1String("ack")) {
        if (!actions.Acknowledge(mac))
            out(QStringLiteral("%1 was acknowledged already").arg(mac));
        return 0;
    }
    if (command == QLatin1String("move")) {
        const bool toSafe = args.at(1) == QLatin1String("safe");
        if (!(toSafe ? actions.MoveToSafe(mac) : actions.MoveToIntruders(mac)))
            out(QStringLiteral("%1 is on the %2 list already").arg(mac, args.at(1)));
        return 0;
    }
    if (command == QLatin1String("rename")) {
        const DeviceText::Name name = DeviceText::filterName(args.at(1));
        if (!name.ok())
            return usageError(QStringLiteral("the name is refused, it %1").arg(name.refusal));
        actions.Rename(mac, name.text);
        return 0;
    }
    if (command == QLatin1String("note")) {
        const DeviceText::Name note = DeviceText::filterNote(args.at(1));
        if (!note.ok())
            return usageError(QStringLiteral("the note is refused, it %1").arg(note.refusal));
        if (!actions.setNote(mac, note.text))
            out(QStringLiteral("%1 has this note already").arg(mac));
        return 0;
    }
    if (command == QLatin1String("watch")) {
        if (!actions.SetWatch(mac, *watchMode(args.at(1))))
            out(QStringLiteral("%1 is watched as %2 already").arg(mac, DeviceWords::watch(d.Watch)));
        return 0;
    }
    // remove: an online device would be admitted again at the next sweep, so the window refuses it too.
    d.OnlineState = store.online(d) ? 1 : 0;
    if (!actions.Remove(mac)) {
        err(QStringLiteral("%1 is online; it can be removed once it has gone offline").arg(mac));
        return 1;
    }
    return 0;
}

// The devices with their intervals. The presence file is only read: a running monitor keeps its open intervals,
// which end now; with no monitor they end where they were last confirmed.
int exportDevices(Store& store, DeviceExport::Format format)
{
    const auto presence = readPresence(store, QStringLiteral("the devices are exported without their intervals"));
    takeCurrentAddresses(store, presence.get());
    const QDateTime openUntil = store.monitorRunning() ? QDateTime() : QDateTime::fromSecsSinceEpoch(0);
    std::fputs(
        DeviceExport::exportText(store.devices(), format, presence.get(), openUntil).toUtf8().constData(), stdout);
    return 0;
}

// A running monitor takes the devices in through its store follower; the intervals go into the presence file
// beside it (SQLite orders the two writers), leaving the ones it holds open as they are.
int importFile(Store& store, const QString& fileName, bool replace)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        err(QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()));
        return 1;
    }
    const DeviceExport::Parsed parsed = DeviceExport::parse(file);
    if (!parsed.fault.isEmpty()) {
        err(QStringLiteral("%1 is refused, nothing was imported: %2").arg(fileName, parsed.fault));
        return 1;
    }
    if (parsed.devices.isEmpty()) {
        file.seek(0);
        const QByteArray start = file.read(4096).trimmed().left(1);
        out(QStringLiteral("%1 holds no devices (%2): nothing was imported")
                .arg(fileName,
                    start == "["       ? QStringLiteral("an empty JSON array")
                        : start == "{" ? QStringLiteral("an export with an empty devices list")
                                       : QStringLiteral("a CSV header without lines")));
        return 0;
    }
    std::unique_ptr<PresenceStore> presence;
    if (std::any_of(parsed.devices.cbegin(), parsed.devices.cend(),
            [](const DeviceExport::Imported& d) { return !d.intervals.isEmpty(); })) {
        PresenceStore::OpenResult opened = PresenceStore::openBeside(store.paths().presenceFile());
        if (!opened.store) {
            err(opened.error + QStringLiteral("; nothing was imported"));
            return 1;
        }
        presence = std::move(opened.store);
    }
    QStringList taken; // the devices the import adds or replaces, for their histories
    for (const DeviceExport::Imported& device : parsed.devices) {
        if (replace || !store.devices().contains(device.record.MacAddress))
            taken.append(device.record.MacAddress);
    }
    const DeviceExport::Merged merged = DeviceExport::merge(store.devices(), parsed.devices, replace, presence.get());
    if (!merged.stored) {
        err(!merged.refused.isEmpty()
                ? QStringLiteral("%1 is refused, nothing was imported: %2").arg(fileName, merged.refused)
                : QStringLiteral("cannot write to %1; nothing was imported").arg(store.paths().hiveFile()));
        return 1;
    }
    // A running monitor records what its store follower takes in; without one the lines are written here.
    if (!store.monitorRunning()) {
        DeviceLog histories(store.devices(), store.paths().devices());
        const QString line = DeviceLog::stamp(kwclock::now())
            + QStringLiteral("Imported from %1 (%2)")
                  .arg(QFileInfo(fileName).fileName(), DeviceLog::byWhom(DeviceEvent::Origin::Ctl));
        for (const QString& mac : std::as_const(taken))
            histories.AddLogEntry(mac, line);
    }
    out(DeviceExport::summary(merged));
    if (!merged.presenceError.isEmpty()) {
        err(QStringLiteral("the devices were imported, but %1").arg(merged.presenceError));
        return 1;
    }
    return 0;
}

// The presence file is opened beside a running monitor, as an import opens it: the intervals move in one
// transaction, and the monitor follows the devices' change within two seconds.
int mergeDevices(Store& store, const QString& oldMac, const QString& newMac)
{
    for (const QString& mac : {oldMac, newMac}) {
        if (!store.find(mac)) {
            err(QStringLiteral("no device %1 in %2").arg(mac, store.paths().home));
            return 1;
        }
    }
    std::unique_ptr<PresenceStore> presence;
    if (QFileInfo::exists(store.paths().presenceFile())) {
        PresenceStore::OpenResult opened = PresenceStore::openBeside(store.paths().presenceFile());
        if (!opened.store) {
            err(opened.error + QStringLiteral("; nothing was merged"));
            return 1;
        }
        presence = std::move(opened.store);
    }
    DeviceActions actions(store.devices());
    actions.setMergeFiles(store.paths().devices(), presence.get());
    QString refusal;
    if (!actions.merge(store.find(oldMac)->MacAddress, store.find(newMac)->MacAddress, &refusal)) {
        err(QStringLiteral("%1 and %2 were not merged: %3").arg(oldMac, newMac, refusal));
        return 1;
    }
    return 0;
}

} // namespace

int run(const QStringList& arguments, const QString& share)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption homeOption(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption formatOption(QStringLiteral("format"), QString(), QStringLiteral("FORMAT"));
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringList {QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({homeOption, formatOption, helpOption, versionOption});
    // Each switch and the commands it goes with.
    static const struct
    {
        const char* name;
        QStringList commands;
    } switches[] = {{"json", {"list", "follow"}}, {"replace", {"import"}}, {"reveal", {"get"}}, {"create", {"*"}},
        {"all", {"ack"}}, {"all-online", {"move"}}, {"intruders", {"list"}}, {"safe", {"list"}}, {"online", {"list"}},
        {"new", {"list", "web-token"}}};
    for (const auto& s : switches)
        parser.addOption(QCommandLineOption(QLatin1String(s.name)));
    const auto isSet = [&parser](const char* name) { return parser.isSet(QLatin1String(name)); };

    // The value of set and the text of rename and note are taken as given, so that "set Volume -1" reaches the
    // range check and a name may begin with a dash.
    QStringList options = arguments;
    QStringList verbatim;
    for (qsizetype i = 0; i < options.size(); ++i) {
        const QString& a = options[i];
        if (a == QLatin1String("--"))
            break;
        if (a.startsWith(QLatin1Char('-'))) {
            const QString bare = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
            if (bare == QLatin1String("home") || bare == QLatin1String("format"))
                ++i;
            continue;
        }
        if (a == QLatin1String("set") || a == QLatin1String("rename") || a == QLatin1String("note")) {
            verbatim = options.mid(i + 1, 2);
            options.remove(i + 1, verbatim.size());
        }
        break;
    }
    if (!parser.parse(QStringList {QStringLiteral("kestrelwatch-ctl")} + options))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("kestrelwatch-ctl %s\n", KW_VERSION);
        return 0;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    args += verbatim;
    struct Shape
    {
        const char* name;
        int least;
        int most;
        bool writes;
    };
    static const Shape shapes[] = {{"list", 0, 0, false}, {"history", 1, 1, false}, {"ack", 1, 1, true},
        {"move", 2, 2, true}, {"rename", 2, 2, true}, {"watch", 2, 2, true}, {"note", 2, 2, true},
        {"remove", 1, 1, true}, {"merge", 2, 2, true}, {"set-type", 2, 2, true}, {"set-model", 2, 2, true},
        {"trust-all", 0, 0, true}, {"get", 0, 1, false}, {"set", 2, 2, true}, {"export", 0, 0, false},
        {"import", 1, 1, true}, {"follow", 0, 0, false}, {"web-token", 0, 0, false}, {"networks", 0, 0, false},
        {"watch-network", 1, 1, true}, {"forget-network", 1, 1, true}, {"name-network", 1, 2, true}};
    const Shape* shape = nullptr;
    for (const Shape& s : shapes) {
        if (command == QLatin1String(s.name))
            shape = &s;
    }
    if (!shape)
        return usageError(QStringLiteral("unknown command '%1'").arg(command));
    for (const auto& s : switches) {
        if (isSet(s.name) && !s.commands.contains(QStringLiteral("*")) && !s.commands.contains(command))
            return usageError(QStringLiteral("--%1 goes with %2")
                                  .arg(QLatin1String(s.name), s.commands.join(QStringLiteral(" or "))));
    }
    // ack --all and move --all-online LIST act on many devices and name none.
    const int many = isSet("all") || isSet("all-online") ? 1 : 0;
    if (args.size() < shape->least - many || args.size() > shape->most - many) {
        const int wanted = shape->least - many;
        return usageError(
            QStringLiteral("%1 takes %2 argument%3")
                .arg(command
                    + (many ? QStringLiteral(" --all") + QLatin1String(isSet("all-online") ? "-online" : "")
                            : QString()))
                .arg(wanted)
                .arg(wanted == 1 ? QString() : QStringLiteral("s")));
    }
    if (parser.isSet(formatOption) && command != QLatin1String("export"))
        return usageError(QStringLiteral("--format goes with export"));
    const QString format = parser.isSet(formatOption) ? parser.value(formatOption) : QStringLiteral("json");
    if (format != QLatin1String("json") && format != QLatin1String("csv"))
        return usageError(QStringLiteral("--format is json or csv, not '%1'").arg(format));
    const QString moveTo = command == QLatin1String("move") ? args.last() : QString();
    if (command == QLatin1String("move") && moveTo != QLatin1String("safe") && moveTo != QLatin1String("intruders"))
        return usageError(QStringLiteral("move takes safe or intruders, not '%1'").arg(moveTo));
    if (command == QLatin1String("set-type") && !typeRefusal(args.at(1)).isEmpty())
        return usageError(typeRefusal(args.at(1)));
    if (command == QLatin1String("watch") && !watchMode(args.at(1)))
        return usageError(QStringLiteral("watch takes offline, online, both or none, not '%1'").arg(args.at(1)));
    if ((command == QLatin1String("get") || command == QLatin1String("set")) && !args.isEmpty()
        && !knownSetting(args.at(0)))
        return usageError(QStringLiteral("no setting '%1' (kestrelwatch-ctl(1) lists them)").arg(args.at(0)));
    // A value outside its setting's limits is refused before the store is opened (or made).
    if (command == QLatin1String("set")) {
        const QString refusal = SettingsTable::fromUser(*SettingsTable::find(args.at(0)), args.at(1)).refusal;
        if (!refusal.isEmpty())
            return usageError(refusal);
    }
    const bool macCommand = !many && shape->least >= 1 && command != QLatin1String("get")
        && command != QLatin1String("set") && command != QLatin1String("import") && !isNetworkCommand(command);
    for (const QString& mac : macCommand ? args.mid(0, command == QLatin1String("merge") ? 2 : 1) : QStringList()) {
        if (MacAddress::canonical(mac).isEmpty())
            return usageError(QStringLiteral("'%1' is not a MAC address (six bytes in hexadecimal, such as "
                                             "00:0c:29:12:34:56)")
                                  .arg(mac));
    }

    if (parser.isSet(homeOption) && parser.value(homeOption).isEmpty())
        return usageError(QStringLiteral("--home needs a folder"));
    const bool importing = command == QLatin1String("import");
    const HomeRule rule = checkHome(parser.value(homeOption), isSet("create"), importing, arguments);
    if (!rule.problem.isEmpty()) {
        err(rule.problem);
        return rule.code;
    }
    Store store(
        AppPaths::forDirs(rule.home, share), shape->writes || isSet("create") ? Store::Mode::Write : Store::Mode::Read);
    if (!store.ok())
        return storeError(store);
    if (command == QLatin1String("list"))
        return list(
            store, isSet("json"), share, listFilter(isSet("intruders"), isSet("safe"), isSet("online"), isSet("new")));
    if (command == QLatin1String("web-token"))
        return webToken(store.paths().home, isSet("new"));
    if (command == QLatin1String("get") || command == QLatin1String("set"))
        return settingCommand(store, args, isSet("reveal"));
    if (command == QLatin1String("export")) {
        return exportDevices(
            store, format == QLatin1String("csv") ? DeviceExport::Format::Csv : DeviceExport::Format::Json);
    }
    if (importing)
        return importFile(store, args.first(), isSet("replace"));
    if (command == QLatin1String("follow"))
        return follow(store, isSet("json"), share);
    if (command == QLatin1String("trust-all"))
        return settle(store, Settle::TrustAll);
    if (isSet("all"))
        return settle(store, Settle::AcknowledgeAll);
    if (isSet("all-online"))
        return settle(store, moveTo == QLatin1String("safe") ? Settle::AllOnlineToSafe : Settle::AllOnlineToIntruders);
    if (isNetworkCommand(command))
        return networkCommand(store, command, args);
    if (command.startsWith(QLatin1String("set-")))
        return factCommand(store, command, args);
    if (command == QLatin1String("merge"))
        return mergeDevices(store, MacAddress::canonical(args.at(0)), MacAddress::canonical(args.at(1)));
    return deviceCommand(store, command, args);
}

} // namespace Ctl
