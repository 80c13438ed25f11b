#include "mainwindow/Theme.h"

#include "mainwindow/Geometry.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QStyleFactory>

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace Theme {

namespace {

bool isDown(Pic pic)
{
    return SkinPictures::fileName(pic).contains(QLatin1String("Down"));
}

void rounded(QPainter& p, const QRectF& r, qreal radius, const QColor& fill, const QColor& edge, qreal width = 1.0,
    Qt::PenStyle style = Qt::SolidLine)
{
    p.save();
    p.setPen(edge.isValid() ? QPen(edge, width, style) : QPen(Qt::NoPen));
    p.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
    p.drawRoundedRect(r, radius, radius);
    p.restore();
}

void centredText(QPainter& p, const QRectF& r, const QString& text, const QFont& f, const QColor& colour)
{
    p.save();
    p.setFont(f);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, text);
    p.restore();
}

void paintButtonFace(QPainter& p, const QRectF& r, Pic pic, bool enabled)
{
    const QString name = SkinPictures::fileName(pic);
    const bool down = isDown(pic);
    QColor accent = TextLow;
    if (name.startsWith(QLatin1String("RemoveIntruder")) || name.startsWith(QLatin1String("MoveToIntruder"))
        || name.startsWith(QLatin1String("Block")))
        accent = Alarm;
    else if (name.startsWith(QLatin1String("RemoveAllowed")) || name.startsWith(QLatin1String("MoveToAllowed")))
        accent = Safe;
    const QRectF face = r.adjusted(1, 1, -1, -1).translated(0, down ? 1 : 0);
    if (!enabled) {
        rounded(p, face, 7, QColor(0x14, 0x1D, 0x2A), QColor(0x34, 0x42, 0x55), 1.0, Qt::DashLine);
        centredText(p, face, captionOf(pic), font(13, true), TextDim);
        return;
    }
    rounded(p, face, 7, down ? QColor(0x10, 0x1A, 0x28) : QColor(0x1B, 0x2A, 0x40), accent, down ? 1.5 : 1.0);
    centredText(p, face, captionOf(pic), font(13, true), down ? accent : Text);
}

void paintTabFace(QPainter& p, const QRectF& r, Pic pic, bool enabled)
{
    const QString name = SkinPictures::fileName(pic);
    const bool selected = !name.contains(QLatin1String("UnSelected"));
    const bool down = isDown(pic);
    const QRectF face = r.adjusted(1, 1, -1, -1).translated(0, down ? 1 : 0);
    if (selected) {
        rounded(p, face, 7, down ? Safe.darker(140) : Safe, SafeLight);
        centredText(p, face, captionOf(pic), font(13, true), Deep);
    } else {
        rounded(p, face, 7, down ? QColor(0x10, 0x1A, 0x28) : QColor(0x17, 0x24, 0x37), enabled ? Line : LineSoft);
        centredText(p, face, captionOf(pic), font(13, true), enabled ? TextLow : TextDim);
    }
}

// The status words at the pill's size, up to a third smaller where they would not fit ("12 INTRUDERS ONLINE"
// at a large desktop font), and cut short with an ellipsis only below that.
void pillText(QPainter& p, const QRectF& r, const QString& words)
{
    QFont f = font(13, true);
    for (int step = 0; step < 6 && QFontMetricsF(f).horizontalAdvance(words) > r.width(); ++step) {
        if (f.pixelSize() > 0)
            f.setPixelSize(qMax(1, f.pixelSize() * 15 / 16));
        else
            f.setPointSizeF(f.pointSizeF() * 15 / 16);
    }
    p.setFont(f);
    p.drawText(r, Qt::AlignVCenter | Qt::AlignLeft, QFontMetricsF(f).elidedText(words, Qt::ElideRight, r.width()));
}

void paintStatusFace(QPainter& p, const QRectF& r, Pic pic, const QString& caption = QString())
{
    const QRectF pill = r.adjusted(1, 2, -1, -2);
    const qreal radius = pill.height() / 2;
    const QRectF glyph(pill.left() + 9, pill.center().y() - 9, 18, 18);
    const QRectF text(glyph.right() + 8, pill.top(), pill.right() - glyph.right() - 16, pill.height());
    if (pic == Pic::StatusNormal && !caption.isEmpty()) {
        rounded(p, pill, radius, Top, Line);
        rounded(p, glyph, 9, Line, QColor());
        centredText(p, glyph, QStringLiteral("\u2026"), font(12, true), TextLow);
        p.setPen(TextLow);
        pillText(p, text, caption);
        return;
    }
    if (pic == Pic::StatusNormal) {
        rounded(p, pill, radius, QColor(0x15, 0x33, 0x2F), Online);
        rounded(p, glyph, 9, Online, QColor());
        centredText(p, glyph, QStringLiteral("\u2713"), font(12, true), Deep);
        p.setPen(QColor(0xC8, 0xF5, 0xE4));
        pillText(p, text, QStringLiteral("ALL CLEAR"));
        return;
    }
    const bool light = pic == Pic::StatusAlarm1;
    rounded(p, pill, radius, light ? Alarm : AlarmDark, light ? AlarmLight : Alarm, 1.5);
    rounded(p, glyph, 9, light ? AlarmDark : Alarm, QColor());
    centredText(p, glyph, QStringLiteral("!"), font(13, true), light ? Alarm : AlarmDark);
    p.setPen(light ? AlarmDark : Alarm);
    pillText(p, text, caption.isEmpty() ? QStringLiteral("INTRUDER ONLINE") : caption);
}

void paintWindowFace(QPainter& p, const QRectF& r)
{
    using Geometry::s;
    p.fillRect(r, Deep);
    p.fillRect(QRectF(r.left(), r.top(), r.width(), s(64)), Top);
    p.fillRect(QRectF(r.left(), s(63), r.width(), 1), Line);
    p.setFont(font(22, true));
    p.setPen(Text);
    p.drawText(QRectF(s(24), s(10), s(300), s(28)), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kestrelwatch"));
    p.setFont(font(12));
    p.setPen(TextLow);
    p.drawText(QRectF(s(25), s(36), s(300), s(18)), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Network intruder monitor"));
    const auto caption = [&](qreal left, const QString& text, const QColor& accent) {
        rounded(p, QRectF(s(left), s(92), s(4), s(13)), 2, accent, QColor());
        QFont f = font(13, true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
        p.setFont(f);
        p.setPen(Text);
        p.drawText(QRectF(s(left + 12), s(86), s(200), s(24)), Qt::AlignLeft | Qt::AlignVCenter, text);
        QColor rule = accent;
        rule.setAlphaF(0.45);
        p.fillRect(QRectF(s(left), s(112), s(212), 1), rule);
    };
    caption(39, QStringLiteral("INTRUDERS"), Alarm);
    caption(642, QStringLiteral("SAFE LIST"), Safe);
    const qreal listBottom = r.height() - s(Geometry::BottomBand - 2);
    rounded(p, QRectF(s(37), s(115), s(216), listBottom - s(115)), 5, IntruderListBack, Line);
    rounded(p, QRectF(s(640), s(115), s(216), listBottom - s(115)), 5, SafeListBack, Line);
    p.fillRect(QRectF(s(24), r.height() - s(60), r.width() - s(48), 1), LineSoft);
}

} // namespace

namespace {

qreal pointsFor(qreal designPx)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return designPx * Geometry::unit() * 72.0 / dpi;
}

} // namespace

QFont font(qreal designPx, bool bold)
{
    // The desktop's font in a size relative to its own: the unit follows the desktop's font size.
    QFont f = QApplication::font();
    f.setPointSizeF(pointsFor(designPx));
    f.setBold(bold);
    return f;
}

QString styleSheet()
{
    const auto pt = [](qreal designPx) { return QString::number(pointsFor(designPx), 'f', 1) + QStringLiteral("pt"); };
    const auto len = [](qreal designPx) { return QString::number(Geometry::s(designPx)) + QStringLiteral("px"); };
    QString sheet = QStringLiteral(R"(
QTableWidget { background: #111C2C; color: #EAF0F7; border: 1px solid #2A3D58; gridline-color: #2A3D58;
               selection-background-color: #2A4A73;
               selection-color: #EAF0F7; }
QHeaderView::section { background: #1E2D42; color: #EAF0F7; border: none; border-right: 1px solid #2A3D58;
                       padding: 2px 6px; }
QLineEdit { background: #0B1320; color: #EAF0F7; border: 1px solid #4DA8FF; border-radius: 3px; padding: 0 4px;
            font-size: @11; selection-background-color: #4DA8FF; }
QLineEdit:disabled { background: #15243A; border-color: #2A3D58; color: #5E7188; }
QScrollBar:vertical { background: #101A29; width: ~10; margin: 0; border-radius: ~5; }
QScrollBar::handle:vertical { background: #3A5272; min-height: ~24; border-radius: ~5; }
QScrollBar::handle:vertical:hover { background: #4DA8FF; }
QScrollBar::handle:vertical:disabled { background: transparent; }
QScrollBar:vertical:disabled { background: #0E1623; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }
QTableWidget QScrollBar:vertical { background: #101A29; }
QTableWidget QScrollBar::handle:vertical { background: #3A5272; }
QPushButton { background: #1E2D42; color: #EAF0F7; border: 1px solid #2A3D58; border-radius: 6px;
              padding: 4px 12px; font-size: @12; font-weight: bold; }
QPushButton:hover { border-color: #4DA8FF; }
QPushButton:pressed { background: #101A29; }
QPushButton:disabled { color: #5E7188; background: #15243A; border-color: #2A3D58; }
QPushButton:focus, QToolButton:focus { border: 2px solid #FFE066; }
QToolButton { color: #9DB1C8; background: transparent; border: 1px solid #3A4B60; border-radius: 4px; }
QToolButton::menu-indicator { image: none; width: 0; }
QToolTip { background: #15243A; color: #EAF0F7; border: 1px solid #4DA8FF; padding: 3px; }
)");
    for (int size : {10, 11, 12, 24})
        sheet.replace(QStringLiteral("~%1;").arg(size), len(size) + QLatin1Char(';'));
    sheet.replace(QStringLiteral("~5;"), len(5) + QLatin1Char(';'));
    for (int size : {11, 12})
        sheet.replace(QStringLiteral("@%1;").arg(size), pt(size) + QLatin1Char(';'));
    return sheet;
}

QString captionOf(Pic pic)
{
    switch (pic) {
    case Pic::RemoveIntruderNormal:
    case Pic::RemoveIntruderDown:
    case Pic::RemoveAllowedNormal:
    case Pic::RemoveAllowedDown:
        return QStringLiteral("\u2715 Remove");
    case Pic::MoveToAllowedNormal:
    case Pic::MoveToAllowedDown:
        return QStringLiteral("Move \u2192");
    case Pic::MoveToIntruderNormal:
    case Pic::MoveToIntruderDown:
        return QStringLiteral("\u2190 Move");
    case Pic::DetailsSelectedNormal:
    case Pic::DetailsSelectedDown:
    case Pic::DetailsUnSelectedNormal:
    case Pic::DetailsUnSelectedDown:
        return QStringLiteral("Details");
    case Pic::LogSelectedNormal:
    case Pic::LogSelectedDown:
    case Pic::LogUnSelectedNormal:
    case Pic::LogUnSelectedDown:
        return QStringLiteral("Log");
    case Pic::ProbeSelectedNormal:
    case Pic::ProbeSelectedDown:
    case Pic::ProbeUnSelectedNormal:
    case Pic::ProbeUnSelectedDown:
        return QStringLiteral("Probe");
    case Pic::BlockEnabledNormal:
    case Pic::BlockEnabledDown:
    case Pic::BlockDisabledNormal:
    case Pic::BlockDisabledDown:
        return QStringLiteral("Block");
    case Pic::SettingsNormal:
    case Pic::SettingsDown:
        return QStringLiteral("\u2699");
    case Pic::HelpNormal:
    case Pic::HelpDown:
        return QStringLiteral("?");
    case Pic::AckNormal:
    case Pic::AckDown:
        return QStringLiteral("\u2713");
    default:
        return {};
    }
}

void paintFallback(QPainter& p, const QRectF& r, Pic pic, bool enabled)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    switch (pic) {
    case Pic::Background:
        paintWindowFace(p, r);
        break;
    case Pic::IntruderBackground:
    case Pic::AllowedBackground: {
        p.fillRect(r, pic == Pic::IntruderBackground ? IntruderListBack : SafeListBack);
        const QColor slot = pic == Pic::IntruderBackground ? QColor(0x1D, 0x1E, 0x2A) : QColor(0x15, 0x22, 0x33);
        rounded(p, r.adjusted(3, 2, -3, -2), 6, QColor(), slot, 1.0, Qt::DashLine);
        break;
    }
    case Pic::AllowedOfflineNotSelected:
    case Pic::AllowedOfflineSelected:
    case Pic::AllowedOnlineNotSelected:
    case Pic::AllowedOnlineSelected:
    case Pic::IntruderOfflineNotSelected:
    case Pic::IntruderOfflineSelected:
    case Pic::IntruderOnlineNotSelected:
    case Pic::IntruderOnlineNotSelectedFlash:
    case Pic::IntruderOnlineSelected:
    case Pic::IntruderOnlineSelectedFlash: {
        const QString name = SkinPictures::fileName(pic);
        paintRowFallback(p, r, name.startsWith(QLatin1String("Intruder")), name.contains(QLatin1String("Online")),
            !name.contains(QLatin1String("NotSelected")), name.contains(QLatin1String("Flash")));
        break;
    }
    case Pic::DetailsSelectedNormal:
    case Pic::DetailsSelectedDown:
    case Pic::DetailsUnSelectedNormal:
    case Pic::DetailsUnSelectedDown:
    case Pic::LogSelectedNormal:
    case Pic::LogSelectedDown:
    case Pic::LogUnSelectedNormal:
    case Pic::LogUnSelectedDown:
    case Pic::ProbeSelectedNormal:
    case Pic::ProbeSelectedDown:
    case Pic::ProbeUnSelectedNormal:
    case Pic::ProbeUnSelectedDown:
        paintTabFace(p, r, pic, enabled);
        break;
    case Pic::SettingsNormal:
    case Pic::SettingsDown:
    case Pic::HelpNormal:
    case Pic::HelpDown: {
        const bool down = isDown(pic);
        const QRectF face = r.adjusted(1, 1, -1, -1).translated(0, down ? 1 : 0);
        rounded(p, face, face.width() / 2, down ? QColor(0x10, 0x1A, 0x28) : QColor(0x1E, 0x30, 0x4A), Line);
        centredText(p, face, captionOf(pic), font(18, true), down ? Safe : Text);
        break;
    }
    case Pic::AckNormal:
    case Pic::AckDown: {
        const bool down = pic == Pic::AckDown;
        rounded(p, r.adjusted(0.5, 0.5, -0.5, -0.5), 3, down ? AlarmDeep : QColor(0x2E, 0x24, 0x1C), Alarm);
        centredText(p, r, captionOf(pic), font(11, true), down ? AlarmDark : Alarm);
        break;
    }
    case Pic::StatusNormal:
    case Pic::StatusAlarm1:
    case Pic::StatusAlarm2:
        paintStatusFace(p, r, pic);
        break;
    case Pic::Button: {
        const QRectF face = r.adjusted(1, 1, -1, -1);
        rounded(p, face, 8, QColor(0x21, 0x30, 0x46), QColor(0x4A, 0x62, 0x84));
        p.setClipRect(QRectF(face.left(), face.top(), face.width(), 3));
        rounded(p, face, 8, Alarm, QColor());
        break;
    }
    case Pic::Count:
        break;
    default:
        paintButtonFace(p, r, pic, enabled);
        break;
    }
    p.restore();
}

void paintRowFallback(QPainter& p, const QRectF& r, bool intruder, bool online, bool selected, bool flash)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(r, intruder ? IntruderListBack : SafeListBack);
    const QRectF card = r.adjusted(3, 2, -3, -2);
    QColor fill;
    if (intruder)
        fill = flash ? QColor(0x4A, 0x2C, 0x12) : online ? QColor(0x2F, 0x24, 0x1E) : QColor(0x1D, 0x1C, 0x25);
    else
        fill = online ? QColor(0x1B, 0x2D, 0x44) : QColor(0x15, 0x20, 0x2F);
    if (selected)
        fill = fill.lighter(135);
    const QColor accent = intruder ? Alarm : Safe;
    const QColor edge = selected ? (intruder ? AlarmLight : SafeLight) : QColor(0x2A, 0x3A, 0x52);
    rounded(p, card, 6, fill, edge, selected ? 1.5 : 1.0);
    QPainterPath clip;
    clip.addRoundedRect(card, 6, 6);
    p.setClipPath(clip);
    const QPointF centre(card.left() + 19, card.center().y());
    if (flash) {
        p.fillRect(QRectF(card.left(), card.top(), 36, card.height()), accent);
        p.setClipping(false);
        centredText(
            p, QRectF(card.left(), card.top(), 36, card.height()), QStringLiteral("!"), font(20, true), AlarmDark);
    } else if (online) {
        p.setPen(Qt::NoPen);
        QColor halo = intruder ? Alarm : Online;
        halo.setAlphaF(0.22);
        p.setBrush(halo);
        p.drawEllipse(centre, 9.5, 9.5);
        p.setBrush(intruder ? Alarm : Online);
        p.drawEllipse(centre, 6, 6);
    } else {
        p.setPen(QPen(intruder ? QColor(0xB0, 0x86, 0x5A) : QColor(0x7C, 0x8F, 0xA6), 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 5.5, 5.5);
    }
    if (selected) {
        p.setClipPath(clip);
        p.fillRect(QRectF(card.left(), card.top(), 4, card.height()), flash ? AlarmDark : edge);
    }
    p.restore();
}

void applyToApplication()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette pal;
    const QColor window(0x15, 0x24, 0x3A);
    pal.setColor(QPalette::Window, window);
    pal.setColor(QPalette::WindowText, Text);
    pal.setColor(QPalette::Base, QColor(0x0E, 0x18, 0x26));
    pal.setColor(QPalette::AlternateBase, QColor(0x1A, 0x27, 0x39));
    pal.setColor(QPalette::Text, Text);
    pal.setColor(QPalette::Button, QColor(0x1E, 0x2D, 0x42));
    pal.setColor(QPalette::ButtonText, Text);
    pal.setColor(QPalette::BrightText, AlarmLight);
    pal.setColor(QPalette::Highlight, Safe);
    pal.setColor(QPalette::HighlightedText, Deep);
    pal.setColor(QPalette::ToolTipBase, window);
    pal.setColor(QPalette::ToolTipText, Text);
    pal.setColor(QPalette::PlaceholderText, TextDim);
    pal.setColor(QPalette::Link, SafeLight);
    pal.setColor(QPalette::Light, QColor(0x2A, 0x3D, 0x58));
    pal.setColor(QPalette::Midlight, QColor(0x22, 0x33, 0x4A));
    pal.setColor(QPalette::Mid, Line);
    pal.setColor(QPalette::Dark, Deep);
    pal.setColor(QPalette::Shadow, QColor(0x05, 0x09, 0x10));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, TextDim);
    QApplication::setPalette(pal);
}

void paintStatus(QPainter& p, const QRectF& r, Pic pic, const QString& text)
{
    p.setRenderHint(QPainter::Antialiasing);
    paintStatusFace(p, r, pic, text);
}

} // namespace Theme
