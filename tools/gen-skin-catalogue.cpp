// Every picture of the skin with its size and painter, in the order the window loads them, followed by the
// four pictures of the settings dialog's tabs.
#include "gen-skin.h"

namespace skin {

namespace {

using namespace geometry;

Picture row(const QString& name, RowLook look)
{
    return {name, kRow, [look](QPainter& p, const QSizeF& s) { paintRow(p, s, look); }};
}

void addButton(
    std::vector<Picture>& out, const QString& stem, const QString& text, const Glyph& glyph, bool glyphAfter, Tone tone)
{
    for (bool down : {false, true}) {
        out.push_back({stem + (down ? QStringLiteral("Down") : QStringLiteral("Normal")), kButton,
            [=](QPainter& p, const QSizeF& s) { paintButton(p, s, text, glyph, glyphAfter, tone, down); }});
    }
}

void addTab(std::vector<Picture>& out, const QString& stem, const QString& text, const Glyph& glyph)
{
    for (bool selected : {true, false}) {
        for (bool down : {false, true}) {
            out.push_back({stem + (selected ? QStringLiteral("Selected") : QStringLiteral("UnSelected"))
                    + (down ? QStringLiteral("Down") : QStringLiteral("Normal")),
                kTab, [=](QPainter& p, const QSizeF& s) { paintTab(p, s, text, glyph, selected, down); }});
        }
    }
}

void addRound(std::vector<Picture>& out, const QString& stem, const Glyph& glyph)
{
    for (bool down : {false, true}) {
        out.push_back({stem + (down ? QStringLiteral("Down") : QStringLiteral("Normal")), kRoundButton,
            [=](QPainter& p, const QSizeF& s) { paintRoundButton(p, s, glyph, down); }});
    }
}

} // namespace

std::vector<Picture> pictures()
{
    std::vector<Picture> out;
    out.push_back({QStringLiteral("Background"), kWindow, paintWindow});
    out.push_back({QStringLiteral("IntruderBackground"), kRow,
        [](QPainter& p, const QSizeF& s) { paintListBackground(p, s, true); }});
    out.push_back({QStringLiteral("AllowedBackground"), kRow,
        [](QPainter& p, const QSizeF& s) { paintListBackground(p, s, false); }});

    out.push_back(row(QStringLiteral("AllowedOfflineNotSelected"), {false, false, false, false}));
    out.push_back(row(QStringLiteral("AllowedOfflineSelected"), {false, false, true, false}));
    out.push_back(row(QStringLiteral("AllowedOnlineNotSelected"), {false, true, false, false}));
    out.push_back(row(QStringLiteral("AllowedOnlineSelected"), {false, true, true, false}));
    out.push_back(row(QStringLiteral("IntruderOfflineNotSelected"), {true, false, false, false}));
    out.push_back(row(QStringLiteral("IntruderOfflineSelected"), {true, false, true, false}));
    out.push_back(row(QStringLiteral("IntruderOnlineNotSelected"), {true, true, false, false}));
    out.push_back(row(QStringLiteral("IntruderOnlineNotSelectedFlash"), {true, true, false, true}));
    out.push_back(row(QStringLiteral("IntruderOnlineSelected"), {true, true, true, false}));
    out.push_back(row(QStringLiteral("IntruderOnlineSelectedFlash"), {true, true, true, true}));

    addButton(out, QStringLiteral("RemoveIntruder"), QStringLiteral("Remove"), glyphCross, false, Tone::Alarm);
    addButton(out, QStringLiteral("RemoveAllowed"), QStringLiteral("Remove"), glyphCross, false, Tone::Safe);
    addButton(out, QStringLiteral("MoveToIntruder"), QStringLiteral("Move"), glyphArrowLeft, false, Tone::Alarm);
    addButton(out, QStringLiteral("MoveToAllowed"), QStringLiteral("Move"), glyphArrowRight, true, Tone::Safe);

    addTab(out, QStringLiteral("Details"), QStringLiteral("Details"), glyphInfo);
    addTab(out, QStringLiteral("Log"), QStringLiteral("Log"), glyphList);
    addTab(out, QStringLiteral("Probe"), QStringLiteral("Probe"), glyphProbe);

    for (bool enabled : {true, false}) {
        for (bool down : {false, true}) {
            out.push_back({QStringLiteral("Block") + (enabled ? QStringLiteral("Enabled") : QStringLiteral("Disabled"))
                    + (down ? QStringLiteral("Down") : QStringLiteral("Normal")),
                kButton, [=](QPainter& p, const QSizeF& s) {
                    paintButton(p, s, QStringLiteral("Block"), glyphBlock, false, Tone::Alarm, down, enabled);
                }});
        }
    }

    addRound(out, QStringLiteral("Settings"), glyphGear);
    addRound(out, QStringLiteral("Help"), glyphQuestion);
    for (bool down : {false, true}) {
        out.push_back({down ? QStringLiteral("AckDown") : QStringLiteral("AckNormal"), kAck,
            [=](QPainter& p, const QSizeF& s) { paintAck(p, s, down); }});
    }
    for (int phase = 0; phase < 3; ++phase) {
        out.push_back({phase == 0 ? QStringLiteral("StatusNormal") : QStringLiteral("StatusAlarm%1").arg(phase),
            kStatus, [=](QPainter& p, const QSizeF& s) { paintStatus(p, s, phase); }});
    }
    out.push_back({QStringLiteral("Button"), kNotice, paintNotice});

    const struct
    {
        const char* name;
        QColor tile;
        Glyph glyph;
    } tabs[] = {
        {"General", QColor(0x3B, 0x6E, 0xA8), glyphSliders},
        {"Alerts", QColor(0xD9, 0x74, 0x12), glyphBell},
        {"Email", QColor(0x23, 0x8C, 0x70), glyphEnvelope},
        {"Debug", QColor(0x67, 0x58, 0xB0), glyphBug},
    };
    for (const auto& t : tabs) {
        const QColor tile = t.tile;
        const Glyph glyph = t.glyph;
        out.push_back({QString::fromLatin1(t.name), kTabPicture,
            [=](QPainter& p, const QSizeF& s) { paintTabPicture(p, s, tile, glyph); }});
    }
    return out;
}

QImage render(const Picture& picture, int scale)
{
    QImage image(picture.size * scale, QImage::Format_RGB32);
    image.fill(ink::kDeep);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    picture.paint(p, QSizeF(picture.size));
    p.end();
    return image;
}

} // namespace skin
