#include "ctl/Ctl.h"

#include "app/DeviceActions.h"
#include "ctl/CtlFacts.h"
#include "ctl/CtlNetworks.h"
#include "ctl/CtlSettings.h"
#include "ctl/CtlStore.h"
#include "ctl/CtlWeb.h"
#include "devicefile/DeviceExport.h"
#include "store/DeviceText.h"
#include "store/DeviceWatch.h"
#include "store/PresenceStore.h"
#include "store/TextForms.h"
#include "vendor/CMacDatabase.h"

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
    "Usage: kestrelwatch-ctl [--home DIR] COMMAND [ARGS]\n"
    "Lists and changes the devices and settings of Kestrelwatch's store. A running monitor takes\n"
    "each change in within two seconds.\n\n"
    "  list [--json]              every device: MAC, current address, name, vendor, list, online,\n"
    "                             first and last seen, watch, type, model, os, the network it was\n"
    "                             admitted on (tab-separated with a header, or a JSON array, which\n"
    "                             also carries former_macs)\n"
    "  history MAC                the device's history, oldest first\n"
    "  ack MAC                    acknowledge a new device\n"
    "  move MAC safe|intruders    move the device to a list\n"
    "  rename MAC NAME            give the device a name (\"\" clears it)\n"
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
    "  get NAME                   print a setting (kestrelwatch-ctl(1) lists them)\n"
    "  set NAME VALUE             change a setting\n"
    "  networks                   the networks the monitor has been on: id (the gateway's MAC and the\n"
    "                             subnet), subnet, gateway, whether it is watched, its devices\n"
    "  watch-network NETWORK      watch a network (its id, or its subnet): what joins it is admitted\n"
    "  forget-network NETWORK     forget a network: joined again, it is new\n"
    "  export --format json|csv   every device with its stored values and presence intervals, on stdout\n"
    "  import [--replace] FILE    add the devices of an export and merge their intervals; a known MAC\n"
    "                             keeps its name and list unless --replace; a faulty file is refused\n"
    "                             whole\n"
    "  web-token [--new]          print the web page's token (made on first use); --new replaces it\n\n"
    "  --home DIR                 the store's folder (default $KESTRELWATCH_HOME, else\n"
    "                             $XDG_DATA_HOME/kestrelwatch)\n"
    "  -h, --help                 this text\n"
    "  -v, --version              the program's version\n\n"
    "MAC takes any usual form: 00:0c:41:a2:3b:7f, 00-0C-41-A2-3B-7F or 000c41a23b7f.\n"
    "Exit status: 0 on success, 1 when the device is not in the store or a change is refused or fails,\n"
    "2 on a usage error, 3 when the store cannot be opened (it is left untouched).\n";

