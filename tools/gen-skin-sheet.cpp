// The contact sheet: the window put together from the pictures in both flash phases, with sample row texts
// where the window draws them, then every picture at 1x and 2x with its name, then the icons at every size
// on a dark and a light panel.
#include "gen-skin.h"

#include <QHash>

namespace skin {

namespace {

constexpr int kMargin = 24;
const QColor kSheet(0x3A, 0x3F, 0x47);
const QColor kLabel(0xE6, 0xE8, 0xEB);

struct Sample
{
    const char* name;
    const char* ip;
    bool ack;
};

class Sheet
{
public:
    explicit Sheet(QPainter& p)
        : m_p(p)
    {
        for (const Picture& picture : pictures())
            m_pictures.insert(picture.name, picture);
    }

    QImage picture(const QString& name, int scale = 1) const { return render(m_pictures.value(name), scale); }
    const QHash<QString, Picture>& all() const { return m_pictures; }

    void heading(int& y, const QString& text)
    {
        fitText(m_p, QRectF(kMargin, y, 1200, 30), text, font(20, true), kLabel, Qt::AlignLeft | Qt::AlignVCenter);
        y += 40;
    }

    // The window as it would look in one flash phase.
    void window(const QPoint& at, bool flashPhase)
    {
        m_p.save();
        m_p.translate(at);
        m_p.drawImage(0, 0, picture(QStringLiteral("Background")));
        m_p.drawImage(353, 14, picture(flashPhase ? QStringLiteral("StatusAlarm1") : QStringLiteral("StatusAlarm2")));
        m_p.drawImage(793, 14, picture(QStringLiteral("SettingsNormal")));
        m_p.drawImage(841, 14, picture(QStringLiteral("HelpDown")));

        const Sample intruders[] = {{"Unknown Device", "198.18.0.23", true}, {"Tablet (guest)", "198.18.0.41", true},
            {"android-5f2c", "198.18.0.77", false}, {"Old printer", "198.18.0.9", false},
            {"Unknown Device", "198.18.0.102", true}};
        const char* intruderStates[] = {flashPhase ? "IntruderOnlineSelectedFlash" : "IntruderOnlineSelected",
            flashPhase ? "IntruderOnlineNotSelectedFlash" : "IntruderOnlineNotSelected", "IntruderOnlineNotSelected",
            "IntruderOfflineNotSelected", "IntruderOfflineNotSelected"};
        list(geometry::kIntruderViewport, QStringLiteral("IntruderBackground"), intruders, intruderStates, 5);

        const Sample safe[] = {{"Living room TV", "198.18.0.12", false}, {"Laptop", "198.18.0.20", false},
            {"NAS", "198.18.0.5", false}, {"Phone (Anna)", "198.18.0.31", false}};
        const char* safeStates[] = {"AllowedOnlineNotSelected", "AllowedOnlineNotSelected", "AllowedOfflineNotSelected",
            "AllowedOfflineNotSelected"};
        list(geometry::kAllowedViewport, QStringLiteral("AllowedBackground"), safe, safeStates, 4);

        m_p.drawImage(39, 588, picture(QStringLiteral("RemoveIntruderNormal")));
        m_p.drawImage(145, 588, picture(QStringLiteral("BlockEnabledNormal")));
        m_p.drawImage(754, 588, picture(QStringLiteral("RemoveAllowedDown")));
        m_p.drawImage(296, 588, picture(QStringLiteral("DetailsSelectedNormal")));
        m_p.drawImage(398, 588, picture(QStringLiteral("LogUnSelectedNormal")));
        m_p.drawImage(500, 588, picture(QStringLiteral("ProbeUnSelectedDown")));
        m_p.drawImage(340, 134, picture(QStringLiteral("MoveToAllowedNormal")));
        m_p.drawImage(452, 134, picture(QStringLiteral("MoveToIntruderNormal")));
        m_p.drawImage(297, 500, picture(QStringLiteral("Button")));
        fitText(m_p, QRectF(297, 500, 300, 64), QStringLiteral("You cannot delete devices that\nare currently online"),
            font(12), ink::kText);
        m_p.restore();
    }

