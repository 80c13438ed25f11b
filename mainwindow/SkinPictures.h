#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <array>

// Every skin picture of the main window, in the order Load_Pictures loads them. The file of each is its name
// with ".bmp" in the Images folder.
enum class Pic : quint8 {
    Background,
    IntruderBackground,
    AllowedBackground,
    AllowedOfflineNotSelected,
    AllowedOfflineSelected,
    AllowedOnlineNotSelected,
    AllowedOnlineSelected,
    IntruderOfflineNotSelected,
    IntruderOfflineSelected,
    IntruderOnlineNotSelected,
    IntruderOnlineNotSelectedFlash,
    IntruderOnlineSelected,
    IntruderOnlineSelectedFlash,
    RemoveIntruderNormal,
    RemoveIntruderDown,
    RemoveAllowedNormal,
    RemoveAllowedDown,
    MoveToIntruderNormal,
    MoveToIntruderDown,
    MoveToAllowedNormal,
    MoveToAllowedDown,
    DetailsSelectedNormal,
    DetailsSelectedDown,
    DetailsUnSelectedNormal,
    DetailsUnSelectedDown,
    LogSelectedNormal,
    LogSelectedDown,
    LogUnSelectedNormal,
    LogUnSelectedDown,
    ProbeSelectedNormal,
    ProbeSelectedDown,
    ProbeUnSelectedNormal,
    ProbeUnSelectedDown,
    BlockEnabledNormal,
    BlockEnabledDown,
    BlockDisabledNormal,
    BlockDisabledDown,
    SettingsNormal,
    SettingsDown,
    HelpNormal,
    HelpDown,
    AckNormal,
    AckDown,
    StatusNormal,
    StatusAlarm1,
    StatusAlarm2,
    Button,
    Count, // not a picture; also "no picture"
};

// The window's picture objects: one per file, owned here for the window's whole life. Controls refer to a
// picture by its Pic and look it up when they paint, so a reload (Ctrl+R) reaches every control at once.
class SkinPictures final
{
public:
    static constexpr int Count = int(Pic::Count);

    // The file name of a picture ("IntruderOnlineSelectedFlash.bmp").
    static QString fileName(Pic pic);

    // Loads every file in table order from folder (ending in '/'), replacing every picture object. A file
    // that is missing or unreadable leaves its picture empty; the names of those files are returned. When
    // scale is above 1, a file's "@2x" variant is taken where it exists, for sharp pictures on dense screens.
    QStringList load(const QString& folder, qreal scale);

    const QPixmap& operator[](Pic pic) const { return m_pictures[size_t(pic)]; }
    bool has(Pic pic) const { return pic != Pic::Count && !m_pictures[size_t(pic)].isNull(); }
    // Counts the loads, so a view can tell that every picture was replaced.
    int generation() const { return m_generation; }

private:
    std::array<QPixmap, Count + 1> m_pictures; // the last one stays empty: Pic::Count
    int m_generation = 0;
};
