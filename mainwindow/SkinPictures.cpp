#include "mainwindow/SkinPictures.h"

#include <QFileInfo>
#include <QImageReader>

namespace {

const char* const kNames[SkinPictures::Count] = {
    "Background",
    "IntruderBackground",
    "AllowedBackground",
    "AllowedOfflineNotSelected",
    "AllowedOfflineSelected",
    "AllowedOnlineNotSelected",
    "AllowedOnlineSelected",
    "IntruderOfflineNotSelected",
    "IntruderOfflineSelected",
    "IntruderOnlineNotSelected",
    "IntruderOnlineNotSelectedFlash",
    "IntruderOnlineSelected",
    "IntruderOnlineSelectedFlash",
    "RemoveIntruderNormal",
    "RemoveIntruderDown",
    "RemoveAllowedNormal",
    "RemoveAllowedDown",
    "MoveToIntruderNormal",
    "MoveToIntruderDown",
    "MoveToAllowedNormal",
    "MoveToAllowedDown",
    "DetailsSelectedNormal",
    "DetailsSelectedDown",
    "DetailsUnSelectedNormal",
    "DetailsUnSelectedDown",
    "LogSelectedNormal",
    "LogSelectedDown",
    "LogUnSelectedNormal",
    "LogUnSelectedDown",
    "ProbeSelectedNormal",
    "ProbeSelectedDown",
    "ProbeUnSelectedNormal",
    "ProbeUnSelectedDown",
    "BlockEnabledNormal",
    "BlockEnabledDown",
    "BlockDisabledNormal",
    "BlockDisabledDown",
    "SettingsNormal",
    "SettingsDown",
    "HelpNormal",
    "HelpDown",
    "AckNormal",
    "AckDown",
    "StatusNormal",
    "StatusAlarm1",
    "StatusAlarm2",
    "Button",
};

QPixmap readPicture(const QString& path, qreal ratio)
{
    QImageReader reader(path, "BMP");
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

QString SkinPictures::fileName(Pic pic)
{
    if (pic == Pic::Count)
        return {};
    return QLatin1String(kNames[size_t(pic)]) + QStringLiteral(".bmp");
}

QStringList SkinPictures::load(const QString& folder, qreal scale)
{
    QStringList missing;
    std::array<QPixmap, Count + 1> fresh;
    for (int i = 0; i < Count; ++i) {
        const QString name = QLatin1String(kNames[i]);
        QPixmap picture;
        if (scale > 1.0) {
            const QString dense = folder + name + QStringLiteral("@2x.bmp");
            if (QFileInfo::exists(dense))
                picture = readPicture(dense, 2.0);
        }
        if (picture.isNull())
            picture = readPicture(folder + name + QStringLiteral(".bmp"), 1.0);
        if (picture.isNull())
            missing.append(name + QStringLiteral(".bmp"));
        fresh[size_t(i)] = std::move(picture);
    }
    m_pictures = std::move(fresh);
    ++m_generation;
    return missing;
}
