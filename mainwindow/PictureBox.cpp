#include "mainwindow/PictureBox.h"

#include "mainwindow/Theme.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(const SkinPictures& pictures, QWidget* parent)
    : QWidget(parent)
    , m_pictures(pictures)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(Pic pic)
{
    if (pic == m_picture)
        return;
    m_picture = pic;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF area(rect());
    if (m_pictures.has(m_picture)) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        if (!isEnabled())
            p.setOpacity(0.45);
        p.drawPixmap(area, m_pictures[m_picture], QRectF(m_pictures[m_picture].rect()));
        return;
    }
    Theme::paintFallback(p, area, m_picture, isEnabled());
}

SkinButton::SkinButton(const SkinPictures& pictures, Pic normal, Pic down, QWidget* parent)
    : PictureBox(pictures, parent)
    , m_normal(normal)
    , m_down(down)
{
    setCursor(Qt::PointingHandCursor);
    // Pictures with rounded corners sit on the window's background; the box paints every pixel itself.
    setPicture(m_normal);
}

void SkinButton::setPair(Pic normal, Pic down)
{
    m_normal = normal;
    m_down = down;
    setPicture(m_held ? m_down : m_normal);
}

void SkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_held = true;
    setPicture(m_down);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_held) {
        event->ignore();
        return;
    }
    m_held = false;
    setPicture(m_normal);
    if (rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void SkinButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_held = false;
        setPicture(m_normal);
        update();
    }
    PictureBox::changeEvent(event);
}