    void flow(int& y, int scale, int width, const std::vector<Picture>& items)
    {
        int x = kMargin;
        int rowHeight = 0;
        for (const Picture& item : items) {
            const QImage image = render(item, scale);
            const int w = qMax(image.width(), 150);
            if (x + w > width - kMargin) {
                x = kMargin;
                y += rowHeight + 12;
                rowHeight = 0;
            }
            m_p.drawImage(x, y, image);
            fitText(m_p, QRectF(x, y + image.height() + 2, w, 14), item.name, font(10), kLabel,
                Qt::AlignLeft | Qt::AlignTop);
            x += w + 16;
            rowHeight = qMax(rowHeight, image.height() + 18);
        }
        y += rowHeight + 24;
    }

    void icons(int& y, const QColor& panel)
    {
        m_p.fillRect(QRect(kMargin, y, 1100, 290), panel);
        int x = kMargin + 16;
        for (int kind = 0; kind < 3; ++kind) {
            int iy = y + 16;
            int ix = x;
            for (int size : iconSizes()) {
                if (size > 64)
                    continue;
                m_p.drawImage(ix, iy, renderIcon(kind, size));
                ix += size + 10;
            }
            m_p.drawImage(x, y + 100, renderIcon(kind, 128));
            x += 360;
        }
        y += 310;
    }

private:
    void list(const QRect& viewport, const QString& back, const Sample* samples, const char* const* states, int count)
    {
        m_p.save();
        m_p.setClipRect(viewport);
        for (int r = 0; r * geometry::kRow.height() < viewport.height(); ++r)
            m_p.drawImage(viewport.left(), viewport.top() + r * geometry::kRow.height(), picture(back));
        for (int r = 0; r < count; ++r) {
            const QPoint row(viewport.left(), viewport.top() + r * geometry::kRow.height());
            m_p.drawImage(row, picture(QString::fromLatin1(states[r])));
            fitText(m_p, QRectF(row.x() + 40, row.y() + 11, 150, 17), QString::fromUtf8(samples[r].name),
                font(13, true), ink::kText, Qt::AlignLeft | Qt::AlignVCenter);
            fitText(m_p, QRectF(row.x() + 40, row.y() + 27, 165, 17),
                QStringLiteral("IP - ") + QString::fromLatin1(samples[r].ip), font(12), ink::kTextLow,
                Qt::AlignLeft | Qt::AlignVCenter);
            if (samples[r].ack)
                m_p.drawImage(row.x() + 186, row.y() + 8, picture(QStringLiteral("AckNormal")));
        }
        m_p.restore();
    }

    QPainter& m_p;
    QHash<QString, Picture> m_pictures;
};

} // namespace

QImage contactSheet()
{
    const int width = 2 * geometry::kWindow.width() + 3 * kMargin;
    QImage image(width, 3300, QImage::Format_RGB32);
    image.fill(kSheet);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    Sheet sheet(p);

    int y = kMargin;
    sheet.heading(y, QStringLiteral("Kestrelwatch skin: the window in both flash phases"));
    sheet.window(QPoint(kMargin, y), true);
    sheet.window(QPoint(2 * kMargin + geometry::kWindow.width(), y), false);
    y += geometry::kWindow.height() + 30;

    std::vector<Picture> small;
    for (const Picture& picture : pictures()) {
        if (picture.name != QLatin1String("Background"))
            small.push_back(picture);
    }
    sheet.heading(y, QStringLiteral("Every picture at 1x (Background.bmp above)"));
    sheet.flow(y, 1, width, small);
    sheet.heading(y, QStringLiteral("At 2x (NAME@2x.bmp)"));
    sheet.flow(y, 2, width, small);
    sheet.heading(y, QStringLiteral("Icons: normal, alarm, alarm (second phase); 16 to 64 and 128 px"));
    sheet.icons(y, QColor(0x20, 0x24, 0x2A));
    sheet.icons(y, QColor(0xF2, 0xF2, 0xF2));
    p.end();
    return image.copy(0, 0, width, qMin(image.height(), y + kMargin));
}

} // namespace skin
