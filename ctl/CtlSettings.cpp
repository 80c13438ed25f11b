#include "ctl/CtlSettings.h"

#include "ctl/CtlStore.h"
#include "platform/Hive.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/SettingsTable.h"

namespace Ctl {

bool knownSetting(const QString& keyOrName)
{
    return SettingsTable::find(keyOrName) != nullptr;
}

int settingCommand(Store& store, const QStringList& args, bool reveal)
{
    if (args.isEmpty()) {
        // Every setting: its key on disk, its name in code and its value, tab-separated.
        for (const SettingsTable::Setting& s : SettingsTable::all())
            out(QStringList {s.keyText(), QLatin1String(s.name), SettingsTable::shown(s, store.settings(), reveal)}
                    .join(QLatin1Char('\t')));
        return 0;
    }
    const SettingsTable::Setting* setting = SettingsTable::find(args.at(0));
    if (!setting) {
        err(QStringLiteral("no setting '%1' (kestrelwatch-ctl(1) lists them)").arg(args.at(0)));
        return 2;
    }
    if (args.size() == 1) {
        out(SettingsTable::shown(*setting, store.settings(), reveal));
        return 0;
    }
    const SettingsTable::Checked checked = SettingsTable::fromUser(*setting, args.at(1));
    if (!checked.refusal.isEmpty()) {
        err(checked.refusal);
        return 2;
    }
    Hive* hive = store.hive();
    if (!hive
        || !hive->setValue(
            KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::General), setting->keyText(), checked.stored)) {
        err(QStringLiteral("cannot write %1 in %2").arg(setting->keyText(), store.paths().hiveFile()));
        return 1;
    }
    return 0;
}

} // namespace Ctl