// The word of the watch command: one of the three modes or "none".
std::optional<DeviceWatch::Mode> watchMode(const QString& word)
{
    if (word.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return DeviceWatch::None;
    return word.trimmed().isEmpty() ? std::nullopt : DeviceWatch::parse(word);
}

QString watchText(quint8 mode)
{
    return mode == DeviceWatch::None ? QStringLiteral("none") : DeviceWatch::text(DeviceWatch::Mode(mode));
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

int list(Store& store, bool json, const QString& share)
{
    const CMacDatabase vendors(AppPaths::forDirs(QString(), share).macDatabase());
    takeCurrentAddresses(
        store, readPresence(store, QStringLiteral("the addresses shown are those devices were admitted at")).get());
    const DeviceStore& devices = store.devices();
    QJsonArray array;
    if (!json)
        out(QStringLiteral(
            "MAC\tADDRESS\tNAME\tVENDOR\tLIST\tONLINE\tFIRST_SEEN\tLAST_SEEN\tWATCH\tTYPE\tMODEL\tOS\tNETWORK"));
    for (const DeviceRecord& d : devices) {
        const QString list = d.Intruder ? QStringLiteral("intruders") : QStringLiteral("safe");
        const QString vendor = vendors.GetMacName(d.MacAddress);
        if (json) {
            array.append(QJsonObject {{QStringLiteral("mac"), d.MacAddress}, {QStringLiteral("address"), d.IpAddress},
                {QStringLiteral("name"), shownName(d)}, {QStringLiteral("host_name"), d.HostName},
                {QStringLiteral("vendor"), vendor}, {QStringLiteral("list"), list},
                {QStringLiteral("new"), d.NewDevice}, {QStringLiteral("online"), store.online(d)},
                {QStringLiteral("first_seen"), isoTime(d.FirstSeen)},
                {QStringLiteral("last_seen"), isoTime(d.LastSeen)}, {QStringLiteral("watch"), watchText(d.Watch)},
                {QStringLiteral("type"), DeviceKind::typeWord(d.Type)},
                {QStringLiteral("type_source"), DeviceKind::sourceWord(d.TypeSource)},
                {QStringLiteral("model"), d.Model},
                {QStringLiteral("model_source"), DeviceKind::sourceWord(d.ModelSource)}, {QStringLiteral("os"), d.Os},
                {QStringLiteral("os_source"), DeviceKind::sourceWord(d.OsSource)},
                {QStringLiteral("former_macs"), QJsonArray::fromStringList(d.FormerMacs)},
                {QStringLiteral("network"), d.Network}});
            continue;
        }
        // A tab inside a field would shift every later column; names hold none (the name filter refuses
        // controls), and a vendor name is the registry's.
        out(QStringList {d.MacAddress, d.IpAddress, shownName(d), vendor, list,
            store.online(d) ? QStringLiteral("yes") : QStringLiteral("no"), isoTime(d.FirstSeen), isoTime(d.LastSeen),
            watchText(d.Watch), DeviceKind::typeWord(d.Type), d.Model, d.Os, d.Network}
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
    DeviceActions actions(store.devices());
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
    if (command == QLatin1String("watch")) {
        if (!actions.SetWatch(mac, *watchMode(args.at(1))))
            out(QStringLiteral("%1 is watched as %2 already").arg(mac, watchText(d.Watch)));
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

int settingCommand(Store& store, const QStringList& args)
{
    const CtlSettings::Named* setting = CtlSettings::find(args.at(0));
    if (!setting)
        return usageError(QStringLiteral("no setting '%1' (kestrelwatch-ctl(1) lists them)").arg(args.at(0)));
    if (args.size() == 1) {
        out(CtlSettings::read(*setting));
        return 0;
    }
    const CtlSettings::Checked checked = CtlSettings::check(*setting, args.at(1));
    if (!checked.refusal.isEmpty())
        return usageError(checked.refusal);
    if (!CtlSettings::write(*setting, checked.stored)) {
        err(QStringLiteral("cannot write %1 in %2").arg(QString::fromLatin1(setting->name), store.paths().hiveFile()));
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
    const DeviceExport::Parsed parsed = DeviceExport::parse(file.readAll());
    if (!parsed.fault.isEmpty()) {
        err(QStringLiteral("%1 is refused, nothing was imported: %2").arg(fileName, parsed.fault));
        return 1;
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
    const DeviceExport::Merged merged = DeviceExport::merge(store.devices(), parsed.devices, replace, presence.get());
    if (!merged.stored) {
        err(QStringLiteral("cannot write to %1; nothing was imported").arg(store.paths().hiveFile()));
        return 1;
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
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    const QCommandLineOption formatOption(QStringLiteral("format"), QString(), QStringLiteral("FORMAT"));
    const QCommandLineOption replaceOption(QStringLiteral("replace"));
    const QCommandLineOption newOption(QStringLiteral("new"));
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringList {QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({homeOption, jsonOption, formatOption, replaceOption, newOption, helpOption, versionOption});
    if (!parser.parse(QStringList {QStringLiteral("kestrelwatch-ctl")} + arguments))
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
    struct Shape
    {
        const char* name;
        int least;
        int most;
        bool writes;
    };
    static const Shape shapes[] = {{"list", 0, 0, false}, {"history", 1, 1, false}, {"ack", 1, 1, true},
        {"move", 2, 2, true}, {"rename", 2, 2, true}, {"watch", 2, 2, true}, {"remove", 1, 1, true},
        {"merge", 2, 2, true}, {"set-type", 2, 2, true}, {"set-model", 2, 2, true}, {"get", 1, 1, false},
        {"set", 2, 2, true}, {"export", 0, 0, false}, {"import", 1, 1, true}, {"web-token", 0, 0, false},
        {"networks", 0, 0, false}, {"watch-network", 1, 1, true}, {"forget-network", 1, 1, true}};
    const Shape* shape = nullptr;
    for (const Shape& s : shapes) {
        if (command == QLatin1String(s.name))
            shape = &s;
    }
    if (!shape)
        return usageError(QStringLiteral("unknown command '%1'").arg(command));
    if (args.size() < shape->least || args.size() > shape->most)
        return usageError(QStringLiteral("%1 takes %2 argument%3")
                              .arg(command)
                              .arg(shape->least)
                              .arg(shape->least == 1 ? QString() : QStringLiteral("s")));
    if (parser.isSet(jsonOption) && command != QLatin1String("list"))
        return usageError(QStringLiteral("--json goes with list"));
    if (parser.isSet(replaceOption) && command != QLatin1String("import"))
        return usageError(QStringLiteral("--replace goes with import"));
    if (parser.isSet(newOption) && command != QLatin1String("web-token"))
        return usageError(QStringLiteral("--new goes with web-token"));
    if (parser.isSet(formatOption) != (command == QLatin1String("export")))
        return usageError(QStringLiteral("export takes --format json or --format csv, and only export does"));
    const QString format = parser.value(formatOption);
    if (command == QLatin1String("export") && format != QLatin1String("json") && format != QLatin1String("csv"))
        return usageError(QStringLiteral("--format is json or csv, not '%1'").arg(format));
    if (command == QLatin1String("move") && args.at(1) != QLatin1String("safe")
        && args.at(1) != QLatin1String("intruders"))
        return usageError(QStringLiteral("move takes safe or intruders, not '%1'").arg(args.at(1)));
    if (command == QLatin1String("set-type") && !typeRefusal(args.at(1)).isEmpty())
        return usageError(typeRefusal(args.at(1)));
    if (command == QLatin1String("watch") && !watchMode(args.at(1)))
        return usageError(QStringLiteral("watch takes offline, online, both or none, not '%1'").arg(args.at(1)));
    if ((command == QLatin1String("get") || command == QLatin1String("set")) && !CtlSettings::find(args.at(0)))
        return usageError(QStringLiteral("no setting '%1' (kestrelwatch-ctl(1) lists them)").arg(args.at(0)));
    const bool macCommand = shape->least >= 1 && command != QLatin1String("get") && command != QLatin1String("set")
        && command != QLatin1String("import") && !isNetworkCommand(command);
    for (const QString& mac : macCommand ? args.mid(0, command == QLatin1String("merge") ? 2 : 1) : QStringList()) {
        if (normalisedMac(mac).isEmpty())
            return usageError(QStringLiteral("'%1' is not a MAC address (six bytes in hexadecimal, such as "
                                             "00:0c:29:12:34:56)")
                                  .arg(mac));
    }

    const QString home = parser.value(homeOption);
    if (parser.isSet(homeOption)) {
        const QFileInfo info(home);
        if (home.isEmpty() || (info.exists() && !info.isDir()))
            return usageError(QStringLiteral("--home needs a folder"));
        if (!info.exists()) {
            err(QStringLiteral("--home %1: no such folder").arg(home));
            return 1;
        }
    }
    Store store(
        AppPaths::forDirs(AppPaths::resolveHome(home), share), shape->writes ? Store::Mode::Write : Store::Mode::Read);
    if (!store.ok())
        return storeError(store);
    if (command == QLatin1String("list"))
        return list(store, parser.isSet(jsonOption), share);
    if (command == QLatin1String("web-token"))
        return webToken(store.paths().home, parser.isSet(newOption));
    if (command == QLatin1String("get") || command == QLatin1String("set"))
        return settingCommand(store, args);
    if (command == QLatin1String("export")) {
        return exportDevices(
            store, format == QLatin1String("csv") ? DeviceExport::Format::Csv : DeviceExport::Format::Json);
    }
    if (command == QLatin1String("import"))
        return importFile(store, args.first(), parser.isSet(replaceOption));
    if (isNetworkCommand(command))
        return networkCommand(store, command, args);
    if (command.startsWith(QLatin1String("set-")))
        return factCommand(store, command, args);
    if (command == QLatin1String("merge"))
        return mergeDevices(store, normalisedMac(args.at(0)), normalisedMac(args.at(1)));
    return deviceCommand(store, command, args);
}

} // namespace Ctl
