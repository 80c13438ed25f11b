#include "ctl/CtlFacts.h"

#include "app/DeviceActions.h"
#include "ctl/CtlStore.h"
#include "store/DeviceKind.h"
#include "store/DeviceText.h"

namespace Ctl {

QString typeRefusal(const QString& word)
{
    if (DeviceKind::typeWords().contains(word.trimmed().toLower()))
        return {};
    return QStringLiteral("set-type takes one of %1, not '%2'")
        .arg(DeviceKind::typeWords().join(QStringLiteral(", ")), word.left(40));
}

int factCommand(Store& store, const QString& command, const QStringList& args)
{
    const DeviceRecord* found = store.find(args.first());
    if (!found) {
        err(QStringLiteral("no device %1 in %2").arg(args.first(), store.paths().home));
        return 1;
    }
    DeviceActions actions(store.devices());
    const QString mac = found->MacAddress;
    if (command == QLatin1String("set-type")) {
        if (!actions.SetType(mac, DeviceKind::typeFromWord(args.at(1).trimmed())))
            out(QStringLiteral("%1 is set as %2 already").arg(mac, args.at(1).trimmed().toLower()));
        return 0;
    }
    const DeviceText::Name model = DeviceText::filterName(args.at(1).trimmed());
    if (!model.ok()) {
        err(QStringLiteral("the model is refused, it %1").arg(model.refusal));
        return 2;
    }
    if (!actions.SetModel(mac, model.text))
        out(QStringLiteral("%1 has that model already").arg(mac));
    return 0;
}

} // namespace Ctl
